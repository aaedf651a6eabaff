#include "app/Cli.h"

#include <algorithm>
#include <chrono>
#include <ctime>
#include <memory>
#include <optional>
#include <set>

#include "app/CliArguments.h"
#include "app/TerminalTable.h"
#include "app/Translate.h"
#include "export/CsvExport.h"
#include "history/RunProblemText.h"
#include "history/TcxWriter.h"
#include "history/TotalsText.h"
#include "io/AtomicFile.h"
#include "rows/RunTable.h"
#include "runservice/RunList.h"
#include "runservice/RunServiceWorker.h"
#include "settings/Settings.h"
#include "site/RunLogForm.h"
#include "site/SiteWorker.h"
#include "site/SyncPlan.h"
#include "store/SharedStore.h"
#include "text/CodePage.h"
#include "text/TextHelpers.h"

#if STRIVO_STAND_INS
#include "sim/DemoConnection.h"
#include "sim/StandIns.h"
#endif

namespace strivo {
namespace {

// Keeps the reports of a job; shows what it does as it goes: on a terminal
// one line rewritten in place, in a log a line per run posted, and with
// --quiet nothing.
class CliProgress : public ProgressSink {
public:
    CliProgress(std::ostream& err, bool terminal, bool quiet)
        : m_err(err), m_terminal(terminal), m_quiet(quiet) {}
    // On the job's thread; the reports are read after it has been joined.
    void Post(ProgressReport report) override {
        if (report.message == WM_SYNC_PROGRESS && !m_quiet) {
            const std::string line = Fill(Tr("posting {0}/{1}"), report.processed, report.total);
            if (m_terminal) {
                Status(line);
            } else {
                m_err << line << "\n";
                m_err.flush();
            }
        }
        if (report.message == WM_SITE_LOGIN_DONE) {
            Clear();
        }
        if (report.message == WM_SERVICE_LOGIN_DONE && Succeeded(report.outcome)) {
            Status(Tr("downloading the run list…"));
        }
        m_reports.push_back(std::move(report));
    }
    // On the job's thread: the run list's bytes so far, said by the tenth of a megabyte.
    void RunListBytes(std::size_t bytes) {
        const std::size_t tenths = bytes / 100000;
        if (tenths != m_tenths) {
            m_tenths = tenths;
            Status(Fill(Tr("downloading the run list… {0} MB"),
                        std::to_string(tenths / 10) + "." + std::to_string(tenths % 10)));
        }
    }
    // What is being done, in place of what was said before; on a terminal only.
    void Status(const std::string& line) {
        if (m_terminal && !m_quiet) {
            // Back to the line's start, and erase it to its end (ECMA-48 EL).
            m_err << "\r\x1b[K" << line;
            m_err.flush();
            m_lineOpen = true;
        }
    }
    // Erases what Status said, before anything else is said.
    void Clear() {
        if (m_lineOpen) {
            m_err << "\r\x1b[K";
            m_err.flush();
            m_lineOpen = false;
        }
    }
    // Ends the line that progress rewrote, keeping it, before anything else is said.
    void EndLine() {
        if (m_lineOpen) {
            m_err << "\n";
            m_lineOpen = false;
        }
    }
    const ProgressReport* Find(ProgressMessage message) const {
        for (const auto& report : m_reports) {
            if (report.message == message) {
                return &report;
            }
        }
        return nullptr;
    }

private:
    std::ostream& m_err;
    const bool m_terminal;
    const bool m_quiet;
    bool m_lineOpen = false;
    std::size_t m_tenths = 0;
    std::vector<ProgressReport> m_reports;
};

class CliRun {
public:
    CliRun(const CliOptions& options, CliEnvironment& env) : m_options(options), m_env(env) {}

    int Run() {
        if (const int status = LoadConfiguration(); status != kExitDone) {
            return status;
        }
        if (m_options.command == "settle") {
            return Settle();
        }
        if (ReadsStoreOnly()) {
            // The demo's store lives in memory: it holds what this run downloads.
            if (m_options.demo) {
                if (const int status = Download(/*print=*/false); status != kExitDone) {
                    return status;
                }
            }
            return m_options.command == "runs" ? ListRuns() : Stats();
        }
        // A quiet sync says its outcome alone.
        const bool print = !(m_options.quiet && m_options.command == "sync");
        if (const int status = Download(print); status != kExitDone) {
            return status;
        }
        if (const int status = SaveCsv(m_table->Snapshot()); status != kExitDone) {
            return status;
        }
        if (m_options.command != "sync") {
            if (!m_options.tcx) {
                return kExitDone;
            }
            // Every stored run, also those the service no longer lists.
            std::vector<StoredRun> runs;
            if (const int status = ReadStoredRuns(runs, nullptr); status != kExitDone) {
                return status;
            }
            return SaveTcx(runs);
        }
        return m_options.dryRun ? DryRun() : Sync();
    }

private:
    bool ReadsStoreOnly() const {
        return m_options.command == "runs" || m_options.command == "stats";
    }

