#include "jobs/DryRun.h"

#include "jobs/StoreAccess.h"
#include "site/RunLogForm.h"

namespace strivo::jobs {

Result<DryRunPlan> DryRun(const Workspace& where, const RunRows& rows, bool postAll) {
    Result<std::unique_ptr<RunStore>> store = OpenStore(where);
    if (!store) {
        return store.problem();
    }
    Result<std::unordered_map<std::string, PostRecord>> posts =
        (*store)->Posts(SiteKeyOf(where.settings));
    if (!posts) {
        return posts.problem();
    }
    Result<FileRunRows> fromFiles = ReadFileRunRows(**store, where);
    if (!fromFiles) {
        return fromFiles.problem();
    }
    DryRunPlan made{PlanSync(rows, *posts, postAll), fromFiles->rows, fromFiles->formats};
    const std::vector<PlannedRun> fileRuns = PlanFileRuns(*fromFiles, rows, *posts, postAll);
    made.plan.insert(made.plan.end(), fileRuns.begin(), fileRuns.end());
    return made;
}

std::string RunLogForm(const RunRow& row, const DryRunPlan& plan) {
    const auto format = plan.formats.find(std::string(row[kColumnRunId]));
    return BuildRunLogBody("", row,
                           format == plan.formats.end()
                               ? EncodedRunLogDescription()
                               : EncodedImportedRunDescription(format->second));
}

}  // namespace strivo::jobs
