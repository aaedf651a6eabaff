#pragma once

#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "model/RunList.h"
#include "model/Runs.h"

namespace strivo {

// What a sync does with each run of the run table, in table order.
enum class RunAction {
    Post,           // new, or failed before; under postAll also confirmed and held ones
    AlreadyPosted,  // confirmed by an earlier sync: skipped
    Held,           // its earlier post's outcome is unknown: held back until settled
    Twice,          // its RunID stood earlier in the list: posted once
    WithoutId,      // never posted
    Excluded,       // kept off the run log by the runner, or read from a file and not
                    // released: never posted, not even under postAll
};
struct PlannedRun {
    const Run* run;
    RunAction action;
    // AlreadyPosted: when it was confirmed; Held: since when its outcome is
    // unknown; Post: when an earlier post confirmed it (postAll), else none.
    std::optional<StoreTime> since;
    bool wasConfirmed = false;  // Post under postAll: posted again
    bool wasHeld = false;       // Post under postAll: its outcome was unknown
};

// Plans a sync from the store's posts of the site user (RunStore::Posts).
std::vector<PlannedRun> PlanSync(const RunList& runs,
                                 const std::unordered_map<std::string, PostRecord>& posts,
                                 bool postAll);

}  // namespace strivo
