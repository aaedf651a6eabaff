#include "RequestLog.h"

namespace strivo::sim {

void RequestLog::Add(LoggedRequest request) {
    std::lock_guard lock(m_mutex);
    if (m_limit == 0) {
        return;
    }
    if (m_requests.size() == m_limit) {
        m_requests.pop_front();
    }
    m_requests.push_back(std::move(request));
}

std::vector<LoggedRequest> RequestLog::Snapshot() const {
    std::lock_guard lock(m_mutex);
    return {m_requests.begin(), m_requests.end()};
}

void RequestLog::Clear() {
    std::lock_guard lock(m_mutex);
    m_requests.clear();
}

}  // namespace strivo::sim
