#pragma once

// The run log (跑步日志): every stored run of the Nike+ user in the main
// window's field, with its pace, source and state; filters, counts and
// totals; actions on a selection; import by drop with a result per file; one
// run in full. The same on both platforms: a front end implements
// RunLogSurface and forwards its events here.
//
// How a front end uses it:
// - The main window's surface makes the run log's window when asked
//   (WindowSurface::OpenRunLog): it creates the window and its controls,
//   hidden, over the controller it is given, and returns its surface. The
//   main window's controller owns the controller and calls Start, which
//   fills the window, puts it in its place and shows it (RunLogSurface::Raise).
// - The list is virtual: RowCount rows, each cell from Cell; the tooltip of a
//   cell from ToolTip (the 来源 column's names the file).
// - It builds its menu bar once from MenuBar, each item's id going to OnMenu,
//   with Ctrl+key where an item has one; it asks MenuEnabled as a menu opens.
// - It forwards: a click on a header (OnHeaderClicked), a filter's choice
//   (OnChoice), a change of the selection (OnSelectionChanged), a double-click
//   or Enter on a row (OnRowActivated), the context menu (OnContextMenu: the
//   right button, the menu key, Shift+F10; a right-click on a row outside the
//   selection selects that row alone first), the Delete key (OnKey), files or
//   folders dropped on the window (OnFilesDropped), and its close box
//   (Close). The window goes when the controller says so (CloseWindow).
//
// Called on the window's thread.

#include <cstddef>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <stop_token>
#include <string>
#include <thread>
#include <vector>

#include "jobs/Workspace.h"
#include "model/WindowPlace.h"
#include "ui/RunLogSurface.h"

namespace strivo {

namespace jobs {
class RunLog;
}

// The run log's columns, in order.
enum RunLogColumnIndex : std::size_t {
    kLogDate = 0,  // 日期: local, with the weekday
    kLogDistance,  // 距离 (km)
    kLogDuration,  // 用时 (h:mm:ss)
    kLogPace,      // 配速 (m:ss/km)
    kLogCalories,  // 卡路里 (— when unknown)
    kLogSource,    // 来源: Nike+, GPX, TCX, FIT, CSV
    kLogState,     // 状态
    kLogColumnCount
};

// Keys the list hands on, beside the menu bar's Ctrl+keys.
enum class RunLogKey { Delete };

// What the run log needs of the window that opened it.
struct RunLogHost {
    // Where the jobs work, with the main window's fields as they are now:
    // the runs are those of its Nike+ user, the states those of its site user.
    std::function<jobs::Workspace()> where;
    // Keep the window's size and place in the store (not under --demo).
    bool keepPlace = true;
    // The run log changed runs or posts: the main window shows them again.
    std::function<void()> changed;
    // The window has closed; the owner destroys the controller after this
    // call returns, not within it.
    std::function<void()> closed;
    // Starts the import's thread; throws std::system_error when none
    // starts. Empty: a std::jthread.
    std::function<std::jthread(std::function<void(std::stop_token)>)> startThread;
    // Whether the main window's sync is posting now: a post `sending` is in
    // flight (正在上传), not of unknown outcome. Empty: never.
    std::function<bool()> syncPosting;
};

class RunLogController {
public:
    explicit RunLogController(RunLogHost host);
    // Stops and joins an import where the window went without closing.
    ~RunLogController();
    RunLogController(const RunLogController&) = delete;
    RunLogController& operator=(const RunLogController&) = delete;

    // Once the surface's controls exist: its title, columns, filters, menu
    // state and place, then the runs, then shows it.
    void Start(RunLogSurface& surface);
    // The window is open already: it comes to the front.
    void Raise();

    // The list's rows, as shown (filtered and sorted).
    std::size_t RowCount() const;
    // A cell (CP936); empty past the rows.
    std::string Cell(std::size_t row, std::size_t column) const;
    // A cell's tooltip (CP936): the source file for 来源, the reason for a
    // failed post's 状态; empty for none.
    std::string ToolTip(std::size_t row, std::size_t column) const;

    // A click on the header of `column`: sorts by it, the other way when it
    // sorted by it already.
    void OnHeaderClicked(std::size_t column);
    // The runner chose the `index`th choice of a filter.
    void OnChoice(RunLogFilter filter, std::size_t index);
    void OnSelectionChanged();
    // A double-click, or Enter, on a row: the run in full.
    void OnRowActivated(std::size_t row);
    // The context menu for the rows selected.
    void OnContextMenu();
    // A key of the list; false for one the controller leaves alone.
    bool OnKey(RunLogKey key);

    // The menu bar, its items enabled as they are now (see WindowController::MenuBar).
    std::vector<Menu> MenuBar() const;
    bool MenuEnabled(int id) const;
    // The runner chose the menu bar's item `id` (or a context menu's, or a
    // run's in full), or pressed its keys; an item greyed now does nothing.
    void OnMenu(int id);
    // Clear of the main window's ids, below 0x7fff for wx.
    static constexpr int kFirstMenuId = 21001;

    // Files, folders or archives dropped on the window: imported, then a
    // result per file.
    void OnFilesDropped(std::vector<std::filesystem::path> paths);

    // The main window's Nike+ or site user field may have changed: the run
    // log follows it.
    void OnFieldsChanged();
    // A download, import, sync or settling elsewhere changed runs or posts.
    void OnRunsChanged();

    // The close box, or 关闭: the window goes once the import has ended,
    // its place kept.
    void Close();
    bool closing() const { return m_closing; }

private:
    struct State;

    RunLogHost m_host;
    RunLogSurface* m_surface = nullptr;
    std::unique_ptr<State> m_state;
    bool m_closing = false;
    bool m_closed = false;
};

}  // namespace strivo
