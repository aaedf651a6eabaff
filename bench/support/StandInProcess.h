#pragma once

#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "../../tests/support/StandInServices.h"
#include "settings/Settings.h"

namespace strivo::bench {

// Both stand-ins, serving `runs` generated runs, in a child process of their
// own, so that their memory and their threads stay out of what a benchmark
// measures of Strivo. The child writes config.ini (the demo credentials and
// the stand-ins' ports) and the run service's certificate into `folder`.
class StandInProcess {
public:
    StandInProcess(int runs, const std::filesystem::path& folder) {
        int ready[2];
        if (::pipe(ready) != 0) {
            throw std::runtime_error("no pipe");
        }
        m_pid = ::fork();
        if (m_pid < 0) {
            throw std::runtime_error("no fork");
        }
        if (m_pid == 0) {
            ::close(ready[0]);
            sim::Accounts accounts = sim::DemoAccounts();
            accounts.service.runs = sim::GenerateRuns(runs, 1);
            test::StandInServices services(std::move(accounts));
            services.WriteSettingsFile(folder, services.settings());
            (void)!::write(ready[1], "1", 1);
            for (;;) {
                ::pause();  // until the parent's SIGKILL
            }
        }
        ::close(ready[1]);
        char byte = 0;
        const bool started = ::read(ready[0], &byte, 1) == 1;
        ::close(ready[0]);
        if (!started) {
            throw std::runtime_error("the stand-ins did not start");
        }
        m_settingsFile = folder / "config.ini";
        m_settings = ReadSettings(m_settingsFile);
    }
    ~StandInProcess() {
        ::kill(m_pid, SIGKILL);
        ::waitpid(m_pid, nullptr, 0);
    }
    StandInProcess(const StandInProcess&) = delete;
    StandInProcess& operator=(const StandInProcess&) = delete;

    const std::filesystem::path& settingsFile() const { return m_settingsFile; }
    const Settings& settings() const { return m_settings; }

private:
    pid_t m_pid = -1;
    std::filesystem::path m_settingsFile;
    Settings m_settings;
};

struct ChildResult {
    int status = -1;         // exit status; -1 when it did not exit
    double seconds = 0;      // wall time
    long peakKibibytes = 0;  // its peak resident set
};

// Runs `program` with `arguments`, its output thrown away, and waits for it.
inline ChildResult RunChild(const std::string& program, std::vector<std::string> arguments) {
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = ::fork();
    if (pid == 0) {
        std::vector<char*> argv{const_cast<char*>(program.c_str())};
        for (std::string& argument : arguments) {
            argv.push_back(argument.data());
        }
        argv.push_back(nullptr);
        if (FILE* null = std::fopen("/dev/null", "w")) {
            ::dup2(::fileno(null), STDOUT_FILENO);
            ::dup2(::fileno(null), STDERR_FILENO);
        }
        ::execv(program.c_str(), argv.data());
        ::_exit(127);
    }
    ChildResult result;
    int status = 0;
    rusage usage{};
    if (pid > 0 && ::wait4(pid, &status, 0, &usage) == pid) {
        result.seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        result.peakKibibytes = usage.ru_maxrss;
    }
    return result;
}

}  // namespace strivo::bench
