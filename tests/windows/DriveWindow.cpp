// Drives strivo.exe as a user would, through the window's own messages, and
// checks what it shows: drive_window STRIVO.EXE CSV-PATH [SHOT-FLAG]
// With SHOT-FLAG it prints "SHOT x y width height" once the table is filled
// and waits for that file to appear, so that a screenshot can be taken.

// windows.h comes before every other Windows header.
#include <windows.h>

#include <commctrl.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <initializer_list>
#include <string>
#include <thread>
#include <utility>

namespace {

const wchar_t* const kTitle = L"Strivo（Nike+） V2.0422";
int g_failures = 0;

HWND g_status = nullptr;
std::wstring Text(HWND window);

void Check(bool ok, const char* what) {
    if (!ok) {
        const std::wstring status = Text(g_status);
        char shown[1024] = {};
        WideCharToMultiByte(CP_UTF8, 0, status.c_str(), -1, shown, sizeof shown, nullptr, nullptr);
        std::printf("FAILED: %s (status: %s)\n", what, shown);
        ++g_failures;
    }
}

bool WaitFor(const std::function<bool()>& done, int seconds = 30) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return true;
}

std::wstring Text(HWND window) {
    wchar_t text[512] = {};
    SendMessageW(window, WM_GETTEXT, 512, reinterpret_cast<LPARAM>(text));
    return text;
}

void Type(HWND dialog, int id, const wchar_t* text) {
    SendMessageW(GetDlgItem(dialog, id), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text));
}

bool Enabled(HWND dialog, int id) {
    return IsWindowEnabled(GetDlgItem(dialog, id)) != FALSE;
}

