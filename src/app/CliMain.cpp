#include <fcntl.h>
#include <libintl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <clocale>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <iterator>
#include <mutex>
#include <system_error>
#include <thread>

#include "app/Cli.h"
#include "app/Process.h"
#include "model/Problem.h"
#include "settings/Settings.h"
#include "text/Catalog.h"

namespace {

termios g_savedTerminal{};
termios g_quietTerminal{};

// Ctrl+C, Ctrl+\ at the prompt: the terminal echoes again before the process ends.
void RestoreTerminalAndDie(int signal) {
    ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &g_savedTerminal);
    ::signal(signal, SIG_DFL);
    ::raise(signal);
}

// Ctrl+Z at the prompt: the shell gets a terminal that echoes; after `fg`
// echo goes off again for the rest of the password. In the signal handler:
// async-signal-safe calls only.
void RestoreTerminalAndStop(int signal) {
    const int saved = errno;
    ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &g_savedTerminal);
    struct sigaction stop {};
    stop.sa_handler = SIG_DFL;
    struct sigaction mine {};
    ::sigaction(signal, &stop, &mine);
    sigset_t unblock;
    ::sigemptyset(&unblock);
    ::sigaddset(&unblock, signal);
    ::sigprocmask(SIG_UNBLOCK, &unblock, nullptr);
    ::raise(signal);  // stops here until SIGCONT
    ::sigaction(signal, &mine, nullptr);
    ::tcsetattr(STDIN_FILENO, TCSANOW, &g_quietTerminal);
    errno = saved;
}

// Reads one line from the terminal with echo off.
std::optional<std::string> ReadPasswordFromTerminal(std::string_view prompt) {
    if (!::isatty(STDIN_FILENO)) {
        return std::nullopt;
    }
    std::cerr << prompt << std::flush;
    const bool haveTerminal = ::tcgetattr(STDIN_FILENO, &g_savedTerminal) == 0;
    constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGTSTP};
    constexpr int kCount = std::size(kSignals);
    struct sigaction before[kCount] {};
    if (haveTerminal) {
        for (int i = 0; i < kCount; ++i) {
            struct sigaction restore {};
            restore.sa_handler =
                kSignals[i] == SIGTSTP ? RestoreTerminalAndStop : RestoreTerminalAndDie;
            // The read goes on after a stop.
            restore.sa_flags = kSignals[i] == SIGTSTP ? SA_RESTART : 0;
            ::sigemptyset(&restore.sa_mask);
            ::sigaction(kSignals[i], &restore, &before[i]);
        }
        g_quietTerminal = g_savedTerminal;
        g_quietTerminal.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &g_quietTerminal);
    }
    std::string line;
    const bool got = static_cast<bool>(std::getline(std::cin, line));
    if (haveTerminal) {
        ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &g_savedTerminal);
        for (int i = 0; i < kCount; ++i) {
            ::sigaction(kSignals[i], &before[i], nullptr);
        }
    }
    std::cerr << "\n";
    if (!got) {
        return std::nullopt;
    }
    return line;
}

// SIGINT, SIGTERM and SIGHUP while a sync posts: the handler only notes the
// signal and writes a byte to a pipe; a thread reading the pipe asks the sync
// to stop, which lets the post in flight finish and be kept. A second SIGINT
// ends the process at once.
class SignalInterrupts : public strivo::Interrupts {
public:
    void Arm(std::function<void()> stop) override {
        {
            std::lock_guard lock(m_mutex);
            m_stop = std::move(stop);
        }
        s_caught = 0;
        if (::pipe2(s_pipe, O_CLOEXEC) != 0) {
            return;  // no pipe: interrupts end the process as they always did
        }
        m_watcher = std::thread([this] { Watch(); });
        struct sigaction note {};
        note.sa_handler = Note;
        ::sigemptyset(&note.sa_mask);
        for (int i = 0; i < 3; ++i) {
            ::sigaction(kSignals[i], &note, &m_before[i]);
        }
    }