    // `--csv -` (or --tcx, --svg): standard output carries the file alone;
    // what a person reads goes to standard error.
    static bool ToStandardOutput(const std::optional<std::filesystem::path>& file) {
        return file && *file == "-";
    }
    bool CsvToStandardOutput() const { return ToStandardOutput(m_options.csv); }
    std::ostream& Out() {
        return CsvToStandardOutput() || ToStandardOutput(m_options.tcx) ||
                       ToStandardOutput(m_options.svg)
                   ? m_env.err
                   : m_env.out;
    }

    // A file of its own making, in full or not at all, or to standard output.
    int SaveFile(const std::filesystem::path& path, std::string_view content) {
        if (path == "-") {
            m_env.out << content;
            m_env.out.flush();
            return kExitDone;
        }
        // Like any new document: readable and writable by all, less the umask.
        using std::filesystem::perms;
        const FileResult written = WriteFileAtomically(
            path, content,
            perms::owner_read | perms::owner_write | perms::group_read | perms::group_write |
                perms::others_read | perms::others_write);
        if (!written) {
            Error(Fill(Tr("cannot write {0}: {1}"), Utf8Path(path), TrReason(written.error)));
            return kExitFailed;
        }
        return kExitDone;
    }

    // Every stored run of the account as TCX; a run it could not write in
    // full is named, one line each.
    int SaveTcx(const std::vector<StoredRun>& runs) {
        if (!m_options.tcx) {
            return kExitDone;
        }
        const TcxFile tcx = WriteTcx(runs);
        NameProblems(tcx.problems);
        if (const int status = SaveFile(*m_options.tcx, tcx.text); status != kExitDone) {
            return status;
        }
        if (!ToStandardOutput(m_options.tcx) && !m_options.quiet) {
            const auto count = static_cast<unsigned long>(tcx.activities);
            m_env.err << Fill(TrN("Saved {0} run to {1}", "Saved {0} runs to {1}", count),
                              tcx.activities, Utf8Path(*m_options.tcx))
                      << "\n";
        }
        return kExitDone;
    }

    void NameProblems(const std::vector<RunProblem>& problems) {
        for (const RunProblem& problem : problems) {
            Error(Fill(Tr("warning: run {0}: {1}"), ForTerminal(problem.runId), TrReason(RunProblemEnglish(problem))));
        }
    }

    int SaveCsv(const RunRows& rows) {
        if (CsvToStandardOutput()) {
            WriteCsv(m_env.out, rows);
            m_env.out.flush();
        } else if (m_options.csv) {
            const FileResult written = ExportCsv(*m_options.csv, rows);
            if (!written) {
                Error(Fill(Tr("cannot write {0}: {1}"), Utf8Path(*m_options.csv), TrReason(written.error)));
                return kExitFailed;
            }
            if (!m_options.quiet) {
                m_env.err << Fill(TrN("Saved {0} run to {1}", "Saved {0} runs to {1}", rows.size()),
                                  rows.size(), Utf8Path(*m_options.csv))
                          << "\n";
            }
        }
        return kExitDone;
    }

