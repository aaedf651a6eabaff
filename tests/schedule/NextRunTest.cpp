#include <gtest/gtest.h>

#include <ctime>

#include "ScopedEnvironment.h"
#include "schedule/SyncSchedule.h"

namespace strivo {
namespace {

using Clock = std::chrono::system_clock;

// "2024-03-31 01:00:00" in UTC.
Clock::time_point Utc(const char* text) {
    std::tm t{};
    if (::strptime(text, "%Y-%m-%d %H:%M:%S", &t) == nullptr) {
        ADD_FAILURE() << text;
    }
    return Clock::from_time_t(::timegm(&t));
}

std::string UtcText(Clock::time_point when) {
    const std::time_t t = Clock::to_time_t(when);
    std::tm utc{};
    ::gmtime_r(&t, &utc);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &utc);
    return text;
}

// Zones as POSIX rules, so the test needs no time zone database.
constexpr const char* kBerlin = "CET-1CEST,M3.5.0,M10.5.0/3";  // 2024: +1 → +2 on 31 March 01:00
                                                               // UTC, back on 27 October 01:00 UTC
constexpr const char* kKolkata = "IST-5:30";                   // half an hour off UTC
constexpr const char* kLordHowe =
    "<+1030>-10:30<+11>-11,M10.1.0,M4.1.0";  // a summer half an hour long

TEST(NextRun, FollowsTheLocalClockThroughItsChanges) {
    test::ScopedEnvironment environment;
    const SyncSchedule daily0630 = kDefaultDaily;
    const SyncSchedule daily0230{SyncSchedule::Every::Daily, 2, 30};
    const struct {
        const char* zone;
        SyncSchedule schedule;
        Clock::time_point now;
        const char* next;  // UTC
        const char* why;
    } cases[] = {
        {"UTC0", daily0630, Utc("2024-05-01 05:00:00"), "2024-05-01 06:30:00", "later today"},
        {"UTC0", daily0630, Utc("2024-05-01 06:30:00"), "2024-05-02 06:30:00",
         "strictly after now"},
        {"UTC0", daily0630, Utc("2024-05-01 06:30:00") + std::chrono::milliseconds(1),
         "2024-05-02 06:30:00", "a moment after the time"},
        {kBerlin, daily0630, Utc("2024-03-30 12:00:00"), "2024-03-31 04:30:00",
         "the offset changed overnight"},
        {kBerlin, daily0230, Utc("2024-03-31 00:00:00"), "2024-03-31 01:00:00",
         "02:30 skipped: the instant the clock jumps to 03:00"},
        {kBerlin, daily0230, Utc("2024-10-26 23:00:00"), "2024-10-27 00:30:00",
         "02:30 twice: the first"},
        {kBerlin, daily0230, Utc("2024-10-27 00:45:00"), "2024-10-28 01:30:00",
         "between the two 02:30s: one run a day, so tomorrow"},
        {kKolkata, kHourly, Utc("2024-05-01 10:10:00"), "2024-05-01 10:30:00", "16:00 local"},
        {"UTC0", kHourly, Utc("2024-05-01 07:00:00"), "2024-05-01 08:00:00", "strictly after now"},
        {kBerlin, kHourly, Utc("2024-03-31 00:30:00"), "2024-03-31 01:00:00",
         "02:00 skipped: 03:00"},
        {kBerlin, kHourly, Utc("2024-10-27 00:30:00"), "2024-10-27 01:00:00",
         "the second 02:00 is a new hour too"},
        {kLordHowe, kHourly, Utc("2024-10-05 15:10:00"), "2024-10-05 15:30:00",
         "01:59 jumps to 02:30: the hour begins there"},
    };
    for (const auto& c : cases) {
        environment.Set("TZ", c.zone);
        const auto next = NextRun(c.schedule, c.now);
        ASSERT_TRUE(next) << c.why;
        EXPECT_EQ(UtcText(*next), c.next) << c.zone << ": " << c.why;
    }
}

}  // namespace
}  // namespace strivo
