#include "jobs/Stats.h"

#include "jobs/StoredRuns.h"

namespace strivo::jobs {

Result<StoredTotals> Stats(const Workspace& where, PeriodKind by) {
    // Totals need no order: 100,000 runs are not sorted for nothing.
    Result<StoredRunList> read = ReadStoredRuns(where, /*withPosts=*/false, /*ordered=*/false);
    if (!read) {
        return read.problem();
    }
    return StoredTotals{read->storeExists, read->runs.size(), TotalRuns(read->runs, by)};
}

}  // namespace strivo::jobs