    // Reads settings and resolves every credential before any network work.
    int LoadConfiguration() {
        m_sessionConfig = m_env.sessionConfig;
        std::string source;
        if (m_options.demo) {
#if STRIVO_STAND_INS
            try {
                m_demo = std::make_unique<sim::StandIns>();
                m_demo->Start();
            } catch (const std::exception& error) {
                Error(Fill(Tr("cannot start the demo services: {0}"), error.what()));
                return kExitFailed;
            }
            m_settings = m_demo->ClientSettings();
            sim::ConnectToStandIns(*m_demo, m_sessionConfig);
            source = Tr("the demo settings");
#else
            Error(Tr("this build has no demo services"));
            return kExitUsage;
#endif
        } else {
            const std::filesystem::path path =
                m_options.config ? *m_options.config : m_env.defaultSettingsPath;
            std::error_code error;
            if (!std::filesystem::exists(path, error) && !error) {
                // A first run: the file to make, and what goes in it.
                Error(Fill(Tr("the settings file {0} does not exist; create it with these lines:"),
                           Utf8Path(path)));
                m_env.err << "[nike+]\nuser=" << Tr("NAME") << "\npwd=" << Tr("PASSWORD")
                          << "\n[kelvora]\nuser=" << Tr("NAME") << "\npwd=" << Tr("PASSWORD")
                          << "\n";
                return kExitUsage;
            }
            if (m_options.config && !std::filesystem::is_regular_file(path, error)) {
                Error(Fill(Tr("cannot read the settings file {0}"), Utf8Path(path)));
                return kExitUsage;
            }
            m_settings = ReadSettings(path);
            for (const SettingsProblem& problem : m_settings.problems) {
                Error(Fill(problem.kind == SettingsProblem::Kind::NotAPort
                               ? Tr("{0}: {1}={2}: not a port (1 to 65535)")
                           : problem.kind == SettingsProblem::Kind::NoSuchFile
                               ? Tr("{0}: {1}={2}: no such file")
                               : Tr("{0}: {1}={2}: not used on Windows, which trusts only the "
                                    "authorities in its certificate store; import the authority "
                                    "there and remove the line"),
                           Utf8Path(path), problem.key, problem.value));
            }
            if (!m_settings.problems.empty()) {
                return kExitUsage;
            }
            m_storePath = StorePathFor(path);
            // Reading the runs makes no store where there is none.
            m_store = !ReadsStoreOnly() || std::filesystem::exists(m_storePath, error)
                          ? SharedStore::ForSettings(path)
                          : nullptr;
            source = Utf8Path(path);
        }
        m_source = source;

        const bool needSite = m_options.command == "sync" && !m_options.dryRun;
        // Settling, listing and totalling read the store only: no sign-in, no password.
        const bool needService =
            m_options.command == "download" || m_options.command == "sync" || m_options.demo;
        if (m_options.command == "settle") {
            return m_settings.siteUser.empty()
                       ? Missing(Tr("no Kelvora user name; set [kelvora] user in {0}"), source)
                       : kExitDone;
        }
        if (m_settings.serviceUser.empty()) {
            return Missing(Tr("no Nike+ user name; set [nike+] user in {0}"), source);
        }
        if (needService && !ResolvePassword(m_settings.servicePassword, "STRIVO_NIKE_PASSWORD",
                                            Tr("Nike+ password: "))) {
            return Missing(Tr("no Nike+ password; set STRIVO_NIKE_PASSWORD, or [nike+] pwd in {0}"),
                           source);
        }
        if (needSite && m_settings.siteUser.empty()) {
            return Missing(Tr("no Kelvora user name; set [kelvora] user in {0}"), source);
        }
        if (needSite && !ResolvePassword(m_settings.sitePassword, "STRIVO_SITE_PASSWORD",
                                         Tr("Kelvora password: "))) {
            return Missing(
                Tr("no Kelvora password; set STRIVO_SITE_PASSWORD, or [kelvora] pwd in {0}"),
                source);
        }
        return kExitDone;
    }

    int Missing(const char* sentence, const std::string& source) {
        Error(Fill(sentence, source));
        return kExitUsage;
    }

    void Error(const std::string& sentence) {
        m_env.err << "strivo-cli: " << sentence << "\n";
    }

    // The environment comes before the settings file, so that a script can
    // give another password without editing the file; the demo's accounts
    // are its own.
    bool ResolvePassword(std::string& password, std::string_view variable,
                         std::string_view prompt) {
        if (auto value = m_env.getenv && !m_options.demo ? m_env.getenv(variable) : std::nullopt;
            value && !value->empty()) {
            password = Utf8ToCp936(*value);
            return true;
        }
        if (!password.empty()) {
            return true;
        }
        if (m_env.readPassword) {
            if (auto typed = m_env.readPassword(prompt); typed && !typed->empty()) {
                password = Utf8ToCp936(*typed);
                return true;
            }
        }
        return false;
    }

