#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "jobs/JobThreads.h"
#include "jobs/Workspace.h"
#include "model/RunTable.h"
#include "model/Runs.h"
#include "settings/Settings.h"
#include "ui/DialogState.h"
#include "ui/ListRows.h"
#include "ui/RunLogController.h"
#include "ui/WindowSurface.h"

namespace strivo {

struct WindowOptions {
    std::filesystem::path settingsPath;  // read at start, user names saved at close
    std::optional<Settings> settings;    // in place of the file (the demo): nothing is saved
    WebSessionConfig sessionConfig;      // extra CAs, time-outs, limits, cookie store
};

// The main window's logic, the same for every front end: it forwards events
// to DialogState and applies the answers to the surface, runs the jobs on the
// threads it owns, exports the table and closes the window once the jobs have
// ended. Called on the window's thread.
class WindowController {
public:
    WindowController(WindowSurface& surface, WindowOptions options, jobs::JobLaunchers jobs = {});
    // Stops and joins the jobs where the window went without closing.
    ~WindowController();

    // Once the surface's controls exist: loads the settings and shows them.
    void Start();

    const std::shared_ptr<RunTable>& table() const { return m_table; }
    // The rows the list shows; the state column is the state of each run's
    // post for the site user in the field, as the store last said or, while
    // a sync runs, as it reports each post kept.
    const ListRows& list() const { return m_list; }

    // A button of the window; false for one the front end handles itself.
    bool OnButton(int id);
    void OnServiceLogin();
    void OnSync();
    void OnExport();
    void OnVisitSite();
    // The site user field lost the focus: the state column follows its user.
    void OnSiteUserEdited();
    // The Nike+ user field lost the focus: the run log follows its user.
    void OnServiceUserEdited();
    // The user asked for the list's menu with `selectedRows` (indexes into
    // the table) selected: shows it and does what is chosen. It offers the
    // actions on the selected runs themselves; the rest is in the menu bar.
    void OnListMenu(std::span<const std::size_t> selectedRows);
    // The menu bar, its items enabled as they are now: the front end builds
    // it once from this, and asks MenuEnabled again as a menu opens.
    std::vector<Menu> MenuBar() const;
    bool MenuEnabled(int id) const;
    // The runner chose the menu bar's item `id`, or pressed its keys; an id
    // that is not the menu bar's, or an item greyed now, does nothing.
    void OnMenu(int id);
    // The ids of the menu bar's items, in the order of its tables.
    static constexpr int kFirstMenuId = 20001;  // below 0x7fff for wx, clear of its own
    // The tooltip of a row (CP936): its start and sync times with their
    // offsets, as stored, then its RunID whole; the RunID alone for a row
    // the store does not hold.
    std::string RowTip(std::size_t row);
    // Asks the jobs to stop; the window closes once they have ended.
    void Close();
    // A worker's report, or one a window message from elsewhere makes.
    void OnReport(const ProgressReport& report);

private:
    class Progress : public ProgressSink {
    public:
        explicit Progress(WindowController& controller) : m_controller(controller) {}
        void Post(ProgressReport report) override;

    private:
        WindowController& m_controller;
    };

