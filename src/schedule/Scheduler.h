#pragma once

#include <optional>
#include <string>
#include <vector>

#include "model/Result.h"
#include "schedule/SyncSchedule.h"

namespace strivo {

// Puts unattended syncs in the hands of the platform's scheduler: systemd
// user units on Linux (SchedulerSystemd.cpp), a Task Scheduler task for the
// current user on Windows (SchedulerWin.cpp).

// What is in place now.
struct InstalledSchedule {
    enum class State {
        None,          // nothing of ours
        Installed,     // ours, and `schedule` and `command` say what it does
        Unrecognised,  // ours, edited into something this program cannot read
        Foreign,       // something of our name that Strivo did not write
    };
    State state = State::None;
    std::optional<SyncSchedule> schedule;
    std::optional<SyncCommand> command;
    std::string where;  // the timer unit's path, or the task's ("\Strivo\Sync")
};

// Why a schedule could not be handed to a user manager (Linux).
enum class NoUserManager {
    NoRuntimeFolder,  // no $XDG_RUNTIME_DIR: not a login session
    NoManagerSocket,  // no $XDG_RUNTIME_DIR/systemd/private
    NoSystemctl,      // systemctl is not on PATH
    ManagerSilent,    // systemctl --user show-environment failed
    // A path of the command is not valid UTF-8: systemd ignores such a unit
    // line ("String is not UTF-8 clean"), while cron runs it as it is.
    PathNotUtf8,
};

struct InstallOutcome {
    // Installed: the schedule runs from now on. CrontabInstead: no user
    // manager answers, or it would not load the unit (`why`), nothing was
    // written, and `crontabLine` is the line a user can add to their crontab
    // (never edited here).
    enum class Kind { Installed, CrontabInstead };
    Kind kind = Kind::Installed;
    std::vector<std::string> written;  // the unit files, or the task
    std::string crontabLine;
    NoUserManager why = NoUserManager::NoRuntimeFolder;
    std::string whyDetail;  // systemctl's own words, when it said any
};

struct RemoveOutcome {
    std::vector<std::string> removed;      // unit files, or the task
    std::vector<std::string> leftForeign;  // of our names, not written by Strivo
};

// Makes or replaces the schedule. A unit or task of our name that Strivo did
// not write is never replaced: ScheduleForeignEntry.
Result<InstallOutcome> InstallSchedule(const SyncSchedule& schedule, const SyncCommand& command);
// Stops and removes what InstallSchedule made; with nothing there, succeeds
// with nothing removed.
Result<RemoveOutcome> RemoveSchedule();
// Reads what is in place without changing anything.
Result<InstalledSchedule> ReadInstalledSchedule();

}  // namespace strivo
