#include "schedule/SystemdUnits.h"

#include <vector>

#include "io/PathText.h"

namespace strivo {
namespace {

bool HasControlCharacter(std::string_view text) {
    for (const char c : text) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) {
            return true;
        }
    }
    return false;
}

// The value of the one line that starts with `key` ("ExecStart="), or nullopt
// when there is none or more than one.
std::optional<std::string_view> OnlyValue(std::string_view text, std::string_view key) {
    std::optional<std::string_view> found;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        while (!line.empty() && (line.front() == ' ' || line.front() == '\t')) {
            line.remove_prefix(1);
        }
        if (line.starts_with(key)) {
            if (found) {
                return std::nullopt;
            }
            found = line.substr(key.size());
        }
    }
    return found;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// An ExecStart value split into its words by systemd's rules, as far as a
// unit of ours needs them: quotes, C escapes, "%%", and "$$" unless variable
// expansion is off. Anything that needs the manager to resolve it (another
// specifier, a variable) gives nullopt.
std::optional<std::vector<std::string>> ExecWords(std::string_view value) {
    bool expand = true;
    while (!value.empty() &&
           std::string_view("-@:+!").find(value.front()) != std::string_view::npos) {
        expand = expand && value.front() != ':';
        value.remove_prefix(1);
    }
    std::vector<std::string> words;
    std::size_t i = 0;
    while (true) {
        while (i < value.size() && (value[i] == ' ' || value[i] == '\t')) {
            ++i;
        }
        if (i == value.size()) {
            return words;
        }
        std::string word;
        char quote = 0;
        for (; i < value.size() && (quote != 0 || (value[i] != ' ' && value[i] != '\t')); ++i) {
            const char c = value[i];
            if (quote == 0 && (c == '"' || c == '\'')) {
                quote = c;
            } else if (c == quote) {
                quote = 0;
            } else if (c == '%') {
                if (i + 1 == value.size() || value[i + 1] != '%') {
                    return std::nullopt;
                }
                word += '%';
                ++i;
            } else if (c == '$' && expand) {
                if (i + 1 == value.size() || value[i + 1] != '$') {
                    return std::nullopt;
                }
                word += '$';
                ++i;
            } else if (c == '\\') {
                if (++i == value.size()) {
                    return std::nullopt;
                }
                switch (value[i]) {
                    case '\\':
                    case '"':
                    case '\'':
                    case ' ':
                        word += value[i];
                        break;
                    case 'n':
                        word += '\n';
                        break;
                    case 't':
                        word += '\t';
                        break;
                    case 'x': {
                        const int high = i + 2 < value.size() ? HexDigit(value[i + 1]) : -1;
                        const int low = high >= 0 ? HexDigit(value[i + 2]) : -1;
                        if (low < 0) {
                            return std::nullopt;
                        }
                        word += static_cast<char>(high * 16 + low);
                        i += 2;
                        break;
                    }
                    default:
                        return std::nullopt;
                }
            } else {
                word += c;
            }
        }
        if (quote != 0) {
            return std::nullopt;
        }
        words.push_back(std::move(word));
    }
}

// One word for sh, in single quotes; each % stands outside them, escaped for
// cron, which would otherwise end the command there.
std::string CrontabQuoted(const std::filesystem::path& path) {
    std::string quoted = "'";
    for (const char c : PathText(path)) {
        if (c == '\'') {
            quoted += "'\\''";
        } else if (c == '%') {
            quoted += "'\\%'";
        } else {
            quoted += c;
        }
    }
    return quoted + "'";
}

}  // namespace

Outcome CheckCommandPaths(const SyncCommand& command) {
    for (const auto* path : {&command.program, &command.config}) {
        const std::string text = PathText(*path);
        // systemd refuses a program whose path holds quotes or backslashes,
        // however they are escaped.
        const bool program = path == &command.program;
        if (!path->is_absolute() || HasControlCharacter(text) ||
            (program && text.find_first_of("\\\"'") != std::string::npos)) {
            return Problem(ProblemCode::ScheduleUnusablePath, {text});
        }
    }
    return {};
}

