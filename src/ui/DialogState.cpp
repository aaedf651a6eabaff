#include "ui/DialogState.h"

#include "model/ImportWords.h"
#include "model/ProblemWords.h"
#include "text/CodePage.h"
#include "text/TextHelpers.h"

namespace strivo {
namespace {

// A window text in CP936, from the Chinese catalogue, with `values` (CP936)
// put in its {0}, {1}..., their controls masked: a value may be a RunID.
std::string Say(const char* english, std::vector<std::string> values = {}) {
    for (std::string& value : values) {
        value = MaskControls(std::move(value), TextEncoding::Cp936);
    }
    return FillIn(Utf8ToCp936(Zh(english)), values);
}

// Why a step failed, as the status line says it after the failure's text:
// "（连接超时）"; nothing when nobody said why.
std::string Cause(const ProgressReport& report) {
    return report.problem ? Utf8ToCp936(ShortCause(*report.problem)) : std::string();
}

std::string Count(std::size_t count) {
    return std::to_string(count);
}

// "同步到Strivo成功！本次上传3条，之前已上传21条", "同步到Strivo失败：3/24条未上传，
// 其中1条结果未知，请在网站上核对后在列表中标记", then the runs kept off, the
// reason and the rows without a RunID. Gives what a narrow line drops
// first: the advice, then the runs kept off.
std::vector<StatusPart> ShowSyncDone(const ProgressReport& report, DialogView& view) {
    const SyncTally& tally = report.tally;
    std::vector<StatusPart> givesWay;
    // Failed before it signed in, the sync could not learn from the store
    // what was posted before: it says only that it posted nothing.
    if (!report.ok() && !tally.signedIn) {
        view.status =
            report.problem->code == ProblemCode::StoreInUse
                ? Say(N_("Another Strivo is syncing: this sync posted nothing"))
                : Say(N_("Syncing to Strivo failed: this sync posted nothing")) + Cause(report);
        return givesWay;
    }
    // Runs held back since an earlier sync and runs sent now without a whole
    // answer wait alike for the runner to settle them.
    const std::size_t inDoubt = tally.heldIds.size() + tally.unconfirmedIds.size();
    std::string status;
    if (report.ok()) {
        status = tally.total > 0 ? Say(N_("Synced to Strivo! {0} posted now, {1} before"),
                                       {Count(tally.total), Count(tally.alreadyPosted)})
                                 : Say(N_("Synced to Strivo! Nothing new, {0} posted before"),
                                       {Count(tally.alreadyPosted)});
    } else {
        status = Say(N_("Syncing to Strivo failed: {0}/{1} not posted"),
                     {Count(tally.notPosted), Count(tally.total)});
    }
    if (inDoubt > 0) {
        // Only runs of this sync are among those not posted.
        status += !report.ok() && tally.heldIds.empty()
                      ? Say(N_(", {0} of them with an unknown outcome"), {Count(inDoubt)})
                      : Say(N_(", {0} with an unknown outcome"), {Count(inDoubt)});
        const std::size_t at = status.size();
        status += Say(N_(": check them on the site, then mark them in the list"));
        givesWay.push_back({at, status.size()});
    }
    if (tally.excluded > 0) {
        const std::size_t at = status.size();
        status += Say(N_(", {0} more kept off the run log"), {Count(tally.excluded)});
        givesWay.push_back({at, status.size()});
    }
    if (!report.ok()) {
        status += Cause(report);
    }
    if (tally.withoutId > 0) {
        status += Say(N_(", {0} without a RunID"), {Count(tally.withoutId)});
    }
    view.status = std::move(status);
    return givesWay;
}

}  // namespace

std::vector<StatusPart> DialogState::StatusGivesWay() const {
    return m_view.status == m_givesWayOf ? m_givesWay : std::vector<StatusPart>();
}

DialogState::DialogState() {
    m_view.status = Say(N_("Waiting"));
}

DialogUpdate DialogState::OnServiceLogin(std::string_view user, std::string_view password) {
    m_view.summary.clear();
    return AskForJob(JobKind::Download, user, password);
}

DialogUpdate DialogState::OnSync(std::string_view user, std::string_view password) {
    return AskForJob(JobKind::Sync, user, password);
}

DialogUpdate DialogState::AskForJob(JobKind kind, std::string_view user,
                                    std::string_view password) const {
    const bool service = kind == JobKind::Download;
    DialogUpdate update = Answer();
    // A text of blanks is not empty.
    if (user.empty()) {
        update.message = service
                             ? Say(N_("Please type the Nike+ sign-in e-mail address or user name."))
                             : Say(N_("Please type the Kelvora forum user name."));
        update.focus = service ? DialogField::ServiceUser : DialogField::SiteUser;
    } else if (password.empty()) {
        update.message = service ? Say(N_("Please type the Nike+ password."))
                                 : Say(N_("Please type the Kelvora forum password."));
        update.focus = service ? DialogField::ServicePassword : DialogField::SitePassword;
    } else {
        update.start = kind;
    }
    return update;
}

DialogUpdate DialogState::OnJobStarted(JobKind kind) {
    if (kind == JobKind::Download) {
        m_view.status = Say(N_("Signing in to Nike+..."));
        m_view.serviceSignInEnabled = false;
        m_view.refreshEnabled = false;
    } else if (kind == JobKind::Sync) {
        m_view.status = Say(N_("Signing in to KelvoraStrivo..."));
        m_view.syncEnabled = false;
    }
    return Answer();
}

const std::string& DialogState::CannotStartThreadMessage() {
    static const std::string message = "Cannot Start New Thread";
    return message;
}

std::string DialogState::SettleFailedMessage(const Problem& problem) {
    return Say(N_("Marking failed")) + Utf8ToCp936(ShortCause(problem));
}

DialogUpdate DialogState::OnSettled(bool posted, int changed) {
    m_view.status = posted ? Say(N_("Marked {0} runs as posted"), {std::to_string(changed)})
                           : Say(N_("{0} runs will be posted again at the next sync"),
                                 {std::to_string(changed)});
    return Answer();
}

DialogUpdate DialogState::OnSkipped(int changed) {
    m_view.status = Say(N_("Kept {0} runs off the run log"), {std::to_string(changed)});
    return Answer();
}

DialogUpdate DialogState::OnReleased(int changed) {
    m_view.status = Say(N_("{0} runs will be posted at the next sync"), {std::to_string(changed)});
    return Answer();
}

DialogUpdate DialogState::OnImportStarted() {
    m_view.status = Say(N_("Importing run files..."));
    return Answer();
}

DialogUpdate DialogState::OnFitExported(int files, std::string_view path,
                                        const std::optional<Problem>& problem,
                                        const std::vector<RunProblem>& named) {
    if (problem) {
        return OnExportFinished(path, problem);
    }
    m_view.status = Say(N_("Exported {0} FIT files to {1}"), {Count(files), std::string(path)});
    DialogUpdate update = Answer();
    if (!named.empty()) {
        std::string message = Say(N_("These runs were not written as they are stored:"));
        for (const RunProblem& run : named) {
            message +=
                "\n" + Say(N_("run {0}: {1}"),
                           {run.runId, Utf8ToCp936(DescribeIn(ChineseCatalog(), run.problem))});
        }
        update.message = std::move(message);
    }
    return update;
}

namespace {

// The import's summary, as strivo-cli says it in Chinese, and a message
// naming the files that could not be read and those that hold no activity.
DialogUpdate ImportDoneUpdate(const ProgressReport& report, DialogView& view) {
    if (!report.ok()) {
        view.status = Say(N_("Importing the run files failed")) + Cause(report);
        return {view, view.status, {}, JobKind::None};
    }
    view.status = Utf8ToCp936(ImportSummary(ChineseCatalog(), report.imported));
    // Imported runs wait off the run log: say how many, and where to release them.
    if (report.imported.keptOff > 0) {
        view.status += Say(N_("{0} of them are kept off the run log until released in Runs > "
                              "Run log…"),
                           {Count(static_cast<std::size_t>(report.imported.keptOff))});
    }
    DialogUpdate update{view, {}, {}, JobKind::None};
    std::string unreadable, withoutActivity, readWithWarning;
    for (const Problem& problem : report.warnings) {
        const bool holdsNone = problem.code == ProblemCode::ImportCourse ||
                               problem.code == ProblemCode::ImportWorkout ||
                               problem.code == ProblemCode::ImportNoActivity;
        std::string& group = problem.code == ProblemCode::ImportFileWarning ? readWithWarning
                             : holdsNone                                    ? withoutActivity
                                                                            : unreadable;
        group += "\n" + Utf8ToCp936(DescribeIn(ChineseCatalog(), problem));
    }
    const auto add = [&update](std::string part) {
        update.message = update.message ? *update.message + "\n\n" + part : std::move(part);
    };
    if (!unreadable.empty()) {
        add(Say(N_("These files could not be read:")) + unreadable);
    }
    if (!withoutActivity.empty()) {
        add(Say(N_("These files hold no activity:")) + withoutActivity);
    }
    // Files read all the same say so themselves, each on its line.
    if (!readWithWarning.empty()) {
        add(readWithWarning.substr(1));
    }
    return update;
}

// A job's end, and what it could not keep or found wrong, as a message.
DialogUpdate WarningsUpdate(const ProgressReport& report, const DialogView& view) {
    DialogUpdate update{view, {}, {}, JobKind::None};
    if (!report.warnings.empty()) {
        std::string message = Say(N_("Please note:"));
        for (const Problem& problem : report.warnings) {
            message += "\n" + Utf8ToCp936(DescribeIn(ChineseCatalog(), problem));
        }
        update.message = std::move(message);
    }
    return update;
}

}  // namespace

DialogUpdate DialogState::OnSettleFailed(const Problem& problem) {
    DialogUpdate update = Answer();
    m_view.status = update.view.status = SettleFailedMessage(problem);
    update.message = m_view.status;
    return update;
}

std::string DialogState::RepostConfirmedQuestion(const std::vector<std::string>& runIds) {
    if (runIds.size() == 1) {
        return Say(N_("The run log already has run {0}; posting it again puts it there twice. "
                      "Post it again?"),
                   {runIds[0]});
    }
    // A few RunIDs name them; the rest are counted.
    constexpr std::size_t kNamed = 3;
    std::string named;
    for (std::size_t i = 0; i < runIds.size() && i < kNamed; ++i) {
        named += (i > 0 ? ", " : "") + runIds[i];
    }
    if (runIds.size() > kNamed) {
        named += Utf8ToCp936("…");
    }
    return Say(N_("The run log already has {0} of these runs ({1}); posting them again puts "
                  "each there twice. Post them again?"),
               {Count(runIds.size()), named});
}

DialogUpdate DialogState::OnRepostDeclined() {
    m_view.status = Say(N_("Posting again cancelled"));
    return Answer();
}

std::string DialogState::SettingsProblemsMessage(const std::vector<Problem>& problems,
                                                 std::string_view settingsFile) {
    // The file first, so that the runner knows which one to open.
    std::string message =
        Say(N_("The settings file holds settings that cannot be used; mend them and open "
               "Strivo again:")) +
        "\n" + std::string(settingsFile);
    for (const Problem& problem : problems) {
        message += "\n" + Utf8ToCp936(DescribeIn(ChineseCatalog(), problem));
    }
    return message;
}

DialogUpdate DialogState::OnReport(const ProgressReport& report) {
    const bool ok = report.ok();
    switch (report.step) {
        case Step::ServiceSignedIn:
            if (ok) {
                m_view.status = Say(N_("Downloading the Nike+ user's data..."));
            } else {
                m_view.status = Say(N_("Signing in to Nike+ failed...")) + Cause(report);
                m_view.serviceSignInEnabled = true;
            }
            break;
        case Step::SummaryReady:
            // The credential fields stay as the user has them now; the worker
            // has emptied the table itself.
            m_view.summary = report.summary;
            m_view.status = Say(N_("Downloading the Nike+ runs..."));
            break;
        case Step::RunsDownloaded:
            if (ok) {
                m_view.status = Say(N_("Downloading the Nike+ runs ended well..."));
                m_view.syncEnabled = true;
            } else {
                m_view.status = Say(N_("Downloading the Nike+ runs failed...")) + Cause(report);
                m_view.serviceSignInEnabled = true;
            }
            m_view.refreshEnabled = true;
            return WarningsUpdate(report, m_view);
        case Step::SiteSignedIn:
            if (ok) {
                m_view.status = Say(N_("Syncing the Nike+ runs to Strivo..."));
            } else {
                m_view.status =
                    Say(N_("Signing in to the Kelvora forum failed...")) + Cause(report);
                m_view.syncEnabled = true;
            }
            break;
        case Step::Posting:
            break;
        case Step::Posted:
            m_view.status = Say(N_("Syncing the Nike+ runs to Strivo...")) + " " +
                            std::to_string(report.processed) + "/" + std::to_string(report.total);
            break;
        case Step::SyncDone:
            m_givesWay = ShowSyncDone(report, m_view);
            m_givesWayOf = m_view.status;
            if (!ok) {
                m_view.syncEnabled = true;  // a retry posts only what is missing
            }
            return WarningsUpdate(report, m_view);
        case Step::FileImported:
            m_view.status = Say(N_("Importing run files...")) + " " +
                            std::to_string(report.processed) + "/" + std::to_string(report.total);
            break;
        case Step::ImportDone:
            return ImportDoneUpdate(report, m_view);
        case Step::FileExported:
            break;
    }
    return Answer();
}

std::optional<std::string> DialogState::OnExportPressed(std::size_t rowCount) const {
    if (rowCount == 0) {
        return Say(N_("There is nothing to export!"));
    }
    return std::nullopt;
}

DialogUpdate DialogState::OnExportStarted() {
    m_view.exportEnabled = false;
    return Answer();
}

DialogUpdate DialogState::OnExportFinished(std::string_view path,
                                           const std::optional<Problem>& problem) {
    m_view.exportEnabled = true;
    if (!problem) {
        m_view.status = Say(N_("Exported the data to {0}"), {std::string(path)});
        return Answer();
    }
    DialogUpdate update = Answer();
    update.message =
        Say(N_("Exporting the data failed, the file was not saved: {0}"), {std::string(path)});
    // Why, in the words strivo-cli says it under a Chinese locale.
    if (problem->code != ProblemCode::None) {
        *update.message += "\n" + Utf8ToCp936(DescribeIn(ChineseCatalog(), *problem));
    }
    return update;
}

DialogUpdate DialogState::OnStoredRunsShown(std::size_t count, std::string_view downloaded) {
    m_view.summary = downloaded.empty()
                         ? Say(N_("Runs kept on this computer: {0}"), {Count(count)})
                         : Say(N_("Runs kept on this computer: {0}, last downloaded {1}"),
                               {Count(count), std::string(downloaded)});
    m_view.syncEnabled = count > 0;
    m_view.status = Say(N_("Showing the {0} runs kept on this computer"), {Count(count)});
    return Answer();
}

DialogUpdate DialogState::OnStatsShown(std::size_t count) {
    m_view.status = Say(N_("Showed the distance statistics of {0} runs"), {Count(count)});
    return Answer();
}

std::string DialogState::StoreReadFailedMessage(const Problem& problem) {
    return Say(N_("Cannot read the runs kept on this computer")) + Utf8ToCp936(ShortCause(problem));
}

DialogUpdate DialogState::OnBrowserFailed(std::string_view url) {
    m_view.status = Say(N_("Cannot start a browser; please visit {0}"), {std::string(url)});
    return Answer();
}

}  // namespace strivo
