#pragma once

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace strivo {

// What both programs do first: no core file is written while passwords are
// in memory, an interrupted save leaves no temporary file, and a closed pipe
// fails a write instead of ending the process.
void PrepareProcess();

// Takes a variable out of the environment (child processes do not see it)
// and overwrites its bytes (/proc/self/environ does not show them).
std::optional<std::string> TakeEnvironmentVariable(const char* name);

// The passwords the environment gives, taken out of it at once, as a look-up
// by variable name.
inline std::function<std::optional<std::string>(std::string_view name)> PasswordsFromEnvironment() {
    std::map<std::string, std::string, std::less<>> passwords;
    for (const char* name : {"STRIVO_NIKE_PASSWORD", "STRIVO_SITE_PASSWORD"}) {
        if (auto value = TakeEnvironmentVariable(name)) {
            passwords.emplace(name, std::move(*value));
        }
    }
    return [passwords = std::move(passwords)](std::string_view name) {
        const auto found = passwords.find(name);
        return found != passwords.end() ? std::optional<std::string>(found->second) : std::nullopt;
    };
}

}  // namespace strivo
