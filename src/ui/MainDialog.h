#pragma once

#include <wx/dialog.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>

#include "rows/RunTable.h"
#include "net/WebSession.h"
#include "settings/Settings.h"
#include "ui/DialogProgress.h"
#include "ui/DialogState.h"
#include "ui/JobThreads.h"

class wxButton;
class wxStaticText;
class wxTextCtrl;

namespace strivo {

class RunListView;

// Control ids of the main dialog.
enum : int {
    IDC_SERVICE_USER = 1000,
    IDC_SERVICE_PASSWORD = 1001,
    IDC_SERVICE_LOGIN = 1002,
    IDC_RUN_TABLE = 1003,
    IDC_ABOUT = 1004,
    IDC_VISIT_SITE = 1005,
    IDC_STATUS = 1006,
    IDC_REFRESH = 1007,
    IDC_SITE_USER = 1008,
    IDC_EXPORT = 1009,
    IDC_SYNC = 1010,
    IDC_SITE_PASSWORD = 1011,
    IDC_SUMMARY = 1012,
    IDM_ABOUTBOX = 0x0010,  // the about entry of the system menu, where there is one
};

struct MainDialogOptions {
    std::filesystem::path settingsPath;  // read at start, user names saved at close
    std::optional<Settings> settings;    // in place of the file (the demo): nothing is saved
    bool demo = false;                   // the title says so
    WebSessionConfig sessionConfig;      // extra CAs, time-outs, limits, cookie store
};

// What the dialog asks of the desktop; tests put recorders in their place.
struct DialogServices {
    // A message box owned by the dialog: empty caption, no icon, an OK button.
    std::function<void(wxWindow* owner, const wxString& text)> showMessage;
    // The application's message box, for "Cannot Start New Thread".
    std::function<void(const wxString& text)> showAppMessage;
    // The save dialog; nullopt when cancelled.
    std::function<std::optional<wxString>(wxWindow* owner)> chooseCsvFile;
    // False when no browser could be started.
    std::function<bool(const wxString& url)> openBrowser;
    JobLaunchers jobs;
};
DialogServices DesktopServices();

// The main window. It forwards every event to DialogState and applies the
// answers; the jobs run on worker threads it owns and joins.
class MainDialog : public wxDialog {
public:
    MainDialog(wxWindow* parent, MainDialogOptions options,
               DialogServices services = DesktopServices());
    ~MainDialog() override;

private:
    void CreateControls();
    void LoadSettings();
    void SaveSettings();
    // true: the fields' texts into the strings; false: the strings into the fields.
    void UpdateData(bool fromFields);
    void Apply(const DialogUpdate& update);
    void StartJob(JobKind kind);
    void ShowSettingsProblems();
    void StopWorkers();

    void OnServiceLogin(wxCommandEvent& event);
    void OnSync(wxCommandEvent& event);
    void OnExport(wxCommandEvent& event);
    void OnVisitSite(wxCommandEvent& event);
    void OnAbout(wxCommandEvent& event);
    void OnWorkerReport(wxThreadEvent& event);
    void OnTableChanged(wxThreadEvent& event);
    void OnCharHook(wxKeyEvent& event);
    void OnClose(wxCloseEvent& event);

    MainDialogOptions m_options;
    DialogServices m_services;
    DialogState m_state;
    Settings m_settings;  // with the credentials the fields hold

    std::shared_ptr<RunTable> m_runTable = std::make_shared<RunTable>();
    std::shared_ptr<PostedRuns> m_postedRuns;  // beside the settings file, or in memory
    int m_tableListener = 0;
    DialogProgress m_progress{this};

    wxButton* m_serviceSignIn = nullptr;
    wxButton* m_refresh = nullptr;
    wxButton* m_sync = nullptr;
    wxButton* m_export = nullptr;
    wxTextCtrl* m_serviceUserField = nullptr;
    wxTextCtrl* m_servicePasswordField = nullptr;
    wxTextCtrl* m_siteUserField = nullptr;
    wxTextCtrl* m_sitePasswordField = nullptr;
    wxStaticText* m_status = nullptr;
    std::string m_shownStatus;  // the view's status the line shows, perhaps shortened
    wxStaticText* m_summary = nullptr;
    RunListView* m_list = nullptr;

    // Last, so they are joined before anything they use is destroyed.
    JobThreads m_jobs{m_progress, m_runTable, m_services.jobs};
    bool m_closed = false;
};

// The title of the main window.
wxString MainDialogTitle(bool demo);

}  // namespace strivo
