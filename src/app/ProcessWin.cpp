// The Windows implementation of app/Process.h.

// windows.h comes before every other Windows header.
#include <windows.h>

#include <cstdlib>
#include <string>

#include "app/Process.h"
#include "io/AtomicFile.h"
#include "text/WideText.h"

namespace strivo {

void PrepareProcess() {
    // A crash ends the process without a dialog that would keep it, and
    // its passwords, in memory. Windows writes no dump unless its owner set
    // one up for every program.
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
    RemoveTemporaryFilesOnSignals();
}

// Read as UTF-16 and returned as UTF-8, as the CLI speaks. The variable goes
// from both copies of the environment: Windows' own and the C library's.
// Their bytes stay where Windows put them: there is no /proc to show them.
std::optional<std::string> TakeEnvironmentVariable(const char* name) {
    const std::wstring wideName = WideFrom(name, CP_UTF8);
    std::optional<std::string> value;
    const DWORD length = GetEnvironmentVariableW(wideName.c_str(), nullptr, 0);
    if (length != 0) {
        std::wstring wide(length, L'\0');
        wide.resize(GetEnvironmentVariableW(wideName.c_str(), wide.data(), length));
        value = NarrowFrom(wide, CP_UTF8);
    }
    _wputenv_s(wideName.c_str(), L"");
    SetEnvironmentVariableW(wideName.c_str(), nullptr);
    return value;
}

}  // namespace strivo
