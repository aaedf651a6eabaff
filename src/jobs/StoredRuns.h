#pragma once

#include <span>
#include <string>
#include <unordered_map>
#include <vector>

#include "jobs/Workspace.h"
#include "model/Result.h"
#include "model/RunRows.h"
#include "model/Runs.h"

namespace strivo::jobs {

using PostStates = std::unordered_map<std::string, PostRecord>;  // by RunID (CP936)

struct StoredRunList {
    bool storeExists = true;  // false: there is no store yet, and none was made
    std::vector<StoredRun> runs;
    PostStates posts;  // of the site user, when asked for
};

// The stored runs of the account in the settings, in the order a runner reads
// them when `ordered` (OrderByStart), else newest first; with their posts for
// the site user in the settings when `withPosts` and there is one. Reading
// makes no store where there is none.
Result<StoredRunList> ReadStoredRuns(const Workspace& where, bool withPosts, bool ordered = true);

// The posts of the site user in the settings, for the window's state column.
Result<PostStates> ReadPostStates(const Workspace& where);

// Stored runs in the order a runner reads them: by UTC start (runs without
// one first), then by when they were first seen.
void OrderByStart(std::vector<StoredRun>& runs);
// The rows a download makes of the same texts, numbered from 1 in the
// order given, so export and sync see the same bytes as after a download.
RunRows RowsOfStoredRuns(std::span<const StoredRun> runs);

}  // namespace strivo::jobs
