#pragma once

// The desktop notice after a scheduled sync. For jobs/ only.

#include <optional>

#include "jobs/Workspace.h"
#include "model/SyncRecord.h"

namespace strivo::jobs {

// A scheduled sync that leaves the runner something to do (held runs, a
// refused password, a failure) says so on the desktop; one that went well,
// or met a service's pause before sending anything, is silent. Where no
// notice can be shown, nothing is (status tells why).
void SpeakUpIfNeeded(const Workspace& where, const SyncRecord& sync,
                     const std::optional<Problem>& problem);

}  // namespace strivo::jobs
