#pragma once

#include <cstddef>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "model/WindowPlace.h"
#include "ui/WindowSurface.h"

namespace strivo {

// A column of the run log's list: its title (CP936), its width as it opens in
// pixels, and whether its cells stand to the right (numbers).
struct RunLogColumn {
    std::string title;
    int width = 0;
    bool right = false;
};

// A filter above the list, a drop-down list: its label ("年份"), its
// choices, and the one chosen; all CP936.
struct RunLogChoices {
    std::string label;
    std::vector<std::string> texts;
    std::size_t chosen = 0;
};

// The filters, each a RunLogChoices.
enum class RunLogFilter { Year, State };

// A line of the import's result dialog: a file (or folder) as the runner
// named it, and what became of it (CP936). `ok` is false for a file that
// gave no run through a fault of its own (unreadable, not a plausible run).
struct RunLogFileResult {
    std::string file;
    std::string result;
    bool ok = true;
};

// The import's result dialog: a caption, a sentence over the list (the
// counts), the two columns' titles and a line per file (CP936).
struct RunLogImportResults {
    std::string caption;
    std::string summary;
    std::string fileTitle, resultTitle;
    std::vector<RunLogFileResult> files;
};

// A value of a run in full: its label and its value (CP936).
struct RunLogField {
    std::string label;
    std::string value;
};

// A run in full: every value, then its posts (one line of cells each, under
// `postTitles`), then the actions that can be taken on it, each a button
// whose id is one of the run log's menu bar (RunLogController::OnMenu).
struct RunLogRunView {
    std::string caption;
    std::vector<RunLogField> fields;
    std::string postsLabel;
    std::vector<std::string> postTitles;
    std::vector<std::vector<std::string>> posts;
    std::vector<MenuItem> actions;
    std::string closeText;  // the button that only closes it
};

// What the run log's controller asks of a front end: the wx frame, the
// Win32 window, or a test's fake. Texts are CP936. Every call but Post
// comes on the window's thread.
//
// The window holds, top to bottom: the strip (a line of figures), the two
// filters, the list, and the footer over the status (two lines of text, or
// a status bar of two fields). The list is virtual: it asks
// RunLogController::Cell for the rows it draws, and ToolTip for a cell under
// the pointer. It may select several rows. Its headers, when clicked, go to
// RunLogController::OnHeaderClicked.
class RunLogSurface {
public:
    virtual ~RunLogSurface() = default;

    // The window's title.
    virtual void SetTitle(const std::string& text) = 0;
    // The list's columns, once, before any rows.
    virtual void SetColumns(const std::vector<RunLogColumn>& columns) = 0;
    // The list holds `count` rows from now on, all of them changed: the
    // selection is emptied, and every row shown is asked for again.
    virtual void ShowRows(std::size_t count) = 0;
    // The rows' texts changed in place (states after an action): the rows
    // shown are asked for again; count and selection stay.
    virtual void RefreshRows() = 0;
    // The arrow in the header of `column` (up when `ascending`); no other
    // header has one.
    virtual void SetSortMark(std::size_t column, bool ascending) = 0;
    // The selected rows, as indexes into the rows shown, in order.
    virtual std::vector<std::size_t> SelectedRows() = 0;
    // Selects these rows alone, the first of them focused and scrolled to.
    virtual void SelectRows(const std::vector<std::size_t>& rows) = 0;
    virtual void SelectAllRows() = 0;
    // A filter's label, choices and the one chosen.
    virtual void SetChoices(RunLogFilter filter, const RunLogChoices& choices) = 0;
    // The strip above the list: figures, each a short text, shown in a row.
    virtual void SetStrip(const std::vector<std::string>& figures) = 0;
    // The footer under the list: the shown runs counted (or, with no Nike+
    // user, what to do).
    virtual void SetFooter(const std::string& text) = 0;
    // What the last action did, or what runs now (an import's progress);
    // empty: nothing.
    virtual void SetStatus(const std::string& text) = 0;

    // The list's context menu where the runner asked for it, for the rows
    // selected; the index of the item chosen, or nullopt when none was.
    virtual std::optional<std::size_t> ShowContextMenu(const std::vector<MenuItem>& items) = 0;
    // The import's result dialog, modal, a line a file in a list that scrolls.
    virtual void ShowImportResults(const RunLogImportResults& results) = 0;
    // A run in full, modal: the id of the action chosen (its button closes
    // the dialog), or nullopt when it was closed.
    virtual std::optional<int> ShowRun(const RunLogRunView& run) = 0;

    // A message box owned by the window: empty caption, no icon, an OK button.
    virtual void ShowMessage(const std::string& text) = 0;
    // A question owned by the window, empty caption, buttons yes and no (the
    // default): true for yes.
    virtual bool Confirm(const std::string& text) = 0;
    // The open dialog for run files to import (GPX, TCX, FIT, CSV, each also
    // gzipped, and zip archives), several at once; empty when cancelled.
    virtual std::vector<std::filesystem::path> ChooseRunFiles() = 0;
    // A folder whose run files to import; nullopt when cancelled.
    virtual std::optional<std::filesystem::path> ChooseRunFolder() = 0;
    // The save dialogs for a CSV and a TCX file, and the folder chooser for
    // FIT files, as the main window's; nullopt when cancelled.
    virtual std::optional<ChosenFile> ChooseCsvFile() = 0;
    virtual std::optional<ChosenFile> ChooseTcxFile() = 0;
    virtual std::optional<ChosenFile> ChooseFitFolder() = 0;

    // The size and place of the window on screen, in pixels, and whether it
    // is maximised, as it stands (not maximised: its normal size and place).
    virtual WindowPlace Place() = 0;
    // Puts the window there before it shows, kept within the screens there
    // are now (a screen may have gone since).
    virtual void SetPlace(const WindowPlace& place) = 0;
    // Shows the window (after Start has filled it) and brings it to the
    // front; again when it is open already.
    virtual void Raise() = 0;

    // Called on any thread: runs `call` on the window's thread, in the order
    // posted, unless the window is gone by then.
    virtual void Post(std::function<void()> call) = 0;
    // Closes the window for good. From then on the surface calls the
    // controller no more, and draws no row: the controller goes soon after.
    virtual void CloseWindow() = 0;
};

}  // namespace strivo
