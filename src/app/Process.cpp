#include "app/Process.h"

#include <sys/prctl.h>
#include <sys/resource.h>

#include <csignal>
#include <cstdlib>
#include <cstring>

#include "io/AtomicFile.h"

extern char** environ;

namespace strivo {

void PrepareProcess() {
    const rlimit noCore{0, 0};
    ::setrlimit(RLIMIT_CORE, &noCore);
    ::prctl(PR_SET_DUMPABLE, 0, 0, 0, 0);
    ::signal(SIGPIPE, SIG_IGN);
    RemoveTemporaryFilesOnSignals();
}

std::optional<std::string> TakeEnvironmentVariable(const char* name) {
    const std::size_t length = std::strlen(name);
    std::optional<std::string> value;
    for (char** entry = environ; entry != nullptr && *entry != nullptr; ++entry) {
        if (std::strncmp(*entry, name, length) == 0 && (*entry)[length] == '=') {
            char* bytes = *entry + length + 1;
            value = bytes;
            std::memset(bytes, 0, std::strlen(bytes));
        }
    }
    ::unsetenv(name);
    return value;
}

}  // namespace strivo
