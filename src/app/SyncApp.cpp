#include <wx/app.h>
#include <wx/cmdline.h>
#include <wx/msgdlg.h>

#include <memory>

#include "app/Process.h"
#include "settings/Settings.h"
#include "ui/MainDialog.h"
#include "ui/WxText.h"

#if STRIVO_STAND_INS
#include "sim/StandIns.h"
#endif

namespace strivo {

// The application: shows the main dialog and ends when it closes. With
// --demo it starts the stand-in services first and hands the dialog settings
// that point at them.
class SyncApp : public wxApp {
public:
    bool OnInit() override;
    int OnExit() override;
    void OnInitCmdLine(wxCmdLineParser& parser) override;
    bool OnCmdLineParsed(wxCmdLineParser& parser) override;

private:
    bool m_demo = false;
#if STRIVO_STAND_INS
    std::unique_ptr<sim::StandIns> m_demoServices;
#endif
};

void SyncApp::OnInitCmdLine(wxCmdLineParser& parser) {
    wxApp::OnInitCmdLine(parser);
#if STRIVO_STAND_INS
    parser.AddSwitch("", "demo", "use built-in demo services and accounts");
#endif
}

bool SyncApp::OnCmdLineParsed(wxCmdLineParser& parser) {
    m_demo = parser.Found("demo");
    return wxApp::OnCmdLineParsed(parser);
}

bool SyncApp::OnInit() {
    PrepareProcess();
    if (!wxApp::OnInit()) {
        return false;
    }
    SetAppDisplayName(Utf8("Strivo（Nike+）"));
    MainDialogOptions options;
    options.settingsPath = DefaultSettingsPath();
#if STRIVO_STAND_INS
    if (m_demo) {
        try {
            m_demoServices = std::make_unique<sim::StandIns>();
            m_demoServices->Start();
        } catch (const std::exception& error) {
            wxMessageBox(wxString::FromUTF8(error.what()), GetAppDisplayName(),
                         wxOK | wxICON_ERROR);
            return false;
        }
        options.demo = true;
        options.settings = m_demoServices->ClientSettings();
        options.sessionConfig.caPem = m_demoServices->service.certificatePem();
    }
#endif
    auto* dialog = new MainDialog(nullptr, std::move(options));
    SetTopWindow(dialog);
    dialog->Show();
    return true;
}

int SyncApp::OnExit() {
#if STRIVO_STAND_INS
    m_demoServices.reset();
#endif
    return wxApp::OnExit();
}

}  // namespace strivo

wxIMPLEMENT_APP(strivo::SyncApp);
