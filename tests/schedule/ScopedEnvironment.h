#pragma once

#include <cstdlib>
#include <map>
#include <optional>
#include <string>

namespace strivo::test {

// Sets environment variables for one test and puts back what was there.
class ScopedEnvironment {
public:
    ScopedEnvironment() = default;
    ~ScopedEnvironment() {
        for (const auto& [name, value] : m_saved) {
            value ? ::setenv(name.c_str(), value->c_str(), 1) : ::unsetenv(name.c_str());
        }
        ::tzset();
    }
    ScopedEnvironment(const ScopedEnvironment&) = delete;
    ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

    // A null value removes the variable.
    void Set(const std::string& name, const char* value) {
        if (!m_saved.contains(name)) {
            const char* old = std::getenv(name.c_str());
            m_saved[name] = old ? std::optional<std::string>(old) : std::nullopt;
        }
        value ? ::setenv(name.c_str(), value, 1) : ::unsetenv(name.c_str());
        ::tzset();
    }

private:
    std::map<std::string, std::optional<std::string>> m_saved;
};

}  // namespace strivo::test
