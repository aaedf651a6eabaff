#include "jobs/Settle.h"

#include <chrono>
#include <set>

#include "jobs/StoreAccess.h"
#include "store/SyncLock.h"

namespace strivo::jobs {

Result<Settled> Settle(const Workspace& where, const SettleRequest& request) {
    Result<std::unique_ptr<RunStore>> opened = OpenStore(where);
    if (!opened) {
        return opened.problem();
    }
    RunStore& store = **opened;
    SyncLock lock;
    if (Outcome locked = lock.Acquire(where.StorePath(), where.OlderRecords()); !locked) {
        return locked.problem();
    }
    const SiteKey site = SiteKeyOf(where.settings);
    const auto posts = store.Posts(site);
    if (!posts) {
        return posts.problem();
    }
    const auto runs = store.Runs(ServiceKeyOf(where.settings), where.settings.serviceUser);
    if (!runs) {
        return runs.problem();
    }
    std::set<std::string> stored;
    for (const StoredRun& run : *runs) {
        stored.insert(run.runId);
    }
    const bool posted = request.mode == SettleMode::Posted;
    const bool skip = request.mode == SettleMode::Skip;
    Settled settled;
    // A run without a post has nothing to release; one confirmed that the
    // store never saw may be a typing error.
    for (const std::string& runId : request.runIds) {
        if (skip ? !stored.contains(runId)
                 : !posts->contains(runId) && (!posted || !stored.contains(runId))) {
            settled.unknown.push_back(runId);
        }
    }
    // Nothing is recorded for a RunID the store does not hold.
    std::vector<std::string> known;
    for (const std::string& runId : request.runIds) {
        if (stored.contains(runId)) {
            known.push_back(runId);
        }
    }
    const auto now = std::chrono::system_clock::now();
    Result<int> changed = skip           ? store.SettleExcluded(site, known, now)
                          : request.held ? (posted ? store.SettleAllHeldPosted(site, now)
                                                   : store.SettleAllHeldRepost(site))
                                         : (posted ? store.SettlePosted(site, request.runIds, now)
                                                   : store.SettleRepost(site, request.runIds));
    if (!changed) {
        return changed.problem();
    }
    settled.changed = *changed;
    return settled;
}

}  // namespace strivo::jobs
