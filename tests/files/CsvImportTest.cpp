#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "../support/Cp936Literal.h"
#include "../support/SentRuns.h"
#include "FileTestSupport.h"
#include "export/CsvExport.h"
#include "files/CsvRunReader.h"
#include "io/LocalTime.h"
#include "model/ProblemWords.h"

namespace strivo {
namespace {

using test::Cp936;
using test::TricklingSource;

// Seconds of a wall-clock time counted as UTC: 2010-04-20 06:30:15.
constexpr std::int64_t kWallSeconds = 1'271'745'015;

Result<RunFile> Csv(std::string_view content) {
    TricklingSource source(content);
    return ReadCsvRuns(source);
}

TEST(ReadCsvRuns, ReadsBackWhatTheExportWritesQuotedAndGuardedCellsIncluded) {
    // The sequence and sync cells are passed over, but how the export wrote
    // them (quotes, an apostrophe, a line break) must not shift the others;
    // a value the export guarded with an apostrophe reads as itself.
    const RunList rows = {
        TableRun("815", "2010-04-20 06:30:15", "5.0123", "1510000", "\t350", "2010-04-20 08:00:00"),
        TableRun("9", "2010-04-20 06:30:15", "10", "3723000", "", "@x,\"y\"\r\nz"),
    };
    std::ostringstream exported;
    WriteCsv(exported, rows);
    ASSERT_NE(exported.str().find("\"'@x,"), std::string::npos);
    ASSERT_NE(exported.str().find(",'\t350,"), std::string::npos);

    const Result<RunFile> file = Csv(exported.str());
    ASSERT_TRUE(file) << file.problem().Value(0);
    EXPECT_EQ(file->format, RunFileFormat::Csv);
    ASSERT_EQ(file->runs.size(), 2u);
    const LocalInstant start = FromLocalTime(kWallSeconds);
    for (const ImportedRun& run : file->runs) {
        EXPECT_EQ(run.startUtcMs, start.utcSeconds * 1000);
        EXPECT_EQ(run.offsetMinutes, start.offsetMinutes);
    }
    EXPECT_DOUBLE_EQ(file->runs[0].distanceMetres, 5012.3);
    EXPECT_EQ(file->runs[0].durationMs, (25 * 60 + 10) * 1000);
    EXPECT_EQ(file->runs[0].calories, 350);
    EXPECT_DOUBLE_EQ(file->runs[1].distanceMetres, 10000);
    EXPECT_EQ(file->runs[1].durationMs, (3600 + 2 * 60 + 3) * 1000);
    EXPECT_FALSE(file->runs[1].calories);
}

TEST(ReadCsvRuns, ReadsATitleLineBlankLinesUtf8AndTheDatesASpreadsheetWritesBack) {
    const std::string title = Cp936("序号,跑步时间,距离(KM),耗时,卡路里,上传时间") + "\r\n";
    const struct {
        std::string content;
        std::int64_t wallSeconds;
    } cases[] = {
        {title + "\r\n1,2010-04-20 06:30:15,5," + Cp936("0小时1分0秒") + ",1,\r\n\r\n",
         kWallSeconds},
        {"1,2010/4/20 6:30,5," + Cp936("0小时1分0秒") + ",1,,1100309028", kWallSeconds - 15},
        {"\xEF\xBB\xBF序号,跑步时间,距离(KM),耗时,卡路里,上传时间\n"
         "1,2010-04-20 06:30:15,5,0小时1分0秒,1,2010-04-20 08:00:00\n",
         kWallSeconds},
    };
    for (const auto& each : cases) {
        const Result<RunFile> file = Csv(each.content);
        ASSERT_TRUE(file) << each.content;
        ASSERT_EQ(file->runs.size(), 1u) << each.content;
        EXPECT_EQ(file->runs[0].startUtcMs, FromLocalTime(each.wallSeconds).utcSeconds * 1000);
        EXPECT_EQ(file->runs[0].durationMs, 60'000);
        EXPECT_EQ(file->runs[0].calories, 1);
    }
}

TEST(ReadCsvRuns, ALineThatDoesNotReadIsRefusedNamingItsLine) {
    const std::string good = "1,2010-04-20 06:30:15,5," + Cp936("0小时1分0秒") + ",1,\r\n";
    // The second line starts on line 2, but a quoted line break puts the third on 4.
    const std::string before =
        good + "2,2010-04-20 06:30:15,5," + Cp936("0小时1分0秒") + ",1,\"a\r\nb\"\r\n";
    const struct {
        std::string line;
        ProblemCode code;
        std::vector<std::string> values;
    } cases[] = {
        {"3,,5,x,1,", ProblemCode::CsvBadStart, {"4", ""}},
        {"3,2010-13-01 00:00:00,5,x,1,", ProblemCode::CsvBadStart, {"4", "2010-13-01 00:00:00"}},
        {"3," + Cp936("昨天") + ",5,x,1,", ProblemCode::CsvBadStart, {"4", "昨天"}},
        {"3,2010-04-20 06:30:15,five,x,1,",
         ProblemCode::CsvBadValue,
         {"4", kFieldDistance, "five"}},
        {"3,2010-04-20 06:30:15,-5,x,1,", ProblemCode::CsvBadValue, {"4", kFieldDistance, "-5"}},
        {"3,2010-04-20 06:30:15,5," + Cp936("25分10秒") + ",1,",
         ProblemCode::CsvBadValue,
         {"4", kFieldDuration, "25分10秒"}},
        {"3,2010-04-20 06:30:15,5," + Cp936("0小时-1分0秒") + ",1,",
         ProblemCode::CsvBadValue,
         {"4", kFieldDuration, "0小时-1分0秒"}},
        {"3,2010-04-20 06:30:15,5," + Cp936("0小时1分0秒") + ",lots,",
         ProblemCode::CsvBadValue,
         {"4", kFieldCalories, "lots"}},
        {"3,2010-04-20 06:30:15,5," + Cp936("0小时1分0秒") + ",1",
         ProblemCode::CsvCellCount,
         {"4", "5"}},
        {"3,2010-04-20 06:30:15,5,5 km," + Cp936("0小时1分0秒") + ",1,,",
         ProblemCode::CsvCellCount,
         {"4", "8"}},
        {"3," + std::string(5000, 'x'), ProblemCode::CsvLineTooLong, {"4"}},
    };
    for (const auto& each : cases) {
        const Result<RunFile> file = Csv(before + each.line + "\r\n" + good);
        ASSERT_FALSE(file) << each.line;
        EXPECT_EQ(file.problem().code, each.code) << each.line;
        EXPECT_EQ(file.problem().values, each.values) << each.line;
    }
    // A line of the wrong cells says what is accepted.
    EXPECT_EQ(DescribeIn(nullptr, Problem(ProblemCode::CsvCellCount, {"4", "9"})),
              "line 4 has 9 cells; a Strivo export has 6, or 7 with the RunID");
}

}  // namespace
}  // namespace strivo
