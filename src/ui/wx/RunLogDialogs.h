#pragma once

#include <wx/dialog.h>

#include <optional>

#include "ui/RunLogSurface.h"

class wxListCtrl;

namespace strivo {

// The import's result: the counts over a list of each file and what became
// of it, the files that failed in red; resizable, the list scrolling.
class ImportResultsDialog : public wxDialog {
public:
    ImportResultsDialog(wxWindow* parent, const RunLogImportResults& results);
    wxListCtrl* files() const { return m_files; }

private:
    wxListCtrl* m_files = nullptr;
};

// A run in full: its values, its posts, and a button per action, which
// closes the dialog with the action's id.
class RunViewDialog : public wxDialog {
public:
    RunViewDialog(wxWindow* parent, const RunLogRunView& run);
    // What ShowModal's answer means: the action chosen, or none.
    static std::optional<int> Chosen(int answer);
    wxListCtrl* posts() const { return m_posts; }

private:
    wxListCtrl* m_posts = nullptr;
};

}  // namespace strivo
