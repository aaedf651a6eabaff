#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "jobs/Workspace.h"

namespace strivo {

// Interrupts during a sync (SIGINT, SIGTERM, SIGHUP; on Windows Ctrl+C,
// Ctrl+Break, the console closing): main installs them, a sync arms them
// while it posts, so that the post in flight finishes and is kept.
class Interrupts {
public:
    virtual ~Interrupts() = default;
    // From now on an interrupt calls `stop`, on a thread of its own (never
    // inside a signal handler).
    virtual void Arm(std::function<void()> stop) = 0;
    // After this, `stop` is not called again. Returns the interrupt caught
    // while armed (a signal number), or 0.
    virtual int Disarm() = 0;
    // The interrupt caught while armed, as a sync's record names it (a
    // kStopBy... key); empty for none.
    virtual std::string CaughtKey() const { return {}; }
};

// What strivo-cli needs from the world, so tests can give it other streams,
// environment and settings.
struct CliEnvironment {
    std::ostream& out;
    std::ostream& err;
    // An environment variable, if set.
    std::function<std::optional<std::string>(std::string_view name)> getenv;
    // Asks for a password without echo; nullopt when there is no terminal.
    std::function<std::optional<std::string>(std::string_view prompt)> readPassword;
    std::filesystem::path defaultSettingsPath;
    // Time-outs, limits and cookie store for every web session of the run.
    WebSessionConfig sessionConfig;
    // Progress on a terminal rewrites one line; in a log it adds a line per run.
    bool stderrIsTerminal = false;
    // Someone at a terminal could see a refused password and fix it; without
    // one (a scheduler, a script) a password refused before is not sent again.
    bool stdinIsTerminal = false;
    // strivo-cli itself, by its absolute path: what a schedule runs.
    std::filesystem::path program;
    // Null: an interrupt ends the process as it would without strivo-cli's say.
    Interrupts* interrupts = nullptr;
    // A file written to standard output ("-") shown on a terminal is shown
    // as text: in UTF-8, its control characters as "?".
    bool stdoutIsTerminal = false;
};

// 75 is EX_TEMPFAIL of sysexits.h; 130 is what a shell shows for a process
// that SIGINT ended, which strivo-cli returns where it cannot end by the signal.
enum CliExit : int {
    kExitDone = 0,
    kExitFailed = 1,
    kExitUsage = 2,
    kExitInUse = 75,
    kExitInterrupted = 130
};

// strivo-cli download [--csv=FILE] [--tcx=FILE] | sync [--csv=FILE] [--dry-run [--verbose]]
// [--all] | runs [--csv=FILE] [--tcx=FILE] | stats [--by=week|month|year] [--svg=FILE]
// | settle --posted|--repost RUNID...|--held, with
// --config=FILE or --demo; --help, --version.
int RunCli(const std::vector<std::string>& args, CliEnvironment& env);

// After RunCli: a closed pipe or a full disk on standard output is said once
// the work is done, in `why`'s words, and fails a run that had succeeded.
int ReportOutputFailure(int status, CliEnvironment& env, const std::function<std::string()>& why);

}  // namespace strivo
