#pragma once

#include <windows.h>

#include <optional>

#include "ui/RunLogSurface.h"

namespace strivo {

// The run log's modal dialogs on Windows, from the templates IDD_LOG_RESULTS
// and IDD_LOG_RUN; both can be resized.

// The import's result dialog: a line a file, a file that failed in red.
void ShowImportResultsDialog(HWND owner, const RunLogImportResults& results);
// A run in full: the id of the action whose button was pressed, or nullopt
// when it was closed.
std::optional<int> ShowRunDialog(HWND owner, const RunLogRunView& run);

}  // namespace strivo
