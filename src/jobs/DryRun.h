#pragma once

#include "jobs/SyncPlan.h"
#include "jobs/Workspace.h"
#include "model/Result.h"
#include "model/RunRows.h"

namespace strivo::jobs {

// What a sync would do with each row of `rows`, from what the store holds of
// the site user's posts; nothing is posted, no lock is taken. The plan points
// into `rows`.
Result<std::vector<PlannedRun>> DryRun(const Workspace& where, const RunRows& rows, bool postAll);

// The run-log form a sync would post for `row`, before the site's token is
// known: it starts "formhash=&".
std::string RunLogForm(const RunRow& row);

}  // namespace strivo::jobs
