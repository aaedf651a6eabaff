#pragma once

#include <wx/listctrl.h>

#include <memory>

#include "rows/RunTable.h"
#include "ui/RunColumns.h"

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
    RunRows m_rows;  // the table as the list last showed it
    LongestRunId m_longestId;
};

}  // namespace strivo
