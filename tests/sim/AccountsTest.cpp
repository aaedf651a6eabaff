#include "sim/Accounts.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <stdexcept>

#include "../support/Cp936Literal.h"
#include "text/CodePage.h"

namespace strivo::sim {
namespace {

using strivo::test::Gbk;

// "2010-04-18T07:05:11+08:00" as seconds of UTC.
std::chrono::sys_seconds ReadTimestamp(const std::string& text) {
    int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0, oh = 0, om = 0;
    char sign = 0;
    EXPECT_EQ(std::sscanf(text.c_str(), "%d-%d-%dT%d:%d:%d%c%d:%d", &y, &mo, &d, &h, &mi, &s, &sign,
                          &oh, &om),
              9)
        << text;
    using namespace std::chrono;
    const sys_seconds local = sys_days{year{y} / mo / d} + hours{h} + minutes{mi} + seconds{s};
    const seconds offset = hours{oh} + minutes{om};
    return sign == '-' ? local + offset : local - offset;
}

TEST(SimAccounts, GeneratorGivesSameRunsForSameSeedOnly) {
    const auto first = GenerateRuns(50, 42);
    const auto again = GenerateRuns(50, 42);
    const auto other = GenerateRuns(50, 43);
    ASSERT_EQ(first.size(), 50u);
    ASSERT_EQ(again.size(), 50u);
    for (std::size_t i = 0; i < first.size(); ++i) {
        EXPECT_EQ(first[i].id, again[i].id);
        EXPECT_EQ(first[i].workoutType, again[i].workoutType);
        EXPECT_EQ(first[i].startTime, again[i].startTime);
        EXPECT_EQ(first[i].distanceKm, again[i].distanceKm);
        EXPECT_EQ(first[i].durationMs, again[i].durationMs);
        EXPECT_EQ(first[i].syncTime, again[i].syncTime);
        EXPECT_EQ(first[i].calories, again[i].calories);
    }
    EXPECT_NE(first[0].id, other[0].id);
    EXPECT_NE(first[0].startTime, other[0].startTime);
    EXPECT_TRUE(GenerateRuns(0, 42).empty());
}

TEST(SimAccounts, GeneratedRunsArePlausible) {
    const auto runs = GenerateRuns(500, 7);
    for (std::size_t i = 0; i < runs.size(); ++i) {
        const sim::Run& run = runs[i];
        SCOPED_TRACE(run.id + " " + run.startTime);
        EXPECT_GE(run.distanceKm, 3.0);
        EXPECT_LE(run.distanceKm, 21.0);
        const double paceSecondsPerKm = run.durationMs / 1000.0 / run.distanceKm;
        EXPECT_GE(paceSecondsPerKm, 270.0);
        EXPECT_LE(paceSecondsPerKm, 421.0);
        const double caloriesPerKm = run.calories / run.distanceKm;
        EXPECT_GT(caloriesPerKm, 55.0);
        EXPECT_LT(caloriesPerKm, 80.0);
        EXPECT_TRUE(run.startTime.ends_with("+08:00"));
        EXPECT_TRUE(run.syncTime.ends_with("+00:00"));
        const auto start = ReadTimestamp(run.startTime);
        const auto sync = ReadTimestamp(run.syncTime);
        const auto end = start + std::chrono::milliseconds(run.durationMs);
        EXPECT_GT(sync, end);
        EXPECT_LT(sync, end + std::chrono::hours(3));
        EXPECT_TRUE(run.workoutType == "standard" || run.workoutType == "basic");
        if (i > 0) {
            EXPECT_GT(std::stoll(run.id), std::stoll(runs[i - 1].id));
            EXPECT_GT(start, ReadTimestamp(runs[i - 1].syncTime));
        }
    }
}

TEST(SimAccounts, DemoSpansMonthsAndHoldsCharactersClientsMustEncode) {
    const Accounts demo = DemoAccounts();
    const auto& runs = demo.service.runs;
    ASSERT_EQ(runs.size(), 24u);
    const auto span = ReadTimestamp(runs.back().startTime) - ReadTimestamp(runs.front().startTime);
    EXPECT_GT(span, std::chrono::days(60));
    EXPECT_EQ(Utf8ToCp936(demo.service.screenName), Gbk("晨跑的小李"));
    for (const std::string& password : {demo.service.password, demo.site.password}) {
        EXPECT_NE(password.find(' '), std::string::npos) << password;
        EXPECT_NE(password.find('&'), std::string::npos) << password;
    }
    EXPECT_EQ(demo.site.user, Gbk("李昞赟"));
}

TEST(SimAccounts, SumsAddWhatTheRunListShows) {
    const std::vector<sim::Run> runs = {
        {"1", "standard", "", 5.03214, 1834000, "", 356},  // listed as 5.0321
        {"2", "standard", "", 3.00006, 1000, "", 10},      // listed as 3.0001
    };
    const RunTotals totals = SumRuns(runs);
    EXPECT_EQ(FormatDistanceUnits(totals.distanceTenThousandthsKm), "8.0322");
    EXPECT_EQ(totals.durationMs, 1835000);
    EXPECT_EQ(totals.calories, 366);
    EXPECT_EQ(totals.runs, 2u);
    EXPECT_EQ(FormatDistance(5.0), "5.0000");
    EXPECT_EQ(FormatDistance(0.00004), "0.0000");
}

TEST(SimAccounts, FileKeysOverrideDefaultsAndRunsReplaceThem) {
    const Accounts parsed = ParseAccounts(
        "# a comment\n"
        "\n"
        "login = runner@example.com\r\n"
        "password = 密码 b&c=d\n"
        "site_user = 跑者\n"
        "run = 77 | standard | 2010-04-18T07:05:11+08:00 | 5.0321 | 1834000 | "
        "2010-04-18T01:10:42+00:00 | 356\n"
        "run = 78|basic|2010-04-19T07:00:00Z|3|900000|2010-04-19T00:30:00+00:00|200\n",
        DemoAccounts());
    EXPECT_EQ(parsed.service.login, "runner@example.com");
    EXPECT_EQ(parsed.service.password, Gbk("密码 b&c=d"));                  // what Strivo sends
    EXPECT_EQ(parsed.service.screenName, DemoServiceAccount().screenName);  // kept
    EXPECT_EQ(parsed.site.user, Gbk("跑者"));
    EXPECT_EQ(parsed.site.password, DemoSiteAccount().password);  // kept
    ASSERT_EQ(parsed.service.runs.size(), 2u);
    const sim::Run& first = parsed.service.runs[0];
    EXPECT_EQ(first.id, "77");
    EXPECT_EQ(first.startTime, "2010-04-18T07:05:11+08:00");
    EXPECT_EQ(first.distanceKm, 5.0321);
    EXPECT_EQ(first.durationMs, 1834000);
    EXPECT_EQ(first.calories, 356);
    EXPECT_EQ(parsed.service.runs[1].startTime, "2010-04-19T07:00:00Z");  // odd values pass through

    EXPECT_EQ(ParseAccounts("login = x\n", DemoAccounts()).service.runs.size(), 24u);
}

TEST(SimAccounts, FileWithBadLinesIsRefusedNamingTheLine) {
    const struct {
        const char* text;
        const char* message;
    } cases[] = {
        {"nonsense\n", "line 1"},
        {"login = a\ncolour = red\n", "line 2: unknown key"},
        {"run = 1 | standard | t | 5 | 100 | s\n", "7 fields"},
        {"run = 1 | standard | t | five | 100 | s | 3\n", "distance"},
        {"run = 1 | standard | t | 5 | -100 | s | 3\n", "duration"},
        {"run = 1 | standard | t | 5 | 100 | s | 3.5\n", "calories"},
        {"run =  | standard | t | 5 | 100 | s | 3\n", "id"},
    };
    for (const auto& c : cases) {
        try {
            ParseAccounts(c.text, DemoAccounts());
            ADD_FAILURE() << "accepted: " << c.text;
        } catch (const std::runtime_error& error) {
            EXPECT_NE(std::string(error.what()).find(c.message), std::string::npos)
                << c.text << " -> " << error.what();
        }
    }
    EXPECT_THROW(LoadAccountsFile("/nonexistent/accounts.txt", DemoAccounts()), std::runtime_error);
}

}  // namespace
}  // namespace strivo::sim
