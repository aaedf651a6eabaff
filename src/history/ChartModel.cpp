#include "history/ChartModel.h"

#include <algorithm>
#include <cmath>

namespace strivo {

ChartLayout LayOutChart(std::span<const PeriodTotals> periods, const ChartView& view) {
    const auto px = [&](double value) { return static_cast<int>(std::lround(value * view.scale)); };
    ChartLayout layout;
    layout.fontPx = px(12);
    const int slot = px(76), barWidth = px(40), margin = px(12);
    const int top = layout.fontPx * 2, bottom = layout.fontPx * 2 + px(4);
    const int count = static_cast<int>(periods.size());
    layout.width = std::max(view.width, 2 * margin + count * slot);
    layout.height = std::max(view.height, top + bottom + px(40));
    layout.axisY = layout.height - bottom;
    const int plot = layout.axisY - top;
    std::int64_t most = 0;
    for (const PeriodTotals& period : periods) {
        most = std::max(most, period.distanceMm);
    }
    layout.bars.reserve(periods.size());
    for (int i = 0; i < count; ++i) {
        const PeriodTotals& period = periods[static_cast<std::size_t>(i)];
        ChartBar bar;
        const int left = margin + i * slot;
        const int centre = left + slot / 2;
        int height = most > 0 ? static_cast<int>(period.distanceMm * plot / most) : 0;
        if (period.distanceMm > 0) {
            height = std::max(height, 1);  // a short run still shows
        }
        bar.bar = {centre - barWidth / 2, layout.axisY - height, barWidth, height};
        bar.column = {left, 0, slot, layout.height};
        bar.value = {FormatKm(period.distanceMm, 1), centre, bar.bar.y - px(4)};
        bar.label = {period.label, centre, layout.axisY + layout.fontPx + px(6)};
        layout.bars.push_back(std::move(bar));
    }
    return layout;
}

std::optional<std::size_t> BarAt(const ChartLayout& layout, int x, int y) {
    for (std::size_t i = 0; i < layout.bars.size(); ++i) {
        const ChartRect& c = layout.bars[i].column;
        if (x >= c.x && x < c.x + c.width && y >= c.y && y < c.y + c.height) {
            return i;
        }
    }
    return std::nullopt;
}

ChartSummary ChartSummaryOf(const RunTotals& totals, std::optional<std::size_t> chosen) {
    const PeriodTotals& figures =
        chosen && *chosen < totals.periods.size() ? totals.periods[*chosen] : totals.all;
    return {figures.label, figures.runs, FormatKm(figures.distanceMm, 2),
            FormatHms(figures.durationMs), figures.calories};
}

}  // namespace strivo
