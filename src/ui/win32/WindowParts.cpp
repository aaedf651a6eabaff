// windows.h comes before every other Windows header.
#include <windows.h>

#include <commctrl.h>
#include <commdlg.h>
#include <shlobj.h>

#include "text/WideText.h"
#include "ui/ChooserWords.h"
#include "ui/win32/WindowParts.h"

namespace strivo {

std::wstring Wide(std::string_view text, UINT codePage) {
    return WideFrom(text, codePage);
}

std::string Narrow(std::wstring_view wide) {
    return NarrowFrom(wide, kWindowCodePage);
}

std::wstring WindowText(HWND window) {
    std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(window)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(
        GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
    return text;
}

int TextWidth(HWND window, const std::wstring& text) {
    HDC dc = GetDC(window);
    const HGDIOBJ before =
        SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(window, WM_GETFONT, 0, 0)));
    SIZE size{};
    GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
    SelectObject(dc, before);
    ReleaseDC(window, dc);
    return size.cx;
}

SIZE DialogUnits(HWND dialog, int x, int y) {
    RECT rect{0, 0, x, y};
    MapDialogRect(dialog, &rect);
    return {rect.right, rect.bottom};
}

int TextHeight(HWND window, const std::wstring& text, int width) {
    HDC dc = GetDC(window);
    const HGDIOBJ before =
        SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(window, WM_GETFONT, 0, 0)));
    RECT rect{0, 0, width, 0};
    const std::wstring measured = text.empty() ? L" " : text;
    DrawTextW(dc, measured.c_str(), static_cast<int>(measured.size()), &rect,
              DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX);
    SelectObject(dc, before);
    ReleaseDC(window, dc);
    return rect.bottom;
}

namespace {

HHOOK g_messageBoxHook = nullptr;

LRESULT CALLBACK NameTheButtons(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HCBT_ACTIVATE) {
        const HWND box = reinterpret_cast<HWND>(wParam);
        SetDlgItemTextW(box, IDOK, L"确定");
        SetDlgItemTextW(box, IDYES, L"是(&Y)");
        SetDlgItemTextW(box, IDNO, L"否(&N)");
        UnhookWindowsHookEx(g_messageBoxHook);
        g_messageBoxHook = nullptr;
        return 0;
    }
    return CallNextHookEx(g_messageBoxHook, code, wParam, lParam);
}

}  // namespace

int ChineseMessageBox(HWND owner, const std::wstring& text, const wchar_t* title, UINT type) {
    g_messageBoxHook = SetWindowsHookExW(WH_CBT, NameTheButtons, nullptr, GetCurrentThreadId());
    const int chosen = MessageBoxW(owner, text.c_str(), title, type);
    if (g_messageBoxHook) {
        UnhookWindowsHookEx(g_messageBoxHook);
        g_messageBoxHook = nullptr;
    }
    return chosen;
}

std::optional<ChosenFile> ChooseSaveFile(HWND owner, const wchar_t* filter,
                                         const wchar_t* extension, const wchar_t* name) {
    wchar_t file[MAX_PATH] = {};
    lstrcpynW(file, name, MAX_PATH);
    OPENFILENAMEW chooser{};
    chooser.lStructSize = sizeof chooser;
    chooser.hwndOwner = owner;
    chooser.lpstrFilter = filter;
    chooser.lpstrFile = file;
    chooser.nMaxFile = MAX_PATH;
    chooser.lpstrDefExt = extension;
    chooser.Flags = OFN_EXPLORER | OFN_HIDEREADONLY | OFN_PATHMUSTEXIST | OFN_NOCHANGEDIR;
    if (!GetSaveFileNameW(&chooser)) {
        return std::nullopt;
    }
    return ChosenFile{std::filesystem::path(file), Narrow(file)};
}

std::wstring SaveFilter(const char* utf8Name, const wchar_t* pattern) {
    // Each string ends in a NUL; c_str's adds the NUL that ends the list.
    return Wide(utf8Name, CP_UTF8) + L'\0' + pattern + L'\0';
}

