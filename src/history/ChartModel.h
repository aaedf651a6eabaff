#pragma once

// The distance chart as both front ends draw it: the bars' rectangles, their
// value labels and period labels, worked out once here, so the wx dialog,
// the GDI dialog and the SVG of `strivo-cli stats --svg` show the same chart.
//
// Coordinates are pixels of the chart's content, origin top left. The
// content is as wide as the bars need and at least the view: a front end
// scrolls it sideways when it is wider, and draws each text centred on its
// point (x: centre, y: baseline) in a font of `fontPx` pixels.
//
//   ChartLayout layout = LayOutChart(totals.periods, {clientWidth, clientHeight, dpi / 96.0});
//   on a click at content (x, y): chosen = BarAt(layout, x, y);
//   the line above the chart: ChartSummaryOf(totals, chosen)

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "history/RunTotals.h"

namespace strivo {

struct ChartView {
    int width = 0;  // of the visible area, pixels
    int height = 0;
    double scale = 1.0;  // 1 at 96 DPI, 2 at 192 DPI
};

struct ChartRect {
    int x = 0, y = 0, width = 0, height = 0;
    bool operator==(const ChartRect&) const = default;
};

struct ChartText {
    std::string text;  // UTF-8: digits, the label, or the gap's "…"
    int x = 0, y = 0;  // centre, baseline
};

// A period's bar, or the narrow marker of a folded stretch of periods without
// runs (PeriodTotals::foldedPeriods): no bar, no value, "…" for its label,
// and a click on it chooses nothing. So the content stays as wide as the
// periods with runs need, however many years lie between them.
struct ChartBar {
    ChartRect bar;                   // height 0 for an empty period
    ChartRect column;                // the bar's whole slot, top to bottom: what a click picks
    ChartText value;                 // distance in km, one decimal: "15.1"
    ChartText label;                 // the period: "2010-W15", or the labeller's
    std::int64_t foldedPeriods = 0;  // above 0: a gap marker standing for that many
};

struct ChartLayout {
    int width = 0, height = 0;  // of the content
    int fontPx = 12;
    int axisY = 0;               // the bars stand on this line
    int slot = 0;                // the width of a period's bar with the room around it
    std::vector<ChartBar> bars;  // one per entry of the periods, in order
};

// The text under a period's bar (UTF-8); the period's own label when none is given.
using ChartLabeller = std::function<std::string(const PeriodTotals& period)>;
ChartLayout LayOutChart(std::span<const PeriodTotals> periods, const ChartView& view,
                        const ChartLabeller& label = {});
// The period whose column holds the content point, if any (never a gap marker).
std::optional<std::size_t> BarAt(const ChartLayout& layout, int x, int y);

// The line above the chart: the chosen period's figures, or all runs' when
// none (or a gap marker) is chosen. The front end puts them into its translated sentence.
struct ChartSummary {
    std::string period;  // the label; empty for all runs
    std::int64_t runs = 0;
    std::string distanceKm;            // "15.10"
    std::string time;                  // "1:23:45"
    std::int64_t calories = 0;         // of the runs with a calorie count
    std::int64_t withoutCalories = 0;  // runs without one
};
ChartSummary ChartSummaryOf(const RunTotals& totals, std::optional<std::size_t> chosen);

}  // namespace strivo
