#pragma once

#include <functional>
#include <string_view>
#include <vector>

#include "model/Problem.h"

namespace strivo {

// A password a scheduled sync needs, where it can come from: a line of the
// settings file, or a variable in the environment the scheduled run starts
// with. A scheduled run has no terminal to ask on.
struct UnattendedPassword {
    std::string_view settingsLine;  // "[nike+] pwd"
    std::string_view variable;      // "STRIVO_NIKE_PASSWORD"
};

inline constexpr UnattendedPassword kServicePassword{"[nike+] pwd", "STRIVO_NIKE_PASSWORD"};
inline constexpr UnattendedPassword kSitePassword{"[kelvora] pwd", "STRIVO_SITE_PASSWORD"};

// The passwords a scheduled run would lack: those the settings file does not
// hold (`serviceStored`, `siteStored`: a non-empty pwd) and the scheduled
// run's environment does not give. `runEnvironmentHas` answers for the
// environment the scheduler starts the run with, not the caller's own: a
// systemd user unit never sees a shell's variables.
std::vector<UnattendedPassword> MissingPasswords(
    bool serviceStored, bool siteStored,
    const std::function<bool(std::string_view variable)>& runEnvironmentHas);

// The refusal to schedule: ScheduleNeedsPasswords naming each missing line and
// variable. Only for a non-empty `missing`.
Problem MissingPasswordsProblem(const std::vector<UnattendedPassword>& missing);

}  // namespace strivo
