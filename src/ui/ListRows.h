#pragma once

#include <array>
#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>

#include "model/RunTable.h"
#include "ui/RunColumns.h"

namespace strivo {

// The run table as a list shows it, the same for both windows' lists: the rows
// its item count came from (the table may have moved on since: messages queue
// up), the longest RunID among them, so that the RunID column can be as wide
// as it, and the state column's texts.
class ListRows {
public:
    struct Change {
        bool newList = false;  // no row of this list was measured before
        bool longer = false;   // an id longer than any before
    };

    explicit ListRows(std::shared_ptr<const RunTable> table) : m_table(std::move(table)) {}

    // Takes the table as it is now, after a change that left `changedTo` rows.
    // The table only grows until it is emptied.
    Change Update(std::size_t changedTo);

    std::size_t size() const { return m_rows.size(); }
    const std::string& longestId() const { return m_longestId; }
    // A cell (CP936): the run's, as the table shows it (io/RunText.h), or
    // (kColumnPostState) the state of its post; empty past the rows taken.
    // Control characters come masked (MaskControls); valid until the next call.
    std::string_view Cell(std::size_t row, std::size_t column) const;
    // The state column's text for a run.
    std::string_view PostStateOf(std::string_view runId) const;
    // RunID -> the state column's text, for the runs that have a post, and
    // the text of those that have none (null: none either); the texts outlive the rows.
    void SetPostStates(std::unordered_map<std::string, const std::string*> states,
                       const std::string* waiting) {
        m_postStates = std::move(states);
        m_waiting = waiting;
    }
    // One run's; `text` outlives the rows.
    void SetPostState(const std::string& runId, const std::string& text) {
        m_postStates.insert_or_assign(runId, &text);
    }

    // The columns' widths: every text whole where `available` pixels allow;
    // else as wide as they can be, the RunID's giving way last, down to its
    // title, so that the state column stays in sight. `width` measures a CP936 text.
    std::array<int, kListColumnCount> FitColumns(
        int available, const std::function<int(std::string_view)>& width) const;

private:
    std::shared_ptr<const RunTable> m_table;
    RunList m_rows;
    std::size_t m_measured = 0;
    std::string m_longestId;
    std::unordered_map<std::string, const std::string*> m_postStates;
    mutable std::string m_cell;  // the last cell made
    const std::string* m_waiting = nullptr;
};

}  // namespace strivo
