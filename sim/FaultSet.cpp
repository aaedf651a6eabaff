#include "FaultSet.h"

#include <string>

namespace strivo::sim {
namespace {

bool Matches(const Fault& fault, std::string_view path, std::string_view query) {
    if (fault.path == "*") {
        return true;
    }
    if (fault.path.find('?') == std::string::npos) {
        return fault.path == path;
    }
    return fault.path.size() == path.size() + 1 + query.size() &&
           fault.path.compare(0, path.size(), path) == 0 && fault.path[path.size()] == '?' &&
           fault.path.compare(path.size() + 1, std::string::npos, query) == 0;
}

}  // namespace

void FaultSet::Add(Fault fault) {
    std::lock_guard lock(m_mutex);
    m_faults.push_back(Counted{std::move(fault)});
}

void FaultSet::Clear() {
    std::lock_guard lock(m_mutex);
    m_faults.clear();
}

FaultActions FaultSet::Take(std::string_view path, std::string_view query) {
    FaultActions actions;
    std::lock_guard lock(m_mutex);
    for (Counted& counted : m_faults) {
        const Fault& fault = counted.fault;
        if (!Matches(fault, path, query)) {
            continue;
        }
        ++counted.seen;
        if (fault.onRequest != 0 && fault.onRequest != counted.seen) {
            continue;
        }
        actions.delay += fault.delay;
        if (actions.status == 0) {
            actions.status = fault.status;
        }
        actions.closeMidBody = actions.closeMidBody || fault.closeMidBody;
        actions.redirectLoop = actions.redirectLoop || fault.redirectLoop;
        if (fault.cutAfterBytes != 0 &&
            (actions.cutAfterBytes == 0 || fault.cutAfterBytes < actions.cutAfterBytes)) {
            actions.cutAfterBytes = fault.cutAfterBytes;
        }
        if (fault.bodySize != 0) {
            actions.bodySize = fault.bodySize;
        }
    }
    return actions;
}

}  // namespace strivo::sim
