#pragma once

#include <cstddef>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "ui/ListRows.h"
#include "ui/StatsChart.h"

namespace strivo {

// A file the user chose to save to: its path and the path as the status line
// shows it (CP936).
struct ChosenFile {
    std::filesystem::path path;
    std::string text;
};

// One entry of a menu: its text (CP936) and whether it can be chosen; an
// empty text is a separator. An item of the menu bar has the id the front
// end hands to WindowController::OnMenu, and may have a key: 'O' for Ctrl+O.
struct MenuItem {
    std::string text;
    bool enabled = false;
    int id = 0;
    char ctrlKey = 0;
};

// A menu of the menu bar: its title (CP936, "&" before its access key) and items.
struct Menu {
    std::string title;
    std::vector<MenuItem> items;
};

class RunLogController;
class RunLogSurface;

// What the window controller asks of a front end: the wx dialog, the Win32
// window, or a test's fake. Controls are named by the ids of ui/ControlIds.h;
// texts are CP936. Every call but Post comes on the window's thread.
class WindowSurface {
public:
    virtual ~WindowSurface() = default;

    // An edit field's text.
    virtual std::string Text(int id) = 0;
    // An edit field's or a label's text.
    virtual void SetText(int id, const std::string& text) = 0;
    virtual void SetEnabled(int id, bool enabled) = 0;
    virtual void Focus(int id) = 0;
    // Pixels `text` takes in a control's font, and the control's width; a
    // width of 0 fits any text.
    virtual int TextWidth(int /*id*/, const std::string& /*text*/) { return 0; }
    virtual int Width(int /*id*/) { return 0; }
    // A label's tooltip; empty: none.
    virtual void SetToolTip(int /*id*/, const std::string& /*text*/) {}
    // The list's rows changed: the list shows `rows`' count, and may widen
    // its RunID column to `rows.longestId()`.
    virtual void ListChanged(const ListRows& rows, ListRows::Change change) = 0;
    // The list's state column changed: the list draws it again.
    virtual void PostStatesChanged() = 0;
    // The list's menu, where the user asked for it; the index of the item
    // chosen, or nullopt when none was.
    virtual std::optional<std::size_t> ShowListMenu(const std::vector<MenuItem>& items) = 0;

    // A message box owned by the window: empty caption, no icon, an OK button.
    virtual void ShowMessage(const std::string& text) = 0;
    // A question owned by the window, empty caption, buttons yes and no (the
    // default): true for yes.
    virtual bool Confirm(const std::string& text) = 0;
    // The about box, modal.
    virtual void ShowAbout() = 0;
    // The application's message box: its name as caption, a warning icon.
    virtual void ShowAppMessage(const std::string& text) = 0;
    virtual void ShowSettingsProblems(const std::string& text) { ShowMessage(text); }
    // The record of syncs, one line each, read-only and modal.
    virtual void ShowSyncRecord(const std::string& text) { ShowMessage(text); }
    // The save dialog for a CSV file; nullopt when cancelled.
    virtual std::optional<ChosenFile> ChooseCsvFile() = 0;
    // The save dialog for a TCX file (its own, default name runs.tcx); nullopt when cancelled.
    virtual std::optional<ChosenFile> ChooseTcxFile() = 0;
    // The open dialog for run files to import (GPX, TCX, FIT, CSV, each also
    // gzipped), several at once; empty when cancelled.
    virtual std::vector<std::filesystem::path> ChooseRunFiles() { return {}; }
    // The folder chooser for FIT files; nullopt when cancelled.
    virtual std::optional<ChosenFile> ChooseFitFolder() { return std::nullopt; }
    // The statistics dialog over `chart`, modal; returns once it is closed.
    virtual void ShowStats(StatsChart& chart) = 0;
    // False when no browser could be started.
    virtual bool OpenBrowser(const std::string& url) = 0;
    // Makes the run log's window over `controller`, hidden, and gives its
    // surface (RunLogController.h); null where the front end has none.
    virtual RunLogSurface* OpenRunLog(RunLogController& /*controller*/) { return nullptr; }

    // Called on any thread: runs `call` on the window's thread, in the order
    // posted, unless the window is gone by then.
    virtual void Post(std::function<void()> call) = 0;
    // Closes the window for good.
    virtual void CloseWindow() = 0;
};

}  // namespace strivo
