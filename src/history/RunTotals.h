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
// without runs as 0, so a chart shows the gaps; a stretch of more than
// kLongestListedGap periods without runs is folded into one entry, so that
// runs in years 0001 and 9999 make three entries, not half a million.
//
// A value beyond a plausible run (kMostPlausible*, PlausibleRun.h) is left out of the sums
// as one that does not parse is, and named. With every counted value bounded
// so, no sum of any list that fits in memory can overflow.
//
//   RunTotals totals = TotalRuns(store.Runs(service, account), PeriodKind::Week);
//   for (const std::string& line : TotalsLines(totals.periods, totals.by)) ...   (TotalsText.h)

#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "history/PlausibleRun.h"
#include "history/RunFigures.h"
#include "model/Runs.h"

namespace strivo {

enum class PeriodKind { Week, Month, Year };
// "week", "month", "year", as `--by=` takes them; ParsePeriodKind reads them back.
const char* PeriodKindName(PeriodKind kind);
std::optional<PeriodKind> ParsePeriodKind(std::string_view name);

// Longer stretches of periods without runs are folded into one entry.
inline constexpr std::int64_t kLongestListedGap = 12;

struct PeriodTotals {
    std::string label;  // "2010-W15", "2010-04" or "2010" (ASCII)
    std::int64_t runs = 0;
    // Of the runs whose value is known.
    std::int64_t distanceMm = 0;
    std::int64_t durationMs = 0;
    std::int64_t calories = 0;
    // Runs without a calorie count (a file that gives none): unknown, not 0.
    std::int64_t withoutCalories = 0;
    // Above 0: no period but this many periods in a row without runs, folded
    // into one entry (label empty, figures 0).
    std::int64_t foldedPeriods = 0;
    // The local date the period starts on, in days since 1970-01-01: a week's Monday.
    std::int64_t firstDay = 0;
};

struct RunTotals {
    PeriodKind by = PeriodKind::Week;
    // Oldest first, no gaps but folded ones; empty without runs.
    std::vector<PeriodTotals> periods;
    PeriodTotals all;  // label empty; every run with a start
    // What could not be counted, in order of the runs: a start that does not
    // parse (the run counted nowhere), each distance, duration or calorie
    // count that does not parse or is beyond a plausible run (the run
    // counted without it). A run without a calorie count is no problem:
    // withoutCalories counts it.
    std::vector<RunProblem> problems;
};

RunTotals TotalRuns(std::span<const StoredRun> runs, PeriodKind by);

// The same one run at a time: what it holds grows with the periods and the
// problems, never with the runs.
class RunTotaller {
public:
    explicit RunTotaller(PeriodKind by);
    // Moved, never copied: it points into its own sums.
    RunTotaller(RunTotaller&&) = default;
    RunTotaller& operator=(RunTotaller&&) = default;
    RunTotaller(const RunTotaller&) = delete;
    RunTotaller& operator=(const RunTotaller&) = delete;
    void Add(const StoredRun& run);
    // The same with its figures read already (FiguresOf), for totals of
    // several periods at once.
    void Add(const StoredRun& run, RunFigures figures);
    // The totals of the runs added; the totaller starts again empty.
    RunTotals Finish();

private:
    RunTotals m_totals;
    std::map<std::int64_t, PeriodTotals> m_sums;  // by period, those with runs
    // The local day of the run before and its period's sums: runs kept in the
    // order they came mostly share a day with the one before.
    std::optional<std::int64_t> m_lastDay;
    PeriodTotals* m_lastSums = nullptr;
};

// The period of a local date given in days since 1970-01-01, as a number
// that grows by one from each period to the next, and its label.
std::int64_t PeriodOf(std::int64_t localDays, PeriodKind by);
std::string PeriodLabel(std::int64_t period, PeriodKind by);
// The local date it starts on, in days since 1970-01-01.
std::int64_t PeriodFirstDay(std::int64_t period, PeriodKind by);

}  // namespace strivo

namespace strivo {

// "15.10" km from millimetres, rounded half up to `decimals` (0..6) places.
std::string FormatKm(std::int64_t distanceMm, int decimals);
// "1:23:45" (hours grow past 24: "123:04:05"), whole seconds.
std::string FormatHms(std::int64_t durationMs);
// A pace, "5:24" (minutes grow past 60: "75:00"), to the nearest second;
// the face adds "/km".
std::string FormatPace(std::int64_t msPerKm);

}  // namespace strivo
