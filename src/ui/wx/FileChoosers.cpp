#include "ui/wx/FileChoosers.h"

#include <wx/dirdlg.h>
#include <wx/filedlg.h>
#include <wx/filename.h>

#include "ui/wx/DialogLayout.h"
#include "ui/wx/WxText.h"

namespace strivo::choosers {
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
    return SaveFile(parent, "导出数据", "Excel文件(*.csv)|*.csv", "", ".csv");
}

std::optional<ChosenFile> TcxFile(wxWindow* parent) {
    return SaveFile(parent, "导出TCX", "TCX文件(*.tcx)|*.tcx", "runs.tcx", ".tcx");
}

std::optional<ChosenFile> FitFolder(wxWindow* parent) {
    const std::optional<wxString> path = Folder(parent, "导出FIT", wxDD_DEFAULT_STYLE);
    return path ? std::optional(ChosenFile{PathOf(*path), FromWx(*path)}) : std::nullopt;
}

std::vector<std::filesystem::path> RunFiles(wxWindow* parent) {
    const char* wildcard =
        "跑步文件(*.gpx;*.tcx;*.fit;*.csv;*.gz;*.zip)|*.gpx;*.tcx;*.fit;*.csv;*.gz;"
        "*.zip;*.GPX;*.TCX;*.FIT;*.CSV;*.GZ;*.ZIP|所有文件|*";
    wxFileDialog dialog(parent, Utf8("导入跑步文件"), wxEmptyString, wxEmptyString, Utf8(wildcard),
                        wxFD_OPEN | wxFD_MULTIPLE | wxFD_FILE_MUST_EXIST);
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
        Folder(parent, "导入文件夹", wxDD_DEFAULT_STYLE | wxDD_DIR_MUST_EXIST);
    return path ? std::optional(PathOf(*path)) : std::nullopt;
}

}  // namespace strivo::choosers
