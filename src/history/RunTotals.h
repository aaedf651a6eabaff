#pragma once

// Totals of stored runs per week, month or year, for `strivo-cli stats` and
// the window's "跑量统计…" dialog.
//
// A run belongs to the local date on which it started, in the offset the
// service sent with it (not this machine's time zone): a run at
// 2009-12-31T23:30:00-05:00 is in 2009, one at 2010-01-01T00:30:00+08:00 in
// 2010, though it started earlier. Weeks are ISO weeks, Monday first, in the
// ISO week-year: 2010-01-03 (a Sunday) is in 2009-W53.
//
// Every period from the first run's to the last run's is listed, those
// without runs as 0, so a chart shows the gaps.
//
//   RunTotals totals = TotalRuns(store.Runs(service, account), PeriodKind::Week);
//   for (const std::string& line : TotalsLines(totals.periods)) ...   (TotalsText.h)

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "history/RunFigures.h"
#include "store/RunStore.h"

namespace strivo {

enum class PeriodKind { Week, Month, Year };
// "week", "month", "year", as `--by=` takes them; ParsePeriodKind reads them back.
const char* PeriodKindName(PeriodKind kind);
std::optional<PeriodKind> ParsePeriodKind(std::string_view name);

struct PeriodTotals {
    std::string label;  // "2010-W15", "2010-04" or "2010" (ASCII)
    std::int64_t runs = 0;
    // Of the runs whose value is known.
    std::int64_t distanceMm = 0;
    std::int64_t durationMs = 0;
    std::int64_t calories = 0;
};

struct RunTotals {
    PeriodKind by = PeriodKind::Week;
    std::vector<PeriodTotals> periods;  // oldest first, no gaps; empty without runs
    PeriodTotals all;                   // label empty; every run with a start
    // Each run that could not be counted in full, named once: a start that
    // does not parse (counted nowhere), a distance, duration or calorie count
    // that does not parse (the run counted without it).
    std::vector<RunProblem> problems;
};

RunTotals TotalRuns(std::span<const StoredRun> runs, PeriodKind by);

// The period of a local date given in days since 1970-01-01, as a number
// that grows by one from each period to the next, and its label.
std::int64_t PeriodOf(std::int64_t localDays, PeriodKind by);
std::string PeriodLabel(std::int64_t period, PeriodKind by);

}  // namespace strivo

namespace strivo {

// "15.10" km from millimetres, rounded half up to `decimals` (0..6) places.
std::string FormatKm(std::int64_t distanceMm, int decimals);
// "1:23:45" (hours grow past 24: "123:04:05"), whole seconds.
std::string FormatHms(std::int64_t durationMs);

}  // namespace strivo
