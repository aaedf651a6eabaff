#pragma once

#include <functional>
#include <string_view>
#include <vector>

#include "model/Problem.h"

namespace strivo {

// A password a scheduled sync needs: a line of the settings file, the one
// place a scheduled run finds it (it has no terminal to ask on, and starts in
// an environment of its own, not the shell's that made it), and the variable
// that gives it to a run in a shell.
struct UnattendedPassword {
    std::string_view settingsLine;  // "[nike+] pwd"
    std::string_view variable;      // "STRIVO_NIKE_PASSWORD"
};

inline constexpr UnattendedPassword kServicePassword{"[nike+] pwd", "STRIVO_NIKE_PASSWORD"};
inline constexpr UnattendedPassword kSitePassword{"[kelvora] pwd", "STRIVO_SITE_PASSWORD"};

// The passwords a scheduled run would lack: those the settings file does not
// hold (`serviceStored`, `siteStored`: a non-empty pwd).
std::vector<UnattendedPassword> MissingPasswords(bool serviceStored, bool siteStored);

// The refusal to schedule: ScheduleNeedsPasswords naming each missing line and
// variable; SchedulePasswordsInShellOnly when `shellHas` (the caller's own
// environment) holds any of those variables, which the scheduled run never
// sees. Only for a non-empty `missing`.
Problem MissingPasswordsProblem(
    const std::vector<UnattendedPassword>& missing,
    const std::function<bool(std::string_view variable)>& shellHas = {});

}  // namespace strivo
