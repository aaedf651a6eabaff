#pragma once

#include "ui/WindowController.h"

namespace strivo {

struct MainWindowOptions : WindowOptions {
    bool demo = false;  // the title says so
};

// Shows the main dialog and runs its message loop until it is closed; the
// process's exit status.
int RunMainWindow(MainWindowOptions options);

}  // namespace strivo