    int Download(bool print) {
        CliProgress progress(m_env.err, m_env.stderrIsTerminal, m_options.quiet);
        progress.Status(Tr("signing in to Nike+…"));
        StartDownload(m_settings, m_sessionConfig, progress, m_table,
                      {.store = m_store,
                       .onRunListBytes = [&progress](std::size_t bytes) {
                           progress.RunListBytes(bytes);
                       }})
            .join();
        progress.Clear();

        const ProgressReport* signedIn = progress.Find(WM_SERVICE_LOGIN_DONE);
        if (!signedIn || !Succeeded(signedIn->outcome)) {
            Error(Fill(Tr("Nike+ sign-in failed: {0}"),
                       signedIn ? TrReason(signedIn->cause.reason) : ""));
            Error(NextStep(signedIn ? signedIn->cause.failure : Failure::Other, /*site=*/false));
            return kExitFailed;
        }
        if (const ProgressReport* summary = progress.Find(WM_SUMMARY_READY); summary && print) {
            Out() << ForTerminal(summary->summary) << "\n\n";
        }
        const ProgressReport* runs = progress.Find(WM_RUNS_DONE);
        if (!runs || !Succeeded(runs->outcome)) {
            Error(Fill(Tr("downloading the run list failed: {0}"),
                       runs ? TrReason(runs->cause.reason) : ""));
            Error(NextStep(runs ? runs->cause.failure : Failure::Other, /*site=*/false));
            return kExitFailed;
        }
        if (print) {
            WriteRunTable(Out(), m_table->Snapshot());
            Out().flush();
        }
        return kExitDone;
    }

    int DryRun() {
        StoreResult read = m_store->opened();
        const auto stored = m_store->With([&](RunStore* store) {
            return store != nullptr ? store->Posts(SiteKeyOf(m_settings), &read)
                                    : std::unordered_map<std::string, PostRecord>();
        });
        if (!read) {
            Error(TrReason(read.reason));
            return kExitFailed;
        }
        const RunRows rows = m_table->Snapshot();
        const std::vector<PlannedRun> plan = PlanSync(rows, stored, m_options.all);
        const auto posts = std::count_if(plan.begin(), plan.end(), [](const PlannedRun& run) {
            return run.action == RunAction::Post;
        });
        Out() << "\n"
              << Fill(TrN("Would post {0} of {1} run:", "Would post {0} of {1} runs:", rows.size()),
                      posts, rows.size())
              << "\n";
        std::vector<std::string> actions;
        std::size_t width = 0;
        for (const PlannedRun& step : plan) {
            switch (step.action) {
                case RunAction::Post:
                    actions.push_back(Tr("post"));
                    break;
                case RunAction::AlreadyPosted:
                    actions.push_back(Fill(Tr("skip (posted {0})"), LocalDate(step.since)));
                    break;
                case RunAction::Held:
                    actions.push_back(Fill(Tr("held (unknown since {0})"), LocalDate(step.since)));
                    break;
                case RunAction::Twice:
                    actions.push_back(Tr("skip (twice in the list)"));
                    break;
                case RunAction::WithoutId:
                    actions.push_back(Tr("skip (no RunID)"));
                    break;
            }
            width = std::max(width, Utf8Width(actions.back()));
        }
        for (std::size_t i = 0; i < plan.size(); ++i) {
            const RunRow& row = *plan[i].row;
            Out() << actions[i] << std::string(width + 2 - Utf8Width(actions[i]), ' ')
                  << RunLine(row[kColumnStartTime], row[kColumnDistance], row[kColumnDuration],
                             row[kColumnRunId])
                  << "\n";
            if (m_options.verbose && plan[i].action == RunAction::Post) {
                // The site's token is known only once signed in.
                Out() << "    formhash=<formhash>"
                      << ForTerminal(BuildRunLogBody("", row, EncodedRunLogDescription())
                                         .substr(std::string_view("formhash=").size()))
                      << "\n";
            }
        }
        return kExitDone;
    }

