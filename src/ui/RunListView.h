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

    // Called on the dialog's thread when the table has changed.
    void ShowRows(std::size_t rowCount);

protected:
    wxString OnGetItemText(long item, long column) const override;

private:
    std::shared_ptr<RunTable> m_table;
};

}  // namespace strivo
