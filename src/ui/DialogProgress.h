#pragma once

#include <wx/event.h>

#include "rows/ProgressMessage.h"

namespace strivo {

// Carries a worker's reports to the dialog as wxThreadEvents whose id is the
// message value and whose int is the outcome; the report rides as payload.
// wxQueueEvent is the one call into wx that is safe from a worker thread.
class DialogProgress : public ProgressSink {
public:
    explicit DialogProgress(wxEvtHandler* dialog) : m_dialog(dialog) {}

    // Called on the worker's thread.
    void Post(ProgressReport report) override {
        auto* event = new wxThreadEvent(wxEVT_THREAD, static_cast<int>(report.message));
        event->SetInt(static_cast<int>(report.outcome));
        event->SetPayload(report);
        wxQueueEvent(m_dialog, event);
    }

private:
    wxEvtHandler* m_dialog;
};

}  // namespace strivo
