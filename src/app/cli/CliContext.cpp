#include "app/cli/CliContext.h"

#include <system_error>
#include <thread>

#include "app/cli/CliPlatform.h"
#include "app/cli/CliProgress.h"
#include "app/cli/CliWords.h"
#include "app/cli/TerminalTable.h"
#include "io/PathText.h"
#include "jobs/Download.h"
#include "jobs/Manners.h"
#include "model/ProblemWords.h"
#include "text/Catalog.h"
#include "text/CodePage.h"

#if STRIVO_STAND_INS
#include "sim/DemoConnection.h"
#include "sim/StandIns.h"
#endif

namespace strivo {

CliContext::CliContext(const CliOptions& options, CliEnvironment& env)
    : m_options(options), m_env(env) {}

CliContext::~CliContext() = default;

std::ostream& CliContext::Out() {
    return ToStandardOutput(m_options.csv) || ToStandardOutput(m_options.tcx) ||
                   ToStandardOutput(m_options.svg)
               ? m_env.err
               : m_env.out;
}

void CliContext::Error(std::string_view sentence) {
    m_env.err << "strivo-cli: " << ForTerminalUtf8(sentence) << "\n";
}

void CliContext::Error(const Problem& problem) {
    Error(Describe(problem));
}

int CliContext::StoreFailure(const Problem& problem, const char* nothingDone) {
    if (problem.code == ProblemCode::StoreInUse) {
        Error(Fill(Tr(nothingDone), Describe(problem)));
        return kExitInUse;
    }
    Error(problem);
    return kExitFailed;
}

std::optional<int> CliContext::Load() {
    WebSessionConfig session = m_env.sessionConfig;
    Settings settings;
    if (m_options.demo) {
#if STRIVO_STAND_INS
        try {
            m_demo = std::make_unique<sim::StandIns>();
            m_demo->Start();
        } catch (const std::exception& error) {
            Error(Fill(Tr("cannot start the demo services: {0}"), error.what()));
            return kExitFailed;
        }
        settings = m_demo->ClientSettings();
        sim::ConnectToStandIns(*m_demo, session);
        m_source = Tr("the demo settings");
        Result<jobs::Workspace> where = jobs::InMemory(settings, session);
        if (!where) {
            Error(where.problem());
            return kExitFailed;
        }
        m_where = std::move(*where);
#else
        Error(Tr("this build has no demo services"));
        return kExitUsage;
#endif
    } else if (std::optional<int> status = LoadSettingsFile()) {
        return status;
    }
    // A quiet run without a terminal is a scheduler's (or a script standing in for one).
    m_where.unattended = !m_env.stdinIsTerminal;
    m_where.by = m_where.unattended && m_options.quiet ? SyncBy::Schedule : SyncBy::Cli;
    if (std::optional<int> refused = RefuseOwnFiles()) {
        return refused;
    }
    Settings& resolved = m_where.settings;
    const Command command = m_options.command;
    const bool needSite = command == Command::Sync && !m_options.dryRun;
    // Settling, listing and totalling read the store only: no sign-in, no password.
    const bool needService =
        command == Command::Download || command == Command::Sync || m_options.demo;
    // Status reads the store, and a schedule takes the passwords the settings
    // file holds: neither asks for one.
    if (command == Command::Status || command == Command::Schedule) {
        return std::nullopt;
    }
    if (command == Command::Settle) {
        return resolved.siteUser.empty()
                   ? std::optional(Missing(N_("no Kelvora user name; set [kelvora] user in {0}")))
                   : std::nullopt;
    }
    if (resolved.serviceUser.empty()) {
        return Missing(N_("no Nike+ user name; set [nike+] user in {0}"));
    }
    if (needService && !ResolvePassword(resolved.servicePassword, "STRIVO_NIKE_PASSWORD",
                                        Tr("Nike+ password: "))) {
        return Missing(N_("no Nike+ password; set STRIVO_NIKE_PASSWORD, or [nike+] pwd in {0}"));
    }
    if (needSite && resolved.siteUser.empty()) {
        return Missing(N_("no Kelvora user name; set [kelvora] user in {0}"));
    }
    if (needSite &&
        !ResolvePassword(resolved.sitePassword, "STRIVO_SITE_PASSWORD", Tr("Kelvora password: "))) {
        return Missing(
            N_("no Kelvora password; set STRIVO_SITE_PASSWORD, or [kelvora] pwd in {0}"));
    }
    return std::nullopt;
}

std::optional<int> CliContext::LoadSettingsFile() {
    const std::filesystem::path path =
        m_options.config ? *m_options.config : m_env.defaultSettingsPath;
    std::error_code error;
    if (!std::filesystem::exists(path, error) && !error) {
        // A first run: the file to make, and what goes in it for this command.
        Error(Fill(Tr("the settings file {0} does not exist; create it with these lines:"),
                   Utf8Path(path)));
        // Every command reads the runs of the Nike+ user; only those that
        // sign in need a password.
        const Command command = m_options.command;
        const bool posts = command == Command::Sync || command == Command::Schedule;
        const bool site = posts || command == Command::Settle || command == Command::Status;
        const bool sitePassword = command == Command::Schedule || (posts && !m_options.dryRun);
        const auto lines = [this](const char* section, bool password) {
            m_env.err << section << "\nuser=" << Tr("NAME") << "\n"
                      << (password ? "pwd=" + std::string(Tr("PASSWORD")) + "\n" : "");
        };
        lines("[nike+]", command == Command::Download || posts);
        if (site) {
            lines("[kelvora]", sitePassword);
        }
        return kExitUsage;
    }
    if (m_options.config && !std::filesystem::is_regular_file(path, error)) {
        Error(Fill(Tr("cannot read the settings file {0}"), Utf8Path(path)));
        return kExitUsage;
    }
    Settings settings = ReadSettings(path);
    for (const Problem& problem : settings.problems) {
        Error(Fill(Tr("{0}: {1}"), Utf8Path(path), Describe(problem)));
    }
    if (!settings.problems.empty()) {
        return kExitUsage;
    }
    m_where = jobs::ForSettingsFile(path, std::move(settings), m_env.sessionConfig);
    m_source = Utf8Path(path);
    return std::nullopt;
}

int CliContext::Missing(const char* sentence) {
    Error(Fill(Tr(sentence), m_source));
    return kExitUsage;
}

// The environment comes before the settings file, so that a script can
// give another password without editing the file; the demo's accounts
// are its own.
bool CliContext::ResolvePassword(std::string& password, std::string_view variable,
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

int CliContext::Download(bool print, std::optional<Problem>* why, bool keepRows) {
    CliProgress progress(m_env.err, m_env.stderrIsTerminal, m_options.quiet);
    progress.Status(Tr("signing in to Nike+…"));
    std::optional<RunTableWriter> printed;
    if (print && !keepRows) {
        printed.emplace();
    }
    bool summaryShown = false;
    const auto showSummary = [&] {
        progress.Clear();
        if (progress.summary() && print && !summaryShown) {
            Out() << ForTerminal(*progress.summary()) << "\n\n";
        }
        summaryShown = true;
    };
    // The table is printed while the store finishes keeping the list; what
    // the store then says (runs not kept) follows it.
    std::optional<bool> tableWritten;
    std::size_t warned = 0;
    const Result<jobs::Downloaded> downloaded = jobs::Download(
        m_where, *m_table, progress, {},
        {.onRunListBytes = [&progress](std::size_t bytes) { progress.RunListBytes(bytes); },
         .onRun = printed ? std::function<void(const Run&, std::int64_t)>(
                                [&printed](const Run& run, std::int64_t number) {
                                    printed->Add(run, number);
                                })
                          : nullptr,
         .whileKeeping = printed ? std::function<void(const std::vector<Problem>&)>(
                                       [&](const std::vector<Problem>& warnings) {
                                           showSummary();
                                           PrintWarnings(warnings);
                                           warned = warnings.size();
                                           tableWritten = printed->Write(Out());
                                           Out().flush();
                                       })
                                 : nullptr});
    showSummary();
    if (!downloaded && why != nullptr) {
        *why = downloaded.problem();
    }
    if (!downloaded && jobs::IsPause(downloaded.problem())) {
        Error(Fill(Tr("{0}; nothing was sent, try again later"), Describe(downloaded.problem())));
        return kExitInUse;
    }
    if (!downloaded) {
        Error(downloaded.problem());
        Error(NextStep(downloaded.problem(), /*site=*/false));
        return kExitFailed;
    }
    PrintWarnings({downloaded->warnings.begin() + static_cast<std::ptrdiff_t>(warned),
                   downloaded->warnings.end()});
    if (printed && !(tableWritten ? *tableWritten : printed->Write(Out()))) {
        Out().flush();
        std::error_code unknown;
        Error(Problem(ProblemCode::FileCannotWrite,
                      {PathText(std::filesystem::temp_directory_path(unknown))}));
        return kExitFailed;
    }
    if (print && !printed) {
        WriteRunTable(Out(), m_table->Snapshot());
    }
    Out().flush();
    return kExitDone;
}

jobs::ExportTarget CliContext::Target(const std::filesystem::path& file) {
    if (file != "-") {
        return {file};
    }
    // A file's bytes on a terminal could move the cursor or retitle it.
    return {{}, m_env.stdoutIsTerminal ? &m_screen : &m_env.out};
}

void CliContext::ShowOnTerminal(bool cp936) {
    if (m_screen.tellp() > 0) {
        const std::string text = std::move(m_screen).str();
        m_env.out << ForTerminalLines(cp936 ? Cp936ToUtf8(text) : text);
        m_env.out.flush();
        m_screen.str({});
    }
}

int CliContext::SaveDocument(const std::filesystem::path& file, std::string_view content) {
    if (Outcome written = jobs::ExportDocument(m_where, content, Target(file)); !written) {
        return ExportFailure(written.problem());
    }
    ShowOnTerminal(/*cp936=*/false);
    return kExitDone;
}

int CliContext::ExportFailure(const Problem& problem) {
    Error(problem);
    return problem.code == ProblemCode::ExportOntoOwnFile ? kExitUsage : kExitFailed;
}

std::optional<int> CliContext::RefuseOwnFiles() {
    for (const auto* file : {&m_options.csv, &m_options.tcx, &m_options.svg, &m_options.fit}) {
        if (*file && !ToStandardOutput(*file)) {
            if (Outcome refused = jobs::RefuseOwnFile(m_where, **file); !refused) {
                return ExportFailure(refused.problem());
            }
        }
    }
    return std::nullopt;
}

int CliContext::SaveCsv(const RunList& rows) {
    if (!m_options.csv) {
        return kExitDone;
    }
    if (Outcome written = jobs::ExportCsv(m_where, rows, Target(*m_options.csv)); !written) {
        return ExportFailure(written.problem());
    }
    ShowOnTerminal(/*cp936=*/true);
    if (!ToStandardOutput(m_options.csv) && !m_options.quiet) {
        m_env.err << Fill(TrN("Saved {0} run to {1}", "Saved {0} runs to {1}", rows.size()),
                          rows.size(), Utf8Path(*m_options.csv))
                  << "\n";
    }
    return kExitDone;
}

int CliContext::SaveTcx(std::optional<std::span<const std::string>> runIds) {
    if (!m_options.tcx) {
        return kExitDone;
    }
    // Every stored run of the account, also those the service no longer lists.
    const Result<jobs::TcxExported> tcx = jobs::ExportTcx(m_where, Target(*m_options.tcx), runIds);
    if (!tcx) {
        return tcx.problem().code == ProblemCode::ExportOntoOwnFile
                   ? ExportFailure(tcx.problem())
                   : StoreFailure(tcx.problem(), N_("{0}; nothing was changed, try again later"));
    }
    ShowOnTerminal(/*cp936=*/false);
    NameProblems(tcx->problems);
    if (!ToStandardOutput(m_options.tcx) && !m_options.quiet) {
        const auto count = static_cast<unsigned long>(tcx->activities);
        m_env.err << Fill(TrN("Saved {0} run to {1}", "Saved {0} runs to {1}", count),
                          tcx->activities, Utf8Path(*m_options.tcx))
                  << "\n";
    }
    return kExitDone;
}

void CliContext::NameProblems(const std::vector<RunProblem>& problems) {
    for (const RunProblem& problem : problems) {
        Error(Fill(Tr("warning: run {0}: {1}"), ForTerminal(problem.runId),
                   DescribeRunProblem(problem)));
    }
}

void CliContext::PrintWarnings(const std::vector<Problem>& warnings) {
    for (const Problem& warning : warnings) {
        Error(Fill(Tr("warning: {0}"), Describe(warning)));
    }
}

// The demo's store has a sentence of its own: a path is set apart by spaces
// in a Chinese sentence, a Chinese name is not.
void CliContext::SayNothingStored() {
    Out() << (m_options.demo
                  ? Fill(Tr("Nothing stored yet in the demo's store in memory; '{0}' stores the "
                            "runs it reads."),
                         CommandLine("download --demo"))
                  : Fill(Tr("Nothing stored yet in {0}; '{1}' stores the runs it reads."),
                         StoreName(), CommandLine("download")))
          << "\n";
}

void CliContext::SayRunsStored(std::size_t count) {
    Out() << (m_options.demo ? Fill(TrN("{0} run stored in the demo's store in memory:",
                                        "{0} runs stored in the demo's store in memory:", count),
                                    count)
                             : Fill(TrN("{0} run stored in {1}:", "{0} runs stored in {1}:", count),
                                    count, StoreName()))
          << "\n";
}

std::string CliContext::StoreName() const {
    return m_options.demo ? Tr("the demo's store in memory") : Utf8Path(m_where.StorePath());
}

std::string CliContext::NextStep(const Problem& problem, bool site) const {
    const Problem& root = problem.Root();
    switch (root.code) {
        case ProblemCode::SignInRefused:
        case ProblemCode::PasswordRefusedBefore:
            return site ? Fill(Tr("fix the Kelvora user name or password in {0} "
                                  "([kelvora] user, pwd) or STRIVO_SITE_PASSWORD"),
                               m_source)
                        : Fill(Tr("fix the Nike+ user name or password in {0} "
                                  "([nike+] user, pwd) or STRIVO_NIKE_PASSWORD"),
                               m_source);
        case ProblemCode::NetBadUrl:
        case ProblemCode::NetUntrusted:
        case ProblemCode::NetWrongHost:
        case ProblemCode::NetTls:
        case ProblemCode::CertificateFileUnreadable:
        case ProblemCode::CertificateFileNotPem:
        case ProblemCode::CertificateFileNotUsed:
        case ProblemCode::BuiltInCertificatesDamaged:
            if (site) {
                return Fill(Tr("check host and http_port in [kelvora] of {0}"), m_source);
            }
            return CheckTrustHint(m_source);
        default:
            break;
    }
    if (root.code == ProblemCode::StoreDiskFull || root.code == ProblemCode::FileDiskFull) {
        return Tr("make room on the disk, then try again");
    }
    // The file the problem names: the lock, the journal, or strivo.db.
    // An older record of posts is skipped, not to be fixed.
    const bool olderRecord = root.code == ProblemCode::OlderRecordNotRegular ||
                             root.code == ProblemCode::OlderRecordBadLines;
    if (OfTheStore(root.code) && !olderRecord && root.code != ProblemCode::StoreInUse) {
        return Fill(Tr("fix {0}, then try again"),
                    root.Value(0).empty() ? StoreName() : root.Value(0));
    }
    return Tr("try again later");
}

std::string CliContext::CommandLine(std::string_view words) const {
    std::string line = "strivo-cli " + std::string(words);
    if (m_options.config) {
        line += " --config " + ShellQuoted(Utf8Path(*m_options.config));
    }
    return line;
}

std::string CliContext::SettleAdvice() const {
    return Fill(Tr("look at the Kelvora run log, then run '{0}' for the runs it shows and '{1}' "
                   "for the others"),
                CommandLine("settle --posted RUNID..."), CommandLine("settle --repost RUNID..."));
}

int CliContext::RunStoppable(const std::function<void(std::stop_token)>& work) {
    std::jthread job(work);
    if (m_env.interrupts == nullptr) {
        job.join();  // not left to the destructor, which would ask it to stop first
        return 0;
    }
    m_env.interrupts->Arm([&job] { job.request_stop(); });
    job.join();
    return m_env.interrupts->Disarm();
}

}  // namespace strivo
