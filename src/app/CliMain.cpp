#include <libintl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <clocale>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <map>

#include "app/Cli.h"
#include "app/Process.h"
#include "app/Translate.h"
#include "settings/Settings.h"

namespace {

termios g_savedTerminal{};

// Ctrl+C at the prompt: the terminal echoes again before the process ends.
void RestoreTerminalAndDie(int signal) {
    ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &g_savedTerminal);
    ::signal(signal, SIG_DFL);
    ::raise(signal);
}

// Reads one line from the terminal with echo off.
std::optional<std::string> ReadPasswordFromTerminal(std::string_view prompt) {
    if (!::isatty(STDIN_FILENO)) {
        return std::nullopt;
    }
    std::cerr << prompt << std::flush;
    const bool haveTerminal = ::tcgetattr(STDIN_FILENO, &g_savedTerminal) == 0;
    struct sigaction restore {};
    restore.sa_handler = RestoreTerminalAndDie;
    struct sigaction before[3]{};
    constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};
    if (haveTerminal) {
        for (int i = 0; i < 3; ++i) {
            ::sigaction(kSignals[i], &restore, &before[i]);
        }
        termios quiet = g_savedTerminal;
        quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet);
    }
    std::string line;
    const bool got = static_cast<bool>(std::getline(std::cin, line));
    if (haveTerminal) {
        ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &g_savedTerminal);
        for (int i = 0; i < 3; ++i) {
            ::sigaction(kSignals[i], &before[i], nullptr);
        }
    }
    std::cerr << "\n";
    if (!got) {
        return std::nullopt;
    }
    return line;
}

// Messages follow the user's locale, and nothing else does: numbers, dates
// and the code-page conversions keep the C locale's rules, and what the CLI
// prints is UTF-8 under any locale. The catalogs are the build tree's for the
// binary built there; an installed binary finds <prefix>/share/locale from
// its own folder, so that the installed tree may move.
void UseTheUsersLanguage() {
    std::setlocale(LC_MESSAGES, "");
    std::error_code error;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
    const std::string folder = std::filesystem::equivalent(self, STRIVO_BUILD_CLI, error)
                                   ? STRIVO_BUILD_LOCALE_DIR
                                   : (self.parent_path() / STRIVO_LOCALE_DIR_FROM_BIN).string();
    ::bindtextdomain(strivo::kTextDomain, folder.c_str());
    ::bind_textdomain_codeset(strivo::kTextDomain, "UTF-8");
}

}  // namespace

int main(int argc, char** argv) {
    strivo::PrepareProcess();
    UseTheUsersLanguage();
    // Read once and taken out of the environment at once.
    std::map<std::string, std::string, std::less<>> passwords;
    for (const char* name : {"STRIVO_NIKE_PASSWORD", "STRIVO_SITE_PASSWORD"}) {
        if (auto value = strivo::TakeEnvironmentVariable(name)) {
            passwords.emplace(name, std::move(*value));
        }
    }
    strivo::CliEnvironment env{
        std::cout,
        std::cerr,
        [&passwords](std::string_view name) -> std::optional<std::string> {
            const auto found = passwords.find(name);
            return found != passwords.end() ? std::optional<std::string>(found->second)
                                            : std::nullopt;
        },
        ReadPasswordFromTerminal,
        strivo::DefaultSettingsPath(),
        {},
        ::isatty(STDERR_FILENO) == 1,
    };
    int status = strivo::RunCli(std::vector<std::string>(argv + 1, argv + argc), env);
    // A closed pipe or a full disk on standard output is said after the work is done.
    std::cout.flush();
    if (!std::cout) {
        const std::string why = std::strerror(errno);
        std::cerr << "strivo-cli: "
                  << strivo::Fill(strivo::Tr("cannot write to standard output: {0}"), why) << "\n";
        status = status == 0 ? 1 : status;
    }
    return status;
}
