#include <libintl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <clocale>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <iostream>

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
    strivo::CliEnvironment env{
        std::cout,
        std::cerr,
        strivo::PasswordsFromEnvironment(),
        ReadPasswordFromTerminal,
        strivo::DefaultSettingsPath(),
        {},
        ::isatty(STDERR_FILENO) == 1,
    };
    const int status = strivo::RunCli(std::vector<std::string>(argv + 1, argv + argc), env);
    return strivo::ReportOutputFailure(status, env, [] { return std::strerror(errno); });
}
