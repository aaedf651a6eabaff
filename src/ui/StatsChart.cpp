#include "ui/StatsChart.h"

#include <algorithm>

#include "history/RunFigures.h"
#include "text/Catalog.h"
#include "text/CodePage.h"

namespace strivo {
namespace {

constexpr ChartColour kBar{0x3b, 0x7d, 0xd8};
constexpr ChartColour kChosenBar{0xe0, 0x7a, 0x1f};
constexpr ChartColour kText{0x22, 0x22, 0x22};
constexpr ChartColour kAxis{0x88, 0x88, 0x88};

constexpr int kBarsPerNotch = 3;

// "3月1日": a week's bar is labelled by its first day (UTF-8).
std::string DayLabel(const PeriodTotals& week) {
    const CivilDate day = CivilFromDays(week.firstDay);
    return FillIn(Zh(N_("{0}/{1}")), {std::to_string(day.month), std::to_string(day.day)});
}

}  // namespace

StatsChart::StatsChart(std::array<RunTotals, 3> totals) : m_every(std::move(totals)) {
    // A chosen week is named in the line above the chart by its first day and its year.
    for (PeriodTotals& week : m_every[static_cast<std::size_t>(PeriodKind::Week)].periods) {
        if (week.foldedPeriods == 0) {
            const CivilDate day = CivilFromDays(week.firstDay);
            week.label = FillIn(
                Zh(N_("Week of {0}-{1}-{2}")),
                {std::to_string(day.year), std::to_string(day.month), std::to_string(day.day)});
        }
    }
    m_totals = m_every[static_cast<std::size_t>(PeriodKind::Week)];
}

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
    m_layout = LayOutChart(m_totals.periods, view,
                           m_totals.by == PeriodKind::Week ? ChartLabeller(DayLabel) : nullptr);
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

int StatsChart::ScrolledTo(int from, ChartScroll how) const {
    const int last = std::max(0, m_layout.width - m_view.width);
    const int page = std::max(m_view.width, 1);
    int to = from;
    switch (how) {
        case ChartScroll::Left:
            to = from - m_layout.slot;
            break;
        case ChartScroll::Right:
            to = from + m_layout.slot;
            break;
        case ChartScroll::PageLeft:
            to = from - page;
            break;
        case ChartScroll::PageRight:
            to = from + page;
            break;
        case ChartScroll::Home:
            to = 0;
            break;
        case ChartScroll::End:
            to = last;
            break;
    }
    return std::clamp(to, 0, last);
}

int StatsChart::WheeledTo(int from, int notches) const {
    const long long to = from + static_cast<long long>(notches) * kBarsPerNotch * m_layout.slot;
    return static_cast<int>(
        std::clamp<long long>(to, 0, std::max(0, m_layout.width - m_view.width)));
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
