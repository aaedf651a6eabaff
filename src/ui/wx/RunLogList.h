#pragma once

#include <wx/listctrl.h>

#include <cstddef>
#include <vector>

#include "ui/RunLogController.h"

namespace strivo {

// The run log's list: a virtual report list over the controller, which gives
// every cell and every cell's tooltip; several rows selectable.
class RunLogList : public wxListView {
public:
    RunLogList(wxWindow* parent, RunLogController& controller);

    void SetColumns(const std::vector<RunLogColumn>& columns);
    std::vector<std::size_t> SelectedRows() const;
    void SelectRows(const std::vector<std::size_t>& rows);
    // All rows unselected, none focused.
    void ClearSelection();
    // The column at `x` in the rows' window, scrolled or not; -1 past the last.
    long ColumnAt(int x) const;
    // The rows changed: drawn again, and the tooltip asked for again.
    void RowsChanged();
    // From now on no cell is asked for: the controller is going.
    void Detach() { m_controller = nullptr; }

protected:
    wxString OnGetItemText(long item, long column) const override;

private:
    void OnMotion(wxWindow* rows, wxMouseEvent& event);
    // The last column (the state, which may hold a reason) takes the width
    // the others leave, never less than it opened with.
    void FillWidth();

    RunLogController* m_controller;
    long m_tipRow = -1, m_tipColumn = -1;  // the cell whose tooltip shows
    int m_lastWidth = 0;                   // the last column's width as it opened
};

}  // namespace strivo
