#include "app/Cli.h"

#include <algorithm>
#include <memory>
#include <optional>

#include "app/TerminalTable.h"
#include "export/CsvExport.h"
#include "jobs/RunTable.h"
#include "runservice/RunServiceWorker.h"
#include "settings/Settings.h"
#include "site/PostedRuns.h"
#include "site/RunLogForm.h"
#include "site/SiteWorker.h"
#include "text/CodePage.h"

#if STRIVO_STAND_INS
#include "sim/StandIns.h"
#endif

namespace strivo {
namespace {

constexpr std::string_view kUsage =
    "Usage: strivo-cli download [--csv FILE] [--config FILE] [--demo]\n"
    "       strivo-cli sync [--csv FILE] [--dry-run] [--all] [--config FILE] [--demo]\n"
    "       strivo-cli --help | --version\n"
    "\n"
    "  download   sign in to Nike+, print the summary and the run table\n"
    "  sync       download, then post the runs the Kelvora run log does not have yet\n"
    "  --csv FILE also save the run table as CSV (code page 936)\n"
    "  --dry-run  print what sync would do with each run; post nothing\n"
    "  --all      post every run, also those posted before\n"
    "  --config FILE  settings file to read (default: the window's config.ini)\n"
    "  --demo     use built-in demo services and accounts; no settings file\n"
    "\n"
    "Posted runs are recorded in posted-runs.txt beside the settings file.\n"
    "Passwords come from the settings file, else STRIVO_NIKE_PASSWORD and\n"
    "STRIVO_SITE_PASSWORD, else a prompt when run from a terminal.\n"
    "Exit status: 0 done, 1 a sign-in, download, export or post failed, 2 usage or settings.\n";

struct Options {
    std::string command;
    std::optional<std::filesystem::path> csv;
    std::optional<std::filesystem::path> config;
    bool dryRun = false;
    bool all = false;
    bool demo = false;
    bool help = false;
    bool version = false;
};

// Parses the arguments; on a usage error says why in `error`.
std::optional<Options> ParseArguments(const std::vector<std::string>& args, std::string& error) {
    Options options;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        const auto value = [&]() -> std::optional<std::string> {
            if (i + 1 >= args.size()) {
                error = arg + " needs a value";
                return std::nullopt;
            }
            return args[++i];
        };
        if (arg == "--help" || arg == "-h") {
            options.help = true;
        } else if (arg == "--version") {
            options.version = true;
        } else if (arg == "--demo") {
            options.demo = true;
        } else if (arg == "--dry-run") {
            options.dryRun = true;
        } else if (arg == "--all") {
            options.all = true;
        } else if (arg == "--csv") {
            const auto file = value();
            if (!file)
                return std::nullopt;
            options.csv = *file;
        } else if (arg == "--config") {
            const auto file = value();
            if (!file)
                return std::nullopt;
            options.config = *file;
        } else if ((arg == "download" || arg == "sync") && options.command.empty()) {
            options.command = arg;
        } else {
            error = "unknown argument: " + arg;
            return std::nullopt;
        }
    }
    if (options.help || options.version) {
        return options;
    }
    if (options.command.empty()) {
        error = "say download or sync";
        return std::nullopt;
    }
    if ((options.dryRun || options.all) && options.command != "sync") {
        error = std::string(options.dryRun ? "--dry-run" : "--all") + " goes with sync";
        return std::nullopt;
    }
    return options;
}

// Keeps the reports of a job; prints sync progress as it comes.
class CliProgress : public ProgressSink {
public:
    explicit CliProgress(std::ostream& err) : m_err(err) {}
    // On the job's thread; the reports are read after it has been joined.
    void Post(ProgressReport report) override {
        if (report.message == WM_SYNC_PROGRESS) {
            m_err << report.processed << "/" << report.total << "\n";
            m_err.flush();
        }
        m_reports.push_back(std::move(report));
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
    std::vector<ProgressReport> m_reports;
};

class CliRun {
public:
    CliRun(const Options& options, CliEnvironment& env) : m_options(options), m_env(env) {}

