#include "history/RunTotals.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <optional>

#include "io/RunText.h"
#include "io/TimeText.h"
#include "text/CodePage.h"

namespace strivo {

const char* PeriodKindName(PeriodKind kind) {
    switch (kind) {
        case PeriodKind::Week:
            return "week";
        case PeriodKind::Month:
            return "month";
        case PeriodKind::Year:
            return "year";
    }
    return "";
}

std::optional<PeriodKind> ParsePeriodKind(std::string_view name) {
    for (const PeriodKind kind : {PeriodKind::Week, PeriodKind::Month, PeriodKind::Year}) {
        if (name == PeriodKindName(kind)) {
            return kind;
        }
    }
    return std::nullopt;
}

namespace {

using std::chrono::sys_days;

// The Monday that starts ISO week 0 of our count: the week of 1970-01-01.
constexpr sys_days kFirstMonday =
    sys_days{std::chrono::year{1970} / 1 / 1} -
    (std::chrono::weekday{sys_days{std::chrono::year{1970} / 1 / 1}} - std::chrono::Monday);

// A value the totals count: known and within what a run may plausibly hold.
// A value left out is named by its text (made only then: a million runs).
void Count(std::optional<std::int64_t>& value, std::int64_t most, const char* field,
           const StoredRun& run, std::string StoredTexts::*text,
           std::vector<RunProblem>& problems) {
    if (!value || *value > most) {
        problems.push_back({run.runId, Problem(value ? ProblemCode::ValueImplausible
                                                     : ProblemCode::ValueNotCounted,
                                               {field, Cp936ToUtf8(TextsOf(run).*text)})});
        value.reset();
    }
}

}  // namespace

// Weeks are counted from Monday to Monday; a week's Thursday names its
// ISO week-year.
std::int64_t PeriodOf(std::int64_t localDays, PeriodKind by) {
    using namespace std::chrono;
    const sys_days date{days{localDays}};
    if (by == PeriodKind::Week) {
        const sys_days monday = date - (weekday{date} - Monday);
        return (monday - kFirstMonday) / weeks{1};
    }
    const year_month_day civil{date};
    const int year = static_cast<int>(civil.year());
    return by == PeriodKind::Month
               ? std::int64_t{year} * 12 + static_cast<unsigned>(civil.month()) - 1
               : year;
}

std::string PeriodLabel(std::int64_t period, PeriodKind by) {
    using namespace std::chrono;
    if (by == PeriodKind::Week) {
        const sys_days thursday = kFirstMonday + weeks{period} + days{3};
        const year isoYear = year_month_day{thursday}.year();
        const auto week = (thursday - sys_days{isoYear / January / 1}) / weeks{1} + 1;
        return IsoWeekText(static_cast<int>(isoYear), static_cast<int>(week));
    }
    if (by == PeriodKind::Month) {
        const year_month month = year{0} / January + months{period};
        return MonthText(static_cast<int>(month.year()), static_cast<unsigned>(month.month()));
    }
    return YearText(static_cast<int>(period));
}

std::int64_t PeriodFirstDay(std::int64_t period, PeriodKind by) {
    using namespace std::chrono;
    sys_days first = kFirstMonday + weeks{period};
    if (by == PeriodKind::Month) {
        first = sys_days{(year{0} / January + months{period}) / 1};
    } else if (by == PeriodKind::Year) {
        first = sys_days{year{static_cast<int>(period)} / January / 1};
    }
    return first.time_since_epoch().count();
}

RunTotaller::RunTotaller(PeriodKind by) {
    m_totals.by = by;
}

void RunTotaller::Add(const StoredRun& run) {
    Add(run, FiguresOf(run));
}

void RunTotaller::Add(const StoredRun& run, RunFigures figures) {
    std::vector<RunProblem>& problems = m_totals.problems;
    if (!figures.startUtcMs) {
        problems.push_back({run.runId, Problem(ProblemCode::StartUnparsedNotCounted,
                                               {Cp936ToUtf8(TextsOf(run).startTime)})});
        return;
    }
    Count(figures.distanceMm, kMostPlausibleDistanceMm, kFieldDistance, run, &StoredTexts::distance,
          problems);
    Count(figures.durationMs, kMostPlausibleDurationMs, kFieldDuration, run, &StoredTexts::duration,
          problems);
    // A run read from a file has no text: its calories are known or not.
    const bool caloriesKnown =
        run.source.empty() ? !run.calories.empty() : run.calorieCount.has_value();
    if (caloriesKnown) {
        Count(figures.calories, kMostPlausibleCalories, kFieldCalories, run, &StoredTexts::calories,
              problems);
    }
    const std::chrono::sys_time<std::chrono::milliseconds> local{
        std::chrono::milliseconds{*figures.startUtcMs} +
        std::chrono::minutes{figures.startOffsetMinutes}};
    const std::int64_t localDay =
        std::chrono::floor<std::chrono::days>(local).time_since_epoch().count();
    if (localDay != m_lastDay) {
        m_lastDay = localDay;
        m_lastSums = &m_sums[PeriodOf(localDay, m_totals.by)];
    }
    for (PeriodTotals* sum : {m_lastSums, &m_totals.all}) {
        ++sum->runs;
        sum->distanceMm += figures.distanceMm.value_or(0);
        sum->durationMs += figures.durationMs.value_or(0);
        sum->calories += figures.calories.value_or(0);
        sum->withoutCalories += caloriesKnown ? 0 : 1;
    }
}

RunTotals RunTotaller::Finish() {
    // Only the periods with runs, the short gaps between them and one entry
    // per long gap are ever made.
    std::vector<PeriodTotals>& periods = m_totals.periods;
    const PeriodKind by = m_totals.by;
    std::optional<std::int64_t> previous;
    for (auto& [period, sum] : m_sums) {
        if (previous) {
            const std::int64_t gap = period - *previous - 1;
            if (gap > kLongestListedGap) {
                periods.push_back({.foldedPeriods = gap});
            } else {
                for (std::int64_t p = *previous + 1; p < period; ++p) {
                    periods.push_back(
                        {.label = PeriodLabel(p, by), .firstDay = PeriodFirstDay(p, by)});
                }
            }
        }
        previous = period;
        sum.label = PeriodLabel(period, by);
        sum.firstDay = PeriodFirstDay(period, by);
        periods.push_back(std::move(sum));
    }
    RunTotals totals = std::move(m_totals);
    *this = RunTotaller(by);
    return totals;
}

RunTotals TotalRuns(std::span<const StoredRun> runs, PeriodKind by) {
    RunTotaller totaller(by);
    for (const StoredRun& run : runs) {
        totaller.Add(run);
    }
    return totaller.Finish();
}

}  // namespace strivo

namespace strivo {

std::string FormatKm(std::int64_t distanceMm, int decimals) {
    std::int64_t unit = 1;
    for (int i = decimals; i < 6; ++i) {
        unit *= 10;
    }
    const std::int64_t scaled = (distanceMm + unit / 2) / unit;
    std::string text = std::to_string(scaled);
    if (decimals == 0) {
        return text;
    }
    if (text.size() <= static_cast<std::size_t>(decimals)) {
        text.insert(0, static_cast<std::size_t>(decimals) + 1 - text.size(), '0');
    }
    text.insert(text.size() - static_cast<std::size_t>(decimals), ".");
    return text;
}

std::string FormatHms(std::int64_t durationMs) {
    return HmsText(durationMs);
}

std::string FormatPace(std::int64_t msPerKm) {
    return MinuteSecondText((msPerKm + 500) / 1000);
}

}  // namespace strivo