std::vector<std::filesystem::path> ChooseRunFilesToOpen(HWND owner) {
    // Room for many names: the folder, then each name, each ending in a NUL.
    std::vector<wchar_t> names(1 << 16, L'\0');
    OPENFILENAMEW chooser{};
    chooser.lStructSize = sizeof chooser;
    chooser.hwndOwner = owner;
    const std::wstring filter = Wide(chooser_words::RunFiles(), CP_UTF8) +
                                std::wstring(L"\0*.gpx;*.tcx;*.fit;*.csv;*.gz;*.zip\0", 36) +
                                Wide(chooser_words::AllFiles(), CP_UTF8) +
                                std::wstring(L"\0*.*\0", 5);
    const std::wstring title = Wide(chooser_words::ImportFilesTitle(), CP_UTF8);
    chooser.lpstrFilter = filter.c_str();
    chooser.lpstrFile = names.data();
    chooser.nMaxFile = static_cast<DWORD>(names.size());
    chooser.lpstrTitle = title.c_str();
    chooser.Flags = OFN_EXPLORER | OFN_HIDEREADONLY | OFN_FILEMUSTEXIST | OFN_ALLOWMULTISELECT |
                    OFN_NOCHANGEDIR;
    std::vector<std::filesystem::path> chosen;
    if (!GetOpenFileNameW(&chooser)) {
        return chosen;
    }
    // One file: its whole path. Several: the folder, then the names.
    const std::filesystem::path first(names.data());
    for (const wchar_t* name = names.data() + first.native().size() + 1; *name != L'\0';
         name += lstrlenW(name) + 1) {
        chosen.push_back(first / name);
    }
    if (chosen.empty()) {
        chosen.push_back(first);
    }
    return chosen;
}

std::optional<ChosenFile> ChooseFolder(HWND owner, const wchar_t* title) {
    BROWSEINFOW browse{};
    browse.hwndOwner = owner;
    browse.lpszTitle = title;
    browse.ulFlags = BIF_RETURNONLYFSDIRS | BIF_NEWDIALOGSTYLE;
    PIDLIST_ABSOLUTE chosen = SHBrowseForFolderW(&browse);
    if (chosen == nullptr) {
        return std::nullopt;
    }
    wchar_t folder[MAX_PATH] = {};
    const bool found = SHGetPathFromIDListW(chosen, folder);
    CoTaskMemFree(chosen);
    if (!found) {
        return std::nullopt;
    }
    return ChosenFile{std::filesystem::path(folder), Narrow(folder)};
}

HACCEL FillMenuBar(HMENU bar, const std::vector<Menu>& menus) {
    std::vector<ACCEL> keys;
    for (const Menu& menu : menus) {
        const HMENU items = CreatePopupMenu();
        for (const MenuItem& item : menu.items) {
            if (item.text.empty()) {
                AppendMenuW(items, MF_SEPARATOR, 0, nullptr);
                continue;
            }
            std::wstring text = Wide(item.text);
            if (item.ctrlKey != 0) {
                text += L"\tCtrl+" + std::wstring(1, static_cast<wchar_t>(item.ctrlKey));
                keys.push_back({FCONTROL | FVIRTKEY, static_cast<WORD>(item.ctrlKey),
                                static_cast<WORD>(item.id)});
            }
            AppendMenuW(items, MF_STRING | (item.enabled ? 0 : MF_GRAYED),
                        static_cast<UINT_PTR>(item.id), text.c_str());
        }
        AppendMenuW(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(items), Wide(menu.title).c_str());
    }
    return keys.empty() ? nullptr
                        : CreateAcceleratorTableW(keys.data(), static_cast<int>(keys.size()));
}

std::optional<std::size_t> TrackMenu(HWND owner, const std::vector<MenuItem>& items, POINT at) {
    const HMENU menu = CreatePopupMenu();
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (items[i].text.empty()) {
            AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
        } else {
            AppendMenuW(menu, MF_STRING | (items[i].enabled ? 0 : MF_GRAYED), i + 1,
                        Wide(items[i].text).c_str());
        }
    }
    const int chosen = static_cast<int>(
        TrackPopupMenu(menu, TPM_RETURNCMD | TPM_RIGHTBUTTON, at.x, at.y, 0, owner, nullptr));
    DestroyMenu(menu);
    return chosen > 0 ? std::optional<std::size_t>(chosen - 1) : std::nullopt;
}

int UnselectedRowAt(HWND list, POINT at) {
    LVHITTESTINFO hit{};
    hit.pt = at;
    ScreenToClient(list, &hit.pt);
    const int row = ListView_HitTest(list, &hit);
    return row >= 0 && ListView_GetItemState(list, row, LVIS_SELECTED) == 0 ? row : -1;
}

}  // namespace strivo
