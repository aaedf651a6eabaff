#pragma once

#include <wx/listctrl.h>

#include <memory>

#include <functional>
#include <string_view>
#include <vector>

#include "rows/RunTable.h"
#include "ui/RunColumns.h"

namespace strivo {

// The run table on screen: a virtual report list that asks the table only for
// the rows it shows, so 100,000 rows cost nothing until scrolled to.
class RunListView : public wxListCtrl {
public:
    // A cell's text: the row's own, or (kColumnPostState) its post's state.
    using CellText = std::function<std::string_view(const RunRow& row, std::size_t column)>;

    RunListView(wxWindow* parent, wxWindowID id, const wxPoint& position, const wxSize& size,
                std::shared_ptr<RunTable> table, CellText cell = {});

    // Called on the dialog's thread for each change of the table, with the
    // row count that change left; the table may have moved on since.
    void TableChanged(std::size_t changedTo);
    // The selected rows, as indexes into the table.
    std::vector<std::size_t> SelectedRows() const;

protected:
    wxString OnGetItemText(long item, long column) const override;

private:
    // Every text whole where the list is wide enough; else as wide as they can be.
    void FitColumns();

    std::shared_ptr<RunTable> m_table;
    CellText m_cell;
    RunRows m_rows;  // the table as the list last showed it
    LongestRunId m_longestId;
};

}  // namespace strivo
