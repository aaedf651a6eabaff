#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <string>
#include <string_view>

#include "rows/RunRow.h"
#include "rows/RunRows.h"

namespace strivo {

// The list's columns: a run's seven, then the state of its post for the site
// user in the fields, which comes from the store, not from the run's row.
inline constexpr std::size_t kColumnPostState = kRunColumnCount;
inline constexpr std::size_t kListColumnCount = kRunColumnCount + 1;
inline constexpr std::array<const char*, kListColumnCount> kListColumnTitles = [] {
    std::array<const char*, kListColumnCount> titles{};
    std::copy(kRunColumnTitles.begin(), kRunColumnTitles.end(), titles.begin());
    titles[kColumnPostState] = "同步状态";
    return titles;
}();

// The list's columns as they open, in pixels: all eight fit the list's 418
// dialog units, with room for RunIDs to grow.
inline constexpr int kListColumnWidths[kListColumnCount] = {40, 125, 65, 95, 50, 125, 50, 65};

// Follows the longest RunID of a table that only grows until it is emptied,
// so that a list's RunID column can be as wide as it. Both windows' lists
// keep one.
class LongestRunId {
public:
    struct Change {
        bool newList = false;  // no row of this list was measured before
        bool longer = false;   // an id longer than any before
    };

    // `changedTo`: the row count a change of the table left; `rows`: the
    // table now, which may have moved on since (messages queue up).
    Change Measure(std::size_t changedTo, const RunRows& rows) {
        if (std::min(changedTo, rows.size()) < m_measured) {  // emptied since: a new list
            m_measured = 0;
            m_id.clear();
        }
        Change change{.newList = m_measured == 0};
        for (; m_measured < rows.size(); ++m_measured) {
            const std::string_view id = rows[m_measured][kColumnRunId];
            if (id.size() > m_id.size()) {
                m_id = id;
                change.longer = true;
            }
        }
        return change;
    }

    const std::string& id() const { return m_id; }

private:
    std::size_t m_measured = 0;
    std::string m_id;
};

}  // namespace strivo
