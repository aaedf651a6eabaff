#pragma once

#include <wx/listctrl.h>

#include <functional>
#include <string>
#include <vector>

#include "ui/ListRows.h"

namespace strivo {

// The run table on screen: a virtual report list that asks for only the rows
// it shows, so 100,000 rows cost nothing until scrolled to.
class RunListView : public wxListCtrl {
public:
    // `tip` gives a row's tooltip (CP936).
    RunListView(wxWindow* parent, wxWindowID id, const wxPoint& position, const wxSize& size,
                const ListRows& rows, std::function<std::string(std::size_t)> tip = {});

    // Called on the dialog's thread once `rows` has taken a change of the table.
    void RowsChanged(ListRows::Change change);
    // The selected rows, as indexes into the table.
    std::vector<std::size_t> SelectedRows() const;
    // A right-click at `screen` asks for the menu of the row under it: that
    // row alone is selected, unless the selection holds it already.
    void SelectForMenu(const wxPoint& screen);

protected:
    wxString OnGetItemText(long item, long column) const override;

private:
    const ListRows& m_rows;
    std::function<std::string(std::size_t)> m_tip;
    long m_tipRow = -1;  // the row whose tooltip shows
};

// A right-click at `screen` on `list`'s row outside the selection selects
// that row alone; on a selected row, or on none, the selection stays.
void SelectRowForMenu(wxListCtrl& list, const wxPoint& screen);

}  // namespace strivo