std::string SystemdQuoted(std::string_view word) {
    std::string quoted = "\"";
    for (const char c : word) {
        if (c == '\\' || c == '"') {
            quoted += '\\';
        } else if (c == '%') {
            quoted += '%';
        }
        quoted += c;
    }
    return quoted + "\"";
}

std::string ServiceUnitText(const SyncCommand& command) {
    const std::string program = PathText(command.program);
    const std::string config = PathText(command.config);
    const bool dollar = (program + config).find('$') != std::string::npos;
    std::string text(kUnitMarker);
    text +=
        "\n[Unit]\nDescription=Strivo: sync new runs to the run log\n\n[Service]\nType=oneshot\n";
    text += "ExecStart=";
    text += dollar ? ":" : "";
    text += SystemdQuoted(program) + " sync --quiet --config " + SystemdQuoted(config) + "\n";
    return text;
}

std::string TimerUnitText(const SyncSchedule& schedule) {
    const bool daily = schedule.every == SyncSchedule::Every::Daily;
    std::string text(kUnitMarker);
    text += "\n[Unit]\nDescription=Strivo: sync new runs to the run log, ";
    text += daily ? "daily at " + ClockText(schedule) : std::string("every hour");
    text += "\n\n[Timer]\nOnCalendar=";
    text += daily ? "*-*-* " + ClockText(schedule) + ":00" : std::string("hourly");
    // Spread the syncs of many machines over a few minutes, fewer for hourly.
    text += "\nPersistent=true\nRandomizedDelaySec=";
    text += daily ? "5min" : "2min";
    text += "\nUnit=";
    text += kServiceUnit;
    text += "\n\n[Install]\nWantedBy=timers.target\n";
    return text;
}

bool WrittenByStrivo(std::string_view unitText) {
    return unitText.starts_with(kUnitMarker) && unitText.size() > kUnitMarker.size() &&
           (unitText[kUnitMarker.size()] == '\n' || unitText[kUnitMarker.size()] == '\r');
}

std::optional<SyncCommand> CommandFromService(std::string_view serviceText) {
    const auto value = OnlyValue(serviceText, "ExecStart=");
    const auto words = value ? ExecWords(*value) : std::nullopt;
    if (!words || words->empty()) {
        return std::nullopt;
    }
    for (std::size_t i = 1; i < words->size(); ++i) {
        const std::string& word = (*words)[i];
        if (word == "--config" && i + 1 < words->size()) {
            return SyncCommand{PathFromText((*words)[0]), PathFromText((*words)[i + 1])};
        }
        if (word.starts_with("--config=")) {
            return SyncCommand{PathFromText((*words)[0]), PathFromText(word.substr(9))};
        }
    }
    return std::nullopt;
}

std::optional<SyncSchedule> ScheduleFromTimer(std::string_view timerText) {
    auto value = OnlyValue(timerText, "OnCalendar=");
    if (!value) {
        return std::nullopt;
    }
    while (!value->empty() && (value->back() == ' ' || value->back() == '\t')) {
        value->remove_suffix(1);
    }
    if (*value == "hourly" || *value == "*-*-* *:00:00") {
        return kHourly;
    }
    if (!value->starts_with("*-*-* ")) {
        return std::nullopt;
    }
    std::string_view time = value->substr(6);
    if (time.ends_with(":00") && time.size() == 8) {
        time.remove_suffix(3);
    }
    Result<SyncSchedule> daily = ParseDailyTime(time);
    return daily ? std::optional<SyncSchedule>(*daily) : std::nullopt;
}

std::string CrontabLine(const SyncSchedule& schedule, const SyncCommand& command) {
    std::string line = schedule.every == SyncSchedule::Every::Daily
                           ? std::to_string(schedule.minute) + " " + std::to_string(schedule.hour)
                           : std::string("0 *");
    line += " * * * " + CrontabQuoted(command.program) + " sync --quiet --config " +
            CrontabQuoted(command.config);
    return line;
}

}  // namespace strivo
