#include "schedule/UnattendedPasswords.h"

#include <string>

namespace strivo {

std::vector<UnattendedPassword> MissingPasswords(
    bool serviceStored, bool siteStored,
    const std::function<bool(std::string_view variable)>& runEnvironmentHas) {
    std::vector<UnattendedPassword> missing;
    for (const auto& [password, stored] :
         {std::pair(kServicePassword, serviceStored), std::pair(kSitePassword, siteStored)}) {
        if (!stored && !(runEnvironmentHas && runEnvironmentHas(password.variable))) {
            missing.push_back(password);
        }
    }
    return missing;
}

Problem MissingPasswordsProblem(const std::vector<UnattendedPassword>& missing) {
    std::string lines;
    std::string variables;
    for (const UnattendedPassword& password : missing) {
        lines += (lines.empty() ? "" : ", ") + std::string(password.settingsLine);
        variables += (variables.empty() ? "" : ", ") + std::string(password.variable);
    }
    return Problem(ProblemCode::ScheduleNeedsPasswords, {lines, variables});
}

}  // namespace strivo
