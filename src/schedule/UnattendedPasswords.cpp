#include "schedule/UnattendedPasswords.h"

#include <string>

namespace strivo {

std::vector<UnattendedPassword> MissingPasswords(bool serviceStored, bool siteStored) {
    std::vector<UnattendedPassword> missing;
    for (const auto& [password, stored] :
         {std::pair(kServicePassword, serviceStored), std::pair(kSitePassword, siteStored)}) {
        if (!stored) {
            missing.push_back(password);
        }
    }
    return missing;
}

Problem MissingPasswordsProblem(const std::vector<UnattendedPassword>& missing,
                                const std::function<bool(std::string_view variable)>& shellHas) {
    std::string lines;
    std::string variables;
    std::string inShell;
    for (const UnattendedPassword& password : missing) {
        lines += (lines.empty() ? "" : ", ") + std::string(password.settingsLine);
        variables += (variables.empty() ? "" : ", ") + std::string(password.variable);
        if (shellHas && shellHas(password.variable)) {
            inShell += (inShell.empty() ? "" : ", ") + std::string(password.variable);
        }
    }
    return inShell.empty() ? Problem(ProblemCode::ScheduleNeedsPasswords, {lines, variables})
                           : Problem(ProblemCode::SchedulePasswordsInShellOnly, {lines, inShell});
}

}  // namespace strivo
