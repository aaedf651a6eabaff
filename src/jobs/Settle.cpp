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
    std::vector<std::string> runIds = request.runIds;
    if (request.imported) {
        for (const StoredRun& run : *runs) {
            const auto post = posts->find(run.runId);
            if (!run.source.empty() && post != posts->end() &&
                post->second.state == PostState::Excluded) {
                runIds.push_back(run.runId);
            }
        }
    }
    const bool posted = request.mode == SettleMode::Posted;
    const bool skip = request.mode == SettleMode::Skip;
    Settled settled;
    // Recording an id the store never saw would keep a later run of that id
    // off the run log; reposting a confirmed run puts it there twice. Only a
    // stored run can be kept off the run log.
    std::vector<std::string> settling;
    for (const std::string& runId : runIds) {
        const auto post = posts->find(runId);
        if (skip ? !stored.contains(runId) : post == posts->end() && !stored.contains(runId)) {
            settled.unknown.push_back(runId);
        } else if (!posted && !skip && !request.again && post != posts->end() &&
                   post->second.state == PostState::Confirmed) {
            settled.confirmed.push_back(runId);
        } else {
            settling.push_back(runId);
        }
    }
    const auto now = std::chrono::system_clock::now();
    Result<int> changed = skip           ? store.SettleExcluded(site, settling, now)
                          : request.held ? (posted ? store.SettleAllHeldPosted(site, now)
                                                   : store.SettleAllHeldRepost(site))
                                         : (posted ? store.SettlePosted(site, settling, now)
                                                   : store.SettleRepost(site, settling));
    if (!changed) {
        return changed.problem();
    }
    settled.changed = *changed;
    return settled;
}

}  // namespace strivo::jobs
