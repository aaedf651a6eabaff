#include "io/LocalTime.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>

namespace strivo {
namespace {

// 2024-03-10 and 2024-11-03 00:00 UTC: the days New York's clocks change.
constexpr std::int64_t kMarch10 = 1'710'028'800;
constexpr std::int64_t kNovember3 = 1'730'592'000;
constexpr std::int64_t kHour = 3600;

// Whatever the machine's zone: an instant read as wall time comes back as
// itself, away from the hours the clocks change.
TEST(LocalTime, AnInstantsWallTimeLeadsBackToIt) {
    for (const std::int64_t instant : {kMarch10 - 40 * 86400, kMarch10 + 120 * 86400 + 7,
                                       std::int64_t{0}, std::int64_t{4'102'444'800}}) {
        const int offset = LocalOffsetMinutes(instant);
        EXPECT_LE(std::abs(offset), 14 * 60);
        const LocalInstant back = FromLocalTime(instant + offset * 60);
        EXPECT_EQ(back.utcSeconds, instant);
        EXPECT_EQ(back.offsetMinutes, offset);
    }
}

#ifndef _WIN32
// The tz database through TZ, as the machine's zone would be.
class InZone {
public:
    explicit InZone(const char* zone) {
        if (const char* before = std::getenv("TZ")) {
            m_before = before;
        }
        ::setenv("TZ", zone, 1);
        ::tzset();
    }
    ~InZone() {
        if (m_before) {
            ::setenv("TZ", m_before->c_str(), 1);
        } else {
            ::unsetenv("TZ");
        }
        ::tzset();
    }

private:
    std::optional<std::string> m_before;
};

TEST(LocalTime, OffsetsFollowTheZonesRulesOfEachYear) {
    const struct {
        const char* zone;
        std::int64_t instant;
        int offset;
    } cases[] = {
        {"America/New_York", kMarch10 + 7 * kHour - 1, -300},
        {"America/New_York", kMarch10 + 7 * kHour, -240},
        {"America/New_York", kNovember3 + 6 * kHour - 1, -240},
        {"America/New_York", kNovember3 + 6 * kHour, -300},
        {"Asia/Shanghai", kMarch10, 480},
        {"Asia/Shanghai", 580'608'000, 540},  // 1988-05-26: China kept summer time then
        {"Asia/Kolkata", kMarch10, 330},
    };
    for (const auto& each : cases) {
        InZone zone(each.zone);
        EXPECT_EQ(LocalOffsetMinutes(each.instant), each.offset) << each.zone << each.instant;
    }
}

TEST(LocalTime, WallTimesTheClocksSkipOrShowTwiceResolveAsDocumented) {
    InZone zone("America/New_York");
    const struct {
        std::int64_t wall;
        std::int64_t instant;
        int offset;
    } cases[] = {
        {kMarch10 + 1 * kHour + 1800, kMarch10 + 6 * kHour + 1800, -300},      // 01:30 EST
        {kMarch10 + 2 * kHour + 1800, kMarch10 + 7 * kHour + 1800, -300},      // 02:30: skipped
        {kMarch10 + 3 * kHour + 1800, kMarch10 + 7 * kHour + 1800, -240},      // 03:30 EDT
        {kNovember3 + 1 * kHour + 1800, kNovember3 + 5 * kHour + 1800, -240},  // first 01:30
        {kNovember3 + 2 * kHour + 1800, kNovember3 + 7 * kHour + 1800, -300},
    };
    for (const auto& each : cases) {
        const LocalInstant instant = FromLocalTime(each.wall);
        EXPECT_EQ(instant.utcSeconds, each.instant) << each.wall;
        EXPECT_EQ(instant.offsetMinutes, each.offset) << each.wall;
    }
}
#endif

}  // namespace
}  // namespace strivo
