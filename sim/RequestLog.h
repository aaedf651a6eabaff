#pragma once

#include <cstddef>
#include <deque>
#include <mutex>
#include <vector>

#include "Inspection.h"

namespace strivo::sim {

// The requests a stand-in received, oldest first, keeping the latest `limit`
// so that a long benchmark does not grow without bound. Any thread.
class RequestLog {
public:
    explicit RequestLog(std::size_t limit) : m_limit(limit) {}

    void Add(LoggedRequest request);
    std::vector<LoggedRequest> Snapshot() const;
    void Clear();

private:
    const std::size_t m_limit;
    mutable std::mutex m_mutex;
    std::deque<LoggedRequest> m_requests;
};

}  // namespace strivo::sim
