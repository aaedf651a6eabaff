#pragma once

// How a job reaches the store. For jobs/ only: the faces never open it.

#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "jobs/SyncPlan.h"
#include "jobs/Workspace.h"
#include "model/Result.h"
#include "model/RunList.h"
#include "store/RunStore.h"

namespace strivo::jobs {

// The workspace's store, opened for one job.
Result<std::unique_ptr<RunStore>> OpenStore(const Workspace& where);

// The account's runs read from files, as a sync posts them.
Result<RunList> ReadFileRuns(const RunStore& store, const Workspace& where);
// The plan of the runs read from files that `runs` (a downloaded list, or the
// stored runs the window shows) does not hold already: each is planned once.
std::vector<PlannedRun> PlanFileRuns(const RunList& fileRuns, const RunList& runs,
                                     const std::unordered_map<std::string, PostRecord>& posts,
                                     bool postAll);

}  // namespace strivo::jobs
