#include "jobs/DryRun.h"

#include "jobs/StoreAccess.h"
#include "site/RunLogForm.h"

namespace strivo::jobs {

Result<DryRunPlan> DryRun(const Workspace& where, const RunList& runs, bool postAll) {
    Result<std::unique_ptr<RunStore>> store = OpenStore(where);
    if (!store) {
        return store.problem();
    }
    Result<std::unordered_map<std::string, PostRecord>> posts =
        (*store)->Posts(SiteKeyOf(where.settings));
    if (!posts) {
        return posts.problem();
    }
    Result<RunList> fromFiles = ReadFileRuns(**store, where);
    if (!fromFiles) {
        return fromFiles.problem();
    }
    DryRunPlan made{PlanSync(runs, *posts, postAll), *fromFiles};
    const std::vector<PlannedRun> fileRuns = PlanFileRuns(made.fileRuns, runs, *posts, postAll);
    made.plan.insert(made.plan.end(), fileRuns.begin(), fileRuns.end());
    return made;
}

std::string RunLogForm(const Run& run) {
    return BuildRunLogBody("", run, RunLogDescription(run));
}

}  // namespace strivo::jobs