    int Sync() {
        CliProgress progress(m_env.err, m_env.stderrIsTerminal, m_options.quiet);
        progress.Status(Tr("signing in to Kelvora…"));
        int interrupt = 0;
        {
            std::jthread job = StartSync(m_settings, m_sessionConfig, progress, m_table,
                                         {.store = m_store, .postAll = m_options.all});
            // An interrupt lets the post in flight finish and be kept; no
            // further post starts.
            if (m_env.interrupts) {
                m_env.interrupts->Arm([&job] { job.request_stop(); });
            }
            job.join();
            if (m_env.interrupts) {
                interrupt = m_env.interrupts->Disarm();
            }
        }
        progress.EndLine();

        const ProgressReport* signedIn = progress.Find(WM_SITE_LOGIN_DONE);
        const ProgressReport* done = progress.Find(WM_SYNC_DONE);
        PrintWarnings(signedIn ? signedIn->warnings
                      : done   ? done->warnings
                               : std::vector<std::string>{});
        for (const ProgressReport* report : {signedIn, done}) {
            if (report && report->cause.failure == Failure::StoreInUse) {
                Error(Fill(Tr("{0}; nothing was posted, try again later"), TrReason(report->cause.reason)));
                return kExitInUse;
            }
        }
        if (interrupt != 0 || (done && done->stopped)) {
            const int posted = done ? done->total - done->notPosted : 0;
            std::string sentence = Fill(
                TrN("interrupted: {0} run posted", "interrupted: {0} runs posted", posted), posted);
            if (done && !done->unconfirmedIds.empty()) {
                sentence += Fill(Tr("; outcome unknown: {0}"), Ids(done->unconfirmedIds));
            }
            Error(sentence);
            if (done) {
                NameUnposted(*done, /*withUnconfirmed=*/false);
            }
            if (done && !done->unconfirmedIds.empty()) {
                Error(SettleAdvice());
            }
            return kExitInterrupted;
        }
        if (!done && (!signedIn || !Succeeded(signedIn->outcome))) {
            Error(Fill(Tr("Kelvora sign-in failed: {0}"),
                       signedIn ? TrReason(signedIn->cause.reason) : ""));
            Error(NextStep(signedIn ? signedIn->cause.failure : Failure::Other, /*site=*/true));
            return kExitFailed;
        }
        if (!done) {
            return kExitFailed;
        }
        if (!Succeeded(done->outcome)) {
            // Counted from the lists, so that the counts add up whatever stopped the sync.
            const auto total = static_cast<unsigned long>(done->total);
            const auto posted = static_cast<long long>(
                total - done->failedIds.size() - done->unconfirmedIds.size() -
                done->untriedIds.size() - done->unrecordedIds.size());
            Error(Fill(Tr("the sync failed: {0}"), TrReason(done->cause.reason)));
            Error(Fill(TrN("{0} of {1} run posted and recorded", "{0} of {1} runs posted and recorded",
                           total),
                       posted, done->total));
            NameUnposted(*done, /*withUnconfirmed=*/true);
            WarnHeld(*done, /*advise=*/false);
            const bool toCheck = !done->unconfirmedIds.empty() || !done->heldIds.empty() ||
                                 !done->unrecordedIds.empty() ||
                                 done->cause.failure == Failure::Redirected;
            Error(toCheck ? SettleAdvice() : NextStep(done->cause.failure, /*site=*/true));
            return kExitFailed;
        }
        std::string result;
        if (done->total > 0) {
            result = Fill(TrN("Posted {0} run to the Kelvora run log",
                              "Posted {0} runs to the Kelvora run log", done->total),
                          done->total);
            if (m_options.all) {
                result += Fill(TrN("; {0} posted before, posted again.",
                                   "; {0} posted before, posted again.", done->postedAgain),
                               done->postedAgain);
            } else {
                result += Fill(TrN("; {0} was there already.", "; {0} were there already.",
                                   done->alreadyPosted),
                               done->alreadyPosted);
            }
        } else {
            result = Fill(TrN("Nothing new to post: {0} run was on the Kelvora run log already.",
                              "Nothing new to post: {0} runs were on the Kelvora run log already.",
                              done->alreadyPosted),
                          done->alreadyPosted);
        }
        if (!m_options.quiet) {
            Out() << "\n";
        }
        Out() << result << "\n";
        Out().flush();
        // Standard output closed early (`| head -1`): the outcome is still said.
        if (!Out()) {
            m_env.err << result << "\n";
        }
        if (done->withoutId > 0) {
            Out() << Fill(TrN("{0} row without a RunID was not posted.",
                              "{0} rows without a RunID were not posted.", done->withoutId),
                          done->withoutId)
                  << "\n";
        }
        WarnHeld(*done);
        return kExitDone;
    }

