#include "ui/ListRows.h"

#include <algorithm>

#include "io/RunText.h"
#include "text/CodePage.h"
#include "text/TextHelpers.h"

namespace strivo {

ListRows::Change ListRows::Update(std::size_t changedTo) {
    // A snapshot shares the rows: no lock and no copy per row.
    m_rows = m_table->Snapshot();
    if (std::min(changedTo, m_rows.size()) < m_measured) {  // emptied since: a new list
        m_measured = 0;
        m_longestId.clear();
    }
    Change change{.newList = m_measured == 0};
    for (; m_measured < m_rows.size(); ++m_measured) {
        const std::string_view id = m_rows[m_measured].id();
        if (id.size() > m_longestId.size()) {
            m_longestId = id;
            change.longer = true;
        }
    }
    return change;
}

std::string_view ListRows::Cell(std::size_t row, std::size_t column) const {
    if (row >= m_rows.size()) {
        return {};
    }
    const Run& run = m_rows[row];
    if (column == kColumnPostState) {
        return PostStateOf(run.id());
    }
    m_cell = RunCell(run, row + 1, column);
    // The services' texts: a list draws a control as a box, or worse.
    if (HoldsControls(m_cell, TextEncoding::Cp936)) {
        m_cell = MaskControls(m_cell, TextEncoding::Cp936);
    }
    return m_cell;
}

std::string_view ListRows::PostStateOf(std::string_view runId) const {
    const auto post = m_postStates.find(std::string(runId));
    if (post != m_postStates.end()) {
        return *post->second;
    }
    return m_waiting != nullptr ? std::string_view(*m_waiting) : std::string_view();
}

std::array<int, kListColumnCount> ListRows::FitColumns(
    int available, const std::function<int(std::string_view)>& width) const {
    const int margin = width("00");
    std::array<int, kListColumnCount> widths{};
    // The state column's texts are no wider than its title.
    std::array<int, kListColumnCount> needed{};
    for (std::size_t c = 0; c < kListColumnCount; ++c) {
        needed[c] = width(Utf8ToCp936(kListColumnTitles[c])) + margin;
    }
    // Every cell but the RunID has a fixed form: the first rows show its width.
    const std::size_t sample = std::min<std::size_t>(m_rows.size(), 200);
    for (std::size_t row = 0; row < sample; ++row) {
        for (std::size_t c = 0; c < kRunColumnCount; ++c) {
            if (c != kColumnRunId) {
                needed[c] = std::max(needed[c], width(RunCell(m_rows[row], row + 1, c)) + margin);
            }
        }
    }
    const int idFloor = std::max(needed[kColumnRunId], kListColumnWidths[kColumnRunId]);
    needed[kColumnRunId] = std::max(needed[kColumnRunId], width(m_longestId) + margin);
    int total = 0;
    for (std::size_t c = 0; c < kListColumnCount; ++c) {
        widths[c] = std::max(kListColumnWidths[c], needed[c]);
        total += widths[c];
    }
    // Too wide for the list: columns wider than their texts give up the difference.
    int excess = total - available;
    for (std::size_t c = 0; c < kListColumnCount && excess > 0; ++c) {
        const int spare = std::min(excess, widths[c] - needed[c]);
        if (spare > 0) {
            widths[c] -= spare;
            excess -= spare;
        }
    }
    // Long RunIDs (a file's runs have long keys) are cut, and whole in the row's tooltip.
    if (excess > 0) {
        widths[kColumnRunId] -= std::max(0, std::min(excess, widths[kColumnRunId] - idFloor));
    }
    return widths;
}

}  // namespace strivo
