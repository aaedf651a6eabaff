#include "site/RunLogForm.h"

#include <gtest/gtest.h>

#include "../support/Cp936Literal.h"
#include "text/TextHelpers.h"

namespace strivo {
namespace {

using test::Gbk;

TEST(SplitDuration, ReadsHoursMinutesSeconds) {
    struct Case {
        const char* duration;
        std::string hours, minutes, seconds;
    };
    const Case cases[] = {
        {"0小时25分10秒", "0", "25", "10"},
        {"1小时0分5秒", "1", "0", "5"},
        {"25小时0分0秒", "25", "0", "0"},
        {"0小时-1分-1秒", "0", "-1", "-1"},
        {"25分10秒", "", "", "10"},  // no hours: minutes need them as their start
        {"", "", "", ""},
        {"garbage", "", "", ""},
    };
    for (const auto& c : cases) {
        const DurationParts parts = SplitDuration(Gbk(c.duration));
        EXPECT_EQ(parts.hours, c.hours) << c.duration;
        EXPECT_EQ(parts.minutes, c.minutes) << c.duration;
        EXPECT_EQ(parts.seconds, c.seconds) << c.duration;
    }
}

TEST(BuildRunLogBody, WorkedExampleByteForByte) {
    std::string description = RunLogDescription();
    FormEncode(description);
    ASSERT_EQ(description, "Nike%2b%CD%AC%B2%BD");

    const RunRow row = {"1",   "2010-04-20 06:30:15", "5.0123", Gbk("0小时25分10秒"),
                        "350", "2010-04-20 08:00:00", "815"};
    EXPECT_EQ(BuildRunLogBody("f00d", row, description),
              "formhash=f00d&dtevent=2010-04-20+06%3a30%3a15&typeevent=1&weather=1&tempor=1"
              "&distance=5.0123&tchour=0&tcminute=25&tcsecond=10&addr=&nikerunid=815"
              "&descrip=Nike%2b%CD%AC%B2%BD");
}

TEST(BuildRunLogBody, OnlyStartTimeIsEncoded) {
    const RunRow row = {"7", "a&b", "1&2", Gbk("x"), "cal", "sync", "id&x"};
    EXPECT_EQ(BuildRunLogBody("t&k", row, "d"),
              "formhash=t&k&dtevent=a%26b&typeevent=1&weather=1&tempor=1&distance=1&2"
              "&tchour=&tcminute=&tcsecond=&addr=&nikerunid=id&x&descrip=d");
}

TEST(BuildSignInBody, PiecesInOrderEvenWhenEmpty) {
    EXPECT_EQ(BuildSignInBody("", "", "u", "p"),
              "formhash=&cookietime=&loginfield=username&questionid=0&username=u&password=p"
              "&answer=");
    EXPECT_EQ(BuildSignInBody("abc", "2592000", "%C5%DC+a%26b", "p+w%26"),
              "formhash=abc&cookietime=2592000&loginfield=username&questionid=0"
              "&username=%C5%DC+a%26b&password=p+w%26&answer=");
}

}  // namespace
}  // namespace strivo
