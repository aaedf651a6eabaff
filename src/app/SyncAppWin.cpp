// strivo.exe: the main dialog; the process ends when it closes. With --demo
// it runs on the stand-ins inside the process, with their accounts, and
// reads and writes no settings file.

// windows.h comes before every other Windows header.
#include <windows.h>

#include <shellapi.h>

#include <exception>
#include <memory>
#include <string>

#include "app/Process.h"
#include "settings/Settings.h"
#include "ui/win32/MainWindow.h"

#if STRIVO_STAND_INS
#include "sim/DemoConnection.h"
#include "sim/StandIns.h"
#endif

#if STRIVO_STAND_INS
namespace {

bool AskedForDemo() {
    int count = 0;
    wchar_t** arguments = CommandLineToArgvW(GetCommandLineW(), &count);
    bool demo = false;
    for (int i = 1; arguments != nullptr && i < count; ++i) {
        demo = demo || std::wstring(arguments[i]) == L"--demo";
    }
    LocalFree(arguments);
    return demo;
}

}  // namespace
#endif

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    strivo::PrepareProcess();
    strivo::MainWindowOptions options;
    options.settingsPath = strivo::DefaultSettingsPath();
#if STRIVO_STAND_INS
    // Declared before the window runs, so the stand-ins outlive its workers.
    std::unique_ptr<strivo::sim::StandIns> demo;
    if (AskedForDemo()) {
        try {
            demo = std::make_unique<strivo::sim::StandIns>();
            demo->Start();
        } catch (const std::exception& error) {
            MessageBoxA(nullptr, error.what(), "Strivo", MB_OK | MB_ICONERROR);
            return 1;
        }
        options.demo = true;
        options.settings = demo->ClientSettings();
        strivo::sim::ConnectToStandIns(*demo, options.sessionConfig);
    }
#endif
    return strivo::RunMainWindow(std::move(options));
}
