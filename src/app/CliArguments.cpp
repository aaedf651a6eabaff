#include "app/CliArguments.h"

#include <algorithm>
#include <string_view>

#include "app/Translate.h"

namespace strivo {
namespace {

// The synopsis, said again under a usage error.
constexpr const char* kSynopsis =
    N_("Usage: strivo-cli download [--csv=FILE] [--config=FILE | --demo]\n"
       "       strivo-cli sync [--csv=FILE] [--dry-run] [--all] [--config=FILE | --demo]\n"
       "       strivo-cli --help | --version\n");

// What --help lists: a command or an option, and what it does. The first
// column stays English: it is what one types.
constexpr struct {
    const char* item;  // nullptr: a blank line
    const char* description;
} kHelpRows[] = {
    {"download", N_("sign in to Nike+, print the summary and the run table")},
    {"sync", N_("download, then post the runs the run log does not have yet")},
    {nullptr, nullptr},
    {"--csv=FILE", N_("also save the run table as CSV; - for standard output")},
    {"--dry-run", N_("print what sync would do with each run; post nothing")},
    {"--all", N_("post every run, also those posted before")},
    {"--config=FILE", N_("settings file to read (default: the window's config.ini)")},
    {"--demo", N_("use built-in demo services and accounts; no settings file")},
    {"--help", N_("print this help and exit")},
    {"--version", N_("print the version and exit")},
};

}  // namespace

std::string Synopsis() {
    return Tr(kSynopsis);
}

std::string Help() {
    std::size_t width = 0;
    for (const auto& row : kHelpRows) {
        width = std::max(width, row.item ? std::string_view(row.item).size() : 0);
    }
    std::string help = std::string(Tr(kSynopsis)) + "\n" +
                       Tr("Signs in to Nike+ and prints your summary and runs; sync then copies\n"
                          "the runs to your Kelvora run log.\n") +
                       "\n";
    for (const auto& row : kHelpRows) {
        if (row.item) {
            help += "  " + std::string(row.item) +
                    std::string(width + 2 - std::string_view(row.item).size(), ' ') +
                    Tr(row.description);
        }
        help += "\n";
    }
    return help + "\n" +
           Tr("Passwords come from STRIVO_NIKE_PASSWORD and STRIVO_SITE_PASSWORD, else from\n"
              "the settings file, else from a prompt when run in a terminal. Posted runs\n"
              "are recorded in posted-runs.txt beside the settings file. The CSV file is\n"
              "in code page 936 (GBK), as Excel reads it.\n"
              "\n"
              "Exit status: 0 done; 1 a sign-in, the download, the export or a post failed;\n"
              "2 a usage or settings error.\n");
}

namespace {

constexpr struct {
    std::string_view name;
    bool CliOptions::*member;
} kSwitches[] = {{"--help", &CliOptions::help},       {"-h", &CliOptions::help},
                 {"--version", &CliOptions::version}, {"--demo", &CliOptions::demo},
                 {"--dry-run", &CliOptions::dryRun},  {"--all", &CliOptions::all}};

constexpr struct {
    std::string_view name;
    std::optional<std::filesystem::path> CliOptions::*member;
} kFileOptions[] = {{"--csv", &CliOptions::csv}, {"--config", &CliOptions::config}};

}  // namespace

ParsedArguments ParseArguments(const std::vector<std::string>& args) {
    CliOptions options;
    for (std::size_t i = 0; i < args.size(); ++i) {
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
                return {std::nullopt, Fill(Tr("{0} takes no value"), name)};
            }
            options.*option->member = true;
        } else if (const auto* fileOption = std::ranges::find_if(kFileOptions, named);
                   fileOption != std::end(kFileOptions)) {
            if (!attached && i + 1 < args.size()) {
                attached = args[++i];
            }
            if (!attached || attached->empty()) {
                return {std::nullopt, Fill(Tr("{0} needs a value"), name)};
            }
            options.*fileOption->member = PathFromUtf8(*attached);
        } else if ((name == "download" || name == "sync") && options.command.empty()) {
            options.command = name;
        } else {
            return {std::nullopt, Fill(Tr("unknown argument: {0}"), args[i])};
        }
    }
    if (options.help || options.version) {
        return {options, {}};
    }
    if (options.command.empty()) {
        return {std::nullopt, Tr("say download or sync")};
    }
    if ((options.dryRun || options.all) && options.command != "sync") {
        return {std::nullopt,
                Fill(Tr("{0} goes with sync"), options.dryRun ? "--dry-run" : "--all")};
    }
    if (options.demo && options.config) {
        return {std::nullopt,
                Tr("--demo and --config do not go together: the demo has settings of its own")};
    }
    return {options, {}};
}

std::filesystem::path PathFromUtf8(const std::string& text) {
    return std::filesystem::path(std::u8string(text.begin(), text.end()));
}
std::string Utf8Path(const std::filesystem::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

}  // namespace strivo
