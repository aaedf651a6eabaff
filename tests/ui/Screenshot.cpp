// Writes a picture of the main window after a demo download and sync, for the
// README: `make screenshot`.
#include <wx/app.h>
#include <wx/button.h>
#include <wx/dcclient.h>
#include <wx/dcmemory.h>
#include <wx/init.h>
#include <wx/stattext.h>

#include <chrono>
#include <cstdio>
#include <thread>

#include "../support/EventPump.h"
#include "../support/TempFolder.h"
#include "app/DemoServices.h"
#include "ui/MainDialog.h"
#include "ui/WxText.h"

namespace {

using namespace std::chrono_literals;

bool PumpUntil(const std::function<bool()>& done, std::chrono::seconds limit) {
    return strivo::test::PumpEventsUntil(limit, done);
}

}  // namespace

int main(int argc, char** argv) {
    const char* out = argc > 1 ? argv[1] : "screenshot.png";
    int wxArgc = 1;  // the picture's path is ours, not wx's
    wxApp::SetInstance(new wxApp());
    if (!wxEntryStart(wxArgc, argv) || !wxTheApp->CallOnInit()) {
        std::fprintf(stderr, "no X display: run under scripts/with-display.sh\n");
        return 1;
    }
    wxInitAllImageHandlers();
    int status = 1;
    {
        strivo::test::TempFolder folder;
        strivo::DemoServices demo;
        strivo::MainDialogOptions options;
        options.demo = true;
        options.settingsPath = demo.WriteSettingsFile(folder.path());
        auto* dialog = new strivo::MainDialog(nullptr, options);
        dialog->Show();
        const auto press = [&](int id) {
            wxCommandEvent event(wxEVT_BUTTON, id);
            dialog->FindWindow(id)->GetEventHandler()->ProcessEvent(event);
        };
        const auto statusIs = [&](const char* text) {
            return [=] {
                return static_cast<wxStaticText*>(dialog->FindWindow(strivo::IDC_STATUS))
                           ->GetLabel() == strivo::Utf8(text);
            };
        };
        press(strivo::IDC_SERVICE_LOGIN);
        const bool downloaded = PumpUntil(statusIs("下载Nike+跑步数据成功结束..."), 30s);
        press(strivo::IDC_SYNC);
        const bool synced = PumpUntil(statusIs("同步到Strivo成功！"), 30s);
        PumpUntil([] { return false; }, 1s);
        if (downloaded && synced) {
            wxClientDC screen(dialog);
            const wxSize size = dialog->GetClientSize();
            wxBitmap picture(size);
            wxMemoryDC memory(picture);
            memory.Blit(0, 0, size.x, size.y, &screen, 0, 0);
            memory.SelectObject(wxNullBitmap);
            status = picture.SaveFile(out, wxBITMAP_TYPE_PNG) ? 0 : 1;
        } else {
            std::fprintf(stderr, "the demo sync did not finish\n");
        }
        dialog->Close();
        PumpUntil([] { return false; }, 1s);
    }
    wxTheApp->OnExit();
    wxEntryCleanup();
    return status;
}
