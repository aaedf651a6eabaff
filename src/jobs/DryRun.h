#pragma once

#include <string>
#include <unordered_map>
#include <vector>

#include "jobs/SyncPlan.h"
#include "jobs/Workspace.h"
#include "model/Result.h"
#include "model/RunList.h"

namespace strivo::jobs {

// What a sync would do with each run of `runs`, then with each run read from
// a file, from what the store holds of the site user's posts; nothing is
// posted, no lock is taken. The plan points into `runs` and `fileRuns`.
struct DryRunPlan {
    std::vector<PlannedRun> plan;
    RunList fileRuns;
};
Result<DryRunPlan> DryRun(const Workspace& where, const RunList& runs, bool postAll);

// The run-log form a sync would post for `run`, before the site's token is
// known: it starts "formhash=&". A run read from a file names its format.
std::string RunLogForm(const Run& run);

}  // namespace strivo::jobs
