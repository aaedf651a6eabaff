#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "history/RunFigures.h"
#include "model/Progress.h"
#include "settings/Settings.h"
#include "ui/StatusLine.h"

namespace strivo {

// The fields a message box can send the focus back to.
enum class DialogField { ServiceUser, ServicePassword, SiteUser, SitePassword };

// Which job a button press asks the dialog to start.
enum class JobKind { None, Download, Sync };

// What the main dialog shows: the status line, the summary line, and which
// buttons are enabled. All texts are CP936.
struct DialogView {
    std::string status;
    std::string summary;
    bool serviceSignInEnabled = true;
    bool refreshEnabled = true;
    bool syncEnabled = false;
    bool exportEnabled = true;

    bool operator==(const DialogView&) const = default;
};

// The answer to one event: the view to apply, plus at most one message box
// (owned by the dialog, empty caption, no icon, OK button), a field to focus
// after it, and a job to start.
struct DialogUpdate {
    DialogView view;
    std::optional<std::string> message;
    std::optional<DialogField> focus;
    JobKind start = JobKind::None;
};

// The main dialog's behaviour, without a window: status texts, button states,
// the summary line and the message boxes, event by event. The dialog forwards
// its events here and applies the answers.
class DialogState {
public:
    DialogState();

    const DialogView& view() const { return m_view; }
    // The parts of the status line that a line too narrow for it leaves
    // out, the first first; none for most texts.
    std::vector<StatusPart> StatusGivesWay() const;

    // Sign-in and refresh share this handler. The summary line is emptied at
    // once; with both fields filled the answer asks for a run-service job.
    DialogUpdate OnServiceLogin(std::string_view user, std::string_view password);
    // With both fields filled the answer asks for a site job.
    DialogUpdate OnSync(std::string_view user, std::string_view password);

    // The dialog started the job it was asked for.
    DialogUpdate OnJobStarted(JobKind kind);
    // No thread could be started: the buttons stay as they were.
    static const std::string& CannotStartThreadMessage();
    // The runner's settling of runs could not be stored, and why.
    static std::string SettleFailedMessage(const Problem& problem);
    // The runner settled runs from the list's menu, `changed` of them as the
    // store counts: marked as posted, or (`posted` false) released to be
    // posted again; or failed to, as a message too.
    DialogUpdate OnSettled(bool posted, int changed);
    DialogUpdate OnSettleFailed(const Problem& problem);
    // The runner kept `changed` runs off the run log from the list's menu.
    DialogUpdate OnSkipped(int changed);
    // The runner let the next sync post `changed` runs kept off the run log.
    DialogUpdate OnReleased(int changed);
    // An import from the list's menu started; it reports FileImported and ImportDone.
    DialogUpdate OnImportStarted();
    // `files` FIT files went to the folder `path` (CP936), or failed to; a
    // message names the runs `named` (RunIDs CP936), left out or written in part.
    DialogUpdate OnFitExported(int files, std::string_view path,
                               const std::optional<Problem>& problem,
                               const std::vector<RunProblem>& named = {});
    // Before runs the site confirmed are posted again: the question naming
    // them (CP936), and the answer no.
    static std::string RepostConfirmedQuestion(const std::vector<std::string>& runIds);
    DialogUpdate OnRepostDeclined();
    // Values of the settings file that cannot be used, one line each.
    // `settingsFile`: the file's name in code page 936.
    static std::string SettingsProblemsMessage(const std::vector<Problem>& problems,
                                               std::string_view settingsFile);

    // A worker's report.
    DialogUpdate OnReport(const ProgressReport& report);

    // The export button: with no rows, a message; otherwise the file chooser
    // opens and the dialog calls OnExportStarted, then OnExportFinished.
    std::optional<std::string> OnExportPressed(std::size_t rowCount) const;
    DialogUpdate OnExportStarted();
    // `path` as the status line shows it (CP936); `problem` when it failed.
    DialogUpdate OnExportFinished(std::string_view path, const std::optional<Problem>& problem);

    // The table now shows `count` stored runs, of a list last downloaded at
    // `downloaded` (local time, CP936; empty when never): the summary line says
    // so, and sync works on them as on downloaded rows.
    DialogUpdate OnStoredRunsShown(std::size_t count, std::string_view downloaded);
    // The statistics dialog showed `count` stored runs and was closed.
    DialogUpdate OnStatsShown(std::size_t count);
    // The store could not be read: why, as a message.
    static std::string StoreReadFailedMessage(const Problem& problem);

    // No browser could be started for the site's address `url`.
    DialogUpdate OnBrowserFailed(std::string_view url);

private:
    // With both fields filled the answer asks for a `kind` job; else it asks for the missing one.
    DialogUpdate AskForJob(JobKind kind, std::string_view user, std::string_view password) const;
    DialogUpdate Answer() const { return DialogUpdate{m_view, {}, {}, JobKind::None}; }

    DialogView m_view;
    std::vector<StatusPart> m_givesWay;  // of the status m_givesWayOf, while it shows
    std::string m_givesWayOf;
};

}  // namespace strivo
