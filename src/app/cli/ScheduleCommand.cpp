#include <chrono>

#include "app/cli/Commands.h"
#include "io/TimeText.h"
#include "jobs/Manners.h"
#include "jobs/Schedule.h"
#include "jobs/Status.h"
#include "model/ProblemWords.h"
#include "text/Catalog.h"

namespace strivo::cli {
namespace {

const char* WhyNoManager(NoUserManager why) {
    switch (why) {
        case NoUserManager::NoRuntimeFolder:
            return Tr("this is no login session ($XDG_RUNTIME_DIR is not set)");
        case NoUserManager::NoManagerSocket:
            return Tr("no systemd user manager runs for this session");
        case NoUserManager::NoSystemctl:
            return Tr("systemctl cannot be found");
        case NoUserManager::ManagerSilent:
            return Tr("the systemd user manager does not answer");
        case NoUserManager::PathNotUtf8:
            return Tr(
                "a path of the command is not valid UTF-8, and systemd does not load such "
                "a unit");
    }
    return "";
}

int Show(CliContext& cli) {
    const jobs::ScheduleState state = jobs::ReadSchedule(std::chrono::system_clock::now());
    std::ostream& out = cli.Out();
    switch (state.kind) {
        case jobs::ScheduleState::Kind::None:
            out << Tr("No schedule. strivo-cli schedule daily [HH:MM] or hourly makes one.")
                << "\n";
            return kExitDone;
        case jobs::ScheduleState::Kind::Unreadable:
            if (state.problem) {
                cli.Error(*state.problem);
                return kExitFailed;
            }
            out << Tr("A schedule is in place that strivo-cli cannot read; strivo-cli schedule "
                      "off removes it.")
                << "\n";
            return kExitDone;
        case jobs::ScheduleState::Kind::Daily:
            out << Fill(Tr("Syncing daily at {0}; next run {1}."), state.clock,
                        state.nextRun ? LocalMinuteText(*state.nextRun) : "?")
                << "\n";
            return kExitDone;
        case jobs::ScheduleState::Kind::Hourly:
            out << Fill(Tr("Syncing hourly; next run {0}."),
                        state.nextRun ? LocalMinuteText(*state.nextRun) : "?")
                << "\n";
            return kExitDone;
    }
    return kExitDone;
}

int Off(CliContext& cli) {
    const Result<RemoveOutcome> removed = jobs::EndSchedule();
    if (!removed) {
        cli.Error(removed.problem());
        return kExitFailed;
    }
    for (const std::string& foreign : removed->leftForeign) {
        cli.Error(Describe(Problem(ProblemCode::ScheduleForeignEntry, {foreign})));
    }
    cli.Out() << (removed->removed.empty() ? Tr("There was no schedule to remove.")
                                           : Tr("The schedule is off; its files are removed."))
              << "\n";
    return kExitDone;
}

}  // namespace

// Syncs on their own, at a time of day or every hour; or none.
int Schedule(CliContext& cli) {
    const std::vector<std::string>& words = cli.options().scheduleWords;
    if (words.empty()) {
        return Show(cli);
    }
    if (words[0] == "off") {
        return Off(cli);
    }
    SyncSchedule schedule = kHourly;
    if (words[0] == "daily") {
        const Result<SyncSchedule> daily =
            words.size() > 1 ? ParseDailyTime(words[1]) : Result<SyncSchedule>(kDefaultDaily);
        if (!daily) {
            cli.Error(daily.problem());
            return kExitUsage;
        }
        schedule = *daily;
    }
    CliEnvironment& env = cli.env();
    const Result<InstallOutcome> made =
        jobs::MakeSchedule(cli.where(), schedule, env.program, [&env](std::string_view name) {
            const std::optional<std::string> value = env.getenv(name);
            return value && !value->empty();
        });
    if (!made) {
        cli.Error(made.problem());
        const ProblemCode code = made.problem().code;
        return code == ProblemCode::ScheduleNeedsPasswords ||
                       code == ProblemCode::SchedulePasswordsInShellOnly ||
                       code == ProblemCode::ScheduleUnusablePath
                   ? kExitUsage
                   : kExitFailed;
    }
    if (made->kind == InstallOutcome::Kind::CrontabInstead) {
        cli.Error(Fill(Tr("nothing was installed: {0}; to sync on a schedule, add this line to "
                          "your crontab (crontab -e):"),
                       WhyNoManager(made->why)));
        cli.Out() << made->crontabLine << "\n";
        // A path systemd will not take is the runner's to change; a missing
        // user manager is this session's.
        return made->why == NoUserManager::PathNotUtf8 ? kExitUsage : kExitFailed;
    }
    return Show(cli);
}

}  // namespace strivo::cli
