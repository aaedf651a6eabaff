#pragma once

// How a job reaches the store. For jobs/ only: the faces never open it.

#include <memory>

#include "jobs/Workspace.h"
#include "model/Result.h"
#include "store/RunStore.h"

namespace strivo::jobs {

// The workspace's store, opened for one job.
Result<std::unique_ptr<RunStore>> OpenStore(const Workspace& where);

}  // namespace strivo::jobs
