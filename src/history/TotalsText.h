#pragma once

// The totals for the terminal and as an SVG file: `strivo-cli stats` prints
// TotalsLines, and `--svg=FILE` writes ChartSvg (atomically, as the caller
// writes every file).

#include <span>
#include <string>
#include <vector>

#include "history/RunTotals.h"

namespace strivo {

// One UTF-8 line per period, columns aligned, the bar in block characters
// ("█" and the eighths "▏".."▉") at most `barWidth` cells for the longest:
//   2010-W15   3 runs   15.10 km    1:23:45  ██████████▌
std::vector<std::string> TotalsLines(std::span<const PeriodTotals> periods, int barWidth = 40);

// A bar chart of distance per period (the layout of ChartModel.h at 96 DPI),
// each bar with its value and period, as a standalone UTF-8 SVG document.
std::string ChartSvg(std::span<const PeriodTotals> periods, PeriodKind by);

}  // namespace strivo