    int Disarm() override {
        if (m_watcher.joinable()) {
            for (int i = 0; i < 3; ++i) {
                ::sigaction(kSignals[i], &m_before[i], nullptr);
            }
            const char quit = 0;
            while (::write(s_pipe[1], &quit, 1) < 0 && errno == EINTR) {
            }
            m_watcher.join();
            ::close(s_pipe[0]);
            ::close(s_pipe[1]);
        }
        std::lock_guard lock(m_mutex);
        m_stop = nullptr;
        return s_caught;
    }

    // The signal caught while armed, or 0.
    static int caught() { return s_caught; }

    std::string CaughtKey() const override {
        switch (s_caught) {
            case SIGINT:
                return strivo::kStopBySigint;
            case SIGTERM:
                return strivo::kStopBySigterm;
            case SIGHUP:
                return strivo::kStopBySighup;
            default:
                return {};
        }
    }

private:
    static constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};

    // In the signal handler: async-signal-safe calls only.
    static void Note(int signal) {
        if (s_caught == SIGINT && signal == SIGINT) {
            ::signal(SIGINT, SIG_DFL);
            ::raise(SIGINT);
            return;
        }
        if (s_caught == 0) {
            s_caught = signal;
        }
        const int saved = errno;
        const char byte = static_cast<char>(signal);
        [[maybe_unused]] const auto written = ::write(s_pipe[1], &byte, 1);
        errno = saved;
    }

    void Watch() {
        char byte = 0;
        while (true) {
            const ssize_t got = ::read(s_pipe[0], &byte, 1);
            if (got < 0 && errno == EINTR) {
                continue;
            }
            if (got <= 0 || byte == 0) {
                return;
            }
            std::lock_guard lock(m_mutex);
            if (m_stop) {
                m_stop();
            }
        }
    }

    static inline volatile sig_atomic_t s_caught = 0;
    static inline int s_pipe[2] = {-1, -1};
    std::mutex m_mutex;
    std::function<void()> m_stop;
    std::thread m_watcher;
    struct sigaction m_before[3]{};
};

}  // namespace

int main(int argc, char** argv) {
    strivo::PrepareProcess();
    // Messages follow the user's language as gettext reads it, and nothing
    // else follows the locale: numbers, dates and the code-page conversions
    // keep the C locale's rules, and what the CLI prints is UTF-8 under any
    // locale.
    strivo::UseLanguages(
        strivo::LanguagesFromEnvironment([](const char* name) { return std::getenv(name); }));
    // The system's own texts (strerror) come in the user's words too, and in
    // UTF-8 like everything else printed, whatever LC_CTYPE says.
    std::setlocale(LC_MESSAGES, "");
    ::bind_textdomain_codeset("libc", "UTF-8");
    strivo::CliEnvironment env{
        std::cout,
        std::cerr,
        strivo::PasswordsFromEnvironment(),
        ReadPasswordFromTerminal,
        strivo::DefaultSettingsPath(),
        {},
        ::isatty(STDERR_FILENO) == 1,
    };
    env.stdinIsTerminal = ::isatty(STDIN_FILENO) == 1;
    std::error_code noLink;
    env.program = std::filesystem::read_symlink("/proc/self/exe", noLink);
    SignalInterrupts interrupts;
    env.interrupts = &interrupts;
    env.stdoutIsTerminal = ::isatty(STDOUT_FILENO) == 1;
    const int status = strivo::RunCli(std::vector<std::string>(argv + 1, argv + argc), env);
    const int reported = strivo::ReportOutputFailure(status, env, [] {
        // The stream keeps no errno of its failed write; a pipe whose
        // reader has gone is the usual cause, and poll tells it.
        pollfd out{STDOUT_FILENO, 0, 0};
        const bool readerGone = ::poll(&out, 1, 0) == 1 && (out.revents & POLLERR) != 0;
        return std::strerror(readerGone ? EPIPE : errno);
    });
    // The sync stopped for a signal and kept its outcome: the process ends
    // by that signal, so that the shell and a supervisor see why.
    if (const int signal = SignalInterrupts::caught(); signal != 0) {
        ::signal(signal, SIG_DFL);
        ::raise(signal);
    }
    return reported;
}
