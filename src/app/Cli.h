#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "net/WebSession.h"

namespace strivo {

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
};

enum CliExit : int { kExitDone = 0, kExitFailed = 1, kExitUsage = 2 };

// strivo-cli download [--csv=FILE] | sync [--csv=FILE] [--dry-run] [--all],
// with --config=FILE or --demo; --help, --version.
int RunCli(const std::vector<std::string>& args, CliEnvironment& env);

// After RunCli: a closed pipe or a full disk on standard output is said once
// the work is done, in `why`'s words, and fails a run that had succeeded.
int ReportOutputFailure(int status, CliEnvironment& env, const std::function<std::string()>& why);

}  // namespace strivo
