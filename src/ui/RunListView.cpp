#include "ui/RunListView.h"

#include "ui/WxText.h"

namespace strivo {
namespace {

constexpr int kColumnWidths[kRunColumnCount] = {50, 140, 70, 110, 60, 140, 50};

}  // namespace

RunListView::RunListView(wxWindow* parent, wxWindowID id, const wxPoint& position,
                         const wxSize& size, std::shared_ptr<RunTable> table)
    // Grid lines and whole-row selection; several rows selectable; no sorting.
    : wxListCtrl(parent, id, position, size,
                 wxLC_REPORT | wxLC_VIRTUAL | wxLC_HRULES | wxLC_VRULES | wxBORDER_THEME),
      m_table(std::move(table)) {
    for (std::size_t c = 0; c < kRunColumnCount; ++c) {
        AppendColumn(Utf8(kRunColumnTitles[c]), wxLIST_FORMAT_LEFT, kColumnWidths[c]);
    }
}

void RunListView::ShowRows(std::size_t rowCount) {
    SetItemCount(static_cast<long>(rowCount));
    Refresh();
}

wxString RunListView::OnGetItemText(long item, long column) const {
    return ToWx(m_table->Cell(static_cast<std::size_t>(item), static_cast<std::size_t>(column)));
}

}  // namespace strivo
