#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "model/RunList.h"

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
    void Append(const RunList& runs);
    void Replace(RunList runs);

    std::size_t RowCount() const;
    // The run at `index`; none when there is none (any more).
    std::optional<Run> RunAt(std::size_t index) const;
    // The runs as they are now; they share the table's, which never change.
    RunList Snapshot() const;

    // Returns an id for RemoveListener. A listener removed while another thread
    // changes the table may still be called once by that change.
    int AddListener(Listener listener);
    void RemoveListener(int id);

private:
    void Notify(std::size_t rowCount);

    mutable std::mutex m_mutex;
    RunList m_rows;

    std::mutex m_listenersMutex;
    int m_nextListenerId = 1;
    std::vector<std::pair<int, std::shared_ptr<const Listener>>> m_listeners;
};

}  // namespace strivo
