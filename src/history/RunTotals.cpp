#include "history/RunTotals.h"

#include <algorithm>
#include <chrono>
#include <cstdio>

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
void Count(std::optional<std::int64_t>& value, std::int64_t most, const char* field,
           const std::string& text, const std::string& runId, std::vector<RunProblem>& problems) {
    if (!value || *value > most) {
        problems.push_back(
            {runId, Problem(value ? ProblemCode::ValueImplausible : ProblemCode::ValueNotCounted,
                            {field, Cp936ToUtf8(text)})});
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
    char text[24];
    if (by == PeriodKind::Week) {
        const sys_days thursday = kFirstMonday + weeks{period} + days{3};
        const year isoYear = year_month_day{thursday}.year();
        const auto week = (thursday - sys_days{isoYear / January / 1}) / weeks{1} + 1;
        std::snprintf(text, sizeof text, "%04d-W%02d", static_cast<int>(isoYear),
                      static_cast<int>(week));
    } else if (by == PeriodKind::Month) {
        const year_month month = year{0} / January + months{period};
        std::snprintf(text, sizeof text, "%04d-%02u", static_cast<int>(month.year()),
                      static_cast<unsigned>(month.month()));
    } else {
        std::snprintf(text, sizeof text, "%04d", static_cast<int>(period));
    }
    return text;
}

RunTotals TotalRuns(std::span<const StoredRun> runs, PeriodKind by) {
    RunTotals totals;
    totals.by = by;
    struct Counted {
        std::int64_t period;
        RunFigures figures;
    };
    std::vector<Counted> counted;
    counted.reserve(runs.size());
    for (const StoredRun& run : runs) {
        RunFigures figures = FiguresOf(run);
        if (!figures.startUtcMs) {
            totals.problems.push_back({run.runId, Problem(ProblemCode::StartUnparsedNotCounted,
                                                          {Cp936ToUtf8(run.startTime)})});
            continue;
        }
        Count(figures.distanceMm, kMostPlausibleDistanceMm, kFieldDistance, run.distance, run.runId,
              totals.problems);
        Count(figures.durationMs, kMostPlausibleDurationMs, kFieldDuration, run.duration, run.runId,
              totals.problems);
        Count(figures.calories, kMostPlausibleCalories, kFieldCalories, run.calories, run.runId,
              totals.problems);
        const std::chrono::sys_time<std::chrono::milliseconds> local{
            std::chrono::milliseconds{*figures.startUtcMs} +
            std::chrono::minutes{figures.startOffsetMinutes}};
        const sys_days localDay = std::chrono::floor<std::chrono::days>(local);
        counted.push_back({PeriodOf(localDay.time_since_epoch().count(), by), figures});
    }
    std::sort(counted.begin(), counted.end(),
              [](const Counted& a, const Counted& b) { return a.period < b.period; });
    // Only the periods with runs, the short gaps between them and one entry
    // per long gap are ever made.
    std::int64_t current = 0;
    for (const Counted& c : counted) {
        if (totals.periods.empty() || c.period != current) {
            if (!totals.periods.empty()) {
                const std::int64_t gap = c.period - current - 1;
                if (gap > kLongestListedGap) {
                    totals.periods.push_back({.foldedPeriods = gap});
                } else {
                    for (std::int64_t p = current + 1; p < c.period; ++p) {
                        totals.periods.push_back({.label = PeriodLabel(p, by)});
                    }
                }
            }
            current = c.period;
            totals.periods.push_back({.label = PeriodLabel(current, by)});
        }
        for (PeriodTotals* sum : {&totals.periods.back(), &totals.all}) {
            ++sum->runs;
            sum->distanceMm += c.figures.distanceMm.value_or(0);
            sum->durationMs += c.figures.durationMs.value_or(0);
            sum->calories += c.figures.calories.value_or(0);
        }
    }
    return totals;
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
    const std::int64_t seconds = durationMs / 1000;
    char text[32];
    std::snprintf(text, sizeof text, "%lld:%02d:%02d", static_cast<long long>(seconds / 3600),
                  static_cast<int>(seconds / 60 % 60), static_cast<int>(seconds % 60));
    return text;
}

}  // namespace strivo
