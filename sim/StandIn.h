#pragma once

#include <cstddef>
#include <utility>
#include <vector>

#include "FaultSet.h"
#include "Inspection.h"
#include "RequestLog.h"

namespace strivo::sim {

struct StandInOptions {
    bool inspection = false;              // serve /__sim/ pages
    std::vector<Fault> faults;            // acting from the start
    std::size_t requestLogLimit = 10000;  // the latest requests kept
};

// What both stand-ins give tests: the requests they received, and faults to
// act on. Any thread.
class StandIn {
public:
    // Requests of every port, in order of arrival.
    std::vector<LoggedRequest> requests() const { return m_log.Snapshot(); }
    void ClearRequests() { m_log.Clear(); }
    void AddFault(Fault fault) { m_faults.Add(std::move(fault)); }

protected:
    explicit StandIn(const StandInOptions& options) : m_log(options.requestLogLimit) {
        for (const Fault& fault : options.faults) {
            m_faults.Add(fault);
        }
    }

    RequestLog m_log;
    FaultSet m_faults;
};

}  // namespace strivo::sim