    int Run() {
        if (const int status = LoadConfiguration(); status != kExitDone) {
            return status;
        }
        if (const int status = Download(); status != kExitDone) {
            return status;
        }
        if (m_options.csv) {
            const FileResult written = ExportCsv(*m_options.csv, m_table->Snapshot());
            if (!written) {
                m_env.err << "strivo-cli: cannot write " << m_options.csv->string() << ": "
                          << written.error << "\n";
                return kExitFailed;
            }
            m_env.err << "Saved " << m_table->RowCount() << " runs to " << m_options.csv->string()
                      << "\n";
        }
        if (m_options.command != "sync") {
            return kExitDone;
        }
        return m_options.dryRun ? DryRun() : Sync();
    }

private:
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
                m_env.err << "strivo-cli: cannot start the demo services: " << error.what() << "\n";
                return kExitFailed;
            }
            m_settings = m_demo->ClientSettings();
            m_sessionConfig.caPem = m_demo->service.certificatePem();
            source = "the demo settings";
#else
            m_env.err << "strivo-cli: this build has no demo services\n";
            return kExitUsage;
#endif
        } else {
            const std::filesystem::path path =
                m_options.config ? *m_options.config : m_env.defaultSettingsPath;
            std::error_code error;
            if (m_options.config && !std::filesystem::is_regular_file(path, error)) {
                m_env.err << "strivo-cli: cannot read the settings file " << path.string() << "\n";
                return kExitUsage;
            }
            m_settings = ReadSettings(path);
            m_postedRuns = std::make_shared<PostedRuns>(PostedRunsPathFor(path));
            source = path.string();
        }

