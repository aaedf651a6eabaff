#include "ui/WindowController.h"

#include <algorithm>
#include <system_error>

#include "io/RunText.h"
#include "io/TimeText.h"
#include "jobs/Export.h"
#include "jobs/Settle.h"
#include "jobs/Stats.h"
#include "jobs/Status.h"
#include "jobs/StoredRuns.h"
#include "model/ProblemWords.h"
#include "text/Catalog.h"
#include "text/CodePage.h"
#include "text/TextHelpers.h"
#include "ui/ControlIds.h"
#include "ui/RunColumns.h"
#include "ui/StatusLine.h"
#include "ui/SyncRecordText.h"

namespace strivo {
namespace {

// The state column's text for a post (CP936). A post still `sending` is in
// flight while this window's sync posts; otherwise nobody knows its outcome.
const std::string& PostStateText(PostState state, bool syncPosting) {
    static const std::string confirmed = Utf8ToCp936(Zh(N_("Posted")));
    static const std::string unknown = Utf8ToCp936(Zh(N_("Outcome unknown")));
    static const std::string failed = Utf8ToCp936(Zh(N_("Posting failed")));
    static const std::string excluded = Utf8ToCp936(Zh(N_("Not to be posted")));
    static const std::string posting = Utf8ToCp936(Zh(N_("Posting")));
    switch (state) {
        case PostState::Confirmed:
            return confirmed;
        case PostState::Failed:
            return failed;
        case PostState::Excluded:
            return excluded;
        case PostState::Sending:
            return syncPosting ? posting : unknown;
        case PostState::Unknown:
            break;
    }
    return unknown;
}

// The state column's text for a run never posted.
const std::string& WaitingText() {
    static const std::string waiting = Utf8ToCp936(Zh(N_("Not posted yet")));
    return waiting;
}

// A row's tooltip: the times as the service sent them, offsets and all (as
// `strivo-cli runs` prints them), and the sync in the runner's local time,
// which is the offset the run started in.
std::string RunTimesTip(const StoredRun& run) {
    std::string tip = FillIn(Utf8ToCp936(Zh(N_("Start: {0}\nSynced: {1}"))),
                             {MaskControls(TextsOf(run).startTime, TextEncoding::Cp936),
                              MaskControls(run.syncTime, TextEncoding::Cp936)});
    if (run.syncUtcMs && run.startOffsetMinutes) {
        tip += FillIn(Utf8ToCp936(Zh(N_(" (the runner's local time {0})"))),
                      {OffsetTimeText(*run.syncUtcMs, *run.startOffsetMinutes)});
    }
    return tip;
}

}  // namespace

WindowController::WindowController(WindowSurface& surface, WindowOptions options,
                                   jobs::JobLaunchers jobs)
    : m_surface(surface),
      m_options(std::move(options)),
      // Called on the job's thread.
      m_jobs(m_progress, m_table, std::move(jobs),
             [this] { m_surface.Post([this] { CloseWhenJobsEnded(); }); }) {}

WindowController::~WindowController() {
    m_jobs.StopAll();
    if (m_tableListener != 0) {
        m_table->RemoveListener(m_tableListener);
    }
}

// Called on the worker's thread.
void WindowController::Progress::Post(ProgressReport report) {
    WindowController& controller = m_controller;
    controller.m_surface.Post(
        [&controller, report = std::move(report)] { controller.OnReport(report); });
}

void WindowController::OnReport(const ProgressReport& report) {
    // An import ends showing the stored runs, then its counts.
    if (report.step == Step::ImportDone && report.ok()) {
        ShowStoredRuns({});
        ShowPostStates();  // the runs imported start kept off the run log
    }
    Apply(m_state.OnReport(report));
    switch (report.step) {
        case Step::SiteSignedIn:
            // The sync has turned posts left `sending` into unknown ones and
            // holds the store's lock: a post `sending` from now on is its own.
            m_syncPosting = m_syncStarted && report.ok();
            m_syncStarted = false;
            ShowPostStates();
            break;
        case Step::Posting:
            ShowPostState(report.runId, PostState::Sending);
            break;
        case Step::Posted:
            ShowPosted(report.runId, report.result);
            break;
        case Step::SyncDone:
            m_syncPosting = m_syncStarted = false;
            ShowPostStates();
            break;
        case Step::RunsDownloaded:
            m_lastTip.reset();  // the download has stored its runs
            break;
        case Step::ServiceSignedIn:
        case Step::SummaryReady:
        case Step::FileImported:
        case Step::ImportReading:
        case Step::ImportDone:
        case Step::FileExported:
            break;
    }
    // Reading the run log again after each post would cost a sync of a
    // thousand runs a thousand readings: it follows as a sync starts and ends.
    if (report.step == Step::ImportDone || report.step == Step::SiteSignedIn ||
        report.step == Step::SyncDone || report.step == Step::RunsDownloaded) {
        RunLogFollows();
    }
}

void WindowController::Start() {
    // Called on whichever thread changed the table: only post.
    m_tableListener = m_table->AddListener([this](std::size_t rowCount) {
        m_surface.Post([this, rowCount] {
            const ListRows::Change change = m_list.Update(rowCount);
            if (change.newList) {
                m_lastTip.reset();
            }
            m_surface.ListChanged(m_list, change);
        });
    });
    m_settings = m_options.settings ? *m_options.settings : LoadSettings(m_options.settingsPath);
    // The demo's store lives as long as the window, like its stand-ins.
    m_where = jobs::ForSettingsFile(m_options.settingsPath, m_settings, m_options.sessionConfig);
    if (m_options.settings) {
        if (Result<jobs::Workspace> demo = jobs::InMemory(m_settings, m_options.sessionConfig)) {
            m_where = std::move(*demo);
        }
    }
    UpdateData(false);
    ShowPostStates();
    Apply(DialogUpdate{m_state.view(), {}, {}, JobKind::None});
    m_surface.Focus(IDC_SERVICE_LOGIN);
    if (!m_settings.problems.empty()) {
        m_surface.Post([this] { ShowSettingsProblems(); });  // once the window shows
    }
}

void WindowController::ShowSettingsProblems() {
    const std::u8string file = m_options.settingsPath.u8string();
    m_surface.ShowSettingsProblems(DialogState::SettingsProblemsMessage(
        m_settings.problems, Utf8ToCp936(std::string(file.begin(), file.end()))));
}

void WindowController::UpdateData(bool fromFields) {
    const struct {
        int id;
        std::string* text;
    } fields[] = {{IDC_SERVICE_USER, &m_settings.serviceUser},
                  {IDC_SERVICE_PASSWORD, &m_settings.servicePassword},
                  {IDC_SITE_USER, &m_settings.siteUser},
                  {IDC_SITE_PASSWORD, &m_settings.sitePassword}};
    for (const auto& field : fields) {
        if (fromFields) {
            *field.text = m_surface.Text(field.id);
        } else {
            m_surface.SetText(field.id, *field.text);
        }
    }
}

void WindowController::Apply(const DialogUpdate& update) {
    DialogView view = update.view;
    // A summary or a status may carry the services' words.
    view.status = MaskControls(std::move(view.status), TextEncoding::Cp936);
    view.summary = MaskControls(std::move(view.summary), TextEncoding::Cp936);
    if (m_closing) {  // nothing starts while the window waits for its jobs to end
        view.serviceSignInEnabled = view.refreshEnabled = view.syncEnabled = view.exportEnabled =
            false;
    }
    if (!m_shown || m_shown->status != view.status) {
        ShowStatus(view.status);
    }
    if (!m_shown || m_shown->summary != view.summary) {
        m_surface.SetText(IDC_SUMMARY, view.summary);
    }
    m_shown = view;
    m_surface.SetEnabled(IDC_SERVICE_LOGIN, view.serviceSignInEnabled);
    m_surface.SetEnabled(IDC_REFRESH, view.refreshEnabled);
    m_surface.SetEnabled(IDC_SYNC, view.syncEnabled);
    m_surface.SetEnabled(IDC_EXPORT, view.exportEnabled);
    if (update.message) {
        m_surface.ShowMessage(*update.message);
    }
    if (update.focus) {
        static constexpr int kFieldIds[] = {IDC_SERVICE_USER, IDC_SERVICE_PASSWORD, IDC_SITE_USER,
                                            IDC_SITE_PASSWORD};
        m_surface.Focus(kFieldIds[static_cast<int>(*update.focus)]);
    }
    if (update.start != JobKind::None) {
        StartJob(update.start);
    }
}

void WindowController::StartJob(JobKind kind) {
    if (m_closing) {
        return;
    }
    // No request goes to a host or port the user did not mean.
    if (!m_settings.problems.empty()) {
        ShowSettingsProblems();
        return;
    }
    try {
        if (kind == JobKind::Download) {
            m_jobs.StartDownload(Where());
        } else {
            m_jobs.StartSync(Where());
            m_syncStarted = true;
        }
    } catch (const std::system_error&) {
        m_surface.ShowAppMessage(DialogState::CannotStartThreadMessage());
        return;
    }
    Apply(m_state.OnJobStarted(kind));
}

bool WindowController::OnButton(int id) {
    switch (id) {
        case IDC_SERVICE_LOGIN:
        case IDC_REFRESH:
            OnServiceLogin();
            return true;
        case IDC_SYNC:
            OnSync();
            return true;
        case IDC_EXPORT:
            OnExport();
            return true;
        case IDC_VISIT_SITE:
            OnVisitSite();
            return true;
        default:
            return false;
    }
}

void WindowController::OnServiceLogin() {
    if (m_closing) {
        return;
    }
    UpdateData(true);
    Apply(m_state.OnServiceLogin(m_settings.serviceUser, m_settings.servicePassword));
}

void WindowController::OnSync() {
    if (m_closing) {
        return;
    }
    UpdateData(true);
    Apply(m_state.OnSync(m_settings.siteUser, m_settings.sitePassword));
}

void WindowController::OnExport() {
    if (m_closing) {
        return;
    }
    const auto chosen = ChooseExport(&WindowSurface::ChooseCsvFile);
    if (!chosen) {
        return;
    }
    const auto& [rows, file] = *chosen;
    Apply(m_state.OnExportStarted());
    ShowExported(jobs::ExportCsv(Where(), rows, {file.path}), file.text);
}

std::optional<std::pair<RunList, ChosenFile>> WindowController::ChooseExport(
    std::optional<ChosenFile> (WindowSurface::*choose)()) {
    // The rows as they are now decide what is written.
    RunList rows = m_table->Snapshot();
    if (const auto message = m_state.OnExportPressed(rows.size())) {
        m_surface.ShowMessage(*message);
        return std::nullopt;
    }
    std::optional<ChosenFile> file = (m_surface.*choose)();
    if (!file) {
        return std::nullopt;
    }
    return std::pair{std::move(rows), std::move(*file)};
}

void WindowController::ShowExported(const Outcome& written, const std::string& shownPath) {
    Apply(m_state.OnExportFinished(
        shownPath, written ? std::nullopt : std::optional<Problem>(written.problem())));
    if (written.ok()) {
        const std::string& status = m_state.view().status;
        ShowStatus(status, status.size() - shownPath.size());
    }
}

void WindowController::ShowStatus(const std::string& status, std::optional<std::size_t> pathAt) {
    const int width = m_surface.Width(IDC_STATUS);
    const std::string shown =
        width <= 0 ? status
                   : FitStatusLine(
                         status, pathAt,
                         [&](const std::string& text) {
                             return m_surface.TextWidth(IDC_STATUS, text) <= width;
                         },
                         pathAt ? std::vector<StatusPart>() : m_state.StatusGivesWay());
    m_surface.SetText(IDC_STATUS, shown);
    m_surface.SetToolTip(IDC_STATUS, shown == status ? std::string() : status);
}

void WindowController::OnVisitSite() {
    const std::string url = SiteUrl(m_settings, "");
    if (!m_surface.OpenBrowser(url)) {
        Apply(m_state.OnBrowserFailed(url));
    }
}

jobs::Workspace WindowController::Where() const {
    jobs::Workspace where = m_where;
    where.settings = m_settings;
    return where;
}

jobs::Workspace WindowController::FieldsWhere() {
    jobs::Workspace where = Where();
    where.settings.serviceUser = m_surface.Text(IDC_SERVICE_USER);
    where.settings.siteUser = m_surface.Text(IDC_SITE_USER);
    return where;
}

void WindowController::ShowPostStates() {
    // A store that cannot be read shows no states; the jobs say why.
    const Result<jobs::PostStates> posts = jobs::ReadPostStates(FieldsWhere());
    std::unordered_map<std::string, const std::string*> states;
    for (const auto& [runId, post] : posts ? *posts : jobs::PostStates()) {
        states.emplace(runId, &PostStateText(post.state, m_syncPosting));
    }
    m_list.SetPostStates(std::move(states), posts ? &WaitingText() : nullptr);
    m_surface.PostStatesChanged();
}

void WindowController::ShowPostState(const std::string& runId, PostState state) {
    // A window message from elsewhere names no run.
    if (!runId.empty()) {
        m_list.SetPostState(runId, PostStateText(state, m_syncPosting));
        m_surface.PostStatesChanged();
    }
}

void WindowController::ShowPosted(const std::string& runId, PostResult result) {
    // The outcome is in the store as reported: the window's sync posts no
    // run the site confirmed before, which alone the store would keep
    // confirmed whatever this post did. A post that never went out leaves the
    // run as it was before, which only the store knows.
    switch (result) {
        case PostResult::Confirmed:
            ShowPostState(runId, PostState::Confirmed);
            break;
        case PostResult::Failed:
            ShowPostState(runId, PostState::Failed);
            break;
        case PostResult::Unknown:
            ShowPostState(runId, PostState::Unknown);
            break;
        case PostResult::NotSent:
            ShowPostStates();
            break;
    }
}

void WindowController::OnSiteUserEdited() {
    ShowPostStates();
    if (m_runLog) {
        m_runLog->OnFieldsChanged();
    }
}

void WindowController::OnServiceUserEdited() {
    if (m_runLog) {
        m_runLog->OnFieldsChanged();
    }
}

std::string WindowController::RowTip(std::size_t row) {
    const RunList rows = m_table->Snapshot();
    if (row >= rows.size()) {
        return {};
    }
    // The run under the pointer, read from the store when first asked: a
    // million rows are never read for their tooltips.
    const std::string runId(rows[row].id());
    if (!m_lastTip || m_lastTip->first != runId) {
        // Tooltips only: a store that cannot be read gives no times. The
        // RunID is whole here, however narrow its column.
        const Result<std::optional<StoredRun>> run = jobs::ReadStoredRun(Where(), runId);
        std::string tip = run && *run ? RunTimesTip(**run) + "\n" : std::string();
        if (!runId.empty()) {
            tip += FillIn(Utf8ToCp936(Zh(N_("RunID: {0}"))), {runId});
        }
        m_lastTip.emplace(runId, std::move(tip));
    }
    return m_lastTip->second;
}

void WindowController::ShowStoredRuns(std::span<const std::string>) {
    // The rows are made as the runs are read: no run is held beside its row.
    RunList::Builder rows;
    std::size_t count = 0;
    StoreTime downloaded{};
    const Result<jobs::StoredRunsFound> read = jobs::EachStoredRun(
        FieldsWhere(), /*withPosts=*/false, jobs::StoredOrder::ByStart,
        [](const jobs::StoredRunsFound&) {},
        [&](const StoredRun& run) {
            rows.Add(jobs::RunOf(run));
            ++count;
            // A run read from a file was never downloaded: its import says nothing of when.
            if (run.source.empty()) {
                downloaded = std::max(downloaded, run.lastSeen);
            }
        });
    if (!read) {
        m_surface.ShowMessage(DialogState::StoreReadFailedMessage(read.problem()));
        return;
    }
    // The account whose runs the table shows is the one the tooltips look up.
    m_settings.serviceUser = m_surface.Text(IDC_SERVICE_USER);
    m_table->Replace(rows.Finish());
    m_lastTip.reset();
    Apply(m_state.OnStoredRunsShown(
        count, downloaded == StoreTime{} ? std::string() : LocalMinuteText(downloaded)));
}

void WindowController::ShowStats(std::span<const std::string>) {
    // One pass, in no order, holding no run: a million runs open it in a second.
    Result<jobs::StoredTotalsEveryPeriod> stats = jobs::StatsEveryPeriod(FieldsWhere());
    if (!stats) {
        m_surface.ShowMessage(DialogState::StoreReadFailedMessage(stats.problem()));
        return;
    }
    StatsChart chart(std::move(stats->totals));
    m_surface.ShowStats(chart);
    Apply(m_state.OnStatsShown(stats->runs));
}

void WindowController::ExportTcx(std::span<const std::string>) {
    const auto chosen = ChooseExport(&WindowSurface::ChooseTcxFile);
    if (!chosen) {
        return;
    }
    const auto& [rows, file] = *chosen;
    // The table's runs, each as the store holds it; nothing is written when
    // the store cannot be read.
    std::vector<std::string> runIds;
    for (const Run& row : rows) {
        runIds.emplace_back(row.id());
    }
    Apply(m_state.OnExportStarted());
    const Result<jobs::TcxExported> exported = jobs::ExportTcx(Where(), {file.path}, runIds);
    ShowExported(exported ? Outcome() : Outcome(exported.problem()), file.text);
}

void WindowController::ShowSyncRecord(std::span<const std::string>) {
    const Result<std::vector<SyncRecord>> syncs = jobs::LastSyncs(Where(), kSyncsShown);
    if (!syncs) {
        m_surface.ShowMessage(Utf8ToCp936(Zh(N_("Cannot read the record of syncs"))) +
                              Utf8ToCp936(ShortCause(syncs.problem())));
        return;
    }
    m_surface.ShowSyncRecord(SyncRecordText(*syncs));
}

void WindowController::Close() {
    if (m_closing) {
        return;
    }
    m_closing = true;
    m_jobs.RequestStop();
    if (m_runLog) {
        m_runLog->Close();  // stops its import; its window goes with this one
    }
    if (m_shown) {
        Apply(DialogUpdate{*m_shown, {}, {}, JobKind::None});  // every button off
    }
    CloseWhenJobsEnded();
}

void WindowController::CloseWhenJobsEnded() {
    // No worker outlives the window: it goes once the last job has ended.
    if (m_jobs.JoinEnded() || !m_closing || m_closed) {
        return;
    }
    m_closed = true;
    m_table->RemoveListener(m_tableListener);
    m_tableListener = 0;
    // A failed save changes nothing on disk and is not reported.
    if (!m_options.settings) {
        (void)SaveSettings(m_options.settingsPath, m_settings.serviceUser, m_settings.siteUser);
    }
    m_surface.CloseWindow();
}

}  // namespace strivo