    // Runs an earlier sync sent without an answer are not posted again
    // until the runner says what became of them.
    void WarnHeld(const ProgressReport& done, bool advise = true) {
        if (done.heldIds.empty()) {
            return;
        }
        Error(Fill(TrN("warning: {0} run held back, sent earlier without an answer: {1}",
                       "warning: {0} runs held back, sent earlier without an answer: {1}",
                       done.heldIds.size()),
                   done.heldIds.size(), Ids(done.heldIds)));
        if (advise) {
            Error(SettleAdvice());
        }
    }

    // The runs a sync did not post, one line for each way it left them.
    void NameUnposted(const ProgressReport& done, bool withUnconfirmed) {
        const auto name = [this](const char* sentence, const std::vector<std::string>& runIds) {
            if (!runIds.empty()) {
                Error(Fill(Tr(sentence), Ids(runIds)));
            }
        };
        name(N_("failed, the next sync posts them again: {0}"), done.failedIds);
        if (withUnconfirmed) {
            name(N_("sent without an answer, held back: {0}"), done.unconfirmedIds);
        }
        name(N_("not tried, the next sync posts them: {0}"), done.untriedIds);
        name(N_("posted but not recorded, check the Kelvora run log: {0}"), done.unrecordedIds);
    }

    // The one line that ends a failure: what the runner can do about it.
    std::string NextStep(Failure failure, bool site) const {
        switch (failure) {
            case Failure::Refused:
                return site ? Fill(Tr("fix the Kelvora user name or password in {0} "
                                      "([kelvora] user, pwd) or STRIVO_SITE_PASSWORD"),
                                   m_source)
                            : Fill(Tr("fix the Nike+ user name or password in {0} "
                                      "([nike+] user, pwd) or STRIVO_NIKE_PASSWORD"),
                                   m_source);
            case Failure::BadAddress:
            case Failure::Untrusted:
            case Failure::WrongHost:
            case Failure::Tls:
            case Failure::CertificateFile:
                return site ? Fill(Tr("check host and http_port in [kelvora] of {0}"), m_source)
                            : Fill(Tr("check host, https_port and cafile in [nike+] of {0}"),
                                   m_source);
            case Failure::Store:
                return Fill(Tr("make room on the disk or fix {0}, then try again"), StoreName());
            default:
                return Tr("try again later");
        }
    }

    static std::string SettleAdvice() {
        return Tr(
            "look at the Kelvora run log, then run 'strivo-cli settle --posted RUNID...' "
            "for the runs it shows and 'strivo-cli settle --repost RUNID...' for the others");
    }

    // Another sync has the store: said, with exit status 75; any other
    // failure to use it is 1.
    int StoreFailure(const StoreResult& result) {
        if (result.error == StoreError::InUse) {
            Error(Fill(Tr("{0}; nothing was changed, try again later"), TrReason(result.reason)));
            return kExitInUse;
        }
        Error(TrReason(result.reason));
        return kExitFailed;
    }

    int Settle() {
        if (!m_store->opened()) {
            return StoreFailure(m_store->opened());
        }
        SyncLock lock;
        if (const StoreResult locked = lock.Acquire(m_store->path(), m_store->olderRecords());
            !locked) {
            return StoreFailure(locked);
        }
        const SiteKey site = SiteKeyOf(m_settings);
        std::vector<std::string> runIds;
        for (const std::string& runId : m_options.runIds) {
            runIds.push_back(Utf8ToCp936(runId));
        }
        std::vector<std::string> unknown;
        int changed = 0;
        const StoreResult settled = m_store->With([&](RunStore* store) {
            StoreResult read;
            const auto posts = store->Posts(site, &read);
            std::set<std::string> stored;
            for (const StoredRun& run :
                 store->Runs(ServiceKeyOf(m_settings), m_settings.serviceUser, &read)) {
                stored.insert(run.runId);
            }
            if (!read) {
                return read;
            }
            // A run without a post has nothing to release; one confirmed
            // that the store never saw may be a typing error.
            for (const std::string& runId : runIds) {
                if (!posts.contains(runId) && (m_options.repost || !stored.contains(runId))) {
                    unknown.push_back(runId);
                }
            }
            const auto now = std::chrono::system_clock::now();
            if (m_options.held) {
                return m_options.posted ? store->SettleAllHeldPosted(site, now, &changed)
                                        : store->SettleAllHeldRepost(site, &changed);
            }
            return m_options.posted ? store->SettlePosted(site, runIds, now, &changed)
                                    : store->SettleRepost(site, runIds, &changed);
        });
        if (!settled) {
            return StoreFailure(settled);
        }
        const auto count = static_cast<unsigned long>(changed);
        Out() << Fill(m_options.posted ? TrN("Recorded {0} run as posted.",
                                             "Recorded {0} runs as posted.", count)
                                       : TrN("Released {0} run for the next sync.",
                                             "Released {0} runs for the next sync.", count),
                      changed)
              << "\n";
        if (!unknown.empty()) {
            Error(Fill(Tr("warning: not known to the store: {0}"), Ids(unknown)));
        }
        return kExitDone;
    }

