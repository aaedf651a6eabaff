#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "model/RunRows.h"

namespace strivo {

// The run table shared by the run-service worker (fills it), the site worker
// (reads it), the window's list, the export and the CLI. Every operation is
// thread-safe and short; none waits for the window. After a change, listeners
// are called on the changing thread with no lock held, so a listener may read
// the table (the window only queues an event).
class RunTable {
public:
    using Listener = std::function<void(std::size_t rowCount)>;

    void Clear();
    void Append(const RunRows& rows);
    void Replace(RunRows rows);

    std::size_t RowCount() const;
    // The cell's text; empty when the row or column does not exist (any more).
    std::string Cell(std::size_t row, std::size_t column) const;
    // The rows as they are now; they share the table's cells, which never change.
    RunRows Snapshot() const;

    // Returns an id for RemoveListener. A listener removed while another thread
    // changes the table may still be called once by that change.
    int AddListener(Listener listener);
    void RemoveListener(int id);

private:
    void Notify(std::size_t rowCount);

    mutable std::mutex m_mutex;
    RunRows m_rows;

    std::mutex m_listenersMutex;
    int m_nextListenerId = 1;
    std::vector<std::pair<int, std::shared_ptr<const Listener>>> m_listeners;
};

}  // namespace strivo
