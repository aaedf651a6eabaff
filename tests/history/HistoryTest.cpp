#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "../support/TempFolder.h"
#include "history/ChartModel.h"
#include "history/PlausibleRun.h"
#include "history/TcxWriter.h"
#include "history/TotalsText.h"
#include "io/TimeText.h"
#include "model/ProblemWords.h"
#include "text/CodePage.h"

namespace strivo {
namespace {

using test::TempFolder;

std::string English(const RunProblem& problem) {
    return DescribeIn(nullptr, problem.problem);
}

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
    // Texts short enough to be read in one pass, at the edges of that pass.
    EXPECT_EQ(DecimalToInteger("999999999999999999", 0), 999999999999999999);
    EXPECT_EQ(DecimalToInteger("999999999999999999", 1), std::nullopt);
    EXPECT_EQ(DecimalToInteger("0.00000000000000001", 6), 0);
    EXPECT_EQ(DecimalToInteger("9.9999995", 6), 10000000);
    EXPECT_EQ(DecimalToInteger("1.", 6), 1000000);
    EXPECT_EQ(DecimalToInteger(".", 0), std::nullopt);
}

TEST(ServiceTime, ImpossibleDatesAndTimesNameNoInstant) {
    const struct {
        const char* text;
        std::optional<std::int64_t> utcMs;
    } cases[] = {
        {"2010-04-18T07:05:11+08:00", 1271545511000},
        {"2010-04-18 07:05:11.5+08:00", 1271545511500},
        {"2024-02-29T00:00:00Z", 1709164800000},
        {"0001-01-01T00:00:00Z", -62135596800000},
        {"0000-01-01T00:00:00Z", -62167219200000},
        {"9999-12-31T23:59:59Z", 253402300799000},
        {"2016-12-31T23:59:60Z", 1483228800000},       // a leap second: the next day's first
        {"2017-01-01T07:59:60+08:00", 1483228800000},  // the same, where it is 8 a.m.
        {"2016-12-31T12:00:60Z", std::nullopt},        // no leap second at noon
        {"2023-02-29T10:00:00Z", std::nullopt},        // not moved to 1 March
        {"1900-02-29T10:00:00Z", std::nullopt},
        {"2010-04-31T10:00:00Z", std::nullopt},
        {"2010-13-01T10:00:00Z", std::nullopt},
        {"2010-00-01T10:00:00Z", std::nullopt},
        {"2010-01-00T10:00:00Z", std::nullopt},
        {"2010-01-01T24:00:00Z", std::nullopt},
        {"2010-01-01T10:60:00Z", std::nullopt},
        {"2010-01-01T10:00:00.Z", std::nullopt},
        {"2010-01-01T10:00:00+24:00", std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ParseServiceTime(c.text).utcMs, c.utcMs) << c.text;
    }
    // Such a start is one that does not parse, and named as one.
    const StoredRun leap = Stored("29", "2023-02-29T10:00:00+08:00");
    const RunTotals totals = TotalRuns(std::span(&leap, 1), PeriodKind::Week);
    ASSERT_EQ(totals.problems.size(), 1u);
    EXPECT_EQ(totals.problems[0].problem.code, ProblemCode::StartUnparsedNotCounted);
    EXPECT_EQ(totals.problems[0].problem.values,
              std::vector<std::string>{"2023-02-29T10:00:00+08:00"});
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
    using enum ProblemCode;
    const struct {
        StoredRun run;
        const char* written;  // a piece of the file, or nullptr: left out
        ProblemCode code;     // of the one problem named, or None
        std::vector<std::string> values;
        const char* english;  // as `strivo-cli` prints it
    } cases[] = {
        // clang-format off
        {Stored("a", "2011-01-01T00:00:00Z", "abc"), "<DistanceMeters>0</DistanceMeters></Trackpoint>",
         ValueUnparsedWrittenAsZero, {"distance", "abc"}, "distance \"abc\" does not parse, written as 0"},
        {Stored("b", "2011-01-02T00:00:00Z", "1", "1834000.5"), "<TotalTimeSeconds>1834.0005<", None, {}, nullptr},
        {Stored("c", "2011-01-03T00:00:00Z", "1", "-5"), "<TotalTimeSeconds>0<",
         ValueUnparsedWrittenAsZero, {"duration", "-5"}, "duration \"-5\" does not parse, written as 0"},
        {Stored("d", "2011-01-04T00:00:00Z", "1", "1", "65536"), "<Calories>0<",
         CaloriesOutOfRange, {"65536"}, "calories \"65536\" is outside 0..65535, written as 0"},
        {Stored("e", "2011-01-05T00:00:00Z", "1", "1", "65535"), "<Calories>65535<", None, {}, nullptr},
        {Stored("f", "2011-01-06T00:00:00-05:30", "1", "1", "-1"), "<Id>2011-01-06T05:30:00Z<",
         ValueUnparsedWrittenAsZero, {"calories", "-1"}, "calories \"-1\" does not parse, written as 0"},
        {Stored("g", "2011-01-07 00:00:00", "1"), nullptr, StartUnparsedLeftOut,
         {"2011-01-07 00:00:00"}, "start \"2011-01-07 00:00:00\" does not parse, left out"},
        {Stored("h", "2011-01-08T00:00:00.250Z", "1", "1000"), "<Time>2011-01-08T00:00:01.25Z<", None, {}, nullptr},
        {Stored(Utf8ToCp936("跑<&>\x01\x1f\t"), "2011-01-09T00:00:00Z"), "<Notes>跑&lt;&amp;&gt;\t</Notes>", None, {}, nullptr},
        // The schema's dates hold years 0001 to 9999, in UTC.
        {Stored("i", "0000-06-01T00:00:00Z"), nullptr, RunOutsideYearsLeftOut, {"0000-06-01T00:00:00Z"},
         "start \"0000-06-01T00:00:00Z\" puts the run outside the years 0001 to 9999 (UTC), left out"},
        {Stored("j", "0001-01-01T00:30:00+01:00"), nullptr, RunOutsideYearsLeftOut, {"0001-01-01T00:30:00+01:00"}, nullptr},
        {Stored("k", "0001-01-01T00:30:00Z", "1", "1000"), "<Id>0001-01-01T00:30:00Z<", None, {}, nullptr},
        {Stored("l", "9999-12-31T23:59:59Z", "1", "1000"), nullptr, RunOutsideYearsLeftOut,
         {"9999-12-31T23:59:59Z"}, nullptr},  // it ends in 10000
        {Stored("m", "9999-12-31T23:59:59Z", "1", "999"), "<Time>9999-12-31T23:59:59.999Z<", None, {}, nullptr},
        // No calories at all (a GPX file's run): unknown, not a fault.
        {Stored("n", "2011-01-10T00:00:00Z", "1", "1", ""), "<Calories>0<", None, {}, nullptr},
        // clang-format on
    };
    for (const auto& c : cases) {
        const TcxFile file = WriteTcx(std::span(&c.run, 1));
        SCOPED_TRACE(c.run.runId);
        EXPECT_EQ(file.activities, c.written ? 1 : 0);
        if (c.written) {
            EXPECT_NE(file.text.find(c.written), std::string::npos) << file.text;
        } else {
            EXPECT_NE(file.text.find("<Activities/>"), std::string::npos) << file.text;
        }
        ASSERT_EQ(file.problems.size(), c.code == None ? 0u : 1u);
        if (c.code != None) {
            EXPECT_EQ(file.problems[0].runId, c.run.runId);
            EXPECT_EQ(file.problems[0].problem.code, c.code);
            EXPECT_EQ(file.problems[0].problem.values, c.values);
            if (c.english) {
                EXPECT_EQ(English(file.problems[0]), c.english);
            }
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
    EXPECT_EQ(English(file.problems[2]),
              "starts in the same second as another run, Id moved to 2010-04-17T23:05:13Z");
    // An Id moved past 9999 would fail the file as a start there would.
    const std::vector<StoredRun> last = {Stored("x", "9999-12-31T23:59:59.100Z", "1", "0"),
                                         Stored("y", "9999-12-31T23:59:59.200Z", "1", "0")};
    const TcxFile end = WriteTcx(last);
    EXPECT_EQ(end.activities, 1);
    ASSERT_EQ(end.problems.size(), 1u);
    EXPECT_EQ(end.problems[0].runId + " " + English(end.problems[0]),
              "y start \"9999-12-31T23:59:59.200Z\" puts the run outside the years 0001 to 9999 "
              "(UTC), left out");
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
        Stored("6", "2010-02-15T06:00:00", "32"),                // no offset
        Stored("7", "2010-02-16T06:00:00Z", "64", "60000", ""),  // no calories: unknown
    };
    const struct {
        PeriodKind by;
        std::vector<std::string> periods;  // label runs km
    } cases[] = {
        {PeriodKind::Week,
         {"2009-W53 3 7.00", "2010-W01 1 8.00", "2010-W02 0 0.00", "2010-W03 0 0.00",
          "2010-W04 0 0.00", "2010-W05 0 0.00", "2010-W06 0 0.00", "2010-W07 2 80.00"}},
        {PeriodKind::Month, {"2009-12 1 1.00", "2010-01 3 14.00", "2010-02 2 80.00"}},
        {PeriodKind::Year, {"2009 1 1.00", "2010 5 94.00"}},
    };
    for (const auto& c : cases) {
        const RunTotals totals = TotalRuns(runs, c.by);
        std::vector<std::string> periods;
        for (const PeriodTotals& p : totals.periods) {
            periods.push_back(p.label + " " + std::to_string(p.runs) + " " +
                              FormatKm(p.distanceMm, 2));
        }
        EXPECT_EQ(periods, c.periods) << PeriodKindName(c.by);
        EXPECT_EQ(totals.all.runs, 6);
        EXPECT_EQ(totals.all.durationMs, 300000);  // run 5's is unknown
        EXPECT_EQ(totals.all.calories, 40);
        EXPECT_EQ(totals.all.withoutCalories, 1);
        EXPECT_EQ(totals.periods.back().withoutCalories, 1);
        ASSERT_EQ(totals.problems.size(), 3u);  // once per value, in order of the runs
        EXPECT_EQ(totals.problems[0].runId + " " + English(totals.problems[0]),
                  "5 duration \"x\" not counted: does not parse");
        EXPECT_EQ(totals.problems[1].problem.values, (std::vector<std::string>{"calories", "y"}));
        EXPECT_EQ(totals.problems[2].runId + " " + English(totals.problems[2]),
                  "6 start \"2010-02-15T06:00:00\" does not parse, not counted");
    }
    EXPECT_EQ(ParsePeriodKind("month"), PeriodKind::Month);
    EXPECT_EQ(ParsePeriodKind("day"), std::nullopt);
}

TEST(Totals, WeeksAreIsoWeeksInTheirWeekYear) {
    const struct {
        std::int64_t days;  // since 1970-01-01
        int year, month, day;
        const char *weekLabel, *monthLabel;
    } cases[] = {
        {14242, 2008, 12, 29, "2009-W01", "2008-12"},
        {14612, 2010, 1, 3, "2009-W53", "2010-01"},
        {14613, 2010, 1, 4, "2010-W01", "2010-01"},
        {18627, 2020, 12, 31, "2020-W53", "2020-12"},
        {18630, 2021, 1, 3, "2020-W53", "2021-01"},
        {-4, 1969, 12, 28, "1969-W52", "1969-12"},
        {-3, 1969, 12, 29, "1970-W01", "1969-12"},
        {-719162, 1, 1, 1, "0001-W01", "0001-01"},
        {2932896, 9999, 12, 31, "9999-W52", "9999-12"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.weekLabel);
        EXPECT_EQ(DaysFromCivil(c.year, c.month, c.day), c.days);
        const CivilDate date = CivilFromDays(c.days);
        EXPECT_EQ(std::vector<int>({date.year, date.month, date.day}),
                  std::vector<int>({c.year, c.month, c.day}));
        EXPECT_EQ(PeriodLabel(PeriodOf(c.days, PeriodKind::Week), PeriodKind::Week), c.weekLabel);
        EXPECT_EQ(PeriodLabel(PeriodOf(c.days, PeriodKind::Month), PeriodKind::Month),
                  c.monthLabel);
        // A week starts on its Monday (1970-01-05 is one), a month on its first.
        const std::int64_t monday =
            PeriodFirstDay(PeriodOf(c.days, PeriodKind::Week), PeriodKind::Week);
        EXPECT_TRUE(c.days - monday >= 0 && c.days - monday < 7 && (monday - 4) % 7 == 0);
        const CivilDate first =
            CivilFromDays(PeriodFirstDay(PeriodOf(c.days, PeriodKind::Month), PeriodKind::Month));
        EXPECT_EQ(std::vector<int>({first.year, first.month, first.day}),
                  std::vector<int>({c.year, c.month, 1}));
    }
}

TEST(Totals, LongGapsFoldAndImplausibleValuesAreNotCounted) {
    // Runs in years 0001 and 9999: three entries, however the runs are totalled.
    const std::vector<StoredRun> far = {Stored("1", "0001-01-01T00:00:00Z"),
                                        Stored("2", "9999-12-31T12:00:00Z"),
                                        Stored("3", "0001-01-02T00:00:00Z")};
    for (const PeriodKind by : {PeriodKind::Week, PeriodKind::Month, PeriodKind::Year}) {
        const RunTotals totals = TotalRuns(far, by);
        ASSERT_EQ(totals.periods.size(), 3u) << PeriodKindName(by);
        EXPECT_EQ(totals.periods[0].runs, 2);
        EXPECT_GT(totals.periods[1].foldedPeriods, 9000);
        EXPECT_EQ(totals.periods[2].label.substr(0, 4), "9999");
        const std::vector<std::string> lines = TotalsLines(totals.periods, by);
        ASSERT_EQ(lines.size(), 3u);
        EXPECT_LT(ChartSvg(totals.periods, by).size(), 4000u);
    }
    EXPECT_EQ(TotalsLines(TotalRuns(far, PeriodKind::Week).periods, PeriodKind::Week)[1],
              "… 521,721 weeks without runs …");
    // A gap of kLongestListedGap periods is listed; one more is folded.
    const std::vector<StoredRun> listed = {Stored("1", "2010-01-01T00:00:00Z"),
                                           Stored("2", "2011-02-01T00:00:00Z"),
                                           Stored("3", "2012-04-01T00:00:00Z")};
    const RunTotals months = TotalRuns(listed, PeriodKind::Month);
    ASSERT_EQ(months.periods.size(), 1u + 12u + 1u + 1u + 1u);
    EXPECT_EQ(months.periods[12].label, "2011-01");
    EXPECT_EQ(months.periods[14].foldedPeriods, 13);

    // Beyond 1,000 km, 7 days or 100,000 kcal a value is not counted, and named.
    std::vector<StoredRun> runs = {
        Stored("a", "2010-05-01T08:00:00Z", "1000", "604800000", "100000"),
        Stored("b", "2010-05-02T08:00:00Z", "1000.000001", "604800001", "100001"),
    };
    for (int i = 0; i < 10; ++i) {
        runs.push_back(Stored("big", "2016-05-01T08:00:00Z", "999999999999", "1", "1"));
    }
    const RunTotals totals = TotalRuns(runs, PeriodKind::Year);
    EXPECT_EQ(totals.all.runs, 12);
    EXPECT_EQ(totals.all.distanceMm, 1'000'000'000);
    EXPECT_EQ(totals.all.durationMs, 604800000 + 10);
    EXPECT_EQ(totals.all.calories, 100000 + 10);
    ASSERT_EQ(totals.problems.size(), 3u + 10u);
    EXPECT_EQ(totals.problems[0].runId + " " + English(totals.problems[0]),
              "b distance \"1000.000001\" is beyond a plausible run, not counted");
    EXPECT_EQ(totals.problems[2].problem.code, ProblemCode::ValueImplausible);
    EXPECT_EQ(totals.problems[2].problem.values, (std::vector<std::string>{"calories", "100001"}));
    const std::vector<std::string> lines = TotalsLines(totals.periods, totals.by, {}, 8);
    ASSERT_EQ(lines.size(), 7u);
    EXPECT_EQ(lines[0], "2010   2 runs  1000.00 km  168:00:00  ████████");
    EXPECT_EQ(lines[6], "2016  10 runs     0.00 km    0:00:00");
}

// What an activity from a file must be to count as a run, on the worked
// examples of real files and at each bound; the first reason is named.
TEST(PlausibleRun, OnlyWhatARunnerCouldRunIsARun) {
    constexpr std::int64_t k2024 = 1'704'067'200'000, kHour = 3'600'000, kDay = 24 * kHour;
    const struct {
        std::int64_t start, ms;
        double metres;
        std::optional<std::int64_t> calories;
        const char* why;  // "" for a run
    } cases[] = {
        {k2024, 10'000, 2'655'123, {}, "2,655 km in 10 s is not a run"},
        {k2024, 913 * kDay, 15'311'000, {}, "15,311 km in 21,912 h is not a run"},
        {k2024, 332 * kHour, 40'000, {}, "40 km in 332 h is not a run"},
        {k2024, 400, 340, {}, "340 m in 400 ms is not a run"},
        {k2024, 5 * 60'000, 4'800, {}, "4.8 km in 5 min is not a run"},
        {-2'147'483'648'000, 0, 0, {}, "it starts before 1990"},  // GPX's 1901 placeholder
        {k2024, 0, 0, {}, "it lasts 0 s"},
        {k2024, 600'000, 0, {}, "it covers 0 m"},
        {k2024 + kDay + 1, 600'000, 2'000, {}, "it starts in the future"},
        {k2024, 8 * kDay, 8 * 24 * 5'000, {}, "it lasts 192 h, more than 7 days"},
        {k2024, 35 * kHour, 1'001'000, {}, "it covers 1,001 km, more than 1,000 km"},
        {k2024, 3 * kHour, 30'000, 100'001, "it burns 100,001 kcal, more than 100,000"},
        // The bounds themselves are runs.
        {kFirstPlausibleStartMs, kHour, 1'000, {}, ""},
        {k2024 + kDay, kHour, 30'000, {}, ""},
        {k2024, kMostPlausibleDurationMs, 1'000'000, kMostPlausibleCalories, ""},
    };
    for (const auto& c : cases) {
        const std::optional<Problem> why =
            WhyNotARun({c.start, c.ms, c.metres, c.calories}, k2024 + kDay);
        EXPECT_EQ(why ? DescribeIn(nullptr, *why) : "", c.why) << c.metres << " m, " << c.ms;
    }
}

TEST(TotalsText, LinesAndSvgShowEveryPeriod) {
    const std::vector<PeriodTotals> periods = {{"2010-W15", 3, 15100000, 5025000, 900},
                                               {"2010-W16", 0, 0, 0, 0},
                                               {"2010-W17", 1, 1887500, 60000, 10}};
    EXPECT_EQ(TotalsLines(periods, PeriodKind::Week, {}, 8),
              (std::vector<std::string>{
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

TEST(TotalsText, TheCallersWordsFillTheLinesAndTheChart) {
    TotalsWords words;
    words.runs = [](std::int64_t) { return std::string("次"); };
    words.unit = "公里";
    words.withoutRuns = [](std::int64_t periods, PeriodKind by) {
        return "…… " + std::to_string(periods) + (by == PeriodKind::Week ? " 周" : " ?") +
               "没有跑步 ……";
    };
    words.chartTitle = [](PeriodKind) { return std::string("每周距离 <公里> & 时间"); };
    const std::vector<PeriodTotals> periods = {{"2010-W15", 3, 15100000, 5025000, 900},
                                               {.foldedPeriods = 40},
                                               {"2011-W04", 12, 1887500, 60000, 10}};
    EXPECT_EQ(TotalsLines(periods, PeriodKind::Week, words, 8),
              (std::vector<std::string>{
                  "2010-W15   3 次  15.10 公里  1:23:45  ████████",
                  "…… 40 周没有跑步 ……",
                  "2011-W04  12 次   1.89 公里  0:01:00  █",
              }));
    const std::string svg = ChartSvg(periods, PeriodKind::Week, words);
    for (const char* piece : {"<title>每周距离 &lt;公里&gt; &amp; 时间</title>",
                              "<title>…… 40 周没有跑步 ……</title>", ">2011-W04</text>"}) {
        EXPECT_NE(svg.find(piece), std::string::npos) << piece << "\n" << svg;
    }
    EXPECT_EQ(svg.find("runs"), std::string::npos);
    TempFolder folder;
    test::WriteFile(folder / "chart.svg", svg);
    CheckWithTool("xmllint --noout " + (folder / "chart.svg").string(), "SVG well formed");
    CheckWithTool("rsvg-convert -o " + (folder / "chart.png").string() + " " +
                      (folder / "chart.svg").string(),
                  "SVG renders");
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
    // A folded stretch is a narrow marker that no click chooses.
    RunTotals gap;
    gap.periods = {{"2010-W15", 1, 1000000, 1000, 1},
                   {.foldedPeriods = 500000},
                   {"9999-W52", 1, 2000000, 1000, 1}};
    const ChartLayout gapped = LayOutChart(gap.periods, {100, 200, 1.0});
    ASSERT_EQ(gapped.bars.size(), 3u);
    EXPECT_EQ(gapped.width, 12 + 76 + 24 + 76 + 12);
    const ChartBar& marker = gapped.bars[1];
    EXPECT_EQ(marker.foldedPeriods, 500000);
    EXPECT_EQ(marker.bar.height, 0);
    EXPECT_EQ(marker.label.text, "…");
    EXPECT_EQ(BarAt(gapped, marker.column.x + 1, 1), std::nullopt);
    EXPECT_EQ(BarAt(gapped, gapped.bars[2].column.x + 1, 1), 2u);
    EXPECT_EQ(gapped.bars[2].bar.height, gapped.bars[0].bar.height * 2);
    EXPECT_EQ(ChartSummaryOf(gap, 1).period, "");

    const ChartSummary chosen = ChartSummaryOf(totals, 3);
    EXPECT_EQ(chosen.period + " " + chosen.distanceKm + " " + chosen.time, "2010-04 4.00 1:02:03");
    const ChartSummary all = ChartSummaryOf(totals, std::nullopt);
    EXPECT_EQ(all.period + " " + all.distanceKm + " " + all.time + " " + std::to_string(all.runs),
              " 99.99 2:00:00 9");
}

}  // namespace
}  // namespace strivo