    // The stored runs of the account, as the store lists them, and with
    // `posts` their posts for the site user. No store: no runs.
    int ReadStoredRuns(std::vector<StoredRun>& runs,
                       std::unordered_map<std::string, PostRecord>* posts) {
        if (!m_store) {
            return kExitDone;
        }
        if (!m_store->opened()) {
            return StoreFailure(m_store->opened());
        }
        StoreResult read;
        m_store->With([&](RunStore* store) {
            runs = store->Runs(ServiceKeyOf(m_settings), m_settings.serviceUser, &read);
            if (read && posts && !m_settings.siteUser.empty()) {
                *posts = store->Posts(SiteKeyOf(m_settings), &read);
            }
        });
        return read ? kExitDone : StoreFailure(read);
    }

    std::string StoreName() const {
        return m_options.demo ? Tr("the demo's store in memory") : Utf8Path(m_storePath);
    }

    // Said in place of runs, listed or totalled, when there are none.
    void SayNothingStored() {
        Out() << Fill(Tr("Nothing stored yet in {0}; 'strivo-cli download' stores the runs "
                         "it reads."),
                      StoreName())
              << "\n";
    }

    void SayRunsStored(std::size_t count) {
        Out() << Fill(TrN("{0} run stored in {1}:", "{0} runs stored in {1}:", count), count,
                      StoreName())
              << "\n";
    }

    // The distance per period of the stored runs, and with --svg its chart.
    int Stats() {
        std::vector<StoredRun> runs;
        if (const int status = ReadStoredRuns(runs, nullptr); status != kExitDone) {
            return status;
        }
        if (runs.empty()) {
            SayNothingStored();
            return kExitDone;
        }
        const RunTotals totals = TotalRuns(runs, m_options.by);
        SayRunsStored(runs.size());
        for (const std::string& line : TotalsLines(totals.periods, totals.by)) {
            Out() << line << "\n";
        }
        const auto counted = static_cast<unsigned long>(totals.all.runs);
        Out() << Fill(TrN("In all: {0} run, {1} km, {2}", "In all: {0} runs, {1} km, {2}", counted),
                      totals.all.runs, FormatKm(totals.all.distanceMm, 2),
                      FormatHms(totals.all.durationMs))
              << "\n";
        NameProblems(totals.problems);
        if (m_options.svg) {
            if (const int status = SaveFile(*m_options.svg, ChartSvg(totals.periods, totals.by));
                status != kExitDone) {
                return status;
            }
            if (!ToStandardOutput(m_options.svg) && !m_options.quiet) {
                m_env.err << Fill(Tr("Saved the chart to {0}"), Utf8Path(*m_options.svg)) << "\n";
            }
        }
        return kExitDone;
    }

    // The stored runs of the account, oldest first as the run service lists
    // them, each with its post's state for the site user.
    int ListRuns() {
        std::vector<StoredRun> runs;
        std::unordered_map<std::string, PostRecord> posts;
        if (const int status = ReadStoredRuns(runs, &posts); status != kExitDone) {
            return status;
        }
        OrderByStart(runs);
        if (runs.empty()) {
            SayNothingStored();
            // An empty TCX file says as much to another service.
            return SaveTcx(runs);
        }
        SayRunsStored(runs.size());
        const RunRows rows = RowsOfStoredRuns(runs);
        for (const StoredRun& run : runs) {
            const std::string duration = FormatDuration(std::string_view(run.duration));
            std::string state;
            if (const auto post = posts.find(run.runId); post != posts.end()) {
                const PostRecord& record = post->second;
                switch (record.state) {
                    case PostState::Confirmed:
                        state = Fill(Tr("posted {0}"), LocalDate(record.outcomeAt));
                        break;
                    case PostState::Sending:
                    case PostState::Unknown:
                        state = Fill(Tr("unknown since {0}"), LocalDate(record.intentAt));
                        break;
                    case PostState::Failed:
                        state = Fill(Tr("failed {0}: {1}"), LocalDate(record.outcomeAt),
                                     ForTerminal(TrReason(record.reason)));
                        break;
                }
            }
            Out() << RunLine(run.startTime, run.distance, duration, run.runId)
                  << (state.empty() ? "" : "  " + state) << "\n";
        }
        if (const int status = SaveCsv(rows); status != kExitDone) {
            return status;
        }
        return SaveTcx(runs);
    }

