#pragma once

// What the main window and the run log share on Windows: their texts in
// code page 936, Chinese message boxes, the file and folder choosers, and
// menus made from the controllers' tables.

#include <windows.h>

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ui/WindowSurface.h"

namespace strivo {

inline constexpr UINT kWindowCodePage = 936;  // the windows' texts and the credentials
// A call posted to a window's thread (PostedCalls), each window its own.
inline constexpr UINT kPostedCall = WM_APP + 1;
// Dialog units around the controls of a window laid out by hand, and between them.
inline constexpr int kMargin = 7;
inline constexpr int kGap = 4;

// A CP936 text as UTF-16, and back.
std::wstring Wide(std::string_view text, UINT codePage = kWindowCodePage);
std::string Narrow(std::wstring_view wide);

// A window's text.
std::wstring WindowText(HWND window);
// Pixels `text` takes in `window`'s font (Wine's LVM_GETSTRINGWIDTH counts far too few).
int TextWidth(HWND window, const std::wstring& text);

// `x` and `y` dialog units of `dialog`, in pixels: a window laid out by hand
// keeps the proportions of the templates' font.
SIZE DialogUnits(HWND dialog, int x, int y);
// Pixels `text` takes in height in `window`'s font, wrapped within `width`.
int TextHeight(HWND window, const std::wstring& text, int width);

// A message box whose buttons say 确定, or 是 and 否, whatever the language
// of Windows: a hook names them as the box comes up.
int ChineseMessageBox(HWND owner, const std::wstring& text, const wchar_t* title, UINT type);

// The save dialog: nullopt when cancelled. No overwrite question: an
// existing file is replaced.
// A save chooser's filter of one kind: its name, then its pattern.
std::wstring SaveFilter(const char* utf8Name, const wchar_t* pattern);
std::optional<ChosenFile> ChooseSaveFile(HWND owner, const wchar_t* filter,
                                         const wchar_t* extension, const wchar_t* name);
// The open dialog for run files (GPX, TCX, FIT, CSV, each also gzipped, and
// zip archives), several at once; empty when cancelled.
std::vector<std::filesystem::path> ChooseRunFilesToOpen(HWND owner);
// The folder browser titled `title`; nullopt when cancelled.
std::optional<ChosenFile> ChooseFolder(HWND owner, const wchar_t* title);

// Fills `bar` with `menus`, each item's id as it is, and gives the table of
// their Ctrl+keys (null for none), which the caller destroys.
HACCEL FillMenuBar(HMENU bar, const std::vector<Menu>& menus);
// A menu opens: each item from `firstId` on greyed or not, as `enabled` says now.
template <class Enabled>
void RefreshMenu(HMENU menu, int firstId, Enabled&& enabled) {
    for (int i = 0, count = GetMenuItemCount(menu); i < count; ++i) {
        const int id = static_cast<int>(GetMenuItemID(menu, i));
        if (id >= firstId) {
            EnableMenuItem(menu, static_cast<UINT>(i),
                           MF_BYPOSITION | (enabled(id) ? MF_ENABLED : MF_GRAYED));
        }
    }
}
// A menu of `items` at `at` (on the screen), owned by `owner`: the index of
// the item chosen, or nullopt when none was.
std::optional<std::size_t> TrackMenu(HWND owner, const std::vector<MenuItem>& items, POINT at);

// The row of the list view `list` under `at` (on the screen) when the
// selection does not hold it, as a right-click there asks to select it alone;
// else -1.
int UnselectedRowAt(HWND list, POINT at);

}  // namespace strivo
