#pragma once

#include <functional>
#include <optional>
#include <span>
#include <string>
#include <unordered_map>
#include <vector>

#include "jobs/Workspace.h"
#include "model/Result.h"
#include "model/RunList.h"
#include "model/Runs.h"

namespace strivo::jobs {

using PostStates = std::unordered_map<std::string, PostRecord>;  // by RunID (CP936)

struct StoredRunList {
    bool storeExists = true;  // false: there is no store yet, and none was made
    std::vector<StoredRun> runs;
    PostStates posts;  // of the site user, when asked for
};

// What a reading of the stored runs tells before the first run.
struct StoredRunsFound {
    bool storeExists = true;  // false: there is no store yet, and none was made
    std::size_t count = 0;    // the runs that follow
    PostStates posts;         // of the site user, when asked for
};

// What of each stored run is read: all of it, or only what a line or the
// totals show (RunStore::RunFields).
enum class StoredFields { All, Lines, Figures };

// The order of the stored runs: the one a runner reads them in (by UTC
// start, runs without one first, then by when first seen), newest start
// first, or as they lie (fastest).
enum class StoredOrder { ByStart, NewestFirst, AsStored };

// The stored runs of the account in the settings, one at a time, so that a
// million of them cost no more memory than one: `found` first, then `visit`
// for each, in `order`. Reading makes no store where there is none.
// With StoredFields::Figures, a run holds only what totals read (RunFigures.h)
// and its RunID: half the work; with Lines, what a line of a run shows too
// (when first seen, the source). An empty `found` is not called, and the count
// returned is of the runs visited: the store is not counted beforehand.
Result<StoredRunsFound> EachStoredRun(const Workspace& where, bool withPosts, StoredOrder order,
                                      const std::function<void(const StoredRunsFound&)>& found,
                                      const std::function<void(const StoredRun&)>& visit,
                                      StoredFields fields = StoredFields::All);

// The stored runs of the account in the settings, in the order a runner reads
// them when `ordered` (StoredOrder::ByStart), else newest first; with their posts for
// the site user in the settings when `withPosts` and there is one. Reading
// makes no store where there is none.
Result<StoredRunList> ReadStoredRuns(const Workspace& where, bool withPosts, bool ordered = true);

// One stored run of the account in the settings, by its RunID (CP936): what
// a row's tooltip tells, read when asked rather than every run beforehand.
Result<std::optional<StoredRun>> ReadStoredRun(const Workspace& where, std::string_view runId);

// The posts of the site user in the settings, for the window's state column.
Result<PostStates> ReadPostStates(const Workspace& where);

// The runs of the stored ones, in the order given, so that export and sync
// see the same bytes as after a download.
RunList RunsOfStored(std::span<const StoredRun> runs);
Run RunOf(const StoredRun& run);

}  // namespace strivo::jobs
