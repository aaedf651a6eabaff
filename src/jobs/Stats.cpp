#include "jobs/Stats.h"

#include "jobs/StoredRuns.h"

namespace strivo::jobs {

Result<StoredTotals> Stats(const Workspace& where, PeriodKind by) {
    // One pass in no order: a million runs are neither held nor sorted.
    RunTotaller totaller(by);
    Result<StoredRunsFound> read = EachStoredRun(
        where, /*withPosts=*/false, StoredOrder::AsStored, [](const StoredRunsFound&) {},
        [&totaller](const StoredRun& run) { totaller.Add(run); }, /*figuresOnly=*/true);
    if (!read) {
        return read.problem();
    }
    return StoredTotals{read->storeExists, read->count, totaller.Finish()};
}

}  // namespace strivo::jobs
