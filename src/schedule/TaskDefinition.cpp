#include "schedule/TaskDefinition.h"

#include "io/PathText.h"

namespace strivo {
namespace {

// Absolute the way Windows reads it, also when this code runs elsewhere:
// "C:\..." (or "C:/...") or "\\server\share\...".
bool UsableWindowsPath(std::string_view path) {
    for (const char c : path) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f || c == '%') {
            return false;
        }
    }
    const bool drive = path.size() >= 3 &&
                       ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z')) &&
                       path[1] == ':' && (path[2] == '\\' || path[2] == '/');
    return drive || path.starts_with("\\\\");
}

bool Digits(std::string_view text) {
    for (const char c : text) {
        if (c < '0' || c > '9') {
            return false;
        }
    }
    return true;
}

}  // namespace

Result<TaskDefinition> TaskFor(const SyncSchedule& schedule, const SyncCommand& command) {
    const std::string program = PathText(command.program);
    const std::string config = PathText(command.config);
    for (const std::string* path : {&program, &config}) {
        if (!UsableWindowsPath(*path)) {
            return Problem(ProblemCode::ScheduleUnusablePath, {*path});
        }
    }
    const bool daily = schedule.every == SyncSchedule::Every::Daily;
    TaskDefinition task;
    task.author = kTaskAuthor;
    task.description = "Syncs new runs to the run log (strivo-cli schedule)";
    // Any day in the past: only its time of day counts.
    task.startBoundary =
        "2020-01-01T" + (daily ? ClockText(schedule) : std::string("00:00")) + ":00";
    if (!daily) {
        task.repetitionInterval = "PT1H";
        task.repetitionDuration = "P1D";
    }
    task.randomDelay = daily ? "PT5M" : "PT2M";
    task.executionTimeLimit = "PT1H";
    task.program = program;
    task.arguments = "sync --quiet --config " + WindowsQuoted(config);
    return task;
}

InstalledSchedule ScheduleFromTask(const TaskDefinition& task) {
    InstalledSchedule installed;
    installed.where = kTaskPath;
    if (task.author != kTaskAuthor) {
        installed.state = InstalledSchedule::State::Foreign;
        return installed;
    }
    installed.state = InstalledSchedule::State::Unrecognised;
    // "YYYY-MM-DDTHH:MM:SS", perhaps followed by a zone.
    const std::string_view start = task.startBoundary;
    if (start.size() >= 19 && start[10] == 'T' && start.substr(16, 3) == ":00" &&
        Digits(start.substr(17, 2))) {
        if (task.repetitionInterval.empty()) {
            if (Result<SyncSchedule> daily = ParseDailyTime(start.substr(11, 5))) {
                installed.schedule = *daily;
            }
        } else if (task.repetitionInterval == "PT1H" && start.substr(13, 3) == ":00") {
            installed.schedule = kHourly;
        }
    }
    const std::vector<std::string> arguments = WindowsArguments(task.arguments);
    for (std::size_t i = 0; i + 1 < arguments.size(); ++i) {
        if (arguments[i] == "--config") {
            installed.command =
                SyncCommand{PathFromText(task.program), PathFromText(arguments[i + 1])};
        }
    }
    if (installed.schedule && installed.command) {
        installed.state = InstalledSchedule::State::Installed;
    }
    return installed;
}

std::string WindowsQuoted(std::string_view argument) {
    if (!argument.empty() && argument.find_first_of(" \t\n\v\"") == std::string_view::npos) {
        return std::string(argument);
    }
    std::string quoted = "\"";
    std::size_t backslashes = 0;
    for (const char c : argument) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        // Backslashes count only before a quote: there each stands doubled.
        quoted.append(c == '"' ? backslashes * 2 + 1 : backslashes, '\\');
        quoted += c;
        backslashes = 0;
    }
    // ...and before the closing one.
    quoted.append(backslashes * 2, '\\');
    return quoted + "\"";
}

std::vector<std::string> WindowsArguments(std::string_view line) {
    std::vector<std::string> arguments;
    std::size_t i = 0;
    while (true) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) {
            ++i;
        }
        if (i == line.size()) {
            return arguments;
        }
        std::string argument;
        bool quoted = false;
        while (i < line.size() && (quoted || (line[i] != ' ' && line[i] != '\t'))) {
            std::size_t backslashes = 0;
            while (i < line.size() && line[i] == '\\') {
                ++backslashes;
                ++i;
            }
            if (i < line.size() && line[i] == '"') {
                argument.append(backslashes / 2, '\\');
                if (backslashes % 2 == 1) {
                    argument += '"';
                } else if (quoted && i + 1 < line.size() && line[i + 1] == '"') {
                    argument += '"';  // "" inside quotes: a quote
                    ++i;
                } else {
                    quoted = !quoted;
                }
                ++i;
            } else {
                argument.append(backslashes, '\\');
                if (i < line.size() && (quoted || (line[i] != ' ' && line[i] != '\t'))) {
                    argument += line[i++];
                }
            }
        }
        arguments.push_back(std::move(argument));
    }
}

}  // namespace strivo
