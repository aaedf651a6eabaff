#pragma once

#include <array>
#include <cstddef>

#include "history/RunTotals.h"
#include "jobs/Workspace.h"
#include "model/Result.h"

namespace strivo::jobs {

struct StoredTotals {
    bool storeExists = true;  // false: there is no store yet, and none was made
    std::size_t runs = 0;     // stored runs of the account, counted or not
    RunTotals totals;
};

// The totals of the account's stored runs per week, month or year.
Result<StoredTotals> Stats(const Workspace& where, PeriodKind by);

// The totals per week, per month and per year (in PeriodKind order), from
// one reading of the stored runs: the window's statistics switch between
// them without reading the runs again, nor holding them.
struct StoredTotalsEveryPeriod {
    bool storeExists = true;
    std::size_t runs = 0;
    std::array<RunTotals, 3> totals;
};
Result<StoredTotalsEveryPeriod> StatsEveryPeriod(const Workspace& where);

}  // namespace strivo::jobs
