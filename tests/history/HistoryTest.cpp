#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "../support/TempFolder.h"
#include "history/ChartModel.h"
#include "history/TcxWriter.h"
#include "history/TotalsText.h"
#include "store/StoreText.h"
#include "text/CodePage.h"

namespace strivo {
namespace {

using test::TempFolder;

// A run as the store holds it: the texts and what it read from them.
StoredRun Stored(std::string id, std::string start, std::string km = "5.0321",
                 std::string ms = "1834000", std::string calories = "321") {
    StoredRun run;
    const TypedTime time = ParseServiceTime(start);
    run.runId = std::move(id);
    run.startTime = std::move(start);
    run.distance = std::move(km);
    run.duration = std::move(ms);
    run.calories = std::move(calories);
    run.startUtcMs = time.utcMs;
    run.startOffsetMinutes = time.offsetMinutes;
    return run;
}

// The checks by outside tools are for the Linux build: Wine has neither.
void CheckWithTool(const std::string& command, const std::string& what) {
#ifdef _WIN32
    static_cast<void>(command);
    GTEST_SKIP() << what << ": xmllint and rsvg-convert are checked in the Linux build";
#else
    if (std::system(
            ("command -v " + command.substr(0, command.find(' ')) + " >/dev/null").c_str()) != 0) {
        GTEST_SKIP() << what << ": " << command.substr(0, command.find(' '))
                     << " is missing (scripts/install-deps.sh installs it)";
    }
    EXPECT_EQ(std::system(command.c_str()), 0) << what << ": " << command;
#endif
}

TEST(ShiftDecimal, MovesThePointInTheText) {
    const struct {
        const char* text;
        int places;
        std::optional<std::string> shifted;
    } cases[] = {
        {"5.0321", 3, "5032.1"}, {"1834000", -3, "1834"},    {"1834500", -3, "1834.5"},
        {"7", -4, "0.0007"},     {"0.000", 3, "0"},          {".5", 3, "500"},
        {"007.10", 1, "71"},     {"-1", 3, std::nullopt},    {"1e3", 0, std::nullopt},
        {"", 0, std::nullopt},   {"1.2.3", 0, std::nullopt}, {" 5", 0, std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ShiftDecimal(c.text, c.places), c.shifted) << c.text << " by " << c.places;
    }
    EXPECT_EQ(DecimalToInteger("5.0321", 6), 5032100);
    EXPECT_EQ(DecimalToInteger("0.0000005", 6), 1);  // half up
    EXPECT_EQ(DecimalToInteger("99999999999999999999", 0), std::nullopt);
}

TEST(Tcx, WorkedExampleMatchesTheGoldenActivity) {
    const std::vector<StoredRun> runs = {Stored("1100309028", "2010-04-18T07:05:11+08:00")};
    const TcxFile file = WriteTcx(runs);
    const std::string golden =
        "    <Activity Sport=\"Running\">\n"
        "      <Id>2010-04-17T23:05:11Z</Id>\n"
        "      <Lap StartTime=\"2010-04-17T23:05:11Z\">\n"
        "        <TotalTimeSeconds>1834</TotalTimeSeconds>\n"
        "        <DistanceMeters>5032.1</DistanceMeters>\n"
        "        <Calories>321</Calories>\n"
        "        <Intensity>Active</Intensity>\n"
        "        <TriggerMethod>Manual</TriggerMethod>\n"
        "        <Track>\n"
        "          "
        "<Trackpoint><Time>2010-04-17T23:05:11Z</Time><DistanceMeters>0</DistanceMeters></"
        "Trackpoint>\n"
        "          "
        "<Trackpoint><Time>2010-04-17T23:35:45Z</Time><DistanceMeters>5032.1</DistanceMeters></"
        "Trackpoint>\n"
        "        </Track>\n"
        "      </Lap>\n"
        "      <Notes>1100309028</Notes>\n"
        "    </Activity>\n";
    EXPECT_NE(
        file.text.find("<Activities>\n" + golden + "  </Activities>\n</TrainingCenterDatabase>\n"),
        std::string::npos)
        << file.text;
    EXPECT_NE(
        file.text.find("xmlns=\"http://www.garmin.com/xmlschemas/TrainingCenterDatabase/v2\""),
        std::string::npos);
    EXPECT_TRUE(file.problems.empty());
    EXPECT_NE(WriteTcx({}).text.find("<Activities/>"), std::string::npos);
}

TEST(Tcx, BadValuesAreWrittenAsZeroOrLeftOutAndNamed) {
    const struct {
        StoredRun run;
        const char* written;  // a piece of the file, or nullptr: left out
        const char* problem;  // a piece of the one problem named
    } cases[] = {
        {Stored("a", "2011-01-01T00:00:00Z", "abc"),
         "<DistanceMeters>0</DistanceMeters></Trackpoint>", "distance \"abc\""},
        {Stored("b", "2011-01-02T00:00:00Z", "1", "1834000.5"), "<TotalTimeSeconds>1834.0005<",
         nullptr},
        {Stored("c", "2011-01-03T00:00:00Z", "1", "-5"), "<TotalTimeSeconds>0<", "duration \"-5\""},
        {Stored("d", "2011-01-04T00:00:00Z", "1", "1", "65536"), "<Calories>0<",
         "outside 0..65535"},
        {Stored("e", "2011-01-05T00:00:00Z", "1", "1", "65535"), "<Calories>65535<", nullptr},
        {Stored("f", "2011-01-06T00:00:00-05:30", "1", "1", "-1"), "<Id>2011-01-06T05:30:00Z<",
         "calories \"-1\""},
        {Stored("g", "2011-01-07 00:00:00", "1"), nullptr, "does not parse, left out"},
        {Stored("h", "2011-01-08T00:00:00.250Z", "1", "1000"), "<Time>2011-01-08T00:00:01.25Z<",
         nullptr},
        {Stored(Utf8ToCp936("跑<&>\x01\x1f\t"), "2011-01-09T00:00:00Z"),
         "<Notes>跑&lt;&amp;&gt;\t</Notes>", nullptr},
    };
    for (const auto& c : cases) {
        const TcxFile file = WriteTcx(std::span(&c.run, 1));
        SCOPED_TRACE(c.run.runId);
        EXPECT_EQ(file.activities, c.written ? 1 : 0);
        if (c.written) {
            EXPECT_NE(file.text.find(c.written), std::string::npos) << file.text;
        }
        ASSERT_EQ(file.problems.size(), c.problem ? 1u : 0u);
        if (c.problem) {
            EXPECT_EQ(file.problems[0].runId, c.run.runId);
            EXPECT_NE(file.problems[0].what.find(c.problem), std::string::npos)
                << file.problems[0].what;
        }
    }
}

TEST(Tcx, RunsInOneSecondGetTheNextFreeIdsAndTheFileIsWellFormed) {
    const std::vector<StoredRun> runs = {
        Stored("late", "2010-04-18T07:05:12+08:00"), Stored("first", "2010-04-17T23:05:11Z"),
        Stored("second", "2010-04-18T07:05:11.900+08:00"), Stored("bad", "yesterday")};
    const TcxFile file = WriteTcx(runs);
    std::vector<std::string> ids;
    for (std::size_t at = 0; (at = file.text.find("<Id>", at)) != std::string::npos; ++at) {
        ids.push_back(file.text.substr(at + 4, 20) + " " +
                      file.text.substr(file.text.find("<Notes>", at) + 7, 4));
    }
    EXPECT_EQ(ids,
              (std::vector<std::string>{"2010-04-17T23:05:11Z firs", "2010-04-17T23:05:12Z seco",
                                        "2010-04-17T23:05:13Z late"}));
    ASSERT_EQ(file.problems.size(), 3u);  // "bad" left out; two Ids moved
    TempFolder folder;
    test::WriteFile(folder / "runs.tcx", file.text);
    CheckWithTool("xmllint --noout " + (folder / "runs.tcx").string(), "TCX well formed");
}

TEST(Totals, RunsCountInTheLocalDateTheyStartedOn) {
    const std::vector<StoredRun> runs = {
        Stored("1", "2009-12-31T23:30:00-05:00", "1", "60000", "10"),  // 2010-01-01 04:30Z
        Stored("2", "2010-01-01T00:30:00+08:00", "2", "60000", "10"),  // 2009-12-31 16:30Z
        Stored("3", "2010-01-03T23:59:59+14:00", "4", "60000", "10"),  // Sunday
        Stored("4", "2010-01-04T00:00:00-12:00", "8", "60000", "10"),  // Monday
        Stored("5", "2010-02-15T06:00:00Z", "16", "x", "y"),
        Stored("6", "2010-02-15T06:00:00", "32"),  // no offset
    };
    const struct {
        PeriodKind by;
        std::vector<std::string> periods;  // label runs km
    } cases[] = {
        {PeriodKind::Week,
         {"2009-W53 3 7.00", "2010-W01 1 8.00", "2010-W02 0 0.00", "2010-W03 0 0.00",
          "2010-W04 0 0.00", "2010-W05 0 0.00", "2010-W06 0 0.00", "2010-W07 1 16.00"}},
        {PeriodKind::Month, {"2009-12 1 1.00", "2010-01 3 14.00", "2010-02 1 16.00"}},
        {PeriodKind::Year, {"2009 1 1.00", "2010 4 30.00"}},
    };
    for (const auto& c : cases) {
        const RunTotals totals = TotalRuns(runs, c.by);
        std::vector<std::string> periods;
        for (const PeriodTotals& p : totals.periods) {
            periods.push_back(p.label + " " + std::to_string(p.runs) + " " +
                              FormatKm(p.distanceMm, 2));
        }
        EXPECT_EQ(periods, c.periods) << PeriodKindName(c.by);
        EXPECT_EQ(totals.all.runs, 5);
        EXPECT_EQ(totals.all.durationMs, 240000);  // run 5's is unknown
        EXPECT_EQ(totals.all.calories, 40);
        ASSERT_EQ(totals.problems.size(), 2u);  // once per run, whatever it lacks
        EXPECT_EQ(totals.problems[0].what,
                  "duration \"x\", calories \"y\" not counted: does not parse");
        EXPECT_EQ(totals.problems[1].runId, "6");
    }
    EXPECT_EQ(
        PeriodLabel(PeriodOf(DaysFromCivil(2008, 12, 29), PeriodKind::Week), PeriodKind::Week),
        "2009-W01");
    EXPECT_EQ(ParsePeriodKind("month"), PeriodKind::Month);
    EXPECT_EQ(ParsePeriodKind("day"), std::nullopt);
}

TEST(TotalsText, LinesAndSvgShowEveryPeriod) {
    const std::vector<PeriodTotals> periods = {{"2010-W15", 3, 15100000, 5025000, 900},
                                               {"2010-W16", 0, 0, 0, 0},
                                               {"2010-W17", 1, 1887500, 60000, 10}};
    EXPECT_EQ(TotalsLines(periods, 8), (std::vector<std::string>{
                                           "2010-W15  3 runs  15.10 km  1:23:45  ████████",
                                           "2010-W16  0 runs   0.00 km  0:00:00",
                                           "2010-W17  1 run    1.89 km  0:01:00  █",
                                       }));
    const std::string svg = ChartSvg(periods, PeriodKind::Week);
    for (const char* piece : {">15.1</text>", ">0.0</text>", ">2010-W17</text>", "per week (km)"}) {
        EXPECT_NE(svg.find(piece), std::string::npos) << piece;
    }
    TempFolder folder;
    test::WriteFile(folder / "chart.svg", svg);
    CheckWithTool("xmllint --noout " + (folder / "chart.svg").string(), "SVG well formed");
    CheckWithTool("rsvg-convert -o " + (folder / "chart.png").string() + " " +
                      (folder / "chart.svg").string(),
                  "SVG renders");
    if (const char* keep = std::getenv("STRIVO_KEEP_CHART")) {
        test::WriteFile(keep, test::ReadFile(folder / "chart.png"));
    }
}

TEST(ChartModel, BarsScaleToTheLongestScrollAndAnswerClicks) {
    RunTotals totals;
    totals.periods.resize(20, {"2010-01", 1, 1000000, 1000, 1});
    totals.periods[3] = {"2010-04", 2, 4000000, 3723000, 50};
    totals.all = {"", 9, 99990000, 7200000, 70};
    for (const double scale : {1.0, 2.0}) {
        const ChartLayout layout = LayOutChart(totals.periods, {300, 200, scale});
        ASSERT_EQ(layout.bars.size(), 20u);
        EXPECT_GT(layout.width, 300);  // wider than the view: it scrolls
        const ChartBar& longest = layout.bars[3];
        EXPECT_EQ(longest.bar.y + longest.bar.height, layout.axisY);
        EXPECT_NEAR(layout.bars[0].bar.height * 4, longest.bar.height, 4);  // a quarter
        EXPECT_LT(longest.value.y, longest.bar.y);
        EXPECT_GT(longest.label.y, layout.axisY);
        EXPECT_EQ(BarAt(layout, longest.bar.x + 1, 1), 3u);
        EXPECT_EQ(BarAt(layout, 0, 1), std::nullopt);  // the margin
    }
    const ChartSummary chosen = ChartSummaryOf(totals, 3);
    EXPECT_EQ(chosen.period + " " + chosen.distanceKm + " " + chosen.time, "2010-04 4.00 1:02:03");
    const ChartSummary all = ChartSummaryOf(totals, std::nullopt);
    EXPECT_EQ(all.period + " " + all.distanceKm + " " + all.time + " " + std::to_string(all.runs),
              " 99.99 2:00:00 9");
}

}  // namespace
}  // namespace strivo
