#include "schedule/SyncSchedule.h"

#include <gtest/gtest.h>

#include "schedule/UnattendedPasswords.h"

namespace strivo {
namespace {

TEST(SyncSchedule, DailyTimeIsHoursColonTwoDigitsWithinADay) {
    const struct {
        const char* text;
        int hour;
        int minute;
        const char* clock;
    } good[] = {{"06:30", 6, 30, "06:30"}, {"00:00", 0, 0, "00:00"}, {"23:59", 23, 59, "23:59"},
                {"12:05", 12, 5, "12:05"}, {"7:30", 7, 30, "07:30"}, {"0:00", 0, 0, "00:00"}};
    for (const auto& c : good) {
        const Result<SyncSchedule> parsed = ParseDailyTime(c.text);
        ASSERT_TRUE(parsed) << c.text;
        EXPECT_EQ(*parsed, (SyncSchedule{SyncSchedule::Every::Daily, c.hour, c.minute})) << c.text;
        EXPECT_EQ(ClockText(*parsed), c.clock);
    }
    for (const char* bad : {"24:00", "12:60", "12:5", "7:3", "ab:cd", "12-30", " 12:30", "12:30 ",
                            " 7:30", "", "+1:30", "12:30:00", "\xef\xbc\x91\xef\xbc\x92:30"}) {
        const Result<SyncSchedule> parsed = ParseDailyTime(bad);
        ASSERT_FALSE(parsed) << bad;
        EXPECT_EQ(parsed.problem().code, ProblemCode::ScheduleBadTime);
        EXPECT_EQ(parsed.problem().Value(0), bad);
    }
}

// A scheduled run finds its passwords in the settings file alone; where this
// shell has them, the refusal says that its environment is not the schedule's.
TEST(UnattendedPasswords, EachPasswordComesFromTheFile) {
    const auto nikeOnly = [](std::string_view name) { return name == "STRIVO_NIKE_PASSWORD"; };
    EXPECT_TRUE(MissingPasswords(true, true).empty());
    const Problem both = MissingPasswordsProblem(MissingPasswords(false, false));
    EXPECT_EQ(both.code, ProblemCode::ScheduleNeedsPasswords);
    EXPECT_EQ(both.values,
              (std::vector<std::string>{"[nike+] pwd, [kelvora] pwd",
                                        "STRIVO_NIKE_PASSWORD, STRIVO_SITE_PASSWORD"}));
    const Problem site = MissingPasswordsProblem(MissingPasswords(true, false), nikeOnly);
    EXPECT_EQ(site.values, (std::vector<std::string>{"[kelvora] pwd", "STRIVO_SITE_PASSWORD"}));
    const Problem shell = MissingPasswordsProblem(MissingPasswords(false, false), nikeOnly);
    EXPECT_EQ(shell.code, ProblemCode::SchedulePasswordsInShellOnly);
    EXPECT_EQ(shell.values,
              (std::vector<std::string>{"[nike+] pwd, [kelvora] pwd", "STRIVO_NIKE_PASSWORD"}));
}

}  // namespace
}  // namespace strivo
