#include "jobs/Stats.h"

#include "jobs/StoredRuns.h"

namespace strivo::jobs {

Result<StoredTotals> Stats(const Workspace& where, PeriodKind by) {
    // One pass in no order: a million runs are neither held nor sorted.
    RunTotaller totaller(by);
    Result<StoredRunsFound> read = EachStoredRun(
        where, /*withPosts=*/false, StoredOrder::AsStored, /*found=*/{},
        [&totaller](const StoredRun& run) { totaller.Add(run); }, StoredFields::Figures);
    if (!read) {
        return read.problem();
    }
    return StoredTotals{read->storeExists, read->count, totaller.Finish()};
}

Result<StoredTotalsEveryPeriod> StatsEveryPeriod(const Workspace& where) {
    std::array<RunTotaller, 3> totallers = {RunTotaller(PeriodKind::Week),
                                            RunTotaller(PeriodKind::Month),
                                            RunTotaller(PeriodKind::Year)};
    Result<StoredRunsFound> read = EachStoredRun(
        where, /*withPosts=*/false, StoredOrder::AsStored, /*found=*/{},
        [&totallers](const StoredRun& run) {
            const RunFigures figures = FiguresOf(run);
            for (RunTotaller& totaller : totallers) {
                totaller.Add(run, figures);
            }
        },
        StoredFields::Figures);
    if (!read) {
        return read.problem();
    }
    StoredTotalsEveryPeriod every{read->storeExists, read->count, {}};
    for (std::size_t by = 0; by < totallers.size(); ++by) {
        every.totals[by] = totallers[by].Finish();
    }
    return every;
}

}  // namespace strivo::jobs
