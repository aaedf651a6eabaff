#pragma once

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

}  // namespace strivo::jobs
