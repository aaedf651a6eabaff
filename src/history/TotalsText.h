#pragma once

// The totals for the terminal and as an SVG file: `strivo-cli stats` prints
// TotalsLines, and `--svg=FILE` writes ChartSvg (atomically, as the caller
// writes every file).
//
// The words in them are the caller's (TotalsWords), in the user's language;
// the defaults are English.

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "history/RunTotals.h"

namespace strivo {

struct TotalsWords {
    TotalsWords();  // English

    // What follows a period's count of runs, in its plural form: "run", "runs".
    std::function<std::string(std::int64_t runs)> runs;
    // What follows a distance in km: "km".
    std::string unit;
    // A folded stretch of periods without runs: "… 9,500 weeks without runs …".
    std::function<std::string(std::int64_t periods, PeriodKind by)> withoutRuns;
    // The chart's title: "Distance per week (km)".
    std::function<std::string(PeriodKind by)> chartTitle;
};

// One UTF-8 line per entry, columns aligned, the bar in block characters
// ("█" and the eighths "▏".."▉") at most `barWidth` cells for the longest:
//   2010-W15   3 runs   15.10 km    1:23:45  ██████████▌
//   … 9,500 weeks without runs …
std::vector<std::string> TotalsLines(std::span<const PeriodTotals> periods, PeriodKind by,
                                     const TotalsWords& words = {}, int barWidth = 40);

// A bar chart of distance per period (the layout of ChartModel.h at 96 DPI),
// each bar with its value and period, as a standalone UTF-8 SVG document.
std::string ChartSvg(std::span<const PeriodTotals> periods, PeriodKind by,
                     const TotalsWords& words = {});

// A count with its thousands grouped: "9,500".
std::string GroupedCount(std::int64_t number);

}  // namespace strivo
