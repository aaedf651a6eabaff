#include "app/SyncApp.h"

#include <wx/cmdline.h>
#include <wx/msgdlg.h>

#include <cstdlib>

#include "app/DemoServices.h"
#include "settings/Settings.h"
#include "ui/MainDialog.h"
#include "ui/WxText.h"

namespace strivo {

SyncApp::SyncApp() = default;
SyncApp::~SyncApp() = default;

void SyncApp::OnInitCmdLine(wxCmdLineParser& parser) {
    wxApp::OnInitCmdLine(parser);
    parser.AddSwitch("", "demo", "use built-in demo services and accounts");
}

bool SyncApp::OnCmdLineParsed(wxCmdLineParser& parser) {
    m_demo = parser.Found("demo");
    return wxApp::OnCmdLineParsed(parser);
}

bool SyncApp::OnInit() {
    if (!wxApp::OnInit()) {
        return false;
    }
    SetAppDisplayName(Utf8("Strivo（Nike+）"));
    MainDialogOptions options;
    options.demo = m_demo;
    if (m_demo) {
        try {
            m_demoServices = std::make_unique<DemoServices>();
        } catch (const std::exception& error) {
            wxMessageBox(wxString::FromUTF8(error.what()), GetAppDisplayName(),
                         wxOK | wxICON_ERROR);
            return false;
        }
        std::string pattern =
            (std::filesystem::temp_directory_path() / "strivo-demo-XXXXXX").string();
        m_demoFolder = ::mkdtemp(pattern.data());
        options.settingsPath = m_demoServices->WriteSettingsFile(m_demoFolder);
    } else {
        options.settingsPath = DefaultSettingsPath();
    }
    auto* dialog = new MainDialog(nullptr, std::move(options));
    SetTopWindow(dialog);
    dialog->Show();
    return true;
}

int SyncApp::OnExit() {
    m_demoServices.reset();
    if (!m_demoFolder.empty()) {
        std::error_code error;
        std::filesystem::remove_all(m_demoFolder, error);
    }
    return wxApp::OnExit();
}

}  // namespace strivo

wxIMPLEMENT_APP(strivo::SyncApp);
