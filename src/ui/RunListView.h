#pragma once

#include <wx/listctrl.h>

#include <memory>

#include "jobs/RunTable.h"

namespace strivo {

// The run table on screen: a virtual report list that asks the table only for
// the rows it shows, so 100,000 rows cost nothing until scrolled to.
class RunListView : public wxListCtrl {
public:
    RunListView(wxWindow* parent, wxWindowID id, const wxPoint& position, const wxSize& size,
                std::shared_ptr<RunTable> table);

    // Called on the dialog's thread for each change of the table, with the
    // row count that change left; the table may have moved on since.
    void TableChanged(std::size_t changedTo);

protected:
    wxString OnGetItemText(long item, long column) const override;

private:
    // Every text whole where the list is wide enough; else as wide as they can be.
    void FitColumns();

    std::shared_ptr<RunTable> m_table;
    // The RunID column is as wide as the longest id of the rows measured so
    // far; rows are only appended until the table is emptied.
    std::size_t m_measured = 0;
    std::string m_longestId;
};

}  // namespace strivo
