#pragma once

#include <wx/window.h>

#include <filesystem>
#include <optional>
#include <vector>

#include "ui/WindowSurface.h"

// The desktop's file and folder choosers, as both windows ask for them; each
// opens owned by `parent` and fits the screen. A chosen file comes back as a
// path and as the text the status line shows (CP936).
namespace strivo::choosers {

// The save dialog for a CSV file; nullopt when cancelled.
std::optional<ChosenFile> CsvFile(wxWindow* parent);
// The save dialog for a TCX file (default name runs.tcx); nullopt when cancelled.
std::optional<ChosenFile> TcxFile(wxWindow* parent);
// The folder for FIT files; nullopt when cancelled.
std::optional<ChosenFile> FitFolder(wxWindow* parent);
// Run files and zip archives to import, several at once; empty when cancelled.
std::vector<std::filesystem::path> RunFiles(wxWindow* parent);
// A folder whose run files to import; nullopt when cancelled.
std::optional<std::filesystem::path> RunFolder(wxWindow* parent);

}  // namespace strivo::choosers
