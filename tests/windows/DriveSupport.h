#pragma once

// What the drives of strivo.exe's windows share: checks that count their
// failures, waiting, texts, answering the windows' questions, and their
// lists, menus and choosers reached through their own messages.

// windows.h comes before every other Windows header.
#include <windows.h>

#include <commctrl.h>
#include <shlobj.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <initializer_list>
#include <string>
#include <thread>
#include <utility>

namespace drive {

inline int g_failures = 0;

inline HWND g_status = nullptr;
inline std::wstring Text(HWND window);

inline void Check(bool ok, const char* what) {
    if (!ok) {
        const std::wstring status = Text(g_status);
        char shown[1024] = {};
        WideCharToMultiByte(CP_UTF8, 0, status.c_str(), -1, shown, sizeof shown, nullptr, nullptr);
        std::printf("FAILED: %s (status: %s)\n", what, shown);
        ++g_failures;
    }
}

inline bool WaitFor(const std::function<bool()>& done, int seconds = 30) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return true;
}

inline std::wstring Text(HWND window) {
    wchar_t text[512] = {};
    SendMessageW(window, WM_GETTEXT, 512, reinterpret_cast<LPARAM>(text));
    return text;
}

inline void Type(HWND dialog, int id, const wchar_t* text) {
    SendMessageW(GetDlgItem(dialog, id), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text));
}

inline bool Enabled(HWND dialog, int id) {
    return IsWindowEnabled(GetDlgItem(dialog, id)) != FALSE;
}

