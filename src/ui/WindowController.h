#pragma once

#include <filesystem>
#include <memory>
#include <optional>

#include "net/WebSession.h"
#include "rows/RunTable.h"
#include "settings/Settings.h"
#include "ui/DialogState.h"
#include "ui/JobThreads.h"
#include "ui/WindowSurface.h"

namespace strivo {

class SharedStore;

struct WindowOptions {
    std::filesystem::path settingsPath;  // read at start, user names saved at close
    std::optional<Settings> settings;    // in place of the file (the demo): nothing is saved
    WebSessionConfig sessionConfig;      // extra CAs, time-outs, limits, cookie store
};

// The main window's logic, the same for every front end: it forwards events
// to DialogState and applies the answers to the surface, runs the jobs on the
// threads it owns, exports the table and closes the window once the jobs have
// ended. Called on the window's thread.
class WindowController {
public:
    WindowController(WindowSurface& surface, WindowOptions options, JobLaunchers jobs = {});
    // Stops and joins the jobs where the window went without closing.
    ~WindowController();

    // Once the surface's controls exist: loads the settings and shows them.
    void Start();

    const std::shared_ptr<RunTable>& table() const { return m_table; }

    // The buttons.
    void OnServiceLogin();
    void OnSync();
    void OnExport();
    void OnVisitSite();
    // Asks the jobs to stop; the window closes once they have ended.
    void Close();

private:
    class Progress : public ProgressSink {
    public:
        explicit Progress(WindowController& controller) : m_controller(controller) {}
        void Post(ProgressReport report) override;

    private:
        WindowController& m_controller;
    };

    // true: the fields' texts into the settings; false: the settings into the fields.
    void UpdateData(bool fromFields);
    void Apply(const DialogUpdate& update);
    void StartJob(JobKind kind);
    void ShowSettingsProblems();
    void CloseWhenJobsEnded();

    WindowSurface& m_surface;
    WindowOptions m_options;
    DialogState m_state;
    std::optional<DialogView> m_shown;  // what the controls show
    Settings m_settings;                // with the credentials the fields hold
    std::shared_ptr<RunTable> m_table = std::make_shared<RunTable>();
    std::shared_ptr<SharedStore> m_store;      // beside the settings file, or in memory
    int m_tableListener = 0;
    bool m_closing = false;
    bool m_closed = false;
    Progress m_progress{*this};

    // Last, so they are joined before anything they use is destroyed.
    JobThreads m_jobs;
};

}  // namespace strivo
