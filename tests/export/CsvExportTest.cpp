#include "export/CsvExport.h"

#include <gtest/gtest.h>

#include <sstream>

#include "../support/Cp936Literal.h"
#include "../support/TempFolder.h"

namespace strivo {
namespace {

using test::Gbk;

std::string Csv(const std::vector<RunRow>& rows) {
    std::ostringstream out;
    WriteCsv(out, rows);
    return out.str();
}

TEST(WriteCsv, WritesColumnsZeroToFivePerLine) {
    const RunRow example = {"1",   "2010-04-20 06:30:15", "5.0123", Gbk("0小时25分10秒"),
                            "350", "2010-04-20 08:00:00", "815"};
    EXPECT_EQ(Csv({example}),
              "1,2010-04-20 06:30:15,5.0123,0\xD0\xA1\xCA\xB1"
              "25\xB7\xD6"
              "10\xC3\xEB,350,"
              "2010-04-20 08:00:00\r\n");
    EXPECT_EQ(Csv({RunRow{}}), ",,,,,\r\n");
    EXPECT_EQ(Csv({}), "");

    std::vector<RunRow> many(250, example);
    const std::string text = Csv(many);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 250);
    EXPECT_EQ(text.find("815"), std::string::npos) << "the run id is never written";
}

TEST(WriteCsv, QuotesOnlyCellsThatWouldBreakTheLine) {
    const RunRow row = {"1", "a,b", "say \"hi\"", "two\r\nlines", "plain text", "\xC5\xDC", "x"};
    EXPECT_EQ(Csv({row}), "1,\"a,b\",\"say \"\"hi\"\"\",\"two\r\nlines\",plain text,\xC5\xDC\r\n");
}

TEST(ExportCsv, ReplacesAnExistingFile) {
    test::TempFolder folder;
    const auto path = folder / "runs.csv";
    test::WriteFile(path, std::string(1000, 'x'));
    ASSERT_TRUE(ExportCsv(path, {RunRow{"1", "2", "3", "4", "5", "6", "7"}}));
    EXPECT_EQ(test::ReadFile(path), "1,2,3,4,5,6\r\n");
}

TEST(ExportCsv, FailedWriteKeepsTheEarlierFileAndSaysWhy) {
    test::TempFolder folder;
    const auto missing = folder / "no-such-folder" / "runs.csv";
    const FileResult result = ExportCsv(missing, {RunRow{}});
    EXPECT_FALSE(result);
    EXPECT_FALSE(result.error.empty());
}

}  // namespace
}  // namespace strivo
