#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "model/Result.h"
#include "schedule/SyncSchedule.h"

namespace strivo {

// The two systemd user units a schedule is made of, as text, and what can be
// read back from them. Pure: SchedulerSystemd.cpp puts them in place.

inline constexpr std::string_view kServiceUnit = "strivo-sync.service";
inline constexpr std::string_view kTimerUnit = "strivo-sync.timer";

// The first line of both units. `schedule off` removes a unit only when it
// carries this line, so a unit someone else wrote under the name stays.
inline constexpr std::string_view kUnitMarker =
    "# Written by strivo-cli schedule; strivo-cli schedule off removes it.";

// ScheduleUnusablePath when a path is not absolute or holds a control
// character (no unit line, and no crontab line, can carry a line end), or
// when the program's path holds a quote or a backslash (systemd will not run
// such a program).
Outcome CheckCommandPaths(const SyncCommand& command);

// A oneshot service whose ExecStart runs `program sync --quiet --config
// config`, each path one word in systemd's quoting.
std::string ServiceUnitText(const SyncCommand& command);
// The timer: OnCalendar local time, Persistent (a run missed while the machine
// was off comes at the next start), a small random delay, WantedBy timers.target.
std::string TimerUnitText(const SyncSchedule& schedule);

// One word of an ExecStart line: in double quotes, with backslashes and
// quotes escaped and % doubled (systemd's specifiers). A $ is left as it is:
// ServiceUnitText turns off variable expansion (the ":" prefix) when a word
// holds one, since systemd never undoes "$$" in the program's path.
std::string SystemdQuoted(std::string_view word);

// Whether a unit's text begins with kUnitMarker.
bool WrittenByStrivo(std::string_view unitText);

// What ServiceUnitText and TimerUnitText wrote, read back; nullopt for a unit
// edited into something else.
std::optional<SyncCommand> CommandFromService(std::string_view serviceText);
std::optional<SyncSchedule> ScheduleFromTimer(std::string_view timerText);

// The line to add to one's crontab where no user manager runs: the
// schedule's fields, then the command with both paths in single quotes and %
// escaped (cron makes a bare % a line end).
std::string CrontabLine(const SyncSchedule& schedule, const SyncCommand& command);

}  // namespace strivo
