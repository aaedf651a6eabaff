#include "export/CsvExport.h"

#include <gtest/gtest.h>

#include <sstream>

#include "../support/Cp936Literal.h"
#include "../support/SentRuns.h"

namespace strivo {
namespace {

using test::Cp936;

std::string Csv(const RunList& rows) {
    std::ostringstream out;
    WriteCsv(out, rows);
    return out.str();
}

TEST(WriteCsv, WritesColumnsZeroToFivePerLine) {
    const strivo::Run example = TableRun("815", "2010-04-20T06:30:15+08:00", "5.0123", "1510000",
                                         "350", "2010-04-20T08:00:00+08:00");
    EXPECT_EQ(Csv({example, example}), "1,2010-04-20 06:30:15,5.0123," + Cp936("0小时25分10秒") +
                                           ",350,2010-04-20 08:00:00\r\n2,2010-04-20 06:30:15,"
                                           "5.0123," +
                                           Cp936("0小时25分10秒") + ",350,2010-04-20 08:00:00\r\n");
    EXPECT_EQ(Csv({strivo::Run{}}), "1,,," + Cp936("0小时0分0秒") + ",,\r\n");
    // A run read from a file: its texts made from its values, at its own offset.
    const strivo::Run read(ImportedRunKey(1271716215, 5012.34), RunSource::Gpx,
                           {1271716215000, -300, 5012.34, 1510000, 321});
    EXPECT_EQ(Csv({read}), "1,2010-04-19 17:30:15,5.0123," + Cp936("0小时25分10秒") + ",321,\r\n");
}

TEST(WriteCsv, QuotesOnlyCellsThatWouldBreakTheLine) {
    const strivo::Run run = TableRun("x", "a,b", "say \"hi\"", "", "two\r\nlines", "\xC5\xDC");
    EXPECT_EQ(Csv({run}), "1,\"a,b\",\"say \"\"hi\"\"\"," + Cp936("0小时0分0秒") +
                              ",\"two\r\nlines\",\xC5\xDC\r\n");
}

TEST(WriteCsv, CellsASpreadsheetWouldRunStartWithAnApostrophe) {
    const strivo::Run run =
        TableRun("x", "=cmd|' /C calc'!A0", "-5.5", "-3723000", "@SUM(A1)", "\t1");
    EXPECT_EQ(Csv({run}),
              "1,'=cmd|' /C calc'!A0,-5.5," + Cp936("-1小时-2分-3秒") + ",'@SUM(A1),'\t1\r\n");
}

}  // namespace
}  // namespace strivo
