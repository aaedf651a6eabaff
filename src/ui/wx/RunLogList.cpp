#include "ui/wx/RunLogList.h"

#include <algorithm>

#include "ui/wx/WxText.h"

namespace strivo {

RunLogList::RunLogList(wxWindow* parent, RunLogController& controller)
    : wxListView(parent, wxID_ANY, wxDefaultPosition, wxDefaultSize,
                 wxLC_REPORT | wxLC_VIRTUAL | wxLC_HRULES | wxLC_VRULES | wxBORDER_THEME),
      m_controller(&controller) {
    // As the main window's list: the first row takes the focus when the keys
    // come and none has it.
    Bind(wxEVT_SET_FOCUS, [this](wxFocusEvent& event) {
        if (GetItemCount() > 0 && GetNextItem(-1, wxLIST_NEXT_ALL, wxLIST_STATE_FOCUSED) < 0) {
            SetItemState(0, wxLIST_STATE_FOCUSED, wxLIST_STATE_FOCUSED);
        }
        event.Skip();
    });
    // Once the new size is in place.
    Bind(wxEVT_SIZE, [this](wxSizeEvent& event) {
        event.Skip();
        CallAfter([this] { FillWidth(); });
    });
    // The rows' window, the child that is not the column titles, gets the
    // mouse and shows the tooltip.
    for (wxWindow* child : GetChildren()) {
        if (child->GetName() != wxString("wxlistctrlcolumntitles")) {
            child->Bind(wxEVT_MOTION,
                        [this, child](wxMouseEvent& event) { OnMotion(child, event); });
        }
    }
}

void RunLogList::SetColumns(const std::vector<RunLogColumn>& columns) {
    DeleteAllColumns();
    for (const RunLogColumn& column : columns) {
        AppendColumn(ToWx(column.title), column.right ? wxLIST_FORMAT_RIGHT : wxLIST_FORMAT_LEFT,
                     FromDIP(column.width));
    }
    m_lastWidth = columns.empty() ? 0 : FromDIP(columns.back().width);
    FillWidth();
}

void RunLogList::FillWidth() {
    const int last = GetColumnCount() - 1;
    if (last < 0) {
        return;
    }
    int others = 0;
    for (int column = 0; column < last; ++column) {
        others += GetColumnWidth(column);
    }
    const int width = std::max(m_lastWidth, GetClientSize().x - others);
    if (width != GetColumnWidth(last)) {
        SetColumnWidth(last, width);
    }
}

std::vector<std::size_t> RunLogList::SelectedRows() const {
    std::vector<std::size_t> rows;
    for (long item = GetNextItem(-1, wxLIST_NEXT_ALL, wxLIST_STATE_SELECTED); item >= 0;
         item = GetNextItem(item, wxLIST_NEXT_ALL, wxLIST_STATE_SELECTED)) {
        rows.push_back(static_cast<std::size_t>(item));
    }
    return rows;
}

void RunLogList::ClearSelection() {
    if (GetItemCount() > 0) {
        SetItemState(-1, 0, wxLIST_STATE_SELECTED | wxLIST_STATE_FOCUSED);
    }
}

void RunLogList::SelectRows(const std::vector<std::size_t>& rows) {
    ClearSelection();
    const long count = GetItemCount();
    bool first = true;
    for (const std::size_t row : rows) {
        const long item = static_cast<long>(row);
        if (item >= count) {
            continue;
        }
        const long state =
            first ? wxLIST_STATE_SELECTED | wxLIST_STATE_FOCUSED : wxLIST_STATE_SELECTED;
        SetItemState(item, state, state);
        if (first) {
            EnsureVisible(item);
            first = false;
        }
    }
}

void RunLogList::RowsChanged() {
    m_tipRow = m_tipColumn = -1;
    Refresh();
}

long RunLogList::ColumnAt(int x) const {
    // Content x 0 lies left of the window when the list is scrolled sideways.
    int right = CalcScrolledPosition(wxPoint(0, 0)).x;
    for (int column = 0; column < GetColumnCount(); ++column) {
        right += GetColumnWidth(column);
        if (x < right) {
            return column;
        }
    }
    return -1;
}

void RunLogList::OnMotion(wxWindow* rows, wxMouseEvent& event) {
    event.Skip();
    if (m_controller == nullptr) {
        return;
    }
    int flags = 0;
    const long row = HitTest(event.GetPosition(), flags);
    const long column = row >= 0 ? ColumnAt(event.GetPosition().x) : -1;
    if (row == m_tipRow && column == m_tipColumn) {
        return;
    }
    m_tipRow = row;
    m_tipColumn = column;
    const std::string tip = column >= 0 ? m_controller->ToolTip(static_cast<std::size_t>(row),
                                                                static_cast<std::size_t>(column))
                                        : std::string();
    tip.empty() ? rows->UnsetToolTip() : rows->SetToolTip(ToWx(tip));
}

wxString RunLogList::OnGetItemText(long item, long column) const {
    if (m_controller == nullptr) {
        return {};
    }
    return ToWx(
        m_controller->Cell(static_cast<std::size_t>(item), static_cast<std::size_t>(column)));
}

}  // namespace strivo
