#include "jobs/Remove.h"

#include "jobs/StoreAccess.h"
#include "store/SyncLock.h"

namespace strivo::jobs {

Result<Removed> RemoveRuns(const Workspace& where, std::span<const std::string> keys) {
    if (!where.StoreExists()) {
        Removed none;
        for (const std::string& key : keys) {
            none.refused.emplace_back(key, RemoveRefused::NotStored);
        }
        return none;
    }
    Result<std::unique_ptr<RunStore>> store = OpenStore(where);
    if (!store) {
        return store.problem();
    }
    SyncLock lock;
    if (Outcome locked = lock.Acquire(where.StorePath(), where.OlderRecords()); !locked) {
        return locked.problem();
    }
    Result<RunsRemoved> done =
        (*store)->RemoveFileRuns(ServiceKeyOf(where.settings), where.settings.serviceUser, keys);
    if (!done) {
        return done.problem();
    }
    Removed removed{std::move(done->removed), {}};
    for (auto& [key, why] : done->refused) {
        removed.refused.emplace_back(
            std::move(key), why == RemoveRefusal::NotStored        ? RemoveRefused::NotStored
                            : why == RemoveRefusal::FromRunService ? RemoveRefused::FromRunService
                                                                   : RemoveRefused::Posted);
    }
    return removed;
}

}  // namespace strivo::jobs
