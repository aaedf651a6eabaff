#include "history/TcxWriter.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <tuple>

#include "io/RunText.h"
#include "io/TimeText.h"
#include "text/CodePage.h"
#include "text/TextHelpers.h"

namespace strivo {
namespace {

constexpr std::int64_t kMaxCalories = 65535;

// The schema's xsd:dateTime is read as years 0001 to 9999: an activity with
// an instant outside them fails the whole file.
constexpr std::int64_t kFirstMs = MsOfDay(std::chrono::sys_days{std::chrono::year{1} / 1 / 1});
constexpr std::int64_t kEndMs = MsOfDay(std::chrono::sys_days{std::chrono::year{10000} / 1 / 1});
constexpr bool InTcxYears(std::int64_t utcMs) {
    return utcMs >= kFirstMs && utcMs < kEndMs;
}

RunProblem OutsideYears(const StoredRun& run) {
    return {run.runId,
            Problem(ProblemCode::RunOutsideYearsLeftOut, {Cp936ToUtf8(TextsOf(run).startTime)})};
}

struct Placed {
    const StoredRun* run;
    RunFigures figures;
};

}  // namespace

namespace {

// The runs a TCX file can hold, oldest first; each it cannot is named.
std::vector<Placed> PlaceRuns(std::span<const StoredRun> runs, std::vector<RunProblem>& problems) {
    std::vector<Placed> placed;
    placed.reserve(runs.size());
    for (const StoredRun& run : runs) {
        Placed p{&run, FiguresOf(run)};
        if (!p.figures.startUtcMs) {
            problems.push_back({run.runId, Problem(ProblemCode::StartUnparsedLeftOut,
                                                   {Cp936ToUtf8(TextsOf(run).startTime)})});
            continue;
        }
        const std::int64_t start = *p.figures.startUtcMs;
        if (!InTcxYears(start) || !InTcxYears(start + p.figures.durationMs.value_or(0))) {
            problems.push_back(OutsideYears(run));
            continue;
        }
        placed.push_back(std::move(p));
    }
    std::stable_sort(placed.begin(), placed.end(), [](const Placed& a, const Placed& b) {
        return std::tie(*a.figures.startUtcMs, a.run->firstSeen) <
               std::tie(*b.figures.startUtcMs, b.run->firstSeen);
    });
    return placed;
}

// A lap's values as the file writes them: a value that does not parse (or
// calories past what the schema holds) is written as 0, and named.
struct LapValues {
    std::string metres, totalSeconds, calories;
};
LapValues ValuesOf(const Placed& p, std::vector<RunProblem>& problems) {
    const StoredRun& run = *p.run;
    const auto zeroed = [&](Problem problem) {
        problems.push_back({run.runId, std::move(problem)});
        return std::string("0");
    };
    const auto unparsed = [&](const char* field, const std::string& text) {
        return zeroed(Problem(ProblemCode::ValueUnparsedWrittenAsZero, {field, Cp936ToUtf8(text)}));
    };
    LapValues values;
    const StoredTexts texts = TextsOf(run);
    const std::string distance = ShiftDecimal(texts.distance, 3).value_or(std::string());
    values.metres = distance.empty() ? unparsed(kFieldDistance, texts.distance) : distance;
    const std::optional<std::string> seconds = ShiftDecimal(texts.duration, -3);
    values.totalSeconds = seconds ? *seconds : unparsed(kFieldDuration, texts.duration);
    if (texts.calories.empty()) {
        values.calories = "0";  // unknown, but the schema wants a number: no warning
    } else if (!p.figures.calories) {
        values.calories = unparsed(kFieldCalories, texts.calories);
    } else if (*p.figures.calories > kMaxCalories) {
        values.calories =
            zeroed(Problem(ProblemCode::CaloriesOutOfRange, {Cp936ToUtf8(texts.calories)}));
    } else {
        values.calories = std::to_string(*p.figures.calories);
    }
    return values;
}

void AppendActivity(std::string& out, const Placed& p, std::int64_t idSecond,
                    const LapValues& values) {
    const std::int64_t start = *p.figures.startUtcMs;
    const std::string startText = UtcTimeText(start);
    const std::string endText = UtcTimeText(start + p.figures.durationMs.value_or(0));
    out += "    <Activity Sport=\"Running\">\n      <Id>";
    out += UtcTimeText(idSecond * 1000);
    out += "</Id>\n      <Lap StartTime=\"";
    out += startText;
    out += "\">\n        <TotalTimeSeconds>";
    out += values.totalSeconds;
    out += "</TotalTimeSeconds>\n        <DistanceMeters>";
    out += values.metres;
    out += "</DistanceMeters>\n        <Calories>";
    out += values.calories;
    out +=
        "</Calories>\n        <Intensity>Active</Intensity>\n"
        "        <TriggerMethod>Manual</TriggerMethod>\n        <Track>\n"
        "          <Trackpoint><Time>";
    out += startText;
    out += "</Time><DistanceMeters>0</DistanceMeters></Trackpoint>\n          <Trackpoint><Time>";
    out += endText;
    out += "</Time><DistanceMeters>";
    out += values.metres;
    out += "</DistanceMeters></Trackpoint>\n        </Track>\n      </Lap>\n      <Notes>";
    AppendMarkupEscaped(out, Cp936ToUtf8(p.run->runId), /*forXml=*/true);
    out += "</Notes>\n    </Activity>\n";
}

}  // namespace

TcxFile WriteTcx(std::span<const StoredRun> runs) {
    TcxFile file;
    const std::vector<Placed> placed = PlaceRuns(runs, file.problems);
    std::string& out = file.text;
    out.reserve(placed.size() * 760 + 400);
    out +=
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<TrainingCenterDatabase"
        " xmlns=\"http://www.garmin.com/xmlschemas/TrainingCenterDatabase/v2\""
        " xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\""
        " xsi:schemaLocation=\"http://www.garmin.com/xmlschemas/TrainingCenterDatabase/v2"
        " http://www.garmin.com/xmlschemas/TrainingCenterDatabasev2.xsd\">\n";
    if (placed.empty()) {
        out += "  <Activities/>\n</TrainingCenterDatabase>\n";
        return file;
    }
    out += "  <Activities>\n";
    std::optional<std::int64_t> lastIdSecond;
    for (const Placed& p : placed) {
        const StoredRun& run = *p.run;
        std::int64_t idSecond = FloorDiv(*p.figures.startUtcMs, 1000);
        const bool idMoved = lastIdSecond && idSecond <= *lastIdSecond;
        if (idMoved) {
            idSecond = *lastIdSecond + 1;
        }
        if (!InTcxYears(idSecond * 1000)) {
            file.problems.push_back(OutsideYears(run));  // Ids moved on past 9999
            continue;
        }
        const LapValues values = ValuesOf(p, file.problems);
        if (idMoved) {
            file.problems.push_back({run.runId, Problem(ProblemCode::StartSecondTaken,
                                                        {UtcTimeText(idSecond * 1000)})});
        }
        lastIdSecond = idSecond;
        AppendActivity(out, p, idSecond, values);
        ++file.activities;
    }
    out += "  </Activities>\n</TrainingCenterDatabase>\n";
    return file;
}

}  // namespace strivo
