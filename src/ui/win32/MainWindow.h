#pragma once

#include <filesystem>

#include "net/WebSession.h"

namespace strivo {

struct MainWindowOptions {
    std::filesystem::path settingsPath;  // read at start, user names saved at close
    WebSessionConfig sessionConfig;
};

// Shows the main dialog and runs its message loop until it is closed; the
// process's exit status.
int RunMainWindow(MainWindowOptions options);

}  // namespace strivo
