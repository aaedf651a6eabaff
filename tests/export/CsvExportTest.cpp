#include "export/CsvExport.h"

#include <gtest/gtest.h>

#include <sstream>

#include "../support/Cp936Literal.h"

namespace strivo {
namespace {

using test::Cp936;

std::string Csv(const RunRows& rows) {
    std::ostringstream out;
    WriteCsv(out, rows);
    return out.str();
}

TEST(WriteCsv, WritesColumnsZeroToFivePerLine) {
    const RunRow example = {"1",   "2010-04-20 06:30:15", "5.0123", Cp936("0小时25分10秒"),
                            "350", "2010-04-20 08:00:00", "815"};
    EXPECT_EQ(Csv({example}), "1,2010-04-20 06:30:15,5.0123," + Cp936("0小时25分10秒") +
                                  ",350,2010-04-20 08:00:00\r\n");
    EXPECT_EQ(Csv({RunRow{}}), ",,,,,\r\n");
}

TEST(WriteCsv, QuotesOnlyCellsThatWouldBreakTheLine) {
    const RunRow row = {"1", "a,b", "say \"hi\"", "two\r\nlines", "plain text", "\xC5\xDC", "x"};
    EXPECT_EQ(Csv({row}), "1,\"a,b\",\"say \"\"hi\"\"\",\"two\r\nlines\",plain text,\xC5\xDC\r\n");
}

TEST(WriteCsv, CellsASpreadsheetWouldRunStartWithAnApostrophe) {
    const RunRow row{
        {"=1+1", "+cmd|' /C calc'!A0", "-5.5", "@SUM(A1)", "\t1", Cp936("-1小时-2分-3秒")}};
    EXPECT_EQ(Csv({row}),
              "'=1+1,'+cmd|' /C calc'!A0,-5.5,'@SUM(A1),'\t1," + Cp936("-1小时-2分-3秒") + "\r\n");
}

}  // namespace
}  // namespace strivo
