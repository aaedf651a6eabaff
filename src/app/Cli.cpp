#include "app/Cli.h"

#include <algorithm>
#include <memory>
#include <optional>

#include "app/CliArguments.h"
#include "app/TerminalTable.h"
#include "app/Translate.h"
#include "export/CsvExport.h"
#include "rows/RunTable.h"
#include "runservice/RunServiceWorker.h"
#include "settings/Settings.h"
#include "site/SyncPlan.h"
#include "site/RunLogForm.h"
#include "site/SiteWorker.h"
#include "store/SharedStore.h"
#include "text/CodePage.h"

#if STRIVO_STAND_INS
#include "sim/StandIns.h"
#endif

namespace strivo {
namespace {

// "2026-12-07" (UTC), or "?" without a time.
std::string Day(const std::optional<StoreTime>& time) {
    if (!time) {
        return "?";
    }
    const std::chrono::year_month_day day(std::chrono::floor<std::chrono::days>(*time));
    char text[16];
    std::snprintf(text, sizeof text, "%04d-%02u-%02u", static_cast<int>(day.year()),
                  static_cast<unsigned>(day.month()), static_cast<unsigned>(day.day()));
    return text;
}

// Keeps the reports of a job; shows sync progress as it comes: on a terminal
// one line rewritten in place, in a log a line per run.
class CliProgress : public ProgressSink {
public:
    CliProgress(std::ostream& err, bool terminal) : m_err(err), m_terminal(terminal) {}
    // On the job's thread; the reports are read after it has been joined.
    void Post(ProgressReport report) override {
        if (report.message == WM_SYNC_PROGRESS) {
            const std::string line = Fill(Tr("posting {0}/{1}"), report.processed, report.total);
            // Back to the line's start, and erase it to its end (ECMA-48 EL).
            m_err << (m_terminal ? "\r\x1b[K" + line : line + "\n");
            m_err.flush();
            m_lineOpen = m_terminal;
        }
        m_reports.push_back(std::move(report));
    }
    // Ends the line that progress rewrote, before anything else is said.
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
    bool m_lineOpen = false;
    std::vector<ProgressReport> m_reports;
};

class CliRun {
public:
    CliRun(const CliOptions& options, CliEnvironment& env) : m_options(options), m_env(env) {}

    int Run() {
        if (const int status = LoadConfiguration(); status != kExitDone) {
            return status;
        }
        if (const int status = Download(); status != kExitDone) {
            return status;
        }
        if (CsvToStandardOutput()) {
            WriteCsv(m_env.out, m_table->Snapshot());
            m_env.out.flush();
        } else if (m_options.csv) {
            const FileResult written = ExportCsv(*m_options.csv, m_table->Snapshot());
            if (!written) {
                Error(Fill(Tr("cannot write {0}: {1}"), Utf8Path(*m_options.csv), written.error));
                return kExitFailed;
            }
            const std::size_t rows = m_table->RowCount();
            m_env.err << Fill(TrN("Saved {0} run to {1}", "Saved {0} runs to {1}", rows), rows,
                              Utf8Path(*m_options.csv))
                      << "\n";
        }
        if (m_options.command != "sync") {
            return kExitDone;
        }
        return m_options.dryRun ? DryRun() : Sync();
    }

private:
    // `--csv -`: standard output carries the CSV alone; what a person reads
    // goes to standard error.
    bool CsvToStandardOutput() const { return m_options.csv && *m_options.csv == "-"; }
    std::ostream& Out() { return CsvToStandardOutput() ? m_env.err : m_env.out; }

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
            m_sessionConfig.caPem = m_demo->service.certificatePem();
            source = Tr("the demo settings");
#else
            Error(Tr("this build has no demo services"));
            return kExitUsage;
#endif
        } else {
            const std::filesystem::path path =
                m_options.config ? *m_options.config : m_env.defaultSettingsPath;
            std::error_code error;
            if (m_options.config && !std::filesystem::is_regular_file(path, error)) {
                Error(Fill(Tr("cannot read the settings file {0}"), Utf8Path(path)));
                return kExitUsage;
            }
            m_settings = ReadSettings(path);
            for (const SettingsProblem& problem : m_settings.problems) {
                Error(Fill(problem.kind == SettingsProblem::Kind::NotAPort
                               ? Tr("{0}: {1}={2}: not a port (1 to 65535)")
                               : Tr("{0}: {1}={2}: no such file"),
                           Utf8Path(path), problem.key, problem.value));
            }
            if (!m_settings.problems.empty()) {
                return kExitUsage;
            }
            m_store = SharedStore::ForSettings(path);
            source = Utf8Path(path);
        }

