#pragma once

#include <algorithm>
#include <cstddef>
#include <string>
#include <string_view>

#include "rows/RunRow.h"
#include "rows/RunRows.h"

namespace strivo {

// The list's columns as they open, in pixels.
inline constexpr int kRunColumnWidths[kRunColumnCount] = {50, 140, 70, 110, 60, 140, 50};

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
