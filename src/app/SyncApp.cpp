#include <wx/app.h>
#include <wx/msgdlg.h>

#include <clocale>
#include <cstdio>
#include <memory>
#include <string_view>

#include "app/Process.h"
#include "settings/Settings.h"
#include "ui/wx/MainDialog.h"
#include "ui/wx/WxText.h"

#if STRIVO_STAND_INS
#include "sim/DemoConnection.h"
#include "sim/StandIns.h"
#endif

namespace strivo {
namespace {

constexpr std::string_view kUsage =
    "Usage: strivo [--demo]\n"
    "       strivo --help | --version\n"
    "\n"
    "Opens the Strivo window: sign in to Nike+, see your runs, save them as CSV,\n"
    "and copy them to your Kelvora run log.\n"
    "\n"
    "  --demo     use built-in demo services and accounts; no settings file\n"
    "  --help     print this help and exit\n"
    "  --version  print the version and exit\n";

#if STRIVO_STAND_INS
constexpr bool kHaveDemo = true;
#else
constexpr bool kHaveDemo = false;
#endif
bool g_demo = false;

}  // namespace

// The application: shows the main dialog and ends when it closes. With
// --demo it starts the stand-in services first and hands the dialog settings
// that point at them.
class SyncApp : public wxApp {
public:
    bool OnInit() override;
    int OnExit() override;

private:
#if STRIVO_STAND_INS
    std::unique_ptr<sim::StandIns> m_demoServices;
#endif
};

bool SyncApp::OnInit() {
    // The arguments were read before the toolkit started; wx's own parser would
    // want a display for --help.
    SetAppDisplayName(Utf8("Strivo（Nike+）"));
    MainDialogOptions options;
    options.settingsPath = DefaultSettingsPath();
#if STRIVO_STAND_INS
    if (g_demo) {
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
        sim::ConnectToStandIns(*m_demoServices, options.sessionConfig);
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

wxIMPLEMENT_APP_NO_MAIN(strivo::SyncApp);

// --help and --version answer without a display; anything unknown is refused
// before the toolkit starts.
int main(int argc, char** argv) {
    strivo::PrepareProcess();
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::fputs(strivo::kUsage.data(), stdout);
            return 0;
        }
        if (arg == "--version") {
            std::puts("strivo " STRIVO_VERSION);
            return 0;
        }
        if (arg == "--demo" && strivo::kHaveDemo) {
            strivo::g_demo = true;
        } else {
            std::fprintf(stderr, "strivo: unknown argument: %s\n\n%s", argv[i],
                         strivo::kUsage.data());
            return 2;
        }
    }
    // The toolkit's own buttons and dialogs in the user's language; numbers
    // and everything else stay as the C locale has them.
    std::setlocale(LC_MESSAGES, "");
    std::setlocale(LC_CTYPE, "");
    char* noArguments[] = {argv[0], nullptr};
    int one = 1;
    return wxEntry(one, noArguments);
}
