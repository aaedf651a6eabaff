#include "history/ChartModel.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace strivo {

ChartLayout LayOutChart(std::span<const PeriodTotals> periods, const ChartView& view,
                        const ChartLabeller& label) {
    const auto px = [&](double value) { return static_cast<int>(std::lround(value * view.scale)); };
    ChartLayout layout;
    layout.fontPx = px(12);
    const int slot = layout.slot = px(76);
    const int gapSlot = px(24), barWidth = px(40), margin = px(12);
    const int top = layout.fontPx * 2, bottom = layout.fontPx * 2 + px(4);
    int content = 0;
    std::int64_t most = 0;
    for (const PeriodTotals& period : periods) {
        content += period.foldedPeriods > 0 ? gapSlot : slot;
        most = std::max(most, period.distanceMm);
    }
    layout.width = std::max(view.width, 2 * margin + content);
    layout.height = std::max(view.height, top + bottom + px(40));
    layout.axisY = layout.height - bottom;
    const int plot = layout.axisY - top;
    // Scaled down first where distance times height would not fit.
    const std::int64_t shrink = most / (std::numeric_limits<std::int64_t>::max() / (plot + 1)) + 1;
    layout.bars.reserve(periods.size());
    int left = margin;
    for (const PeriodTotals& period : periods) {
        ChartBar bar;
        const int width = period.foldedPeriods > 0 ? gapSlot : slot;
        const int centre = left + width / 2;
        bar.column = {left, 0, width, layout.height};
        bar.label = {period.foldedPeriods > 0 ? "…"
                     : label                  ? label(period)
                                              : period.label,
                     centre, layout.axisY + layout.fontPx + px(6)};
        if (period.foldedPeriods > 0) {
            bar.bar = {centre, layout.axisY, 0, 0};
            bar.value = {"", centre, layout.axisY - px(4)};
            bar.foldedPeriods = period.foldedPeriods;
        } else {
            int height =
                most > 0 ? static_cast<int>((period.distanceMm / shrink) * plot / (most / shrink))
                         : 0;
            if (period.distanceMm > 0) {
                height = std::max(height, 1);  // a short run still shows
            }
            bar.bar = {centre - barWidth / 2, layout.axisY - height, barWidth, height};
            bar.value = {FormatKm(period.distanceMm, 1), centre, bar.bar.y - px(4)};
        }
        layout.bars.push_back(std::move(bar));
        left += width;
    }
    return layout;
}

std::optional<std::size_t> BarAt(const ChartLayout& layout, int x, int y) {
    // Bars are in order of x.
    const auto& bars = layout.bars;
    const auto bar = std::partition_point(bars.begin(), bars.end(), [x](const ChartBar& b) {
        return b.column.x + b.column.width <= x;
    });
    if (bar == bars.end() || bar->foldedPeriods > 0) {
        return std::nullopt;
    }
    const ChartRect& c = bar->column;
    if (x >= c.x && x < c.x + c.width && y >= c.y && y < c.y + c.height) {
        return static_cast<std::size_t>(bar - bars.begin());
    }
    return std::nullopt;
}

ChartSummary ChartSummaryOf(const RunTotals& totals, std::optional<std::size_t> chosen) {
    const PeriodTotals& figures =
        chosen && *chosen < totals.periods.size() && totals.periods[*chosen].foldedPeriods == 0
            ? totals.periods[*chosen]
            : totals.all;
    return {figures.label,
            figures.runs,
            FormatKm(figures.distanceMm, 2),
            FormatHms(figures.durationMs),
            figures.calories,
            figures.withoutCalories};
}

}  // namespace strivo
