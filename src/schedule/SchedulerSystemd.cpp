// Scheduler.h on Linux: two systemd user units in the user's unit folder,
// loaded and started through systemctl --user.

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <system_error>

#include "io/AtomicFile.h"
#include "io/PathText.h"
#include "schedule/ChildProcess.h"
#include "schedule/Scheduler.h"
#include "schedule/SystemdUnits.h"
#include "text/CodePage.h"

namespace strivo {
namespace {

namespace fs = std::filesystem;

// Where systemd looks for a user's own units.
fs::path UnitFolder() {
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && xdg[0] == '/') {
        return fs::path(xdg) / "systemd" / "user";
    }
    const char* home = std::getenv("HOME");
    if (home == nullptr || home[0] == '\0') {
        const passwd* user = ::getpwuid(::getuid());
        home = user != nullptr ? user->pw_dir : nullptr;
    }
    return fs::path(home != nullptr ? home : "") / ".config" / "systemd" / "user";
}

std::string Trimmed(std::string text) {
    while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) {
        text.pop_back();
    }
    return text;
}

Outcome Run(const std::vector<std::string>& argv) {
    const ChildExit exit = RunChild(argv);
    if (exit.startError != 0) {
        return Problem(ProblemCode::ScheduleCommandNotStarted, {CommandLine(argv)},
                       std::system_category().message(exit.startError));
    }
    if (exit.signal != 0) {
        return Problem(ProblemCode::ScheduleCommandKilled,
                       {CommandLine(argv), std::to_string(exit.signal)}, Trimmed(exit.errorOutput));
    }
    if (exit.exitStatus != 0) {
        return Problem(ProblemCode::ScheduleCommandFailed,
                       {CommandLine(argv), std::to_string(exit.exitStatus)},
                       Trimmed(exit.errorOutput));
    }
    return {};
}

struct ManagerAnswer {
    bool answers = false;
    NoUserManager why = NoUserManager::NoRuntimeFolder;
    std::string detail;
};

// Whether a systemd user manager runs for this user and answers: in a
// container, over ssh without a login session, or where systemd is not the
// init system, none does, and units written would never run.
ManagerAnswer AskManager() {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime == nullptr || runtime[0] != '/') {
        return {false, NoUserManager::NoRuntimeFolder, {}};
    }
    std::error_code error;
    if (!fs::is_socket(fs::path(runtime) / "systemd" / "private", error)) {
        return {false, NoUserManager::NoManagerSocket, {}};
    }
    const ChildExit exit = RunChild({"systemctl", "--user", "show-environment"});
    if (exit.startError != 0) {
        return {false, NoUserManager::NoSystemctl, std::system_category().message(exit.startError)};
    }
    if (!exit.Succeeded()) {
        return {false, NoUserManager::ManagerSilent, Trimmed(exit.errorOutput)};
    }
    return {true, {}, {}};
}

struct UnitFile {
    fs::path path;
    bool exists = false;
    bool ours = false;
    std::string text;
};

Result<UnitFile> ReadUnit(const fs::path& path) {
    Result<std::string> content = ReadWholeFile(path);
    if (!content) {
        if (content.problem().code != ProblemCode::FileMissing) {
            return content.problem();
        }
        return UnitFile{path, false, false, {}};
    }
    const bool ours = WrittenByStrivo(*content);
    return UnitFile{path, true, ours, std::move(*content)};
}

// `systemctl --user enable` links the timer into timers.target.wants; where no
// manager could be asked to disable it, the link would be left pointing at
// nothing.
void RemoveWantsLink(const fs::path& folder) {
    const fs::path link = folder / "timers.target.wants" / kTimerUnit;
    std::error_code error;
    if (!fs::is_symlink(fs::symlink_status(link, error))) {
        return;
    }
    const fs::path target = fs::read_symlink(link, error);
    const fs::path resolved = target.is_absolute() ? target : link.parent_path() / target;
    if (!error && resolved.lexically_normal() == (folder / kTimerUnit).lexically_normal()) {
        fs::remove(link, error);
    }
}

}  // namespace

