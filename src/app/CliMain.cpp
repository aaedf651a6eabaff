#include <termios.h>
#include <unistd.h>

#include <cstdlib>
#include <iostream>

#include "app/Cli.h"
#include "settings/Settings.h"

namespace {

// Reads one line from the terminal with echo off.
std::optional<std::string> ReadPasswordFromTerminal(std::string_view prompt) {
    if (!::isatty(STDIN_FILENO)) {
        return std::nullopt;
    }
    std::cerr << prompt << std::flush;
    termios saved{};
    const bool haveTerminal = ::tcgetattr(STDIN_FILENO, &saved) == 0;
    if (haveTerminal) {
        termios quiet = saved;
        quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet);
    }
    std::string line;
    const bool got = static_cast<bool>(std::getline(std::cin, line));
    if (haveTerminal) {
        ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved);
    }
    std::cerr << "\n";
    if (!got) {
        return std::nullopt;
    }
    return line;
}

}  // namespace

int main(int argc, char** argv) {
    strivo::CliEnvironment env{
        std::cout,
        std::cerr,
        [](std::string_view name) -> std::optional<std::string> {
            const char* value = std::getenv(std::string(name).c_str());
            return value ? std::optional<std::string>(value) : std::nullopt;
        },
        ReadPasswordFromTerminal,
        strivo::DefaultSettingsPath(),
        {},
    };
    return strivo::RunCli(std::vector<std::string>(argv + 1, argv + argc), env);
}
