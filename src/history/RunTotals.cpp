#include "history/RunTotals.h"

#include <algorithm>
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

// 1970-01-01 was a Thursday: week n runs from the Monday 7n - 3 days after it
// to the Sunday, and its Thursday, day 7n, names the ISO week-year.
std::int64_t PeriodOf(std::int64_t localDays, PeriodKind by) {
    if (by == PeriodKind::Week) {
        return FloorDiv(localDays + 3, 7);
    }
    const CivilDate date = CivilFromDays(localDays);
    return by == PeriodKind::Month ? std::int64_t{date.year} * 12 + (date.month - 1) : date.year;
}

std::string PeriodLabel(std::int64_t period, PeriodKind by) {
    char text[24];
    if (by == PeriodKind::Week) {
        const std::int64_t thursday = period * 7;
        const int year = CivilFromDays(thursday).year;
        const std::int64_t week = (thursday - DaysFromCivil(year, 1, 1)) / 7 + 1;
        std::snprintf(text, sizeof text, "%04d-W%02d", year, static_cast<int>(week));
    } else if (by == PeriodKind::Month) {
        std::snprintf(text, sizeof text, "%04d-%02d", static_cast<int>(FloorDiv(period, 12)),
                      static_cast<int>(period - FloorDiv(period, 12) * 12 + 1));
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
    std::int64_t first = 0, last = 0;
    for (const StoredRun& run : runs) {
        const RunFigures figures = FiguresOf(run);
        std::string unknown;
        const auto note = [&](bool known, const char* field, const std::string& text) {
            if (!known) {
                unknown += (unknown.empty() ? "" : ", ") + std::string(field) + " \"" +
                           Cp936ToUtf8(text) + "\"";
            }
        };
        if (!figures.startUtcMs) {
            totals.problems.push_back({run.runId, "start \"" + Cp936ToUtf8(run.startTime) +
                                                      "\" does not parse, not counted"});
            continue;
        }
        note(figures.distanceMm.has_value(), "distance", run.distance);
        note(figures.durationMs.has_value(), "duration", run.duration);
        note(figures.calories.has_value(), "calories", run.calories);
        if (!unknown.empty()) {
            totals.problems.push_back({run.runId, unknown + " not counted: does not parse"});
        }
        const std::int64_t localMs = *figures.startUtcMs + figures.startOffsetMinutes * 60000LL;
        const std::int64_t period = PeriodOf(FloorDiv(localMs, 86400000), by);
        first = counted.empty() ? period : std::min(first, period);
        last = counted.empty() ? period : std::max(last, period);
        counted.push_back({period, figures});
    }
    if (counted.empty()) {
        return totals;
    }
    totals.periods.resize(static_cast<std::size_t>(last - first + 1));
    for (std::size_t i = 0; i < totals.periods.size(); ++i) {
        totals.periods[i].label = PeriodLabel(first + static_cast<std::int64_t>(i), by);
    }
    for (const Counted& c : counted) {
        for (PeriodTotals* sum :
             {&totals.periods[static_cast<std::size_t>(c.period - first)], &totals.all}) {
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
