#include "runservice/RunList.h"

#include <gtest/gtest.h>

#include "../support/Cp936Literal.h"
#include "io/RunText.h"
#include "io/TimeText.h"

namespace strivo {
namespace {

using test::Cp936;

std::string RunXml(const std::string& id, const std::string& fields) {
    return "<run id=\"" + id + "\" workoutType=\"standard\">" + fields + "</run>\n";
}

TEST(TrimTimestamp, DropsTheOffsetAndEveryT) {
    const std::pair<std::string, std::string> cases[] = {
        {"2010-04-18T07:05:11+08:00", "2010-04-18 07:05:11"},
        {"2010-04-18T07:05+08:00", "2010-04-18 07:05"},  // no seconds
        {"2010-04-18T07:05:11.250+08:00", "2010-04-18 07:05:11.250"},
        {"2010-04-18T07:05:11Z", "2010-04-18 07:05:11"},
        {"2010-04-18T07:05:11-05:00", "2010-04-18 07:05:11"},
        {"2010-04-18T07:05:11", "2010-04-18 07:05:11"},
        {"2010-04-18", "2010-04-18"},
        {"TxT+1", " x "},  // every capital T
        {"at t+1", "at t"},
        {"", ""},
    };
    for (const auto& [input, expected] : cases) {
        EXPECT_EQ(TrimTimestamp(input), expected) << input;
    }
}

TEST(ParseRunList, WorkedExampleGivesItsCells) {
    const std::string body =
        "<?xml version=\"1.0\"?><plusService><status>success</status><runList>" +
        RunXml("77",
               "<startTime>2010-04-18T07:05:11+08:00</startTime><distance>5.0321</distance>"
               "<duration>1834000</duration><syncTime>2010-04-18T01:10:42+00:00</syncTime>"
               "<calories>356</calories><name/><description/>") +
        RunXml("78",
               "<startTime>2010-04-20T06:30:15+08:00</startTime><distance>5.0123</distance>"
               "<duration>1510000</duration><calories>350</calories>") +
        "</runList></plusService>";
    const RunList rows = ParseRunList(body);
    ASSERT_EQ(rows.size(), 2u);
    const RunCells expected = {"1",   "2010-04-18 07:05:11", "5.0321", Cp936("0小时30分34秒"),
                               "356", "2010-04-18 01:10:42", "77"};
    EXPECT_EQ(CellsOf(rows[0], 1), expected);
    EXPECT_EQ(rows[0].durationMs(), 1834000);
    EXPECT_EQ(rows[0].values().startUtcMs, 1271545511000) << "read with its offset";
    EXPECT_EQ(rows[0].values().offsetMinutes, 480);
    EXPECT_EQ(rows[0].values().kcal, 356);
    EXPECT_EQ(rows[1].id(), "78");
}

TEST(ParseRunList, EdgesOfTheRunList) {
    const struct {
        const char* name;
        std::string body;
        const char* rows;  // sequence:id:calories of each row
    } cases[] = {
        {"no runs", "<status>success</status><runList/>", ""},
        {"missing calories leaves only that cell empty",
         RunXml("1", "<calories>10</calories>") + RunXml("2", "<distance>1</distance>") +
             RunXml("3", "<calories>30</calories>"),
         "1:1:10 2:2: 3:3:30 "},
        {"numbered in body order, whatever the times",
         RunXml("9", "<startTime>2011-01-01T00:00:00+08:00</startTime>") +
             RunXml("8", "<startTime>2010-01-01T00:00:00+08:00</startTime>"),
         "1:9: 2:8: "},
        {"id directly followed by >: runs to the next quote-space",
         "<run id=\"5\"><note a=\"x\" b=\"y\"/></run>", "1:5\"><note a=\"x: "},
        {"id with no quote-space after it", "<run id=\"5\"></run>", "1:: "},
        {"cut-off run ends the list, complete runs stay",
         RunXml("1", "<calories>1</calories>") + "<run id=\"2\" workoutType=\"x\"><calories>2",
         "1:1:1 "},
        {"a run is never counted twice", RunXml("1", "run id=") + RunXml("2", ""), "1:1: 2:2: "},
        {"fields of a later run are not borrowed",
         RunXml("1", "") + RunXml("2", "<calories>7</calories>"), "1:1: 2:2:7 "},
    };
    for (const auto& c : cases) {
        std::string rows;
        std::size_t number = 0;
        for (const auto& run : ParseRunList(c.body)) {
            const RunCells cells = CellsOf(run, ++number);
            rows += cells[kColumnSequence] + ":" + std::string(run.id()) + ":" +
                    cells[kColumnCalories] + " ";
            EXPECT_EQ(cells[kColumnDuration], Cp936("0小时0分0秒")) << c.name;  // empty, formatted
        }
        EXPECT_EQ(rows, c.rows) << c.name;
    }
}

TEST(RunListReader, ReadsTheWholeTextsRowsWhateverPiecesItComesIn) {
    const std::string body = "<status>suc" + RunXml("1", "<calories>10</calories>") + "cess" +
                             RunXml("2", "<distance>1</distance>run id=</dist") +
                             "<run id=\"5\"><note a=\"x\" b=\"y\"/></run>" + RunXml("6", "") +
                             "<run id=\"7\" workoutType=\"x\"><calories>2";
    for (const std::size_t piece : {1u, 2u, 6u, 7u, 40u}) {
        RunListReader reader;
        for (std::size_t at = 0; at < body.size(); at += piece) {
            reader.Feed(std::string_view(body).substr(at, piece));
        }
        EXPECT_FALSE(reader.SaysSuccess()) << piece;
        reader.Feed("success");
        EXPECT_TRUE(reader.SaysSuccess()) << piece;
        EXPECT_EQ(reader.Finish(), ParseRunList(body)) << piece;
    }
}

TEST(FillRunTable, AddsAllRowsInOneChange) {
    RunTable table;
    int changes = 0;
    table.AddListener([&](std::size_t) { ++changes; });
    FillRunTable(table, RunXml("1", "") + RunXml("2", "") + RunXml("3", ""));
    EXPECT_EQ(table.RowCount(), 3u);
    EXPECT_EQ(changes, 1);
}

TEST(BuildSummary, FillsTheSentenceFrame) {
    const std::pair<std::string, std::string> cases[] = {
        {"<name><![CDATA[ runner7 ]]></name><totalDistance>25.33</totalDistance>"
         "<totalDuration>44604000</totalDuration><totalCalories>2324</totalCalories>",
         "runner7，您已完成 25.33 KM，用时 12小时23分24秒，消耗 2324 千卡。"},
        {"", "，您已完成  KM，用时 0小时0分0秒，消耗  千卡。"},
        {"<![CDATA[\r\n\t小 明 \n]]><totalDuration>3600000</totalDuration>",
         "小 明，您已完成  KM，用时 1小时0分0秒，消耗  千卡。"},
        {"<![CDATA[a]b]]>", "a，您已完成  KM，用时 0小时0分0秒，消耗  千卡。"},
    };
    for (const auto& [utf8Body, expected] : cases) {
        EXPECT_EQ(BuildSummary(Cp936(utf8Body.c_str())), Cp936(expected.c_str())) << utf8Body;
    }
}

TEST(BuildSummary, LongSentenceIsCutBetweenCharacters) {
    std::string name;
    for (int i = 0; i < 200; ++i) {
        name += "跑x";  // 3 bytes in CP936: byte 250 is the first of a 跑
    }
    const std::string summary = BuildSummary(Cp936(("<![CDATA[" + name + "]]>").c_str()));
    EXPECT_EQ(summary.size(), 249u);
    EXPECT_EQ(summary, Cp936(name.c_str()).substr(0, 249));
}

}  // namespace
}  // namespace strivo