    // One run on one line: start time, kilometres, duration, RunID.
    static std::string RunLine(std::string_view start, std::string_view distance,
                               std::string_view duration, std::string_view runId) {
        const auto pad = [](std::string_view cp936, std::size_t width) {
            return ForTerminal(cp936) +
                   std::string(width > DisplayWidth(cp936) ? width - DisplayWidth(cp936) : 0, ' ');
        };
        // A stored start keeps its offset: "2010-03-07T06:48:38+08:00".
        return pad(start, start.size() > 19 ? 25 : 19) + "  " +
               pad(std::string(distance) + " km", 11) + "  " + pad(duration, 14) + "  " +
               ForTerminal(runId);
    }

    // Columns a UTF-8 text takes: two for a character of three bytes or more
    // (Chinese), one for any other.
    static std::size_t Utf8Width(std::string_view utf8) {
        std::size_t width = 0;
        for (const char c : utf8) {
            const auto byte = static_cast<unsigned char>(c);
            width += (byte & 0xC0) == 0x80 ? 0 : byte >= 0xE0 ? 2 : 1;
        }
        return width;
    }

    static std::string LocalDate(const std::optional<StoreTime>& at) {
        if (!at) {
            return "?";
        }
        const std::time_t time = std::chrono::system_clock::to_time_t(*at);
        const std::tm* local = std::localtime(&time);
        char text[16] = "?";
        if (local) {
            std::strftime(text, sizeof text, "%Y-%m-%d", local);
        }
        return text;
    }

    static std::string Ids(const std::vector<std::string>& runIds) {
        return ForTerminal(Join(runIds));
    }

    void PrintWarnings(const std::vector<std::string>& warnings) {
        for (const std::string& warning : warnings) {
            Error(Fill(Tr("warning: {0}"), TrReason(warning)));
        }
    }

    static std::string Join(const std::vector<std::string>& runIds) {
        std::string joined;
        for (const std::string& runId : runIds) {
            joined += (joined.empty() ? "" : " ") + runId;
        }
        return joined;
    }

    const CliOptions& m_options;
    CliEnvironment& m_env;
#if STRIVO_STAND_INS
    std::unique_ptr<sim::StandIns> m_demo;  // before the jobs that use it
#endif
    Settings m_settings;
    WebSessionConfig m_sessionConfig;
    std::shared_ptr<RunTable> m_table = std::make_shared<RunTable>();
    // Beside the settings file; the demo's lives in memory.
    // Null for `runs` where there is no store yet.
    std::shared_ptr<SharedStore> m_store = SharedStore::InMemory();
    std::filesystem::path m_storePath;
    std::string m_source;  // the settings file's name, or the demo's
};

}  // namespace

int ReportOutputFailure(int status, CliEnvironment& env, const std::function<std::string()>& why) {
    env.out.flush();
    if (!env.out) {
        env.err << "strivo-cli: " << Fill(Tr("cannot write to standard output: {0}"), why())
                << "\n";
        status = status == kExitDone ? kExitFailed : status;
    }
    env.err.flush();
    return status;
}

int RunCli(const std::vector<std::string>& args, CliEnvironment& env) {
    const ParsedArguments parsed = ParseArguments(args);
    const std::optional<CliOptions>& options = parsed.options;
    if (!options) {
        env.err << "strivo-cli: " << parsed.error << "\n"
                << Synopsis() << Tr("Try 'strivo-cli --help' for more information.\n");
        return kExitUsage;
    }
    if (options->help) {
        env.out << Help();
        return kExitDone;
    }
    if (options->version) {
        env.out << "strivo-cli " STRIVO_VERSION "\n";
        return kExitDone;
    }
    return CliRun(*options, env).Run();
}

}  // namespace strivo
