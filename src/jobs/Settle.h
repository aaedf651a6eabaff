#pragma once

#include <string>
#include <vector>

#include "jobs/Workspace.h"
#include "model/Result.h"

namespace strivo::jobs {

// What the runner says became of runs a sync held back.
enum class SettleMode {
    Posted,  // they are on the run log: record them as posted
    Repost,  // they are not: post them next sync (also releases skipped runs)
    Skip,    // keep them off the run log (excluded) until released by Repost
};

struct SettleRequest {
    SettleMode mode = SettleMode::Posted;
    std::vector<std::string> runIds;  // CP936
    bool held = false;                // every held run, in place of RunIDs
    bool again = false;               // Repost: runs the site confirmed too, the runner asked
    // Repost: every run read from a file and kept off the run log, in place
    // of RunIDs (their keys): the import's "release them all".
    bool imported = false;
};

struct Settled {
    int changed = 0;                   // runs whose post changed
    std::vector<std::string> unknown;  // RunIDs the store holds no run or post of (CP936)
    // Repost without `again`: runs the site confirmed, left as they are (CP936).
    std::vector<std::string> confirmed;
};

// Settles runs of the site user under the store's sync lock, as a sync
// would take it: another sync refuses it (StoreInUse). RunIDs the store
// does not hold, and confirmed runs to repost without `again`, are left out
// of the settling and given back.
Result<Settled> Settle(const Workspace& where, const SettleRequest& request);

}  // namespace strivo::jobs
