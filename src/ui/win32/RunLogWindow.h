#pragma once

#include <windows.h>

#include <memory>

#include "ui/RunLogController.h"
#include "ui/RunLogSurface.h"

namespace strivo {

// The run log's window on Windows, as ui/wx/RunLogFrame is on Linux: the
// template IDD_RUN_LOG, a top-level window of its own with its menu bar,
// that RunLogController fills and drives.
class RunLogWindow : public RunLogSurface {
public:
    // Makes the window, hidden, over `controller`. While the run log shows
    // something modal, `mainWindow` waits too: closing it then would take the
    // run log from under its dialog. Null when Windows makes no window.
    static std::unique_ptr<RunLogWindow> Make(RunLogController& controller, HWND mainWindow);

    // From the thread's message loop, before anything else sees `message`:
    // true when it was for the run log and has been handled (its keys, Tab
    // between its controls, or dispatched).
    virtual bool HandleMessage(MSG& message) = 0;
};

}  // namespace strivo
