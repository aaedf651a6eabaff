#include "ui/StatsChart.h"

#include <algorithm>

#include "text/Catalog.h"
#include "text/CodePage.h"

namespace strivo {
namespace {

constexpr ChartColour kBar{0x3b, 0x7d, 0xd8};
constexpr ChartColour kChosenBar{0xe0, 0x7a, 0x1f};
constexpr ChartColour kText{0x22, 0x22, 0x22};
constexpr ChartColour kAxis{0x88, 0x88, 0x88};

}  // namespace

StatsChart::StatsChart(std::array<RunTotals, 3> totals)
    : m_every(std::move(totals)), m_totals(m_every[static_cast<std::size_t>(PeriodKind::Week)]) {}

std::string StatsChart::Title() {
    return Utf8ToCp936(Zh(N_("Distance statistics")));
}

std::vector<std::string> StatsChart::PeriodChoices() {
    return {Utf8ToCp936(Zh(N_("Distance per week (km)"))),
            Utf8ToCp936(Zh(N_("Distance per month (km)"))),
            Utf8ToCp936(Zh(N_("Distance per year (km)")))};
}

void StatsChart::SetPeriod(PeriodKind by) {
    if (by == m_totals.by) {
        return;
    }
    m_totals = m_every[static_cast<std::size_t>(by)];
    m_chosen.reset();
    Resize(m_view);
}

void StatsChart::Resize(const ChartView& view) {
    m_view = view;
    m_layout = LayOutChart(m_totals.periods, view);
}

void StatsChart::Click(int x, int y) {
    m_chosen = BarAt(m_layout, x, y);
}

std::string StatsChart::SummaryLine() const {
    const ChartSummary summary = ChartSummaryOf(m_totals, m_chosen);
    const std::string who = summary.period.empty() ? Zh(N_("All runs")) : summary.period;
    // Runs without a calorie count add nothing and are counted: no 0 for unknown.
    const char* sentence =
        summary.withoutCalories == 0 ? N_("{0}: {1} runs, {2} km, {3}, {4} calories")
        : summary.withoutCalories < summary.runs
            ? N_("{0}: {1} runs, {2} km, {3}, {4} calories ({5} runs without a calorie count)")
            : N_("{0}: {1} runs, {2} km, {3}, calories unknown");
    return Utf8ToCp936(FillIn(
        Zh(sentence), {who, std::to_string(summary.runs), summary.distanceKm, summary.time,
                       std::to_string(summary.calories), std::to_string(summary.withoutCalories)}));
}

void StatsChart::Paint(ChartCanvas& canvas, int fromX, int toX) const {
    canvas.Line(fromX, m_layout.axisY, toX, m_layout.axisY, kAxis);
    // Bars are in order of x: only those in sight are drawn, however many there are.
    const auto& bars = m_layout.bars;
    auto bar = std::partition_point(bars.begin(), bars.end(), [fromX](const ChartBar& b) {
        return b.column.x + b.column.width <= fromX;
    });
    for (; bar != bars.end() && bar->column.x < toX; ++bar) {
        const bool chosen = m_chosen && *m_chosen == static_cast<std::size_t>(bar - bars.begin());
        if (bar->bar.height > 0) {
            canvas.FillRect(bar->bar, chosen ? kChosenBar : kBar);
        }
        canvas.Text(bar->value, m_layout.fontPx, kText);
        canvas.Text(bar->label, m_layout.fontPx, kText);
    }
}

}  // namespace strivo
