#pragma once

#include <filesystem>
#include <functional>
#include <string_view>

#include "jobs/Workspace.h"
#include "model/Result.h"
#include "schedule/Scheduler.h"

namespace strivo::jobs {

// Hands syncs of the workspace's settings file to the platform's scheduler:
// `program sync --quiet --config <the settings file>`, at `schedule`.
// Refused with ScheduleNeedsPasswords while a scheduled run would lack a
// password: the settings file (`where.settings` as read from the file, before
// any password from elsewhere) holds none; with SchedulePasswordsInShellOnly
// when `shellHas` (this shell's environment, which no scheduled run sees)
// gives it. Where no user manager answers, or it would not load the unit,
// nothing is written and the outcome carries the crontab line instead.
Result<InstallOutcome> MakeSchedule(const Workspace& where, const SyncSchedule& schedule,
                                    const std::filesystem::path& program,
                                    const std::function<bool(std::string_view variable)>& shellHas);

// Stops and removes what MakeSchedule made, and nothing else.
Result<RemoveOutcome> EndSchedule();

}  // namespace strivo::jobs
