// strivo.exe: the main dialog; the process ends when it closes.

// windows.h comes before every other Windows header.
#include <windows.h>

#include "app/Process.h"
#include "settings/Settings.h"
#include "ui/win32/MainWindow.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    strivo::PrepareProcess();
    strivo::MainWindowOptions options;
    options.settingsPath = strivo::DefaultSettingsPath();
    return strivo::RunMainWindow(std::move(options));
}