    // true: the fields' texts into the settings; false: the settings into the fields.
    void UpdateData(bool fromFields);
    void Apply(const DialogUpdate& update);
    // The status line: `status` cut to fit it (a path from `pathAt` on), and
    // whole in its tooltip when cut.
    void ShowStatus(const std::string& status, std::optional<std::size_t> pathAt = std::nullopt);
    // The table's rows and the file the runner chose for them; nothing when
    // there are no rows (the runner is told) or the chooser was cancelled.
    std::optional<std::pair<RunList, ChosenFile>> ChooseExport(
        std::optional<ChosenFile> (WindowSurface::*choose)());
    // The end of an export: the status line says where the file went, or a
    // message why it did not.
    void ShowExported(const Outcome& written, const std::string& shownPath);
    void StartJob(JobKind kind);
    void ShowSettingsProblems();
    // Where the jobs work, with the settings as the fields hold them now;
    // the list menu's jobs take the user names from the fields.
    jobs::Workspace Where() const;
    jobs::Workspace FieldsWhere();
    // Reads the state column's posts from the store again.
    void ShowPostStates();
    // One run's post in the state column, as the sync reports it kept.
    void ShowPostState(const std::string& runId, PostState state);
    void ShowPosted(const std::string& runId, PostResult result);
    // The list menu's actions, on the selected runs they change (RunIDs).
    void SettlePosted(std::span<const std::string> runIds);
    void SettleRepost(std::span<const std::string> runIds);
    // Lets the next sync post runs kept off the run log.
    void SettleRelease(std::span<const std::string> runIds);
    // The list menu's actions on files (WindowFiles.cpp): keep the selected
    // runs off the run log; import run files as a job; write the table's runs
    // as FIT files into a folder.
    void SettleSkip(std::span<const std::string> runIds);
    void ImportFiles(std::span<const std::string> runIds);
    void ExportFit(std::span<const std::string> runIds);
    // The list menu's actions on the stored runs of the account in the
    // Nike+ user field; nothing goes over the network.
    void ShowStoredRuns(std::span<const std::string> runIds);
    void ShowStats(std::span<const std::string> runIds);
    void ExportTcx(std::span<const std::string> runIds);
    void ShowSyncRecord(std::span<const std::string> runIds);
    // The stored runs of the account in the field, by UTC start if `ordered`;
    // a message and nullopt when the store cannot be read.
    // The store's runs of the account by RunID, read once per list.
    // Settles the runs under the store's sync lock and shows the new states;
    // `again`: the runner agreed to post confirmed runs again.
    void Settle(bool posted, std::span<const std::string> runIds, bool again = false);

    // The menu bar's actions that take no runs (WindowMenus.cpp).
    void ExportCsv(std::span<const std::string>) { OnExport(); }
    void ShowAboutBox(std::span<const std::string>) { m_surface.ShowAbout(); }
    void Exit(std::span<const std::string>) { Close(); }
    // The run log's window, or to the front when it is open.
    void OpenRunLog(std::span<const std::string> runIds);
    // Runs or posts changed here: the run log shows them again.
    void RunLogFollows();

    // When an item of a menu can be chosen.
    enum class Offered {
        Always,
        NotYet,    // comes with a later version
        Open,      // not closing
        AsExport,  // as the export button
        WhenIdle,  // no job runs (it may be posting or replacing the runs), no closing
        // The list's: when idle, for the selected runs whose post it changes.
        Unconfirmed,  // the site did not confirm
        Sent,         // sent at least once
        Skippable,    // neither confirmed nor kept off
        KeptOff,      // kept off the run log
    };
    // One item of a menu: adding an item is one line in its table.
    struct MenuAction {
        const char* text;  // UTF-8, through the catalogue; null: a separator
        Offered offered;
        void (WindowController::*act)(std::span<const std::string> runIds);
        char ctrlKey = 0;  // 'O': Ctrl+O chooses it too
    };
    struct MenuOfActions {
        const char* title;  // UTF-8, through the catalogue
        std::span<const MenuAction> actions;
    };
    static std::span<const MenuOfActions> MenuBarActions();
    static std::span<const MenuAction> ListActions();
    // The menu bar's action of `id`; null for any other id.
    static const MenuAction* MenuBarAction(int id);
    // Whether the rule offers its item now, for some runs if it looks at runs.
    bool Offers(Offered offered) const;
    // Whether the rule's action changes a run whose post is `post` (none: never posted).
    static bool Changes(Offered offered, std::optional<PostState> post);
    void CloseWhenJobsEnded();

    WindowSurface& m_surface;
    WindowOptions m_options;
    DialogState m_state;
    std::optional<DialogView> m_shown;  // what the controls show
    Settings m_settings;                // with the credentials the fields hold
    std::shared_ptr<RunTable> m_table = std::make_shared<RunTable>();
    jobs::Workspace m_where;  // the settings file's store, or the demo's in memory
    ListRows m_list{m_table};
    int m_tableListener = 0;
    std::optional<std::pair<std::string, std::string>> m_lastTip;  // a RunID and its tooltip
    // This window started a sync that has not signed in yet; it has signed
    // in and not ended (its posts `sending` are in flight).
    bool m_syncStarted = false;
    bool m_syncPosting = false;
    bool m_closing = false;
    bool m_closed = false;
    Progress m_progress{*this};

    // The run log's window, while it is open; its import joined before the rest goes.
    std::unique_ptr<RunLogController> m_runLog;

    // Last, so they are joined before anything they use is destroyed.
    jobs::JobThreads m_jobs;
};

}  // namespace strivo
