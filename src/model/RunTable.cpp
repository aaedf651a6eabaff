#include "model/RunTable.h"

#include <algorithm>

namespace strivo {

void RunTable::Clear() {
    Replace({});
}

void RunTable::Append(const RunList& runs) {
    std::size_t count;
    {
        std::lock_guard lock(m_mutex);
        m_rows.Append(runs);
        count = m_rows.size();
    }
    Notify(count);
}

void RunTable::Replace(RunList runs) {
    std::size_t count;
    RunList old;
    {
        std::lock_guard lock(m_mutex);
        std::swap(old, m_rows);
        m_rows = std::move(runs);
        count = m_rows.size();
    }
    // `old` is freed here, outside the lock: freeing 100,000 runs takes a while.
    Notify(count);
}

std::size_t RunTable::RowCount() const {
    std::lock_guard lock(m_mutex);
    return m_rows.size();
}

std::optional<Run> RunTable::RunAt(std::size_t index) const {
    std::lock_guard lock(m_mutex);
    if (index >= m_rows.size()) {
        return std::nullopt;
    }
    return m_rows[index];
}

RunList RunTable::Snapshot() const {
    std::lock_guard lock(m_mutex);
    return m_rows;
}

int RunTable::AddListener(Listener listener) {
    std::lock_guard lock(m_listenersMutex);
    const int id = m_nextListenerId++;
    m_listeners.emplace_back(id, std::make_shared<const Listener>(std::move(listener)));
    return id;
}

void RunTable::RemoveListener(int id) {
    std::lock_guard lock(m_listenersMutex);
    std::erase_if(m_listeners, [id](const auto& entry) { return entry.first == id; });
}

void RunTable::Notify(std::size_t rowCount) {
    std::vector<std::shared_ptr<const Listener>> listeners;
    {
        std::lock_guard lock(m_listenersMutex);
        for (const auto& entry : m_listeners) {
            listeners.push_back(entry.second);
        }
    }
    for (const auto& listener : listeners) {
        (*listener)(rowCount);
    }
}

}  // namespace strivo
