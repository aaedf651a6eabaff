#include <gtest/gtest.h>
#include <wx/app.h>
#include <wx/init.h>

#include <iostream>

// Window tests need an X display; without one they are skipped, saying why.
namespace {
bool g_haveDisplay = false;
}

bool HaveDisplay() {
    return g_haveDisplay;
}

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    wxApp::SetInstance(new wxApp());
    g_haveDisplay = wxEntryStart(argc, argv) && wxTheApp->CallOnInit();
    if (!g_haveDisplay) {
        std::cerr << "No X display could be opened: the window tests are skipped.\n";
    }
    const int status = RUN_ALL_TESTS();
    if (g_haveDisplay) {
        wxTheApp->OnExit();
        wxEntryCleanup();
    }
    return status;
}
