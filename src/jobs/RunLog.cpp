#include "jobs/RunLog.h"

#include <algorithm>
#include <map>

#include "history/RunFigures.h"
#include "history/RunTotals.h"
#include "jobs/StoreAccess.h"

namespace strivo::jobs {
namespace {

constexpr std::int64_t kMsPerDay = 86'400'000;

constexpr struct {
    RunLogState state;
    const char* name;
} kStateNames[] = {
    {RunLogState::Posted, "posted"},    {RunLogState::Waiting, "waiting"},
    {RunLogState::KeptOff, "kept-off"}, {RunLogState::Unknown, "unknown"},
    {RunLogState::Posting, "unknown"},  {RunLogState::Failed, "failed"},
};

// A value the totals would count: known, and within a plausible run.
std::optional<std::int64_t> Plausible(std::optional<std::int64_t> value, std::int64_t most) {
    return value && *value >= 0 && *value <= most ? value : std::nullopt;
}

// -1, 0 or 1 as `a` sorts before, with or after `b`; a run without the value first.
template <class T>
int Compare(const std::optional<T>& a, const std::optional<T>& b) {
    if (a.has_value() != b.has_value()) {
        return a.has_value() ? 1 : -1;
    }
    return !a || *a == *b ? 0 : (*a < *b ? -1 : 1);
}

int CompareBy(const LoggedRun& a, const LoggedRun& b, RunLogSort by) {
    switch (by) {
        case RunLogSort::Date:
            break;
        case RunLogSort::Distance:
            return Compare(a.distanceMm, b.distanceMm);
        case RunLogSort::Duration:
            return Compare(a.durationMs, b.durationMs);
        case RunLogSort::Pace:
            return Compare(a.paceMsPerKm, b.paceMsPerKm);
        case RunLogSort::Calories:
            return Compare(a.calories, b.calories);
        case RunLogSort::Source:
            return Compare(std::optional(a.source), std::optional(b.source));
        case RunLogSort::State:
            return Compare(std::optional(a.state), std::optional(b.state));
    }
    return 0;
}

}  // namespace

const char* RunLogStateName(RunLogState state) {
    for (const auto& [each, name] : kStateNames) {
        if (each == state) {
            return name;
        }
    }
    return "";
}

std::optional<RunLogState> ParseRunLogState(std::string_view name) {
    for (const auto& [state, each] : kStateNames) {
        if (each == name) {
            return state;
        }
    }
    return std::nullopt;
}

RunLogState StateOf(const PostRecord* post, bool sendingInFlight) {
    if (post == nullptr) {
        return RunLogState::Waiting;
    }
    switch (post->state) {
        case PostState::Confirmed:
            return RunLogState::Posted;
        case PostState::Excluded:
            return RunLogState::KeptOff;
        case PostState::Failed:
            return RunLogState::Failed;
        case PostState::Sending:
            return sendingInFlight ? RunLogState::Posting : RunLogState::Unknown;
        case PostState::Unknown:
            break;
    }
    return RunLogState::Unknown;
}

RunSource SourceOf(const StoredRun& run) {
    return RunSourceNamed(run.source);
}

std::optional<std::int64_t> RunValues::LocalDay() const {
    return localStartMs ? std::optional(FloorDiv(*localStartMs, kMsPerDay)) : std::nullopt;
}

std::optional<int> RunValues::LocalYear() const {
    const auto day = LocalDay();
    return day ? std::optional(CivilFromDays(*day).year) : std::nullopt;
}

RunValues ValuesOf(const StoredRun& run) {
    RunValues values;
    const RunFigures figures = FiguresOf(run);
    if (figures.startUtcMs) {
        values.localStartMs =
            *figures.startUtcMs + std::int64_t{figures.startOffsetMinutes} * 60'000;
    }
    values.distanceMm = Plausible(figures.distanceMm, kMostPlausibleDistanceMm);
    values.durationMs = Plausible(figures.durationMs, kMostPlausibleDurationMs);
    values.calories = Plausible(figures.calories, kMostPlausibleCalories);
    if (values.distanceMm > 0 && values.durationMs > 0) {
        // Milliseconds a kilometre: at most 7 days over 1 mm fits easily.
        values.paceMsPerKm = *values.durationMs * 1'000'000 / *values.distanceMm;
    }
    return values;
}

LoggedRun LogRun(StoredRun run, const PostRecord* post, bool sendingInFlight) {
    LoggedRun logged;
    static_cast<RunValues&>(logged) = ValuesOf(run);
    logged.state = StateOf(post, sendingInFlight);
    if (post != nullptr) {
        logged.post = *post;
    }
    logged.source = SourceOf(run);
    logged.run = std::move(run);
    return logged;
}

bool RunLogFilter::Matches(const RunValues& run, RunLogState runState) const {
    if (state && runState != *state &&
        !(*state == RunLogState::Unknown && runState == RunLogState::Posting)) {
        return false;
    }
    if (!year && !fromDay && !toDay) {
        return true;
    }
    const std::optional<std::int64_t> day = run.LocalDay();
    return day && (!year || CivilFromDays(*day).year == *year) && (!fromDay || *day >= *fromDay) &&
           (!toDay || *day <= *toDay);
}

std::vector<std::size_t> SelectRuns(std::span<const LoggedRun> runs, const RunLogFilter& filter,
                                    RunLogSort by, bool ascending) {
    std::vector<std::size_t> shown;
    shown.reserve(runs.size());
    for (std::size_t i = 0; i < runs.size(); ++i) {
        if (filter.Matches(runs[i])) {
            shown.push_back(i);
        }
    }
    std::sort(shown.begin(), shown.end(), [&](std::size_t a, std::size_t b) {
        int order = CompareBy(runs[a], runs[b], by);
        if (order == 0) {
            order = Compare(runs[a].localStartMs, runs[b].localStartMs);
        }
        if (order == 0) {
            order = a < b ? -1 : (a > b ? 1 : 0);
        }
        return ascending ? order < 0 : order > 0;
    });
    return shown;
}

RunLogCounts CountRuns(std::span<const LoggedRun> runs, std::span<const std::size_t> shown) {
    RunLogCounts counts;
    for (const std::size_t index : shown) {
        const LoggedRun& run = runs[index];
        ++counts.runs;
        const RunLogState state =
            run.state == RunLogState::Posting ? RunLogState::Unknown : run.state;
        ++counts.perState[static_cast<std::size_t>(state)];
        counts.distanceMm += run.distanceMm.value_or(0);
        counts.durationMs += run.durationMs.value_or(0);
    }
    return counts;
}

std::vector<int> RunYears(std::span<const LoggedRun> runs) {
    std::vector<int> years;
    for (const LoggedRun& run : runs) {
        if (const auto year = run.LocalYear()) {
            years.push_back(*year);
        }
    }
    std::sort(years.begin(), years.end(), std::greater<>());
    years.erase(std::unique(years.begin(), years.end()), years.end());
    return years;
}

RunLogStrip StripFigures(std::span<const LoggedRun> runs, int year) {
    RunLogStrip strip;
    strip.year = year;
    std::map<std::int64_t, RunLogStrip::Week> weeks;
    const auto faster = [&runs](std::optional<std::size_t> best, std::size_t i) {
        return !best || *runs[i].paceMsPerKm < *runs[*best].paceMsPerKm;
    };
    for (std::size_t i = 0; i < runs.size(); ++i) {
        const LoggedRun& run = runs[i];
        const std::optional<std::int64_t> day = run.LocalDay();
        if (day && CivilFromDays(*day).year == year) {
            ++strip.yearRuns;
            strip.yearDistanceMm += run.distanceMm.value_or(0);
            strip.yearDurationMs += run.durationMs.value_or(0);
        }
        if (run.distanceMm &&
            (!strip.longest || *run.distanceMm > *runs[*strip.longest].distanceMm)) {
            strip.longest = i;
        }
        if (run.paceMsPerKm && *run.paceMsPerKm >= kFastestPaceMsPerKm) {
            if (*run.distanceMm >= 5'000'000 && faster(strip.fastest5, i)) {
                strip.fastest5 = i;
            }
            if (*run.distanceMm >= 10'000'000 && faster(strip.fastest10, i)) {
                strip.fastest10 = i;
            }
        }
        if (day) {
            const std::int64_t monday =
                PeriodFirstDay(PeriodOf(*day, PeriodKind::Week), PeriodKind::Week);
            RunLogStrip::Week& week = weeks[monday];
            week.monday = monday;
            ++week.runs;
            week.distanceMm += run.distanceMm.value_or(0);
        }
    }
    for (const auto& [monday, week] : weeks) {
        if (week.distanceMm > 0 &&
            (!strip.bestWeek || week.distanceMm > strip.bestWeek->distanceMm)) {
            strip.bestWeek = week;
        }
    }
    return strip;
}

Result<RunLogRuns> ReadRunLog(const Workspace& where, bool sendingInFlight) {
    RunLogRuns log;
    PostStates posts;
    const Result<StoredRunsFound> read = EachStoredRun(
        where, /*withPosts=*/true, StoredOrder::AsStored,
        [&](const StoredRunsFound& found) {
            log.runs.reserve(found.count);
            posts = found.posts;
        },
        [&](const StoredRun& run) {
            const auto post = posts.find(run.runId);
            log.runs.push_back(
                LogRun(run, post == posts.end() ? nullptr : &post->second, sendingInFlight));
        });
    if (!read) {
        return read.problem();
    }
    log.storeExists = read->storeExists;
    return log;
}

Result<std::vector<RunPost>> ReadRunPosts(const Workspace& where, std::string_view runId) {
    if (!where.StoreExists()) {
        return std::vector<RunPost>();
    }
    Result<std::unique_ptr<RunStore>> store = OpenStore(where);
    if (!store) {
        return store.problem();
    }
    auto posts = (*store)->RunPosts(runId);
    if (!posts) {
        return posts.problem();
    }
    std::vector<RunPost> found;
    for (auto& [site, post] : *posts) {
        found.push_back({std::move(site), std::move(post)});
    }
    return found;
}

}  // namespace strivo::jobs
