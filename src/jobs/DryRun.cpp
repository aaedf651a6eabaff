#include "jobs/DryRun.h"

#include "jobs/StoreAccess.h"
#include "site/RunLogForm.h"

namespace strivo::jobs {

Result<std::vector<PlannedRun>> DryRun(const Workspace& where, const RunRows& rows, bool postAll) {
    Result<std::unique_ptr<RunStore>> store = OpenStore(where);
    if (!store) {
        return store.problem();
    }
    Result<std::unordered_map<std::string, PostRecord>> posts =
        (*store)->Posts(SiteKeyOf(where.settings));
    if (!posts) {
        return posts.problem();
    }
    return PlanSync(rows, *posts, postAll);
}

std::string RunLogForm(const RunRow& row) {
    return BuildRunLogBody("", row, EncodedRunLogDescription());
}

}  // namespace strivo::jobs
