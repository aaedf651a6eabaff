// Test helper: starts a console program on a console of its own, waits for a
// flag file, then presses Ctrl+C on that console, as a runner would. Wine 8
// delivers Ctrl+C only: its console server does not implement Ctrl+Break, and
// a program started from a pipe has no console to send it to (error 12), so
// the helper makes one. Prints why and exits 3 when the event cannot be
// delivered; else exits with the program's own status.
//   interrupt_child FLAG-FILE PROGRAM.exe [ARGS...]
// windows.h comes before every other Windows header.
#include <windows.h>

#include <cstdio>
#include <string>

namespace {

// One argument for CreateProcessW's command line, quoted as the C runtime
// reads it back.
std::wstring Quoted(const std::wstring& argument) {
    std::wstring quoted = L"\"";
    int slashes = 0;
    for (const wchar_t c : argument) {
        if (c == L'\\') {
            ++slashes;
            continue;
        }
        quoted.append(c == L'"' ? 2 * slashes + 1 : slashes, L'\\');
        slashes = 0;
        quoted += c;
    }
    quoted.append(2 * slashes, L'\\');
    return quoted + L"\"";
}

// The helper outlives its own Ctrl+C.
BOOL WINAPI Swallow(DWORD) {
    return TRUE;
}

int Fail(HANDLE child, const char* what) {
    std::fprintf(stderr, "interrupt_child: %s (error %lu)\n", what, GetLastError());
    if (child != nullptr) {
        TerminateProcess(child, 3);
        WaitForSingleObject(child, INFINITE);
    }
    return 3;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: interrupt_child FLAG-FILE PROGRAM.exe [ARGS...]\n");
        return 2;
    }
    std::wstring line;
    for (int i = 2; i < argc; ++i) {
        line += (i > 2 ? L" " : L"") + Quoted(argv[i]);
    }
    // The program writes where the helper's own output goes, not to the new
    // console.
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    for (HANDLE handle : {startup.hStdInput, startup.hStdOutput, startup.hStdError}) {
        SetHandleInformation(handle, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);
    }
    FreeConsole();
    if (!AllocConsole()) {
        return Fail(nullptr, "no console");
    }
    SetConsoleCtrlHandler(Swallow, TRUE);
    PROCESS_INFORMATION child{};
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                        &child)) {
        return Fail(nullptr, "cannot start the program");
    }
    // The flag, or the program's end, within 120 s.
    bool flagged = false;
    for (int i = 0; i < 1200 && !flagged; ++i) {
        if (WaitForSingleObject(child.hProcess, 100) == WAIT_OBJECT_0) {
            std::fprintf(stderr, "interrupt_child: the program ended before the flag\n");
            break;
        }
        flagged = GetFileAttributesW(argv[1]) != INVALID_FILE_ATTRIBUTES;
    }
    // Every process of the console: the program and the helper, which
    // swallows it.
    if (flagged && !GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0)) {
        return Fail(child.hProcess, "GenerateConsoleCtrlEvent failed");
    }
    if (WaitForSingleObject(child.hProcess, 30000) != WAIT_OBJECT_0) {
        SetLastError(ERROR_TIMEOUT);
        return Fail(child.hProcess, "Ctrl+C did not end the program within 30 s");
    }
    DWORD status = 0;
    GetExitCodeProcess(child.hProcess, &status);
    return static_cast<int>(status);
}