        const bool needSite = m_options.command == "sync" && !m_options.dryRun;
        if (m_settings.serviceUser.empty()) {
            return Missing("Nike+ user name", "[nike+] user in " + source);
        }
        if (!ResolvePassword(m_settings.servicePassword, "STRIVO_NIKE_PASSWORD", "Nike+")) {
            return Missing("Nike+ password",
                           "[nike+] pwd in " + source + ", or STRIVO_NIKE_PASSWORD");
        }
        if (needSite && m_settings.siteUser.empty()) {
            return Missing("Kelvora user name", "[kelvora] user in " + source);
        }
        if (needSite &&
            !ResolvePassword(m_settings.sitePassword, "STRIVO_SITE_PASSWORD", "Kelvora")) {
            return Missing("Kelvora password",
                           "[kelvora] pwd in " + source + ", or STRIVO_SITE_PASSWORD");
        }
        return kExitDone;
    }

    int Missing(const std::string& what, const std::string& where) {
        m_env.err << "strivo-cli: no " << what << "; set " << where << "\n";
        return kExitUsage;
    }

    bool ResolvePassword(std::string& password, std::string_view variable,
                         std::string_view service) {
        if (!password.empty()) {
            return true;
        }
        if (auto value = m_env.getenv ? m_env.getenv(variable) : std::nullopt;
            value && !value->empty()) {
            password = Utf8ToCp936(*value);
            return true;
        }
        if (m_env.readPassword) {
            if (auto typed = m_env.readPassword(std::string(service) + " password: ");
                typed && !typed->empty()) {
                password = Utf8ToCp936(*typed);
                return true;
            }
        }
        return false;
    }

    int Download() {
        CliProgress progress(m_env.err);
        StartDownload(m_settings, m_sessionConfig, progress, m_table).join();

        const ProgressReport* signedIn = progress.Find(WM_SERVICE_LOGIN_DONE);
        if (!signedIn || !Succeeded(signedIn->outcome)) {
            m_env.err << "strivo-cli: Nike+ sign-in failed: " << (signedIn ? signedIn->reason : "")
                      << "\n";
            return kExitFailed;
        }
        if (const ProgressReport* summary = progress.Find(WM_SUMMARY_READY)) {
            m_env.out << Cp936ToUtf8(summary->summary) << "\n\n";
        }
        const ProgressReport* runs = progress.Find(WM_RUNS_DONE);
        if (!runs || !Succeeded(runs->outcome)) {
            m_env.err << "strivo-cli: downloading the run list failed: "
                      << (runs ? runs->reason : "") << "\n";
            return kExitFailed;
        }
        m_env.out << FormatRunTable(m_table->Snapshot());
        m_env.out.flush();
        return kExitDone;
    }

    int DryRun() {
        if (const FileResult loaded = m_postedRuns->Load(); !loaded) {
            m_env.err << "strivo-cli: " << loaded.error << "\n";
            return kExitFailed;
        }
        PrintWarnings(m_postedRuns->warnings());
        const RunRows rows = m_table->Snapshot();
        const std::vector<PlannedRun> plan =
            PlanSync(rows, *m_postedRuns, m_settings, m_options.all);
        const auto posts = std::count_if(plan.begin(), plan.end(), [](const PlannedRun& run) {
            return run.action == RunAction::Post;
        });
        m_env.out << "\nWould post " << posts << " of " << rows.size() << " runs:\n";
        for (const PlannedRun& run : plan) {
            const std::string_view runId = (*run.row)[kColumnRunId];
            switch (run.action) {
                case RunAction::Post:
                    m_env.out << "post  "
                              << Cp936ToUtf8(BuildRunLogBody("<formhash>", *run.row,
                                                             EncodedRunLogDescription()));
                    break;
                case RunAction::AlreadyPosted:
                    m_env.out << "skip (posted " << run.postedOn << ")  " << Cp936ToUtf8(runId);
                    break;
                case RunAction::Twice:
                    m_env.out << "skip (twice in the list)  " << Cp936ToUtf8(runId);
                    break;
                case RunAction::WithoutId:
                    m_env.out << "skip (no RunID)  row "
                              << Cp936ToUtf8((*run.row)[kColumnSequence]);
                    break;
            }
            m_env.out << "\n";
        }
        return kExitDone;
    }

    int Sync() {
        CliProgress progress(m_env.err);
        StartSync(m_settings, m_sessionConfig, progress, m_table, {m_postedRuns, m_options.all})
            .join();

        const ProgressReport* signedIn = progress.Find(WM_SITE_LOGIN_DONE);
        const ProgressReport* done = progress.Find(WM_SYNC_DONE);
        PrintWarnings(signedIn ? signedIn->warnings
                      : done   ? done->warnings
                               : std::vector<std::string>{});
        if (!done && (!signedIn || !Succeeded(signedIn->outcome))) {
            m_env.err << "strivo-cli: Kelvora sign-in failed: "
                      << (signedIn ? signedIn->reason : "") << "\n";
            return kExitFailed;
        }
        if (!done) {
            return kExitFailed;
        }
        if (!Succeeded(done->outcome)) {
            m_env.err << "strivo-cli: " << done->notPosted << " of " << done->total
                      << " runs were not posted: " << done->reason;
            if (!done->failedIds.empty()) {
                m_env.err << "; failed: " << Cp936ToUtf8(Join(done->failedIds));
            }
            if (!done->unconfirmedIds.empty()) {
                m_env.err << "; sent without an answer, check the Kelvora run log: "
                          << Cp936ToUtf8(Join(done->unconfirmedIds));
            }
            m_env.err << "\n";
            return kExitFailed;
        }
        if (done->total > 0) {
            m_env.out << "\nPosted " << done->total << " runs to the Kelvora run log; "
                      << done->alreadyPosted << " were there already.\n";
        } else {
            m_env.out << "\nNothing new to post: " << done->alreadyPosted
                      << " runs were on the Kelvora run log already.\n";
        }
        if (done->withoutId > 0) {
            m_env.out << done->withoutId << " rows without a RunID were not posted.\n";
        }
        return kExitDone;
    }

    void PrintWarnings(const std::vector<std::string>& warnings) {
        for (const std::string& warning : warnings) {
            m_env.err << "strivo-cli: warning: " << m_postedRuns->file().string() << ": " << warning
                      << "\n";
        }
    }

    static std::string Join(const std::vector<std::string>& runIds) {
        std::string joined;
        for (const std::string& runId : runIds) {
            joined += (joined.empty() ? "" : " ") + runId;
        }
        return joined;
    }

    const Options& m_options;
    CliEnvironment& m_env;
#if STRIVO_STAND_INS
    std::unique_ptr<sim::StandIns> m_demo;  // before the jobs that use it
#endif
    Settings m_settings;
    WebSessionConfig m_sessionConfig;
    std::shared_ptr<RunTable> m_table = std::make_shared<RunTable>();
    // Beside the settings file; the demo's lives in memory.
    std::shared_ptr<PostedRuns> m_postedRuns = std::make_shared<PostedRuns>();
};

}  // namespace

int RunCli(const std::vector<std::string>& args, CliEnvironment& env) {
    std::string error;
    const std::optional<Options> options = ParseArguments(args, error);
    if (!options) {
        env.err << "strivo-cli: " << error << "\n\n" << kUsage;
        return kExitUsage;
    }
    if (options->help) {
        env.out << kUsage;
        return kExitDone;
    }
    if (options->version) {
        env.out << "strivo-cli 2.0422\n";
        return kExitDone;
    }
    return CliRun(*options, env).Run();
}

}  // namespace strivo
