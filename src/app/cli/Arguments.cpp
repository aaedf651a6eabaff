#include "app/cli/Arguments.h"

#include <algorithm>
#include <initializer_list>
#include <span>
#include <string_view>

#include "app/cli/CliWords.h"
#include "io/AtomicFile.h"
#include "io/TimeText.h"
#include "text/Catalog.h"

namespace strivo {
namespace {

// Each command's usage lines, after "strivo-cli ": a line that goes on
// continues under the command's first option. The synopsis is all of them.
constexpr struct {
    Command command;
    const char* first;
    const char* more;  // nullptr: one line
} kUsages[] = {
    {Command::Download, "download [--csv=FILE] [--tcx=FILE] [--fit=DIR] [--quiet]",
     "[--config=FILE | --demo]"},
    {Command::Sync, "sync [--csv=FILE] [--dry-run [--verbose]] [--all] [--quiet]",
     "[--config=FILE | --demo]"},
    {Command::Runs, "runs [--from=DATE] [--to=DATE] [--state=STATE] [--csv=FILE] [--tcx=FILE]",
     "[--fit=DIR] [--config=FILE | --demo]"},
    {Command::Stats, "stats [--by=week|month|year] [--svg=FILE] [--config=FILE | --demo]", nullptr},
    {Command::Settle, "settle --posted (RUNID... | --held) [--config=FILE]", nullptr},
    {Command::Settle, "settle --repost [--again] (RUNID... | --held | --imported) [--config=FILE]",
     nullptr},
    {Command::Settle, "settle --skip RUNID... [--config=FILE]", nullptr},
    {Command::Import, "import PATH... [--post] [--config=FILE | --demo]", nullptr},
    {Command::Remove, "remove KEY... [--config=FILE]", nullptr},
    {Command::Status, "status [--config=FILE]", nullptr},
    {Command::Schedule, "schedule [daily [HH:MM] | hourly | off] [--config=FILE]", nullptr},
    {Command::None, "--help | --version", nullptr},
};

constexpr unsigned Bit(Command command) {
    return 1u << static_cast<unsigned>(command);
}
constexpr unsigned kEveryCommand = ~0u;

// What --help lists: a command or an option, what it does, and the commands
// whose help lists it. The first column stays English: it is what one types.
constexpr struct {
    const char* item;  // nullptr: a blank line
    const char* description;
    unsigned commands;
} kHelpRows[] = {
    {"download", N_("sign in to Nike+, print the summary and the run table"),
     Bit(Command::Download)},
    {"sync", N_("download, then post the runs the run log does not have yet"), Bit(Command::Sync)},
    {"runs", N_("list the stored runs and their posts; no network"), Bit(Command::Runs)},
    {"stats", N_("print the stored distance per week, month or year; no network"),
     Bit(Command::Stats)},
    {"settle", N_("say what became of runs held back with an unknown outcome"),
     Bit(Command::Settle)},
    {"import", N_("read runs from GPX, TCX, FIT and Strivo CSV files and folders; no network"),
     Bit(Command::Import)},
    {"remove", N_("take back imported runs never posted, by their keys; no network"),
     Bit(Command::Remove)},
    {"status", N_("say how the last sync went and what needs you; no network"),
     Bit(Command::Status)},
    {"schedule", N_("sync daily (at 06:30 or HH:MM) or hourly on its own, or off"),
     Bit(Command::Schedule)},
    {nullptr, nullptr, 0},
    {"--from=DATE", N_("runs: only those started on DATE (YYYY-MM-DD, local) or later"),
     Bit(Command::Runs)},
    {"--to=DATE", N_("runs: only those started on DATE or earlier"), Bit(Command::Runs)},
    {"--state=STATE", N_("runs: only those posted, waiting, kept-off, unknown or failed"),
     Bit(Command::Runs)},
    {"--csv=FILE", N_("also save the run table as CSV; - for standard output"),
     Bit(Command::Download) | Bit(Command::Sync) | Bit(Command::Runs)},
    {"--tcx=FILE", N_("also save every stored run as TCX; - for standard output"),
     Bit(Command::Download) | Bit(Command::Runs)},
    {"--fit=DIR", N_("also write each stored run as a FIT file into the folder DIR"),
     Bit(Command::Download) | Bit(Command::Runs)},
    {"--by=PERIOD", N_("stats: total per week (default), month or year"), Bit(Command::Stats)},
    {"--svg=FILE", N_("stats: also save the chart as SVG; - for standard output"),
     Bit(Command::Stats)},
    {"--dry-run", N_("print what sync would do with each run; post nothing"), Bit(Command::Sync)},
    {"--verbose", N_("with --dry-run: also print each run-log entry's form"), Bit(Command::Sync)},
    {"--all", N_("post every run, also those posted before or held back"), Bit(Command::Sync)},
    {"--quiet", N_("print only the result line and errors; no progress"),
     Bit(Command::Download) | Bit(Command::Sync) | Bit(Command::Import)},
    {"--posted", N_("settle: the runs are on the run log; record them as posted"),
     Bit(Command::Settle)},
    {"--repost", N_("settle: the runs are not on the run log; post them next sync"),
     Bit(Command::Settle)},
    {"--held", N_("settle: every held run, in place of RunIDs"), Bit(Command::Settle)},
    {"--again", N_("with --repost: also runs the run log already has"), Bit(Command::Settle)},
    {"--skip", N_("settle: keep the runs off the run log until --repost releases them"),
     Bit(Command::Settle)},
    {"--imported", N_("with --repost: every imported run still kept off, in place of RunIDs"),
     Bit(Command::Settle)},
    {"--post", N_("import: let the next sync post the runs read (else they wait for --repost)"),
     Bit(Command::Import)},
    {"--config=FILE", N_("settings file to read (default: the window's config.ini)"),
     kEveryCommand},
    {"--demo", N_("use built-in demo services and accounts; no settings file"),
     Bit(Command::Download) | Bit(Command::Sync) | Bit(Command::Runs) | Bit(Command::Stats) |
         Bit(Command::Import)},
    {"--help", N_("print this help and exit"), Bit(Command::None)},
    {"--version", N_("print the version and exit"), Bit(Command::None)},
};

// "Usage: " and the usage lines of `command` (every command's for None), each
// further line indented under the first.
std::string UsageLines(std::optional<Command> command) {
    const std::string prefix = Tr("Usage: ");
    const std::string indent(Utf8Width(prefix), ' ');
    std::string lines;
    for (const auto& usage : kUsages) {
        if (command && usage.command != *command) {
            continue;
        }
        lines += (lines.empty() ? prefix : indent) + "strivo-cli " + usage.first + "\n";
        if (usage.more != nullptr) {
            const std::string_view first = usage.first;
            const std::size_t options = first.find(' ') + 1;
            lines += indent + std::string(std::string_view("strivo-cli ").size() + options, ' ') +
                     usage.more + "\n";
        }
    }
    return lines;
}

// The rows of kHelpRows for `commands`, their descriptions in one column;
// with `optionsOnly`, without the commands' rows.
std::string HelpRows(unsigned commands, bool optionsOnly) {
    const auto shown = [&](const auto& row) {
        return row.item && (row.commands & commands) != 0 && (!optionsOnly || row.item[0] == '-');
    };
    std::size_t width = 0;
    for (const auto& row : kHelpRows) {
        width = shown(row) ? std::max(width, std::string_view(row.item).size()) : width;
    }
    std::string rows;
    for (const auto& row : kHelpRows) {
        if (!row.item && !optionsOnly) {
            rows += "\n";
        } else if (shown(row)) {
            rows += "  " + std::string(row.item) +
                    std::string(width + 2 - std::string_view(row.item).size(), ' ') +
                    Tr(row.description) + "\n";
        }
    }
    return rows;
}

}  // namespace

std::string Synopsis() {
    return UsageLines(std::nullopt);
}

std::string Usage(Command command) {
    return command == Command::None ? Synopsis() : UsageLines(command);
}

std::string Help() {
    return Synopsis() + "\n" +
           Tr("Signs in to Nike+ and prints your summary and runs; sync then copies\n"
              "the runs to your Kelvora run log.\n") +
           "\n" + HelpRows(kEveryCommand, false) + "\n" +
           Tr("Passwords come from STRIVO_NIKE_PASSWORD and STRIVO_SITE_PASSWORD, else from\n"
              "the settings file, else from a prompt when run in a terminal. Runs and\n"
              "posts are kept in strivo.db beside the settings file. A post sent without\n"
              "an answer is held back: look at the run log, then settle it. The CSV\n"
              "file is in code page 936 (GBK), as Excel reads it.\n"
              "\n"
              "Exit status: 0 done; 1 a sign-in, the download, the export, a post or the\n"
              "store failed; 2 a usage or settings error; 75 another sync is using the\n"
              "store, try again later; 130 interrupted (SIGINT) after the post in flight.\n") +
           Tr("75 also when a service asked to be left alone until a time it named.\n"
              "status: 0 nothing needs you, 1 something does (held runs, a failed sync,\n"
              "a refused password). schedule: 1 when it could not be installed.\n");
}

std::string CommandHelp(Command command) {
    if (command == Command::None) {
        return Help();
    }
    std::string what;
    for (const auto& row : kHelpRows) {
        if (row.item && row.item[0] != '-' && row.commands == Bit(command)) {
            what = Tr(row.description);
        }
    }
    return UsageLines(command) + "\n" + what + "\n\n" + HelpRows(Bit(command), true);
}

namespace {

constexpr struct {
    std::string_view name;
    bool CliOptions::*member;
} kSwitches[] = {{"--help", &CliOptions::help},       {"-h", &CliOptions::help},
                 {"--version", &CliOptions::version}, {"--demo", &CliOptions::demo},
                 {"--dry-run", &CliOptions::dryRun},  {"--all", &CliOptions::all},
                 {"--verbose", &CliOptions::verbose}, {"--quiet", &CliOptions::quiet},
                 {"-q", &CliOptions::quiet},          {"--posted", &CliOptions::posted},
                 {"--repost", &CliOptions::repost},   {"--held", &CliOptions::held},
                 {"--again", &CliOptions::again},     {"--skip", &CliOptions::skip},
                 {"--post", &CliOptions::post},       {"--imported", &CliOptions::imported}};

constexpr struct {
    std::string_view name;
    std::optional<std::filesystem::path> CliOptions::*member;
} kFileOptions[] = {{"--csv", &CliOptions::csv},
                    {"--tcx", &CliOptions::tcx},
                    {"--svg", &CliOptions::svg},
                    {"--fit", &CliOptions::fit},
                    {"--config", &CliOptions::config}};

constexpr struct {
    std::string_view name;
    Command command;
} kCommands[] = {
    {"download", Command::Download}, {"sync", Command::Sync},         {"runs", Command::Runs},
    {"stats", Command::Stats},       {"settle", Command::Settle},     {"import", Command::Import},
    {"status", Command::Status},     {"schedule", Command::Schedule}, {"remove", Command::Remove}};

}  // namespace

namespace {

using Error = std::optional<std::string>;

// --from, --to or --state of runs, and its value.
Error ReadRunsFilter(std::string_view name, std::optional<std::string> value,
                     const std::vector<std::string>& args, std::size_t& i, CliOptions& options) {
    if (!value && i + 1 < args.size()) {
        value = args[++i];
    }
    if (!value || value->empty()) {
        return Fill(Tr("{0} needs a value"), name);
    }
    if (name == "--state") {
        options.state = jobs::ParseRunLogState(*value);
        return options.state ? Error()
                             : Fill(Tr("--state takes posted, waiting, kept-off, unknown or "
                                       "failed, not {0}"),
                                    *value);
    }
    const std::optional<std::int64_t> day = ParseLocalDate(*value);
    if (!day) {
        return Fill(Tr("{0} takes a date as YYYY-MM-DD, not {1}"), name, *value);
    }
    (name == "--from" ? options.fromDay : options.toDay) = day;
    return std::nullopt;
}

// Reads one option or word at args[i] into `options`, taking the next
// argument as its value where it needs one.
Error ReadArgument(const std::vector<std::string>& args, std::size_t& i, CliOptions& options) {
    std::string_view name = args[i];
    std::optional<std::string> attached;
    if (const auto equals = name.find('='); name.starts_with("--") && equals != name.npos) {
        attached = args[i].substr(equals + 1);
        name = name.substr(0, equals);
    }
    const auto named = [&](const auto& option) { return option.name == name; };
    if (const auto* option = std::ranges::find_if(kSwitches, named);
        option != std::end(kSwitches)) {
        if (attached) {
            return Fill(Tr("{0} takes no value"), name);
        }
        options.*option->member = true;
        return std::nullopt;
    }
    if (name == "--from" || name == "--to" || name == "--state") {
        return ReadRunsFilter(name, attached, args, i, options);
    }
    const auto* fileOption = std::ranges::find_if(kFileOptions, named);
    if (fileOption != std::end(kFileOptions) || name == "--by") {
        if (!attached && i + 1 < args.size()) {
            attached = args[++i];
        }
        if (!attached || attached->empty()) {
            return Fill(Tr("{0} needs a value"), name);
        }
        if (name != "--by") {
            options.*fileOption->member = PathFromUtf8(*attached);
            return std::nullopt;
        }
        const std::optional<PeriodKind> by = ParsePeriodKind(*attached);
        if (!by) {
            return Fill(Tr("--by takes week, month or year, not {0}"), *attached);
        }
        options.by = *by;
        options.byGiven = true;
        return std::nullopt;
    }
    if (const auto* command = std::ranges::find_if(kCommands, named);
        command != std::end(kCommands) && options.command == Command::None) {
        options.command = command->command;
        return std::nullopt;
    }
    if (options.command == Command::Schedule && !name.starts_with("-")) {
        options.scheduleWords.push_back(args[i]);
        return std::nullopt;
    }
    if ((options.command == Command::Settle || options.command == Command::Remove) &&
        !name.starts_with("-")) {
        options.runIds.push_back(args[i]);
        return std::nullopt;
    }
    if (options.command == Command::Import && (!name.starts_with("-") || name == "-")) {
        options.paths.push_back(PathFromUtf8(args[i]));
        return std::nullopt;
    }
    return Fill(Tr("unknown argument: {0}"), args[i]);
}

// Which commands an option goes with: one line each, in the order a usage
// error names them.
struct Combination {
    const char* option;
    bool (*given)(const CliOptions&);
    std::initializer_list<Command> commands;
    const char* commandsText;  // a list of several is translated
};
const Combination kCombinations[] = {
    {"--tcx",
     [](const CliOptions& o) { return o.tcx.has_value(); },
     {Command::Runs, Command::Download},
     N_("runs or download")},
    {"--svg", [](const CliOptions& o) { return o.svg.has_value(); }, {Command::Stats}, "stats"},
    {"--fit",
     [](const CliOptions& o) { return o.fit.has_value(); },
     {Command::Runs, Command::Download},
     "runs or download"},
    {"--by", [](const CliOptions& o) { return o.byGiven; }, {Command::Stats}, "stats"},
    {"--csv",
     [](const CliOptions& o) { return o.csv.has_value(); },
     {Command::Download, Command::Sync, Command::Runs},
     N_("download, sync or runs")},
};
const Combination kLateCombinations[] = {
    {"--from", [](const CliOptions& o) { return o.fromDay.has_value(); }, {Command::Runs}, "runs"},
    {"--to", [](const CliOptions& o) { return o.toDay.has_value(); }, {Command::Runs}, "runs"},
    {"--state", [](const CliOptions& o) { return o.state.has_value(); }, {Command::Runs}, "runs"},
    {"--dry-run", [](const CliOptions& o) { return o.dryRun; }, {Command::Sync}, "sync"},
    {"--all", [](const CliOptions& o) { return o.all; }, {Command::Sync}, "sync"},
    {"--verbose", [](const CliOptions& o) { return o.verbose && !o.dryRun; }, {}, "--dry-run"},
    {"--posted", [](const CliOptions& o) { return o.posted; }, {Command::Settle}, "settle"},
    {"--repost", [](const CliOptions& o) { return o.repost; }, {Command::Settle}, "settle"},
    {"--held", [](const CliOptions& o) { return o.held; }, {Command::Settle}, "settle"},
    {"--skip", [](const CliOptions& o) { return o.skip; }, {Command::Settle}, "settle"},
    {"--post", [](const CliOptions& o) { return o.post; }, {Command::Import}, "import"},
    {"--demo",
     [](const CliOptions& o) { return o.demo; },
     {Command::Download, Command::Sync, Command::Runs, Command::Stats, Command::Import},
     N_("download, sync, runs, stats or import")},
    {"--again", [](const CliOptions& o) { return o.again && !o.repost; }, {}, "settle --repost"},
    {"--imported",
     [](const CliOptions& o) { return o.imported && !o.repost; },
     {},
     "settle --repost"},
};

Error CheckCombinations(std::span<const Combination> combinations, const CliOptions& options) {
    for (const Combination& combination : combinations) {
        if (combination.given(options) &&
            std::ranges::find(combination.commands, options.command) ==
                combination.commands.end()) {
            return Fill(Tr("{0} goes with {1}"), combination.option, Tr(combination.commandsText));
        }
    }
    return std::nullopt;
}

// A descriptor's link shows the file behind it, which must not be replaced:
// standard output is written as "-" is, any other is refused. Standard output
// carries one file alone.
Error CheckStandardOutput(CliOptions& options) {
    for (auto* file : {&options.csv, &options.tcx, &options.svg}) {
        if (const auto descriptor = *file ? DescriptorNamed(**file) : std::nullopt) {
            if (*descriptor != 1) {
                return Fill(
                    Tr("{0} is an open descriptor, not a file; - writes to standard output"),
                    Utf8Path(**file));
            }
            **file = "-";
        }
    }
    const auto toStandardOutput = [](const std::optional<std::filesystem::path>& file) {
        return file && *file == "-";
    };
    if (toStandardOutput(options.fit)) {
        return Tr("--fit names a folder; FIT files cannot go to standard output");
    }
    if (toStandardOutput(options.csv) && toStandardOutput(options.tcx)) {
        return Tr("--csv and --tcx cannot both write to standard output");
    }
    return std::nullopt;
}

Error CheckSchedule(const CliOptions& options) {
    const std::vector<std::string>& words = options.scheduleWords;
    if (options.command != Command::Schedule || words.empty()) {
        return std::nullopt;
    }
    const bool fits = (words[0] == "daily" && words.size() <= 2) ||
                      ((words[0] == "hourly" || words[0] == "off") && words.size() == 1);
    return fits ? std::nullopt : Error(Tr("schedule takes daily [HH:MM], hourly or off"));
}

Error CheckSettle(const CliOptions& options) {
    if (options.command != Command::Settle) {
        return std::nullopt;
    }
    if (int{options.posted} + int{options.repost} + int{options.skip} != 1) {
        return Tr("settle needs one of --posted, --repost and --skip");
    }
    if (options.imported && (options.held || !options.runIds.empty())) {
        return Tr("settle --repost --imported takes the place of RunIDs and --held");
    }
    if (!options.imported && options.held == !options.runIds.empty()) {
        return Tr("settle needs RunIDs or --held, not both");
    }
    if (options.skip && options.held) {
        return Tr("settle --skip needs RunIDs");
    }
    return std::nullopt;
}

// The command a usage error is about: the first word that names one.
Command NamedCommand(const std::vector<std::string>& args) {
    for (const std::string& arg : args) {
        const auto* command = std::ranges::find_if(
            kCommands, [&arg](const auto& known) { return known.name == arg; });
        if (command != std::end(kCommands)) {
            return command->command;
        }
    }
    return Command::None;
}

}  // namespace

const char* CommandName(Command command) {
    const auto* named = std::ranges::find_if(
        kCommands, [command](const auto& known) { return known.command == command; });
    return named != std::end(kCommands) ? named->name.data() : "";
}

ParsedArguments ParseArguments(const std::vector<std::string>& args) {
    // "help COMMAND" is "COMMAND --help"; "help" alone, --help.
    if (!args.empty() && args[0] == "help") {
        const Command command = NamedCommand(args);
        if (args.size() > 2 || (args.size() == 2 && command == Command::None)) {
            return {std::nullopt, Fill(Tr("unknown argument: {0}"), args.back()), command};
        }
        CliOptions options;
        options.help = true;
        options.command = command;
        return {options, {}, command};
    }
    CliOptions options;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (Error error = ReadArgument(args, i, options)) {
            return {std::nullopt, std::move(*error), NamedCommand(args)};
        }
    }
    if (options.help || options.version) {
        return {options, {}, options.command};
    }
    if (options.command == Command::None) {
        return {std::nullopt,
                Tr("say download, sync, runs, stats, settle, import, remove, status or "
                   "schedule")};
    }
    Error error = CheckCombinations(kCombinations, options);
    error = error ? error : CheckStandardOutput(options);
    error = error ? error : CheckCombinations(kLateCombinations, options);
    error = error ? error : CheckSettle(options);
    if (!error && options.command == Command::Import && options.paths.empty()) {
        error = Tr("import needs the files or folders to read");
    }
    if (!error && options.command == Command::Remove && options.runIds.empty()) {
        error = Tr("remove needs the keys of the imported runs to take back");
    }
    if (!error && options.fromDay && options.toDay && *options.fromDay > *options.toDay) {
        error = Tr("--from is later than --to: no run could be listed");
    }
    error = error ? error : CheckSchedule(options);
    if (!error && options.demo && options.config) {
        error = Tr("--demo and --config do not go together: the demo has settings of its own");
    }
    if (error) {
        return {std::nullopt, std::move(*error), options.command};
    }
    return {options, {}, options.command};
}

std::filesystem::path PathFromUtf8(const std::string& text) {
    return std::filesystem::path(std::u8string(text.begin(), text.end()));
}
std::string Utf8Path(const std::filesystem::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

}  // namespace strivo
