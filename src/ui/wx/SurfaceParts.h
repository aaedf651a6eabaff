#pragma once

#include <wx/menu.h>
#include <wx/window.h>

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "ui/WindowSurface.h"

// What the windows' surfaces make alike: a menu bar from a controller's
// table, a menu of items at a point, and the message boxes.
namespace strivo {

// The menu bar of `menus`, each item under its id, Ctrl+key where it has
// one; `last` becomes the highest id, for the handlers' range.
wxMenuBar* MakeMenuBar(const std::vector<Menu>& menus, int& last);

// `items` as a menu at `at` (in `window`'s coordinates), in a loop of its
// own: the index of the item chosen, or nullopt.
std::optional<std::size_t> PopUpMenu(wxWindow* window, const std::vector<MenuItem>& items,
                                     const wxPoint& at);

// A message box owned by `parent`: empty caption, no icon, 确定.
void ShowMessageBox(wxWindow* parent, const std::string& text);
// A question owned by `parent`, empty caption, 是 and 否 (the default): true for 是.
bool AskYesNo(wxWindow* parent, const std::string& text);

}  // namespace strivo
