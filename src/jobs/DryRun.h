#pragma once

#include <string>
#include <unordered_map>
#include <vector>

#include "jobs/SyncPlan.h"
#include "jobs/Workspace.h"
#include "model/Result.h"
#include "model/RunRows.h"

namespace strivo::jobs {

// What a sync would do with each row of `rows`, then with each run read from
// a file, from what the store holds of the site user's posts; nothing is
// posted, no lock is taken. The plan points into `rows` and `fileRows`.
struct DryRunPlan {
    std::vector<PlannedRun> plan;
    RunRows fileRows;
    std::unordered_map<std::string, std::string> formats;  // of the runs read from files, by key
};
Result<DryRunPlan> DryRun(const Workspace& where, const RunRows& rows, bool postAll);

// The run-log form a sync would post for `row`, before the site's token is
// known: it starts "formhash=&". A run read from a file names its format.
std::string RunLogForm(const RunRow& row, const DryRunPlan& plan);

}  // namespace strivo::jobs