// The save dialog the export button opened.
HWND FileChooser(HWND owner) {
    HWND found = nullptr;
    std::pair<HWND, HWND*> search(owner, &found);
    EnumWindows(
        [](HWND window, LPARAM data) -> BOOL {
            auto* pair = reinterpret_cast<std::pair<HWND, HWND*>*>(data);
            if (window != pair->first && GetWindow(window, GW_OWNER) == pair->first &&
                IsWindowVisible(window)) {
                *pair->second = window;
                return FALSE;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return found;
}

// List-view messages carry pointers: their items and texts live in strivo.exe.
class ListItems {
public:
    ListItems(HANDLE process, HWND list)
        : m_process(process),
          m_list(list),
          m_remote(static_cast<char*>(
              VirtualAllocEx(process, nullptr, 4096, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE))) {}
    ~ListItems() { VirtualFreeEx(m_process, m_remote, 0, MEM_RELEASE); }

    void Select(std::initializer_list<int> rows) {
        const int count = static_cast<int>(SendMessageW(m_list, LVM_GETITEMCOUNT, 0, 0));
        for (int row = 0; row < count; ++row) {
            LVITEMW item{};
            item.stateMask = LVIS_SELECTED;
            item.state = std::find(rows.begin(), rows.end(), row) != rows.end() ? LVIS_SELECTED : 0;
            Send(LVM_SETITEMSTATE, row, item);
        }
    }

    std::wstring Text(int row, int column) {
        LVITEMW item{};
        item.iSubItem = column;
        item.pszText = reinterpret_cast<wchar_t*>(m_remote + 1024);
        item.cchTextMax = 256;
        Send(LVM_GETITEMTEXTW, row, item);
        wchar_t text[256] = {};
        ReadProcessMemory(m_process, m_remote + 1024, text, sizeof text - sizeof(wchar_t), nullptr);
        return text;
    }

private:
    void Send(UINT message, int row, const LVITEMW& item) {
        WriteProcessMemory(m_process, m_remote, &item, sizeof item, nullptr);
        SendMessageW(m_list, message, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(m_remote));
    }

    HANDLE m_process;
    HWND m_list;
    char* m_remote;
};

// Opens the list's menu as Shift+F10 does and takes its `choice`th item
// (from 1) with the arrow keys and Enter.
void ChooseFromListMenu(HWND list, int choice) {
    PostMessageW(list, WM_CONTEXTMENU, reinterpret_cast<WPARAM>(list), -1);
    HWND menu = nullptr;
    Check(WaitFor(
              [&] {
                  menu = FindWindowW(L"#32768", nullptr);
                  return menu != nullptr && IsWindowVisible(menu);
              },
              10),
          "Shift+F10 opens the list's menu");
    if (menu == nullptr) {
        return;
    }
    // Wine keeps a menu's items in its own process: what each item does is
    // what the checks after it see.
    for (int i = 0; i < choice; ++i) {
        PostMessageW(menu, WM_KEYDOWN, VK_DOWN, 0);
    }
    PostMessageW(menu, WM_KEYDOWN, VK_RETURN, 0);
    Check(WaitFor([&] { return !IsWindowVisible(menu); }, 10), "the menu closes");
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 3) {
        std::printf("usage: drive_window STRIVO.EXE CSV-PATH [SHOT-FLAG]\n");
        return 2;
    }
    STARTUPINFOW startup{sizeof startup};
    PROCESS_INFORMATION process{};
    std::wstring command = L"\"" + std::wstring(argv[1]) + L"\"";
    if (!CreateProcessW(argv[1], command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process)) {
        std::printf("FAILED: cannot start strivo.exe\n");
        return 1;
    }
    HWND dialog = nullptr;
    // Visible once its controls are made and initialised.
    WaitFor([&] {
        dialog = FindWindowW(L"#32770", kTitle);
        return dialog != nullptr && IsWindowVisible(dialog);
    });
    if (dialog == nullptr) {
        std::printf("FAILED: no main window\n");
        TerminateProcess(process.hProcess, 1);
        return 1;
    }
    g_status = GetDlgItem(dialog, 1006);
    const auto status = [&] { return Text(g_status); };
    Check(status() == L"等待", "the status line starts at 等待");
    Check(!Enabled(dialog, 1010), "sync starts disabled");

    // Sign in and fill the table.
    Type(dialog, 1000, L"demo.runner@strivo.example");
    Type(dialog, 1001, L"spring run&go");
    SendMessageW(GetDlgItem(dialog, 1002), BM_CLICK, 0, 0);
    Check(WaitFor([&] { return status() == L"下载Nike+跑步数据成功结束..."; }),
          "the download ends with 下载Nike+跑步数据成功结束...");
    const HWND list = GetDlgItem(dialog, 1003);
    Check(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0) == 24, "the table holds the 24 runs");
    Check(SendMessageW(list, LVM_GETCOLUMNWIDTH, 6, 0) > 50, "the RunID column fits the ids");
    Check(Text(GetDlgItem(dialog, 1012)).find(L"晨跑的小李") == 0, "the summary names the runner");
    Check(!Enabled(dialog, 1002) && Enabled(dialog, 1007) && Enabled(dialog, 1010),
          "after the download: sign-in off, refresh and sync on");

    // Post the runs.
    Type(dialog, 1008, L"李昞赟");
    Type(dialog, 1011, L"run log&1");
    SendMessageW(GetDlgItem(dialog, 1010), BM_CLICK, 0, 0);
    Check(WaitFor([&] { return status().find(L"同步到Strivo") == 0; }), "the sync ends");
    Check(status() == L"同步到Strivo成功！本次上传24条，之前已上传0条",
          "the sync posted all 24 runs");
    Check(!Enabled(dialog, 1010), "sync stays off after a sync");

    // The state column, settled through the list's menu: two rows marked as
    // posted, then one released for the next sync.
    const HWND header = reinterpret_cast<HWND>(SendMessageW(list, LVM_GETHEADER, 0, 0));
    Check(SendMessageW(header, HDM_GETITEMCOUNT, 0, 0) == 8, "the list has its state column");
    {
        ListItems items(process.hProcess, list);
        items.Select({0, 1});
        ChooseFromListMenu(list, 1);
        Check(WaitFor([&] { return items.Text(1, 7) == L"已上传"; }, 10), "marked rows say 已上传");
        items.Select({1});
        ChooseFromListMenu(list, 2);
        Check(WaitFor([&] { return items.Text(1, 7).empty(); }, 10), "a released row says nothing");
        Check(items.Text(0, 7) == L"已上传", "the other row stays 已上传");
    }

    // Export through the save dialog.
    PostMessageW(GetDlgItem(dialog, 1009), BM_CLICK, 0, 0);
    HWND chooser = nullptr;
    Check(WaitFor([&] { return (chooser = FileChooser(dialog)) != nullptr; }),
          "export opens the save dialog");
    if (chooser != nullptr) {
        HWND name = GetDlgItem(chooser, 0x47C);  // the file name box
        if (name == nullptr) {
            name = GetDlgItem(chooser, 0x480);
        }
        SendMessageW(name, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(argv[2]));
        PostMessageW(GetDlgItem(chooser, IDOK), BM_CLICK, 0, 0);
        Check(WaitFor([&] { return status().find(L"成功导出数据到 ") == 0; }),
              "the export says 成功导出数据到");
    }

    // The released run again, and the stand-in drops that post (its 25th):
    // the status line is too long, and its reason stays in sight.
    SendMessageW(GetDlgItem(dialog, 1007), BM_CLICK, 0, 0);
    Check(WaitFor([&] { return Enabled(dialog, 1010); }), "a new download brings sync back");
    SendMessageW(GetDlgItem(dialog, 1010), BM_CLICK, 0, 0);
    Check(WaitFor([&] { return status().find(L"同步到Strivo失败") == 0; }), "the second sync fails");
    Check(status().find(L"…") != std::wstring::npos && status().ends_with(L"（连接中断）"),
          "the status line gives way in its middle, and its reason stays whole");

    if (argc > 3) {
        RECT box{};
        GetWindowRect(dialog, &box);
        std::printf("SHOT %ld %ld %ld %ld\n", box.left, box.top, box.right - box.left,
                    box.bottom - box.top);
        std::fflush(stdout);
        WaitFor([&] { return GetFileAttributesW(argv[3]) != INVALID_FILE_ATTRIBUTES; });
    }
    PostMessageW(dialog, WM_CLOSE, 0, 0);
    Check(WaitForSingleObject(process.hProcess, 20000) == WAIT_OBJECT_0, "the window closes");
    std::printf("%s\n", g_failures == 0 ? "window: all checks passed" : "window: checks failed");
    return g_failures == 0 ? 0 : 1;
}
