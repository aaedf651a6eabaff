// strivo-cli.exe: the arguments, the environment and the console are UTF-16
// on Windows; the CLI speaks UTF-8. A console gets its text through
// WriteConsoleW, so Chinese shows whatever its code page; a pipe or a file
// gets UTF-8 bytes.
// windows.h comes before every other Windows header.
#include <windows.h>

#include <shellapi.h>

#include <algorithm>
#include <atomic>
#include <iostream>
#include <mutex>
#include <streambuf>
#include <string>
#include <system_error>

#include "app/Cli.h"
#include "app/Process.h"
#include "model/Problem.h"
#include "settings/Settings.h"
#include "text/Catalog.h"
#include "text/WideText.h"

namespace {

std::string ToUtf8(std::wstring_view wide) {
    return strivo::NarrowFrom(wide, CP_UTF8);
}

std::wstring ToWide(std::string_view utf8) {
    return strivo::WideFrom(utf8, CP_UTF8);
}

// Collects UTF-8 and hands it on in whole characters at each flush.
class HandleBuffer : public std::streambuf {
public:
    explicit HandleBuffer(DWORD which) : m_handle(GetStdHandle(which)) {
        m_console = m_handle != nullptr && m_handle != INVALID_HANDLE_VALUE &&
                    GetConsoleMode(m_handle, &m_mode);
        // Progress rewrites its line with an escape sequence that a console
        // follows only when asked to (Windows 10 on).
        m_terminal =
            m_console && SetConsoleMode(m_handle, m_mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING);
    }
    ~HandleBuffer() override {
        sync();
        if (m_terminal) {
            SetConsoleMode(m_handle, m_mode);
        }
    }

    // A console that follows the terminal's escape sequences.
    bool IsTerminal() const { return m_terminal; }
    // Why the last write failed, as Windows says it.
    DWORD LastError() const { return m_error; }

protected:
    int_type overflow(int_type c) override {
        if (c != traits_type::eof()) {
            m_pending.push_back(static_cast<char>(c));
            if (m_pending.size() >= 4096 && sync() != 0) {
                return traits_type::eof();
            }
        }
        return traits_type::not_eof(c);
    }
    std::streamsize xsputn(const char* text, std::streamsize count) override {
        m_pending.append(text, static_cast<std::size_t>(count));
        if (m_pending.size() >= 4096 && sync() != 0) {
            return 0;
        }
        return count;
    }
    int sync() override {
        // A character cut at the end waits for its other bytes.
        std::size_t whole = m_pending.size();
        std::size_t back = 0;
        while (back < 3 && back < whole &&
               (static_cast<unsigned char>(m_pending[whole - 1 - back]) & 0xC0) == 0x80) {
            ++back;
        }
        if (back < whole) {
            const auto lead = static_cast<unsigned char>(m_pending[whole - 1 - back]);
            const std::size_t need = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
            if (need > back + 1) {
                whole -= back + 1;
            }
        }
        Write(std::string_view(m_pending).substr(0, whole));
        m_pending.erase(0, whole);
        // A failed write fails every later flush too, so the end reports it.
        return m_failed ? -1 : 0;
    }

private:
    // Notes when the text could not go out (a closed pipe, a full disk).
    void Write(std::string_view text) {
        if (text.empty() || m_handle == nullptr || m_handle == INVALID_HANDLE_VALUE) {
            return;
        }
        DWORD done = 0;
        bool written = false;
        if (m_console) {
            const std::wstring wide = ToWide(text);
            written = WriteConsoleW(m_handle, wide.data(), static_cast<DWORD>(wide.size()), &done,
                                    nullptr) != FALSE;
        } else {
            written =
                WriteFile(m_handle, text.data(), static_cast<DWORD>(text.size()), &done, nullptr) &&
                done == text.size();
        }
        if (!written) {
            m_failed = true;
            m_error = GetLastError();
        }
    }

    HANDLE m_handle;
    DWORD m_mode = 0;
    bool m_console = false;
    bool m_terminal = false;
    bool m_failed = false;
    DWORD m_error = ERROR_SUCCESS;
    std::string m_pending;
};

// Ctrl+C, Ctrl+Break and the console closing while a sync posts. Windows
// calls the handler on a thread of its own, so it asks the sync to stop
// there; the post in flight finishes and is kept. A second Ctrl+C ends the
// process at once. When the console closes, Windows ends the process once
// the handler returns, and at the latest after its grace of 5 s: the handler
// waits for the sync's end within that, and a post still unanswered then
// stays `sending`, held back as unknown by the next sync.
class ConsoleInterrupts : public strivo::Interrupts {
public:
    ConsoleInterrupts() : m_ended(CreateEventW(nullptr, TRUE, FALSE, nullptr)) { s_self = this; }
    ~ConsoleInterrupts() override {
        s_self = nullptr;
        CloseHandle(m_ended);
    }

    void Arm(std::function<void()> stop) override {
        {
            std::lock_guard lock(m_mutex);
            m_stop = std::move(stop);
        }
        m_caught = 0;
        ResetEvent(m_ended);
        SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
    }

