#include "ui/RunLogText.h"

#include <algorithm>
#include <chrono>

#include "history/RunFigures.h"
#include "history/RunTotals.h"
#include "io/RunText.h"
#include "io/TimeText.h"
#include "model/ImportWords.h"
#include "model/ProblemWords.h"
#include "text/Catalog.h"
#include "text/CodePage.h"
#include "text/TextHelpers.h"
#include "ui/RunLogController.h"

namespace strivo {
namespace {

constexpr std::int64_t kMsPerDay = 86'400'000;

// Text from outside (a file's name, a time as the service sent it), UTF-8
// or CP936, made safe to show.
std::string OutsideUtf8(std::string_view utf8) {
    return MaskControls(Utf8ToCp936(utf8), TextEncoding::Cp936);
}
std::string OutsideCp936(std::string_view cp936) {
    return MaskControls(std::string(cp936), TextEncoding::Cp936);
}

const std::string& UnknownValue() {
    static const std::string dash = Utf8ToCp936("\u2014");
    return dash;
}

std::string Km(std::int64_t distanceMm, int decimals) {
    return FormatKm(distanceMm, decimals);
}

// "2010-04-18 07:05" in this machine's time zone; empty for none.
std::string LocalMinuteOrEmpty(const std::optional<StoreTime>& at) {
    if (!at) {
        return {};
    }
    return LocalMinuteText(*at);
}

// A reason kept in the store, whole, in Chinese.
std::string ReasonText(std::string_view key) {
    return Utf8ToCp936(
        CutText(DescribeIn(ChineseCatalog(), ProblemFromKey(key)), kReasonCharacters));
}

const char* SourceName(RunSource source) {
    constexpr const char* kNames[] = {"Nike+", "GPX", "TCX", "FIT", "CSV"};
    return kNames[static_cast<std::size_t>(source)];
}

// The date of a run for the strip: its local day.
std::string RunDay(const jobs::LoggedRun& run) {
    const auto day = run.LocalDay();
    return day ? DayText(*day) : OutsideCp936(TextsOf(run.run).startTime);
}

}  // namespace

std::string RunLogWords(const char* english) {
    return Utf8ToCp936(Zh(english));
}

std::vector<RunLogColumn> RunLogColumns() {
    return {{RunLogWords(N_("Date")), 170, false},      {RunLogWords(N_("Distance")), 80, true},
            {RunLogWords(N_("Time")), 80, true},        {RunLogWords(N_("Pace")), 80, true},
            {RunLogWords(N_("Calories")), 70, true},    {RunLogWords(N_("Source")), 60, false},
            {RunLogWords(N_("Post state")), 170, false}};
}

std::string RunLogStateText(jobs::RunLogState state) {
    static const std::string texts[] = {
        RunLogWords(N_("Posted")),           RunLogWords(N_("Not posted yet")),
        RunLogWords(N_("Not to be posted")), RunLogWords(N_("Outcome unknown")),
        RunLogWords(N_("Posting")),          RunLogWords(N_("Failed"))};
    return texts[static_cast<std::size_t>(state)];
}

std::string RunLogDate(const jobs::LoggedRun& run) {
    if (!run.localStartMs) {
        return OutsideCp936(TextsOf(run.run).startTime);
    }
    static constexpr const char* kDays[] = {N_("Sunday"),    N_("Monday"),   N_("Tuesday"),
                                            N_("Wednesday"), N_("Thursday"), N_("Friday"),
                                            N_("Saturday")};
    const std::int64_t day = FloorDiv(*run.localStartMs, kMsPerDay);
    const std::int64_t minute = (*run.localStartMs - day * kMsPerDay) / 60'000;
    // 1970-01-01 was a Thursday.
    const auto weekday = static_cast<std::size_t>((day + 4) % 7 + 7) % 7;
    return DayText(day) + " " + RunLogWords(kDays[weekday]) + " " + HourMinuteText(minute);
}

std::string RunLogPace(std::int64_t msPerKm) {
    return FormatPace(msPerKm) + "/km";
}

std::string RunLogCell(const jobs::LoggedRun& run, std::size_t column) {
    switch (column) {
        case kLogDate:
            return RunLogDate(run);
        case kLogDistance:
            return run.distanceMm ? Km(*run.distanceMm, 2) + " km" : UnknownValue();
        case kLogDuration:
            return run.durationMs ? FormatHms(*run.durationMs) : UnknownValue();
        case kLogPace:
            return run.paceMsPerKm ? RunLogPace(*run.paceMsPerKm) : UnknownValue();
        case kLogCalories:
            return run.calories ? std::to_string(*run.calories) : UnknownValue();
        case kLogSource:
            return SourceName(run.source);
        case kLogState:
            // A failed post says why in a few words; its tooltip says it whole.
            if (run.state == jobs::RunLogState::Failed && run.post && !run.post->reason.empty()) {
                return RunLogStateText(run.state) +
                       Utf8ToCp936(ShortCause(ProblemFromKey(run.post->reason)));
            }
            return RunLogStateText(run.state);
        default:
            return {};
    }
}

std::string RunLogTip(const jobs::LoggedRun& run, std::size_t column) {
    switch (column) {
        case kLogDate:
            return FillIn(RunLogWords(N_("Start as sent: {0}")),
                          {OutsideCp936(TextsOf(run.run).startTime)});
        case kLogSource:
            return run.run.sourceFile.empty()
                       ? FillIn(RunLogWords(N_("RunID: {0}")), {OutsideCp936(run.run.runId)})
                       : OutsideUtf8(run.run.sourceFile);
        case kLogState:
            if ((run.state == jobs::RunLogState::Failed ||
                 run.state == jobs::RunLogState::Unknown) &&
                run.post && !run.post->reason.empty()) {
                return ReasonText(run.post->reason);
            }
            return {};
        default:
            return {};
    }
}

std::string RunLogFooter(const jobs::RunLogCounts& counts) {
    if (counts.runs == 0) {
        return FillIn(RunLogWords(N_("Showing {0} runs")), {"0"});
    }
    std::string states;
    for (std::size_t state = 0; state < jobs::kRunLogStateCount; ++state) {
        if (counts.perState[state] == 0) {
            continue;
        }
        if (!states.empty()) {
            states += " \xa1\xa4 ";  // " · " in CP936
        }
        states += RunLogStateText(static_cast<jobs::RunLogState>(state)) +
                  std::to_string(counts.perState[state]);
    }
    return FillIn(RunLogWords(N_("Showing {0} runs: {1}; {2} km, {3} in all")),
                  {std::to_string(counts.runs), states, Km(counts.distanceMm, 1),
                   FormatHms(counts.durationMs)});
}

std::vector<std::string> RunLogStripTexts(const jobs::RunLogStrip& strip,
                                          std::span<const jobs::LoggedRun> runs) {
    std::vector<std::string> figures;
    figures.push_back(FillIn(RunLogWords(N_("{0}: {1} km, {2} runs, {3}")),
                             {std::to_string(strip.year), Km(strip.yearDistanceMm, 1),
                              std::to_string(strip.yearRuns), FormatHms(strip.yearDurationMs)}));
    if (strip.longest && *strip.longest < runs.size()) {
        const jobs::LoggedRun& run = runs[*strip.longest];
        figures.push_back(FillIn(RunLogWords(N_("Longest: {0} km ({1})")),
                                 {Km(run.distanceMm.value_or(0), 2), RunDay(run)}));
    }
    const struct {
        std::optional<std::size_t> index;
        const char* pattern;
    } fastest[] = {{strip.fastest5, N_("Fastest over 5 km: {0} ({1})")},
                   {strip.fastest10, N_("Fastest over 10 km: {0} ({1})")}};
    for (const auto& [index, pattern] : fastest) {
        if (index && *index < runs.size() && runs[*index].paceMsPerKm) {
            figures.push_back(FillIn(RunLogWords(pattern), {RunLogPace(*runs[*index].paceMsPerKm),
                                                            RunDay(runs[*index])}));
        }
    }
    if (strip.bestWeek) {
        figures.push_back(
            FillIn(RunLogWords(N_("Best week: from {0}, {1} km, {2} runs")),
                   {DayText(strip.bestWeek->monday), Km(strip.bestWeek->distanceMm, 1),
                    std::to_string(strip.bestWeek->runs)}));
    }
    return figures;
}

RunLogRunView RunLogRunViewOf(const jobs::LoggedRun& run, std::span<const jobs::RunPost> posts,
                              std::vector<MenuItem> actions) {
    RunLogRunView view;
    view.caption = FillIn(RunLogWords(N_("Run of {0}")), {RunLogDate(run)});
    const StoredRun& stored = run.run;
    const auto add = [&](const char* label, std::string value) {
        view.fields.push_back({RunLogWords(label), std::move(value)});
    };
    // A run read from a file was sent by nobody: its values alone.
    const bool sent = stored.source.empty();
    const auto addSent = [&](const char* label, const std::string& text) {
        if (sent) {
            add(label, OutsideCp936(text));
        }
    };
    add(N_("Date"), RunLogDate(run));
    addSent(N_("Start as sent"), stored.startTime);
    if (!stored.syncTime.empty()) {
        add(N_("Synced as sent"), OutsideCp936(stored.syncTime));
    }
    add(N_("Distance"), RunLogCell(run, kLogDistance));
    addSent(N_("Distance as sent"), stored.distance);
    add(N_("Time"), RunLogCell(run, kLogDuration));
    addSent(N_("Time as sent"), stored.duration);
    add(N_("Pace"), RunLogCell(run, kLogPace));
    add(N_("Calories"), RunLogCell(run, kLogCalories));
    addSent(N_("Calories as sent"), stored.calories);
    add(N_("Source"), RunLogCell(run, kLogSource));
    if (!stored.sourceFile.empty()) {
        add(N_("Source file"), OutsideUtf8(stored.sourceFile));
    }
    add(N_("RunID"), OutsideCp936(stored.runId));
    add(N_("First stored"), LocalMinuteOrEmpty(stored.firstSeen));
    add(N_("Post state"), RunLogCell(run, kLogState));
    view.postsLabel = RunLogWords(N_("Posts"));
    view.postTitles = {RunLogWords(N_("Site user")), RunLogWords(N_("Post state")),
                       RunLogWords(N_("Sent")), RunLogWords(N_("Answered")),
                       RunLogWords(N_("Reason"))};
    for (const jobs::RunPost& each : posts) {
        const PostRecord& post = each.post;
        view.posts.push_back({OutsideCp936(each.site.user) + "@" + OutsideCp936(each.site.host),
                              RunLogStateText(jobs::StateOf(&post)),
                              LocalMinuteOrEmpty(post.intentAt), LocalMinuteOrEmpty(post.outcomeAt),
                              post.reason.empty() ? std::string() : ReasonText(post.reason)});
    }
    view.actions = std::move(actions);
    view.closeText = RunLogWords(N_("Close"));
    return view;
}

namespace {

// What became of one file, from what the tally names it in: the hook for a
// result per file. The tally names a file only where it was
// unreadable, a duplicate, held no activity or was read with something passed
// over; runs of other sports and runs left out as implausible are counted for
// the whole import alone. Once ImportTally keeps a result per file, this
// reads it instead.
RunLogFileResult FileResultFromTally(const jobs::ImportTally& tally, const std::string& file,
                                     std::size_t added) {
    RunLogFileResult line{OutsideUtf8(file), {}, true};
    const auto names = [&](const Problem& problem) { return problem.Value(0) == file; };
    std::vector<std::string> parts;
    for (const Problem& problem : tally.problems) {
        if (names(problem)) {
            line.ok = false;
            parts.push_back(
                FillIn(RunLogWords(N_("unreadable: {0}")),
                       {Utf8ToCp936(DescribeIn(ChineseCatalog(),
                                               problem.cause ? *problem.cause : problem))}));
        }
    }
    for (const Problem& problem : tally.withoutActivity) {
        if (names(problem)) {
            parts.push_back(Utf8ToCp936(DescribeIn(ChineseCatalog(), problem)));
        }
    }
    if (added > 0) {
        parts.push_back(FillIn(Utf8ToCp936(TrNIn(ChineseCatalog(), "{0} run", "{0} runs", added)),
                               {std::to_string(added)}));
    }
    for (const Problem& problem : tally.warnings) {
        if (names(problem) && problem.cause) {
            parts.push_back(FillIn(RunLogWords(N_("passed over: {0}")),
                                   {Utf8ToCp936(DescribeIn(ChineseCatalog(), *problem.cause))}));
        }
    }
    for (const jobs::ImportedFile& result : tally.results) {
        for (const Problem& problem : result.duplicated) {
            if (names(problem)) {
                parts.push_back(
                    FillIn(RunLogWords(N_("a duplicate of {0} ({1})")),
                           {OutsideUtf8(problem.Value(2)), OutsideUtf8(problem.Value(1))}));
            }
        }
        // What was no run, and calories given, as the import names them.
        for (const std::vector<Problem>* named : {&result.notRun, &result.filled}) {
            for (const Problem& problem : *named) {
                if (names(problem)) {
                    parts.push_back(Utf8ToCp936(DescribeIn(ChineseCatalog(), problem)));
                }
            }
        }
    }
    if (parts.empty()) {
        parts.push_back(RunLogWords(N_("no run")));
    }
    for (const std::string& part : parts) {
        line.result += (line.result.empty() ? "" : RunLogWords(N_("; "))) + part;
    }
    return line;
}

}  // namespace

RunLogImportResults RunLogImportResultsOf(const Result<jobs::ImportTally>& done,
                                          std::span<const std::string> files,
                                          std::span<const std::size_t> added) {
    RunLogImportResults results;
    results.caption = RunLogWords(N_("Import results"));
    results.fileTitle = RunLogWords(N_("File"));
    results.resultTitle = RunLogWords(N_("Result"));
    if (!done) {
        results.summary = FillIn(RunLogWords(N_("Importing the run files failed: {0}")),
                                 {Utf8ToCp936(DescribeIn(ChineseCatalog(), done.problem()))});
        return results;
    }
    results.summary = Utf8ToCp936(ImportSummary(ChineseCatalog(), done->counts()));
    for (std::size_t i = 0; i < files.size(); ++i) {
        results.files.push_back(
            FileResultFromTally(*done, files[i], i < added.size() ? added[i] : 0));
    }
    // A path that could not be walked was never a file read: a line of its own.
    for (const Problem& problem : done->problems) {
        if (std::find(files.begin(), files.end(), problem.Value(0)) == files.end()) {
            results.files.push_back({OutsideUtf8(problem.Value(0)),
                                     Utf8ToCp936(DescribeIn(ChineseCatalog(), problem)), false});
        }
    }
    return results;
}

}  // namespace strivo
