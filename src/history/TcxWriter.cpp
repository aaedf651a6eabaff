#include "history/TcxWriter.h"

#include <algorithm>
#include <cstdio>
#include <tuple>

#include "text/CodePage.h"
#include "text/TextHelpers.h"

namespace strivo {
namespace {

constexpr std::int64_t kMaxCalories = 65535;

struct Placed {
    const StoredRun* run;
    RunFigures figures;
};

}  // namespace

std::string FormatUtc(std::int64_t utcMs) {
    const std::int64_t days = FloorDiv(utcMs, 86400000);
    const std::int64_t msOfDay = utcMs - days * 86400000;
    const CivilDate date = CivilFromDays(days);
    char text[40];
    const int seconds = static_cast<int>(msOfDay / 1000);
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d", date.year, date.month,
                  date.day, seconds / 3600, seconds / 60 % 60, seconds % 60);
    std::string out = text;
    if (const int ms = static_cast<int>(msOfDay % 1000); ms != 0) {
        std::snprintf(text, sizeof text, ".%03d", ms);
        out += text;
        out.erase(out.find_last_not_of('0') + 1);
    }
    return out + "Z";
}

TcxFile WriteTcx(std::span<const StoredRun> runs) {
    TcxFile file;
    std::vector<Placed> placed;
    placed.reserve(runs.size());
    for (const StoredRun& run : runs) {
        Placed p{&run, FiguresOf(run)};
        if (!p.figures.startUtcMs) {
            file.problems.push_back({run.runId, "start \"" + Cp936ToUtf8(run.startTime) +
                                                    "\" does not parse, left out"});
            continue;
        }
        placed.push_back(std::move(p));
    }
    std::stable_sort(placed.begin(), placed.end(), [](const Placed& a, const Placed& b) {
        return std::tie(*a.figures.startUtcMs, a.run->firstSeen) <
               std::tie(*b.figures.startUtcMs, b.run->firstSeen);
    });

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
        const auto zeroed = [&](const char* field, const std::string& text, const char* why) {
            file.problems.push_back({run.runId, std::string(field) + " \"" + Cp936ToUtf8(text) +
                                                    "\" " + why + ", written as 0"});
            return std::string("0");
        };
        const std::string distance = ShiftDecimal(run.distance, 3).value_or(std::string());
        const std::string metres =
            distance.empty() ? zeroed("distance", run.distance, "does not parse") : distance;
        const std::optional<std::string> seconds = ShiftDecimal(run.duration, -3);
        const std::string totalSeconds =
            seconds ? *seconds : zeroed("duration", run.duration, "does not parse");
        std::string calories;
        if (!p.figures.calories) {
            calories = zeroed("calories", run.calories, "does not parse");
        } else if (*p.figures.calories > kMaxCalories) {
            calories = zeroed("calories", run.calories, "is outside 0..65535");
        } else {
            calories = std::to_string(*p.figures.calories);
        }

        const std::int64_t start = *p.figures.startUtcMs;
        std::int64_t idSecond = FloorDiv(start, 1000);
        if (lastIdSecond && idSecond <= *lastIdSecond) {
            idSecond = *lastIdSecond + 1;
            file.problems.push_back(
                {run.runId, "starts in the same second as another run, Id moved to " +
                                FormatUtc(idSecond * 1000)});
        }
        lastIdSecond = idSecond;
        const std::string startText = FormatUtc(start);
        const std::string endText = FormatUtc(start + p.figures.durationMs.value_or(0));

        out += "    <Activity Sport=\"Running\">\n      <Id>";
        out += FormatUtc(idSecond * 1000);
        out += "</Id>\n      <Lap StartTime=\"";
        out += startText;
        out += "\">\n        <TotalTimeSeconds>";
        out += totalSeconds;
        out += "</TotalTimeSeconds>\n        <DistanceMeters>";
        out += metres;
        out += "</DistanceMeters>\n        <Calories>";
        out += calories;
        out +=
            "</Calories>\n        <Intensity>Active</Intensity>\n"
            "        <TriggerMethod>Manual</TriggerMethod>\n        <Track>\n"
            "          <Trackpoint><Time>";
        out += startText;
        out +=
            "</Time><DistanceMeters>0</DistanceMeters></Trackpoint>\n          <Trackpoint><Time>";
        out += endText;
        out += "</Time><DistanceMeters>";
        out += metres;
        out += "</DistanceMeters></Trackpoint>\n        </Track>\n      </Lap>\n      <Notes>";
        AppendMarkupEscaped(out, Cp936ToUtf8(run.runId), /*forXml=*/true);
        out += "</Notes>\n    </Activity>\n";
        ++file.activities;
    }
    out += "  </Activities>\n</TrainingCenterDatabase>\n";
    return file;
}

}  // namespace strivo
