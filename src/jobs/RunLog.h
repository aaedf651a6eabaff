#pragma once

// The run log: every stored run of the Nike+ user in the settings with the
// state of its post for the site user, filtered, sorted, counted and summed.
// The window's run log and `strivo-cli runs` read it alike.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "jobs/StoredRuns.h"
#include "jobs/Workspace.h"
#include "model/Result.h"
#include "model/Run.h"
#include "model/Runs.h"

namespace strivo::jobs {

// A run's post for the site user, as a runner reads it.
enum class RunLogState {
    Posted,   // the site confirmed it
    Waiting,  // never posted: the next sync posts it
    KeptOff,  // excluded: no sync posts it until released
    Unknown,  // sent without a whole answer, or left `sending` by a sync that died
    Posting,  // `sending` while the sync that sent it still runs
    Failed,   // the site did not take it: the next sync posts it again
};
inline constexpr std::size_t kRunLogStateCount = 6;

// "posted", "waiting", "kept-off", "unknown", "failed" as `runs --state`
// takes them ("unknown" for Posting too), and back; nullopt for any other.
const char* RunLogStateName(RunLogState state);
std::optional<RunLogState> ParseRunLogState(std::string_view name);

// The state of a run whose post is `post` (null: none). A post still
// `sending` is in flight while `sending` says a sync of this process posts
// it; else nobody knows its outcome.
RunLogState StateOf(const PostRecord* post, bool sendingInFlight = false);

// Where a stored run comes from; the source column sorts them in RunSource's order.
RunSource SourceOf(const StoredRun& run);

// The values a run is sorted, filtered and summed by, read once from a
// stored run. A value beyond a plausible run (RunTotals.h) is none, as the
// totals leave it out.
struct RunValues {
    std::optional<std::int64_t> localStartMs;  // the start in its own offset, as if UTC
    std::optional<std::int64_t> distanceMm, durationMs, calories;
    std::optional<std::int64_t> paceMsPerKm;  // with both distance and time

    // The local date it started on, in days since 1970-01-01, and its year.
    std::optional<std::int64_t> LocalDay() const;
    std::optional<int> LocalYear() const;
};
RunValues ValuesOf(const StoredRun& run);

// A stored run as the run log holds it: the run, its post and its values.
struct LoggedRun : RunValues {
    StoredRun run;
    RunLogState state = RunLogState::Waiting;
    std::optional<PostRecord> post;
    RunSource source = RunSource::Service;
};
LoggedRun LogRun(StoredRun run, const PostRecord* post, bool sendingInFlight = false);

// Which runs are shown; each field left empty lets every run through.
struct RunLogFilter {
    std::optional<int> year;              // the local year it started in
    std::optional<RunLogState> state;     // Unknown lets Posting through too
    std::optional<std::int64_t> fromDay;  // local dates, days since 1970-01-01,
    std::optional<std::int64_t> toDay;    // both included
    bool Matches(const RunValues& run, RunLogState state) const;
    bool Matches(const LoggedRun& run) const { return Matches(run, run.state); }
};

// The columns runs are sorted by.
enum class RunLogSort { Date, Distance, Duration, Pace, Calories, Source, State };

// The indexes of the runs `filter` lets through, sorted by `by` (runs
// without the value first when ascending), then by start, then as stored.
std::vector<std::size_t> SelectRuns(std::span<const LoggedRun> runs, const RunLogFilter& filter,
                                    RunLogSort by, bool ascending);

// The runs shown, counted per state (Posting with Unknown), and the sums of
// their known distances and times.
struct RunLogCounts {
    std::size_t runs = 0;
    std::array<std::size_t, kRunLogStateCount> perState{};
    std::int64_t distanceMm = 0;
    std::int64_t durationMs = 0;
};
RunLogCounts CountRuns(std::span<const LoggedRun> runs, std::span<const std::size_t> shown);

// The years the runs started in, newest first.
std::vector<int> RunYears(std::span<const LoggedRun> runs);

// The figures above the run log, over every run: `year`'s totals, the
// longest run, the fastest average pace over runs of at least 5 km and of
// at least 10 km, the week (Monday first) with the most distance. A run
// faster than 2:00/km on average, quicker than any runner, sets no pace.
struct RunLogStrip {
    int year = 0;
    std::size_t yearRuns = 0;
    std::int64_t yearDistanceMm = 0;
    std::int64_t yearDurationMs = 0;
    std::optional<std::size_t> longest;    // an index into the runs
    std::optional<std::size_t> fastest5;   // an index into the runs
    std::optional<std::size_t> fastest10;  // an index into the runs
    struct Week {
        std::int64_t monday = 0;  // days since 1970-01-01
        std::size_t runs = 0;
        std::int64_t distanceMm = 0;
    };
    std::optional<Week> bestWeek;
};
inline constexpr std::int64_t kFastestPaceMsPerKm = 120'000;
RunLogStrip StripFigures(std::span<const LoggedRun> runs, int year);

// Every stored run of the account in the settings with its post for the
// site user in the settings, in the order stored. `sendingInFlight`: this
// process's sync is posting (StateOf). Reading makes no store where there
// is none.
struct RunLogRuns {
    bool storeExists = true;
    std::vector<LoggedRun> runs;
};
Result<RunLogRuns> ReadRunLog(const Workspace& where, bool sendingInFlight = false);

// Every post of one run, for each site user the store holds one for.
struct RunPost {
    SiteKey site;
    PostRecord post;
};
Result<std::vector<RunPost>> ReadRunPosts(const Workspace& where, std::string_view runId);

}  // namespace strivo::jobs
