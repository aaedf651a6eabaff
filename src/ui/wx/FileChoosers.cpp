#include "ui/wx/FileChoosers.h"

#include <wx/dirdlg.h>
#include <wx/filedlg.h>
#include <wx/filename.h>

#include "ui/ChooserWords.h"
#include "ui/wx/DialogLayout.h"
#include "ui/wx/WxText.h"

namespace strivo::choosers {

namespace words = chooser_words;
namespace {

std::filesystem::path PathOf(const wxString& path) {
    return std::filesystem::path(path.ToUTF8().data());
}

std::optional<ChosenFile> SaveFile(wxWindow* parent, const char* title, const char* wildcard,
                                   const char* name, const char* extension) {
    // No overwrite question: an existing file is replaced.
    wxFileDialog dialog(parent, Utf8(title), wxEmptyString, Utf8(name), Utf8(wildcard), wxFD_SAVE);
    FitOnScreenWhenShown(&dialog);
    if (dialog.ShowModal() != wxID_OK) {
        return std::nullopt;
    }
    wxString path = dialog.GetPath();
    if (wxFileName(path).GetExt().empty()) {
        path += extension;  // the default extension
    }
    return ChosenFile{PathOf(path), FromWx(path)};
}

std::optional<wxString> Folder(wxWindow* parent, const char* title, long style) {
    wxDirDialog dialog(parent, Utf8(title), wxEmptyString, style);
    FitOnScreenWhenShown(&dialog);
    if (dialog.ShowModal() != wxID_OK) {
        return std::nullopt;
    }
    return dialog.GetPath();
}

}  // namespace

std::optional<ChosenFile> CsvFile(wxWindow* parent) {
    return SaveFile(parent, words::ExportCsvTitle(),
                    (std::string(words::CsvFiles()) + "|*.csv").c_str(), "", ".csv");
}

std::optional<ChosenFile> TcxFile(wxWindow* parent) {
    return SaveFile(parent, words::ExportTcxTitle(),
                    (std::string(words::TcxFiles()) + "|*.tcx").c_str(), "runs.tcx", ".tcx");
}

std::optional<ChosenFile> FitFolder(wxWindow* parent) {
    const std::optional<wxString> path =
        Folder(parent, words::ExportFitTitle(), wxDD_DEFAULT_STYLE);
    return path ? std::optional(ChosenFile{PathOf(*path), FromWx(*path)}) : std::nullopt;
}

std::vector<std::filesystem::path> RunFiles(wxWindow* parent) {
    const std::string wildcard = std::string(words::RunFiles()) +
                                 "|*.gpx;*.tcx;*.fit;*.csv;*.gz;*.zip;*.GPX;*.TCX;*.FIT;*.CSV;*.GZ;"
                                 "*.ZIP|" +
                                 words::AllFiles() + "|*";
    wxFileDialog dialog(parent, Utf8(words::ImportFilesTitle()), wxEmptyString, wxEmptyString,
                        Utf8(wildcard.c_str()), wxFD_OPEN | wxFD_MULTIPLE | wxFD_FILE_MUST_EXIST);
    FitOnScreenWhenShown(&dialog);
    std::vector<std::filesystem::path> chosen;
    if (dialog.ShowModal() == wxID_OK) {
        wxArrayString paths;
        dialog.GetPaths(paths);
        for (const wxString& path : paths) {
            chosen.push_back(PathOf(path));
        }
    }
    return chosen;
}

std::optional<std::filesystem::path> RunFolder(wxWindow* parent) {
    const std::optional<wxString> path =
        Folder(parent, words::ImportFolderTitle(), wxDD_DEFAULT_STYLE | wxDD_DIR_MUST_EXIST);
    return path ? std::optional(PathOf(*path)) : std::nullopt;
}

}  // namespace strivo::choosers