// A window `owner` opened: the save dialog of an export, or a message box.
inline HWND FileChooser(HWND owner) {
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

// The question the window asks, answered with `button` (IDYES, IDNO): its
// texts, the buttons' among them.
inline std::wstring Answer(HWND dialog, int button) {
    HWND box = nullptr;
    Check(WaitFor([&] { return (box = FileChooser(dialog)) != nullptr; }, 10),
          "the window asks first");
    if (box == nullptr) {
        return {};
    }
    std::wstring texts;
    EnumChildWindows(
        box,
        [](HWND child, LPARAM data) -> BOOL {
            *reinterpret_cast<std::wstring*>(data) += Text(child) + L"\n";
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&texts));
    PostMessageW(GetDlgItem(box, button), BM_CLICK, 0, 0);
    Check(WaitFor([&] { return !IsWindow(box); }, 10), "the question goes once answered");
    return texts;
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

    bool Selected(int row) {
        return SendMessageW(m_list, LVM_GETITEMSTATE, static_cast<WPARAM>(row), LVIS_SELECTED) != 0;
    }

    // Where a right-click on `row` comes from: a point inside it, on the screen.
    LPARAM PointIn(int row) {
        RECT rect{.left = LVIR_BOUNDS};
        WriteProcessMemory(m_process, m_remote, &rect, sizeof rect, nullptr);
        SendMessageW(m_list, LVM_GETITEMRECT, static_cast<WPARAM>(row),
                     reinterpret_cast<LPARAM>(m_remote));
        ReadProcessMemory(m_process, m_remote, &rect, sizeof rect, nullptr);
        POINT at{rect.left + 40, (rect.top + rect.bottom) / 2};
        ClientToScreen(m_list, &at);
        return MAKELPARAM(at.x, at.y);
    }

    // `text` in strivo.exe's memory, for a message that points at a string.
    LPARAM Copy(const std::wstring& text) {
        WriteProcessMemory(m_process, m_remote + 2048, text.c_str(),
                           (text.size() + 1) * sizeof(wchar_t), nullptr);
        return reinterpret_cast<LPARAM>(m_remote + 2048);
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

    // The text of the item a tree view has selected.
    std::wstring TreeSelection(HWND tree) {
        TVITEMW item{};
        item.mask = TVIF_TEXT;
        item.hItem =
            reinterpret_cast<HTREEITEM>(SendMessageW(tree, TVM_GETNEXTITEM, TVGN_CARET, 0));
        item.pszText = reinterpret_cast<wchar_t*>(m_remote + 1024);
        item.cchTextMax = 256;
        WriteProcessMemory(m_process, m_remote, &item, sizeof item, nullptr);
        SendMessageW(tree, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(m_remote));
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

// Waits for the popup menu that was asked for (`opens` names it), then moves
// down `downs` items with the arrow keys and takes the one there with Enter.
inline void TakeFromOpeningMenu(const char* opens, int downs) {
    HWND menu = nullptr;
    Check(WaitFor(
              [&] {
                  menu = FindWindowW(L"#32768", nullptr);
                  return menu != nullptr && IsWindowVisible(menu);
              },
              10),
          opens);
    if (menu == nullptr) {
        return;
    }
    // Wine keeps a menu's items in its own process: what each item does is
    // what the checks after it see.
    for (int i = 0; i < downs; ++i) {
        PostMessageW(menu, WM_KEYDOWN, VK_DOWN, 0);
    }
    PostMessageW(menu, WM_KEYDOWN, VK_RETURN, 0);
    Check(WaitFor([&] { return !IsWindowVisible(menu); }, 10), "the menu closes");
}

// Opens the list's menu as Shift+F10 does, or as a right-click `at` a point
// on the screen, and takes its `choice`th item (from 1) with the arrow keys
// and Enter.
inline void ChooseFromListMenu(HWND list, int choice, LPARAM at = -1) {
    PostMessageW(list, WM_CONTEXTMENU, reinterpret_cast<WPARAM>(list), at);
    TakeFromOpeningMenu("the list's menu opens", choice);
}

// Opens a menu of the menu bar as Alt and its `letter` do, and takes its
// `choice`th item (from 1, separators not counted) with the arrow keys and
// Enter. A menu opened from the keyboard shows its first item chosen.
inline void ChooseFromMenuBar(HWND dialog, wchar_t letter, int choice) {
    PostMessageW(dialog, WM_SYSCOMMAND, SC_KEYMENU, letter);
    TakeFromOpeningMenu("a menu of the menu bar opens", choice - 1);
}

// Opens a file chooser with `open`, owned by `owner`, and takes `path` in
// it; false when none opened.
inline bool OpenInChooser(HWND owner, const std::function<void()>& open, const std::wstring& path) {
    open();
    HWND chooser = nullptr;
    if (!WaitFor([&] { return (chooser = FileChooser(owner)) != nullptr; })) {
        return false;
    }
    HWND name = GetDlgItem(chooser, 0x47C);  // the file name box
    SendMessageW(name ? name : GetDlgItem(chooser, 0x480), WM_SETTEXT, 0,
                 reinterpret_cast<LPARAM>(path.c_str()));
    PostMessageW(GetDlgItem(chooser, IDOK), BM_CLICK, 0, 0);
    // Gone before whatever comes next, which may be owned by `owner` too.
    WaitFor([&] { return !IsWindowVisible(chooser); }, 10);
    return true;
}

// Opens the folder browser with `open`, owned by `owner`, and picks `folder`
// (made first) through the selection message a caller can send it; false
// when none opened. Wine's browser may fill its tree again after it shows,
// losing the selection: it is sent until the tree holds it.
inline bool PickFolder(HWND owner, const std::function<void()>& open, const std::wstring& folder,
                       ListItems& remote) {
    if (!CreateDirectoryW(folder.c_str(), nullptr)) {
        return false;
    }
    open();
    HWND browser = nullptr;
    if (!WaitFor([&] { return (browser = FileChooser(owner)) != nullptr; })) {
        return false;
    }
    const HWND tree = FindWindowExW(browser, nullptr, WC_TREEVIEWW, nullptr);
    const std::wstring name = folder.substr(folder.find_last_of(L"\\/") + 1);
    WaitFor(
        [&] {
            SendMessageW(browser, BFFM_SETSELECTIONW, TRUE, remote.Copy(folder));
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            return tree == nullptr || remote.TreeSelection(tree) == name;
        },
        10);
    PostMessageW(GetDlgItem(browser, IDOK), BM_CLICK, 0, 0);
    WaitFor([&] { return !IsWindowVisible(browser); }, 10);
    return true;
}

// The run log, opened from the main window `dialog` of `process`: its rows,
// an import by its menu and its results, the import's run exported as FIT
// into a folder beside `stem`; a picture named "runlog" when `shotFlag` is given.
void DriveRunLog(HWND dialog, HANDLE process, const std::wstring& stem, const wchar_t* shotFlag);

// Starts `command` and waits for its main window, visible once its controls
// are made and initialised; null when none shows.
inline HWND Launch(const wchar_t* program, std::wstring command, const std::wstring& title,
                   PROCESS_INFORMATION& process) {
    STARTUPINFOW startup{sizeof startup};
    if (!CreateProcessW(program, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process)) {
        std::printf("FAILED: cannot start strivo.exe\n");
        return nullptr;
    }
    HWND dialog = nullptr;
    WaitFor([&] {
        dialog = FindWindowW(L"#32770", title.c_str());
        return dialog != nullptr && IsWindowVisible(dialog);
    });
    if (dialog == nullptr) {
        std::printf("FAILED: no main window\n");
        TerminateProcess(process.hProcess, 1);
    }
    return dialog;
}

// What a picture holds: the whole window, its client area alone, or its
// client area under its menu bar (Wine draws no caption without a window
// manager, so that a window over another shows the other's pixels there).
enum class Area { Window, Client, MenuAndClient };

inline void Shot(HWND window, const wchar_t* flag, const wchar_t* name, Area area = Area::Window) {
    RECT box{};
    GetWindowRect(window, &box);
    if (area != Area::Window) {
        GetClientRect(window, &box);
        MapWindowPoints(window, nullptr, reinterpret_cast<POINT*>(&box), 2);
    }
    if (area == Area::MenuAndClient) {
        box.top -= GetSystemMetrics(SM_CYMENU);
    }
    std::printf("SHOT %ls %ld %ld %ld %ld\n", name, box.left, box.top, box.right - box.left,
                box.bottom - box.top);
    std::fflush(stdout);
    const std::wstring file = std::wstring(flag) + L"." + name;
    WaitFor([&] { return GetFileAttributesW(file.c_str()) != INVALID_FILE_ATTRIBUTES; });
}

}  // namespace drive