Result<InstallOutcome> InstallSchedule(const SyncSchedule& schedule, const SyncCommand& command) {
    if (Outcome usable = CheckCommandPaths(command); !usable) {
        return usable.problem();
    }
    const bool utf8 = IsUtf8(PathText(command.program)) && IsUtf8(PathText(command.config));
    const ManagerAnswer manager =
        utf8 ? AskManager() : ManagerAnswer{false, NoUserManager::PathNotUtf8, {}};
    if (!manager.answers) {
        InstallOutcome outcome;
        outcome.kind = InstallOutcome::Kind::CrontabInstead;
        outcome.crontabLine = CrontabLine(schedule, command);
        outcome.why = manager.why;
        outcome.whyDetail = manager.detail;
        return outcome;
    }

    const fs::path folder = UnitFolder();
    Result<UnitFile> service = ReadUnit(folder / kServiceUnit);
    Result<UnitFile> timer = ReadUnit(folder / kTimerUnit);
    for (const Result<UnitFile>* unit : {&service, &timer}) {
        if (!*unit) {
            return unit->problem();
        }
        if ((*unit)->exists && !(*unit)->ours) {
            return Problem(ProblemCode::ScheduleForeignEntry, {(*unit)->path.string()});
        }
    }
    std::error_code error;
    fs::create_directories(folder, error);
    if (error) {
        return Problem(ProblemCode::FileCannotCreate, {folder.string()}, error.message());
    }
    const auto mode = fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                      fs::perms::others_read;
    // The service first: a timer is never loaded before the unit it starts.
    for (const auto& [path, text] : {std::pair(service->path, ServiceUnitText(command)),
                                     std::pair(timer->path, TimerUnitText(schedule))}) {
        if (Outcome written = WriteFileAtomically(path, text, mode); !written) {
            return written.problem();
        }
    }

    std::vector<std::vector<std::string>> steps = {
        {"systemctl", "--user", "daemon-reload"},
        {"systemctl", "--user", "enable", "--now", std::string(kTimerUnit)},
    };
    // A timer already running keeps the time it computed from its old calendar.
    if (timer->exists) {
        steps.push_back({"systemctl", "--user", "restart", std::string(kTimerUnit)});
    }
    for (const auto& step : steps) {
        if (Outcome done = Run(step); !done) {
            return done.problem();
        }
    }
    InstallOutcome outcome;
    outcome.written = {service->path.string(), timer->path.string()};
    return outcome;
}

Result<RemoveOutcome> RemoveSchedule() {
    const fs::path folder = UnitFolder();
    Result<UnitFile> service = ReadUnit(folder / kServiceUnit);
    Result<UnitFile> timer = ReadUnit(folder / kTimerUnit);
    RemoveOutcome outcome;
    for (const Result<UnitFile>* unit : {&service, &timer}) {
        if (!*unit) {
            return unit->problem();
        }
        if ((*unit)->exists && !(*unit)->ours) {
            outcome.leftForeign.push_back((*unit)->path.string());
        }
    }
    if (!service->ours && !timer->ours) {
        return outcome;
    }

    const ManagerAnswer manager = AskManager();
    // Only the timer is stopped: a sync it started is let finish its posts.
    if (manager.answers && timer->ours) {
        if (Outcome done =
                Run({"systemctl", "--user", "disable", "--now", std::string(kTimerUnit)});
            !done) {
            return done.problem();
        }
    }
    if (timer->ours) {
        RemoveWantsLink(folder);
    }
    for (const Result<UnitFile>* unit : {&timer, &service}) {
        if (!(*unit)->ours) {
            continue;
        }
        std::error_code error;
        if (!fs::remove((*unit)->path, error) && error) {
            return Problem(ProblemCode::ScheduleCannotRemove, {(*unit)->path.string()},
                           error.message());
        }
        outcome.removed.push_back((*unit)->path.string());
    }
    if (manager.answers) {
        if (Outcome done = Run({"systemctl", "--user", "daemon-reload"}); !done) {
            return done.problem();
        }
    }
    return outcome;
}

Result<InstalledSchedule> ReadInstalledSchedule() {
    const fs::path folder = UnitFolder();
    Result<UnitFile> timer = ReadUnit(folder / kTimerUnit);
    if (!timer) {
        return timer.problem();
    }
    InstalledSchedule installed;
    installed.where = timer->path.string();
    if (!timer->exists) {
        return installed;
    }
    if (!timer->ours) {
        installed.state = InstalledSchedule::State::Foreign;
        return installed;
    }
    Result<UnitFile> service = ReadUnit(folder / kServiceUnit);
    if (!service) {
        return service.problem();
    }
    installed.schedule = ScheduleFromTimer(timer->text);
    if (service->ours) {
        installed.command = CommandFromService(service->text);
    }
    installed.state = installed.schedule && installed.command
                          ? InstalledSchedule::State::Installed
                          : InstalledSchedule::State::Unrecognised;
    return installed;
}

}  // namespace strivo
