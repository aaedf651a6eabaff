#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "schedule/ChildProcess.h"

extern char** environ;

namespace strivo {
namespace {

constexpr std::size_t kErrorOutputKept = 8192;

// Closes a descriptor when it goes out of scope.
class Descriptor {
public:
    explicit Descriptor(int fd = -1) : m_fd(fd) {}
    ~Descriptor() { Close(); }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return m_fd; }
    void Close() {
        if (m_fd >= 0) {
            ::close(m_fd);
            m_fd = -1;
        }
    }

private:
    int m_fd;
};

class SpawnActions {
public:
    SpawnActions() { m_ok = ::posix_spawn_file_actions_init(&m_actions) == 0; }
    ~SpawnActions() {
        if (m_ok) {
            ::posix_spawn_file_actions_destroy(&m_actions);
        }
    }
    SpawnActions(const SpawnActions&) = delete;
    SpawnActions& operator=(const SpawnActions&) = delete;
    posix_spawn_file_actions_t* get() { return &m_actions; }
    bool ok() const { return m_ok; }

private:
    posix_spawn_file_actions_t m_actions{};
    bool m_ok = false;
};

}  // namespace

ChildExit RunChild(const std::vector<std::string>& argv) {
    ChildExit exit;
    int ends[2];
    if (argv.empty() || ::pipe2(ends, O_CLOEXEC) != 0) {
        exit.startError = argv.empty() ? EINVAL : errno;
        return exit;
    }
    Descriptor readEnd(ends[0]);
    Descriptor writeEnd(ends[1]);

    SpawnActions actions;
    if (!actions.ok() ||
        ::posix_spawn_file_actions_addopen(actions.get(), 0, "/dev/null", O_RDONLY, 0) != 0 ||
        ::posix_spawn_file_actions_addopen(actions.get(), 1, "/dev/null", O_WRONLY, 0) != 0 ||
        ::posix_spawn_file_actions_adddup2(actions.get(), writeEnd.get(), 2) != 0) {
        exit.startError = ENOMEM;
        return exit;
    }
    std::vector<char*> args;
    for (const std::string& arg : argv) {
        args.push_back(const_cast<char*>(arg.c_str()));
    }
    args.push_back(nullptr);

    pid_t child = -1;
    const int started =
        ::posix_spawnp(&child, args[0], actions.get(), nullptr, args.data(), environ);
    writeEnd.Close();
    if (started != 0) {
        exit.startError = started;
        return exit;
    }

    char buffer[4096];
    while (true) {
        const ssize_t got = ::read(readEnd.get(), buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            break;
        }
        const std::size_t room =
            kErrorOutputKept - std::min(kErrorOutputKept, exit.errorOutput.size());
        exit.errorOutput.append(buffer, std::min(room, static_cast<std::size_t>(got)));
    }
    int status = 0;
    while (::waitpid(child, &status, 0) < 0) {
        if (errno != EINTR) {
            exit.startError = errno;
            return exit;
        }
    }
    if (WIFEXITED(status)) {
        exit.exitStatus = WEXITSTATUS(status);
    } else if (WIFSIGNALED(status)) {
        exit.signal = WTERMSIG(status);
    }
    return exit;
}

std::string CommandLine(const std::vector<std::string>& argv) {
    std::string line;
    for (const std::string& arg : argv) {
        line += (line.empty() ? "" : " ") + arg;
    }
    return line;
}

}  // namespace strivo
