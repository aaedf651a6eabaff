#include "jobs/Schedule.h"

#include <system_error>

#include "schedule/UnattendedPasswords.h"

namespace strivo::jobs {

Result<InstallOutcome> MakeSchedule(
    const Workspace& where, const SyncSchedule& schedule, const std::filesystem::path& program,
    const std::function<bool(std::string_view variable)>& shellHas) {
    // Neither a systemd user unit nor a Task Scheduler task starts in the
    // environment of the shell that made it: the settings file is where a
    // scheduled run finds its passwords.
    const std::vector<UnattendedPassword> missing = MissingPasswords(
        !where.settings.servicePassword.empty(), !where.settings.sitePassword.empty());
    if (!missing.empty()) {
        return MissingPasswordsProblem(missing, shellHas);
    }
    // The scheduler starts the run elsewhere: both paths absolute, the
    // settings file as the links lead to it.
    std::error_code error;
    std::filesystem::path config = std::filesystem::weakly_canonical(where.settingsPath, error);
    if (error) {
        config = std::filesystem::absolute(where.settingsPath, error);
    }
    return InstallSchedule(schedule, {program, config});
}

Result<RemoveOutcome> EndSchedule() {
    return RemoveSchedule();
}

}  // namespace strivo::jobs
