#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "history/RunTotals.h"
#include "jobs/RunLog.h"

// What strivo-cli is asked to do, and what it says when asked for help.
namespace strivo {

// The commands, each one use case (app/cli/Commands.h).
enum class Command { None, Download, Sync, Runs, Stats, Settle, Import, Status, Schedule, Remove };

struct CliOptions {
    Command command = Command::None;
    std::optional<std::filesystem::path> csv;
    std::optional<std::filesystem::path> tcx;  // runs, download
    std::optional<std::filesystem::path> svg;  // stats
    std::optional<std::filesystem::path> fit;  // runs, download: a folder
    PeriodKind by = PeriodKind::Week;          // stats
    bool byGiven = false;
    std::optional<std::filesystem::path> config;
    bool dryRun = false;
    bool verbose = false;
    bool quiet = false;  // the result line and errors only
    bool all = false;
    // settle: --posted, --repost or --skip, and the RunIDs or --held.
    bool posted = false;
    bool repost = false;
    bool skip = false;
    bool post = false;                         // import: release the runs for the next sync
    std::vector<std::filesystem::path> paths;  // import: files and folders
    bool held = false;
    std::vector<std::string> runIds;  // settle's RunIDs, remove's keys
    // schedule: nothing (show it), "daily" [HH:MM], "hourly" or "off".
    std::vector<std::string> scheduleWords;
    bool demo = false;
    bool help = false;
    bool version = false;
    bool again = false;     // settle --repost: also runs the site confirmed
    bool imported = false;  // settle --repost: every imported run kept off, in place of RunIDs
    // runs: the local dates (days since 1970-01-01) and the state of the runs listed.
    std::optional<std::int64_t> fromDay, toDay;
    std::optional<jobs::RunLogState> state;
};

// The options, or why the arguments are none (a usage error, translated),
// and the command they name, if any.
struct ParsedArguments {
    std::optional<CliOptions> options;
    std::string error;
    Command command = Command::None;
};

// An option with a value takes it GNU's two ways: --csv=FILE or --csv FILE.
ParsedArguments ParseArguments(const std::vector<std::string>& args);

// The synopsis, and the whole --help text.
std::string Synopsis();
std::string Help();
// One command's usage lines (the synopsis for None), said again under a
// usage error; its help ("strivo-cli help import", "import --help"): usage,
// what it does, its options.
std::string Usage(Command command);
std::string CommandHelp(Command command);
// "import", as one types it; empty for None.
const char* CommandName(Command command);

// The arguments and the output are UTF-8; a path's narrow form is not on
// Windows, where it follows the C library's code page.
std::filesystem::path PathFromUtf8(const std::string& text);
std::string Utf8Path(const std::filesystem::path& path);

}  // namespace strivo
