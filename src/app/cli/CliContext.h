#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <ostream>
#include <span>
#include <sstream>
#include <stop_token>
#include <string>
#include <string_view>
#include <vector>

#include "app/Cli.h"
#include "app/cli/Arguments.h"
#include "history/RunFigures.h"
#include "jobs/Export.h"
#include "jobs/Workspace.h"
#include "model/Problem.h"
#include "model/RunTable.h"

#if STRIVO_STAND_INS
namespace strivo::sim {
class StandIns;
}
#endif

namespace strivo {

// What every command of one strivo-cli run shares: its options and
// environment, the settings and the workspace the jobs run in, the run table
// a download fills, and the ways it speaks: results to standard output,
// everything else to standard error, each problem in the user's words.
class CliContext {
public:
    CliContext(const CliOptions& options, CliEnvironment& env);
    ~CliContext();

    const CliOptions& options() const { return m_options; }
    CliEnvironment& env() { return m_env; }
    // Runs `work` on a thread of its own, an interrupt asking it to stop (the
    // job ends its step in flight and keeps it); the signal taken, or 0.
    int RunStoppable(const std::function<void(std::stop_token)>& work);
    const jobs::Workspace& where() const { return m_where; }
    RunTable& table() { return *m_table; }

    // Reads the settings (or starts the demo) and resolves every credential
    // the command needs before any network work; an exit status when it cannot.
    std::optional<int> Load();

    // Where results go: standard error while standard output carries a file.
    std::ostream& Out();
    // "strivo-cli: " and the sentence, on standard error, controls shown as "?".
    void Error(std::string_view sentence);
    // A problem in the user's words.
    void Error(const Problem& problem);
    // Another sync has the store: said, with exit status 75; any other
    // failure to use it is 1. `nothingDone` ends the sentence of the first.
    int StoreFailure(const Problem& problem, const char* nothingDone);

    // Downloads into the table, and prints the summary and the table unless
    // `print` is false.
    // `why`, if given, gets the problem of a download that failed.
    // With `keepRows` false, the table printed is not kept: table() is then empty.
    int Download(bool print, std::optional<Problem>* why = nullptr, bool keepRows = true);
    // The table, or every stored run, to --csv / --tcx where asked.
    int SaveCsv(const RunList& rows);
    // `runIds`: those stored runs alone (a listing's, filtered).
    int SaveTcx(std::optional<std::span<const std::string>> runIds = std::nullopt);
    // A document of its own making (the SVG) to `file`.
    int SaveDocument(const std::filesystem::path& file, std::string_view content);
    static bool ToStandardOutput(const std::optional<std::filesystem::path>& file) {
        return file && *file == "-";
    }
    // Each run a total or a file left out or wrote in part, one line each.
    void NameProblems(const std::vector<RunProblem>& problems);
    void PrintWarnings(const std::vector<Problem>& warnings);

    // Said in place of runs, listed or totalled, when there are none; and
    // before them, how many there are.
    void SayNothingStored();
    void SayRunsStored(std::size_t count);

    // How the store and the settings are named in what is said.
    std::string StoreName() const;
    const std::string& Source() const { return m_source; }
    // The one line that ends a failure: what the runner can do about it.
    std::string NextStep(const Problem& problem, bool site) const;
    std::string SettleAdvice() const;
    // "strivo-cli WORDS", with the --config FILE the user gave, to copy as it is.
    std::string CommandLine(std::string_view words) const;

private:
    std::optional<int> LoadSettingsFile();
    bool ResolvePassword(std::string& password, std::string_view variable, std::string_view prompt);
    int Missing(const char* sentence);
    jobs::ExportTarget Target(const std::filesystem::path& file);
    // What an export to a terminal held, shown there as text.
    void ShowOnTerminal(bool cp936);
    // An export's failure said; one onto Strivo's own files is a usage error (2).
    int ExportFailure(const Problem& problem);
    // Refuses, before any work, an export named onto the store or the settings.
    std::optional<int> RefuseOwnFiles();

    const CliOptions& m_options;
    CliEnvironment& m_env;
#if STRIVO_STAND_INS
    std::unique_ptr<sim::StandIns> m_demo;  // before the jobs that use it
#endif
    jobs::Workspace m_where;
    std::shared_ptr<RunTable> m_table = std::make_shared<RunTable>();
    std::string m_source;         // the settings file's name, or the demo's
    std::ostringstream m_screen;  // an export to "-" on a terminal, until shown
};

}  // namespace strivo