    int Disarm() override {
        {
            std::lock_guard lock(m_mutex);
            m_stop = nullptr;
        }
        SetEvent(m_ended);
        SetConsoleCtrlHandler(OnConsoleEvent, FALSE);
        return m_caught;
    }

    std::string CaughtKey() const override {
        switch (m_caught - 1) {
            case CTRL_C_EVENT:
                return strivo::kStopByCtrlC;
            case CTRL_BREAK_EVENT:
                return strivo::kStopByCtrlBreak;
            case CTRL_CLOSE_EVENT:
                return strivo::kStopByConsoleClosed;
            case CTRL_LOGOFF_EVENT:
            case CTRL_SHUTDOWN_EVENT:
                return strivo::kStopByLogoff;
            default:
                return {};
        }
    }

private:
    static BOOL WINAPI OnConsoleEvent(DWORD type) {
        ConsoleInterrupts* self = s_self;
        if (self == nullptr) {
            return FALSE;
        }
        // The event number plus one, so that Ctrl+C (0) counts as caught.
        int before = 0;
        if (!self->m_caught.compare_exchange_strong(before, static_cast<int>(type) + 1) &&
            type == CTRL_C_EVENT) {
            return FALSE;  // the second Ctrl+C: the default handler ends the process
        }
        {
            std::lock_guard lock(self->m_mutex);
            if (self->m_stop) {
                self->m_stop();
            }
        }
        if (type == CTRL_CLOSE_EVENT || type == CTRL_LOGOFF_EVENT || type == CTRL_SHUTDOWN_EVENT) {
            WaitForSingleObject(self->m_ended, 4500);
        }
        return TRUE;
    }

    static inline ConsoleInterrupts* s_self = nullptr;
    HANDLE m_ended;
    std::atomic<int> m_caught{0};
    std::mutex m_mutex;
    std::function<void()> m_stop;
};

// Reads one line from the console with echo off; nullopt without a console.
std::optional<std::string> ReadPasswordFromConsole(std::ostream& err, std::string_view prompt) {
    const HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    DWORD saved = 0;
    if (input == INVALID_HANDLE_VALUE || !GetConsoleMode(input, &saved)) {
        return std::nullopt;
    }
    err << prompt << std::flush;
    SetConsoleMode(input, (saved & ~static_cast<DWORD>(ENABLE_ECHO_INPUT)) | ENABLE_LINE_INPUT);
    std::wstring line;
    wchar_t buffer[256];
    DWORD got = 0;
    bool ok = false;
    while (ReadConsoleW(input, buffer, 256, &got, nullptr) && got > 0) {
        line.append(buffer, got);
        if (line.find(L'\n') != std::wstring::npos) {
            ok = true;
            break;
        }
    }
    SetConsoleMode(input, saved);
    err << "\n" << std::flush;
    if (!ok) {
        return std::nullopt;
    }
    line.resize(line.find_first_of(L"\r\n"));
    return ToUtf8(line);
}

// The user's UI language as a catalog names it ("zh-CN" becomes "zh_CN");
// none when Windows cannot name it.
std::vector<std::string> UiLanguages() {
    wchar_t name[LOCALE_NAME_MAX_LENGTH] = {};
    if (LCIDToLocaleName(MAKELCID(GetUserDefaultUILanguage(), SORT_DEFAULT), name,
                         LOCALE_NAME_MAX_LENGTH, 0) == 0) {
        return {};
    }
    std::string language = ToUtf8(name);
    std::replace(language.begin(), language.end(), '-', '_');
    return {language};
}

}  // namespace

int main() {
    strivo::PrepareProcess();
    strivo::UseLanguages(UiLanguages());
    auto passwords = strivo::PasswordsFromEnvironment();
    int count = 0;
    wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
    std::vector<std::string> args;
    for (int i = 1; wide != nullptr && i < count; ++i) {
        args.push_back(ToUtf8(wide[i]));
    }
    LocalFree(wide);

    HandleBuffer outBuffer(STD_OUTPUT_HANDLE);
    HandleBuffer errBuffer(STD_ERROR_HANDLE);
    std::ostream out(&outBuffer);
    std::ostream err(&errBuffer);
    strivo::CliEnvironment env{
        out,
        err,
        std::move(passwords),
        [&err](std::string_view prompt) { return ReadPasswordFromConsole(err, prompt); },
        strivo::DefaultSettingsPath(),
        {},
        errBuffer.IsTerminal(),
    };
    std::wstring program(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length =
            GetModuleFileNameW(nullptr, program.data(), static_cast<DWORD>(program.size()));
        if (length < program.size()) {
            program.resize(length);
            break;
        }
        program.resize(program.size() * 2);
    }
    env.program = program;
    DWORD consoleMode = 0;
    env.stdinIsTerminal = GetConsoleMode(GetStdHandle(STD_INPUT_HANDLE), &consoleMode) != 0;
    ConsoleInterrupts interrupts;
    env.interrupts = &interrupts;
    env.stdoutIsTerminal = outBuffer.IsTerminal();
    const int status = strivo::RunCli(args, env);
    return strivo::ReportOutputFailure(status, env, [&outBuffer] {
        return std::system_category().message(static_cast<int>(outBuffer.LastError()));
    });
}
