#pragma once

#include <chrono>
#include <mutex>
#include <string_view>
#include <utility>
#include <vector>

#include "Inspection.h"

namespace strivo::sim {

// What the faults matching one request ask for, combined (rules in Inspection.h).
struct FaultActions {
    std::chrono::milliseconds delay{0};
    int status = 0;
    bool closeMidBody = false;
    std::size_t cutAfterBytes = 0;
    std::size_t bodySize = 0;
    bool redirectLoop = false;
};

// The faults of one stand-in, with a request count per fault. Any thread.
class FaultSet {
public:
    void Add(Fault fault);
    void Clear();

    // Counts the request against every matching fault and returns what the
    // ones due now ask for.
    FaultActions Take(std::string_view path, std::string_view query);

private:
    struct Counted {
        Fault fault;
        int seen = 0;
    };

    std::mutex m_mutex;
    std::vector<Counted> m_faults;
};

}  // namespace strivo::sim
