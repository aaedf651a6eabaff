#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "model/Result.h"
#include "schedule/Scheduler.h"
#include "schedule/SyncSchedule.h"

namespace strivo {

// The Task Scheduler task a schedule is made of on Windows, as plain values
// (UTF-8). Pure and portable: SchedulerWin.cpp applies it through the Task
// Scheduler's COM interface, and reads a registered task back into it.

inline constexpr std::string_view kTaskFolder = "\\Strivo";
inline constexpr std::string_view kTaskName = "Sync";
inline constexpr std::string_view kTaskPath = "\\Strivo\\Sync";
// The task's author: `schedule off` deletes only a task that names it.
inline constexpr std::string_view kTaskAuthor = "Strivo";

struct TaskDefinition {
    std::string author;
    std::string description;
    // One daily trigger, at startBoundary's time of day in local time (no
    // zone), repeated every repetitionInterval for repetitionDuration when set.
    std::string startBoundary;       // "2020-01-01T06:30:00"
    std::string repetitionInterval;  // "PT1H", or empty
    std::string repetitionDuration;  // "P1D", or empty
    std::string randomDelay;         // "PT5M"
    // StartWhenAvailable: a run missed while the machine was off or the user
    // away comes as soon as it can (systemd's Persistent). Batteries never
    // hold a sync back: a laptop would otherwise never sync.
    bool startWhenAvailable = true;
    bool runOnBatteries = true;
    std::string executionTimeLimit;  // "PT1H"
    // The one action.
    std::string program;    // strivo-cli.exe
    std::string arguments;  // one command line, quoted as CommandLineToArgvW reads it

    friend bool operator==(const TaskDefinition&, const TaskDefinition&) = default;
};

// The task for `schedule`. ScheduleUnusablePath for a path that is not
// absolute, or holds a control character or a % (the Task Scheduler expands
// %NAME% in a task's program and arguments, with no way to escape it).
Result<TaskDefinition> TaskFor(const SyncSchedule& schedule, const SyncCommand& command);

// What a registered task (read back into a TaskDefinition: author, trigger,
// action) says: Foreign for another author's, Unrecognised for one of ours
// whose trigger or arguments were edited into something else.
InstalledSchedule ScheduleFromTask(const TaskDefinition& task);

// A command line's arguments: quoting one, and splitting a line back into
// them, by the rules CommandLineToArgvW and the C runtime follow.
std::string WindowsQuoted(std::string_view argument);
std::vector<std::string> WindowsArguments(std::string_view commandLine);

}  // namespace strivo
