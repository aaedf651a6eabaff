#include "schedule/SyncSchedule.h"

#include <gtest/gtest.h>

#include "schedule/UnattendedPasswords.h"

namespace strivo {
namespace {

TEST(SyncSchedule, DailyTimeIsTwoDigitsColonTwoDigitsWithinADay) {
    const struct {
        const char* text;
        int hour;
        int minute;
    } good[] = {{"06:30", 6, 30}, {"00:00", 0, 0}, {"23:59", 23, 59}, {"12:05", 12, 5}};
    for (const auto& c : good) {
        const Result<SyncSchedule> parsed = ParseDailyTime(c.text);
        ASSERT_TRUE(parsed) << c.text;
        EXPECT_EQ(*parsed, (SyncSchedule{SyncSchedule::Every::Daily, c.hour, c.minute})) << c.text;
        EXPECT_EQ(ClockText(*parsed), c.text);
    }
    for (const char* bad : {"6:30", "24:00", "12:60", "12:5", "ab:cd", "12-30", " 12:30", "12:30 ",
                            "", "+1:30", "12:30:00", "\xef\xbc\x91\xef\xbc\x92:30"}) {
        const Result<SyncSchedule> parsed = ParseDailyTime(bad);
        ASSERT_FALSE(parsed) << bad;
        EXPECT_EQ(parsed.problem().code, ProblemCode::ScheduleBadTime);
        EXPECT_EQ(parsed.problem().Value(0), bad);
    }
}

TEST(UnattendedPasswords, EachPasswordComesFromTheFileOrTheRunsEnvironment) {
    const auto nikeOnly = [](std::string_view name) { return name == "STRIVO_NIKE_PASSWORD"; };
    EXPECT_TRUE(MissingPasswords(true, true, nullptr).empty());
    EXPECT_TRUE(MissingPasswords(false, true, nikeOnly).empty());
    const Problem both = MissingPasswordsProblem(MissingPasswords(false, false, nullptr));
    EXPECT_EQ(both.code, ProblemCode::ScheduleNeedsPasswords);
    EXPECT_EQ(both.values,
              (std::vector<std::string>{"[nike+] pwd, [kelvora] pwd",
                                        "STRIVO_NIKE_PASSWORD, STRIVO_SITE_PASSWORD"}));
    const Problem site = MissingPasswordsProblem(MissingPasswords(false, false, nikeOnly));
    EXPECT_EQ(site.values, (std::vector<std::string>{"[kelvora] pwd", "STRIVO_SITE_PASSWORD"}));
}

}  // namespace
}  // namespace strivo
