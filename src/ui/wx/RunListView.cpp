#include "ui/wx/RunListView.h"

#include <wx/settings.h>

#include <algorithm>

#include "ui/wx/WxText.h"

namespace strivo {

RunListView::RunListView(wxWindow* parent, wxWindowID id, const wxPoint& position,
                         const wxSize& size, const ListRows& rows,
                         std::function<std::string(std::size_t)> tip)
    // Grid lines and whole-row selection; several rows selectable; no sorting.
    : wxListCtrl(parent, id, position, size,
                 wxLC_REPORT | wxLC_VIRTUAL | wxLC_HRULES | wxLC_VRULES | wxBORDER_THEME),
      m_rows(rows),
      m_tip(std::move(tip)) {
    for (std::size_t c = 0; c < kListColumnCount; ++c) {
        AppendColumn(Utf8(kListColumnTitles[c]), wxLIST_FORMAT_LEFT, kListColumnWidths[c]);
    }
    // The list draws keyboard focus around its current row only, and a new
    // list has none: give it the first, so tabbing in shows where the keys act.
    Bind(wxEVT_SET_FOCUS, [this](wxFocusEvent& event) {
        if (GetItemCount() > 0 && GetNextItem(-1, wxLIST_NEXT_ALL, wxLIST_STATE_FOCUSED) < 0) {
            SetItemState(0, wxLIST_STATE_FOCUSED, wxLIST_STATE_FOCUSED);
        }
        event.Skip();
    });
    // The rows are drawn by a child window, which gets the mouse and shows the
    // tooltip. wx gives it no class information of its own; the column titles,
    // the other child, are known by their window name.
    for (wxWindow* child : GetChildren()) {
        if (child->GetName() == wxString("wxlistctrlcolumntitles")) {
            continue;
        }
        child->Bind(wxEVT_MOTION, [this, child](wxMouseEvent& event) {
            int flags = 0;
            const long row = HitTest(event.GetPosition(), flags);
            if (row != m_tipRow && m_tip) {
                m_tipRow = row;
                child->SetToolTip(row >= 0 ? ToWx(m_tip(static_cast<std::size_t>(row)))
                                           : wxString());
            }
            event.Skip();
        });
    }
}

void RunListView::RowsChanged(ListRows::Change change) {
    // Widths are set again only when a new list starts or an id grows, so
    // that a column the user resized stays as it is.
    if (change.newList || change.longer) {
        const auto widths = m_rows.FitColumns(
            GetClientSize().x - wxSystemSettings::GetMetric(wxSYS_VSCROLL_X, this),
            [this](std::string_view text) { return GetTextExtent(ToWx(text)).x; });
        for (std::size_t c = 0; c < kListColumnCount; ++c) {
            SetColumnWidth(static_cast<int>(c), widths[c]);
        }
    }
    SetItemCount(static_cast<long>(m_rows.size()));
    Refresh();
}

std::vector<std::size_t> RunListView::SelectedRows() const {
    std::vector<std::size_t> rows;
    for (long item = GetNextItem(-1, wxLIST_NEXT_ALL, wxLIST_STATE_SELECTED); item >= 0;
         item = GetNextItem(item, wxLIST_NEXT_ALL, wxLIST_STATE_SELECTED)) {
        rows.push_back(static_cast<std::size_t>(item));
    }
    return rows;
}

void RunListView::SelectForMenu(const wxPoint& screen) {
    SelectRowForMenu(*this, screen);
}

void SelectRowForMenu(wxListCtrl& list, const wxPoint& screen) {
    // The rows in sight, as GetItemRect places them in the list's coordinates
    // (HitTest's are those of a child below the header).
    const wxPoint at = list.ScreenToClient(screen);
    long row = -1;
    const long top = std::max(list.GetTopItem(), 0L);
    const long end = std::min<long>(list.GetItemCount(), top + list.GetCountPerPage() + 1);
    for (long item = top; item < end && row < 0; ++item) {
        wxRect rect;
        if (list.GetItemRect(item, rect) && rect.Contains(at)) {
            row = item;
        }
    }
    if (row < 0 || list.GetItemState(row, wxLIST_STATE_SELECTED) != 0) {
        return;
    }
    for (long item = -1;
         (item = list.GetNextItem(item, wxLIST_NEXT_ALL, wxLIST_STATE_SELECTED)) >= 0;) {
        list.SetItemState(item, 0, wxLIST_STATE_SELECTED);
    }
    list.SetItemState(row, wxLIST_STATE_SELECTED | wxLIST_STATE_FOCUSED,
                      wxLIST_STATE_SELECTED | wxLIST_STATE_FOCUSED);
}

wxString RunListView::OnGetItemText(long item, long column) const {
    return ToWx(m_rows.Cell(static_cast<std::size_t>(item), static_cast<std::size_t>(column)));
}

}  // namespace strivo