        const bool needSite = m_options.command == "sync" && !m_options.dryRun;
        if (m_settings.serviceUser.empty()) {
            return Missing(Tr("no Nike+ user name; set [nike+] user in {0}"), source);
        }
        if (!ResolvePassword(m_settings.servicePassword, "STRIVO_NIKE_PASSWORD",
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

    int Download() {
        CliProgress progress(m_env.err, m_env.stderrIsTerminal);
        StartDownload(m_settings, m_sessionConfig, progress, m_table, {.store = m_store}).join();

        const ProgressReport* signedIn = progress.Find(WM_SERVICE_LOGIN_DONE);
        if (!signedIn || !Succeeded(signedIn->outcome)) {
            Error(Fill(Tr("Nike+ sign-in failed: {0}"), signedIn ? signedIn->cause.reason : ""));
            return kExitFailed;
        }
        if (const ProgressReport* summary = progress.Find(WM_SUMMARY_READY)) {
            Out() << ForTerminal(summary->summary) << "\n\n";
        }
        const ProgressReport* runs = progress.Find(WM_RUNS_DONE);
        if (!runs || !Succeeded(runs->outcome)) {
            Error(Fill(Tr("downloading the run list failed: {0}"), runs ? runs->cause.reason : ""));
            return kExitFailed;
        }
        WriteRunTable(Out(), m_table->Snapshot());
        Out().flush();
        return kExitDone;
    }

    int DryRun() {
        StoreResult read = m_store->opened();
        const auto stored = m_store->With([&](RunStore* store) {
            return store != nullptr ? store->Posts(SiteKeyOf(m_settings), &read)
                                    : std::unordered_map<std::string, PostRecord>();
        });
        if (!read) {
            Error(read.reason);
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
        for (const PlannedRun& run : plan) {
            const std::string_view runId = (*run.row)[kColumnRunId];
            switch (run.action) {
                case RunAction::Post:
                    // The site's token is known only once signed in.
                    Out() << Tr("post") << "  formhash=<formhash>"
                          << ForTerminal(BuildRunLogBody("", *run.row, EncodedRunLogDescription())
                                             .substr(std::string_view("formhash=").size()));
                    break;
                case RunAction::AlreadyPosted:
                    Out() << Fill(Tr("skip (posted {0})"), Day(run.since)) << "  "
                          << ForTerminal(runId);
                    break;
                case RunAction::Held:
                    Out() << Fill(Tr("held (unknown since {0})"), Day(run.since)) << "  "
                          << ForTerminal(runId);
                    break;
                case RunAction::Twice:
                    Out() << Tr("skip (twice in the list)") << "  " << ForTerminal(runId);
                    break;
                case RunAction::WithoutId:
                    Out() << Fill(Tr("skip (no RunID)  row {0}"),
                                  ForTerminal((*run.row)[kColumnSequence]));
                    break;
            }
            Out() << "\n";
        }
        return kExitDone;
    }

    int Sync() {
        CliProgress progress(m_env.err, m_env.stderrIsTerminal);
        StartSync(m_settings, m_sessionConfig, progress, m_table,
                  {.store = m_store, .postAll = m_options.all})
            .join();
        progress.EndLine();

        const ProgressReport* signedIn = progress.Find(WM_SITE_LOGIN_DONE);
        const ProgressReport* done = progress.Find(WM_SYNC_DONE);
        PrintWarnings(signedIn ? signedIn->warnings
                      : done   ? done->warnings
                               : std::vector<std::string>{});
        if (!done && (!signedIn || !Succeeded(signedIn->outcome))) {
            Error(Fill(Tr("Kelvora sign-in failed: {0}"), signedIn ? signedIn->cause.reason : ""));
            return kExitFailed;
        }
        if (!done) {
            return kExitFailed;
        }
        if (!Succeeded(done->outcome)) {
            std::string sentence = Fill(TrN("{0} of {1} run was not posted: {2}",
                                            "{0} of {1} runs were not posted: {2}", done->total),
                                        done->notPosted, done->total, done->cause.reason);
            if (!done->failedIds.empty()) {
                sentence += Fill(Tr("; failed: {0}"), ForTerminal(Join(done->failedIds)));
            }
            if (!done->unconfirmedIds.empty()) {
                // A record that failed stopped the sync right after the post it could not keep.
                sentence +=
                    Fill(done->cause.failure == Failure::Store
                             ? Tr("; posted but not recorded, check the Kelvora run log: {0}")
                             : Tr("; sent without an answer, check the Kelvora run log: {0}"),
                         ForTerminal(Join(done->unconfirmedIds)));
            }
            Error(sentence);
            return kExitFailed;
        }
        Out() << "\n";
        if (done->total > 0) {
            Out() << Fill(TrN("Posted {0} run to the Kelvora run log",
                              "Posted {0} runs to the Kelvora run log", done->total),
                          done->total)
                  << Fill(TrN("; {0} was there already.", "; {0} were there already.",
                              done->alreadyPosted),
                          done->alreadyPosted);
        } else {
            Out() << Fill(TrN("Nothing new to post: {0} run was on the Kelvora run log already.",
                              "Nothing new to post: {0} runs were on the Kelvora run log already.",
                              done->alreadyPosted),
                          done->alreadyPosted);
        }
        Out() << "\n";
        if (done->withoutId > 0) {
            Out() << Fill(TrN("{0} row without a RunID was not posted.",
                              "{0} rows without a RunID were not posted.", done->withoutId),
                          done->withoutId)
                  << "\n";
        }
        return kExitDone;
    }

    void PrintWarnings(const std::vector<std::string>& warnings) {
        for (const std::string& warning : warnings) {
            Error(Fill(Tr("warning: {0}"), warning));
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
    std::shared_ptr<SharedStore> m_store = SharedStore::InMemory();
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
