#include "ui/wx/RunListView.h"

#include <wx/settings.h>

#include <algorithm>

#include "ui/wx/WxText.h"

namespace strivo {

RunListView::RunListView(wxWindow* parent, wxWindowID id, const wxPoint& position,
                         const wxSize& size, std::shared_ptr<RunTable> table, CellText cell)
    // Grid lines and whole-row selection; several rows selectable; no sorting.
    : wxListCtrl(parent, id, position, size,
                 wxLC_REPORT | wxLC_VIRTUAL | wxLC_HRULES | wxLC_VRULES | wxBORDER_THEME),
      m_table(std::move(table)),
      m_cell(std::move(cell)) {
    if (!m_cell) {
        m_cell = [](const RunRow& row, std::size_t column) {
            return column < kRunColumnCount ? row[column] : std::string_view();
        };
    }
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
}

void RunListView::TableChanged(std::size_t changedTo) {
    // A snapshot shares the rows: no lock and no copy per row.
    m_rows = m_table->Snapshot();
    const LongestRunId::Change change = m_longestId.Measure(changedTo, m_rows);
    // Widths are set again only when a new list starts or an id grows, so
    // that a column the user resized stays as it is.
    if (change.newList || change.longer) {
        FitColumns();
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

void RunListView::FitColumns() {
    const int margin = GetTextExtent("00").x;
    std::array<int, kListColumnCount> widths{};
    // The state column's texts are no wider than its title.
    std::array<int, kListColumnCount> needed{};
    for (std::size_t c = 0; c < kListColumnCount; ++c) {
        needed[c] = GetTextExtent(Utf8(kListColumnTitles[c])).x + margin;
    }
    // Every cell but the RunID has a fixed form: the first rows show its width.
    const std::size_t sample = std::min<std::size_t>(m_rows.size(), 200);
    for (std::size_t row = 0; row < sample; ++row) {
        for (std::size_t c = 0; c < kRunColumnCount; ++c) {
            if (c != kColumnRunId) {
                needed[c] = std::max(needed[c], GetTextExtent(ToWx(m_rows[row][c])).x + margin);
            }
        }
    }
    needed[kColumnRunId] =
        std::max(needed[kColumnRunId], GetTextExtent(ToWx(m_longestId.id())).x + margin);
    int total = 0;
    for (std::size_t c = 0; c < kListColumnCount; ++c) {
        widths[c] = std::max(kListColumnWidths[c], needed[c]);
        total += widths[c];
    }
    // Too wide for the list: columns wider than their texts give up the difference.
    int excess = total - (GetClientSize().x - wxSystemSettings::GetMetric(wxSYS_VSCROLL_X, this));
    for (std::size_t c = 0; c < kListColumnCount && excess > 0; ++c) {
        const int spare = std::min(excess, widths[c] - needed[c]);
        if (spare > 0) {
            widths[c] -= spare;
            excess -= spare;
        }
    }
    for (std::size_t c = 0; c < kListColumnCount; ++c) {
        SetColumnWidth(static_cast<int>(c), widths[c]);
    }
}

wxString RunListView::OnGetItemText(long item, long column) const {
    // The rows the item count came from; the table may have moved on since.
    const auto row = static_cast<std::size_t>(item);
    return row < m_rows.size() ? ToWx(m_cell(m_rows[row], static_cast<std::size_t>(column)))
                               : wxString();
}

}  // namespace strivo
