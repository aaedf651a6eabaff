#include "io/LocalTime.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>

#include "../support/Cp936Literal.h"
#include "io/TimeText.h"

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

// The texts of the machine's zone, beside its midnights and the hour skipped.
TEST(TimeText, LocalTextsFollowTheMachinesZone) {
    const struct {
        const char* zone;
        std::int64_t instant;
        const char* minute;
        int year;
    } cases[] = {
        {"America/New_York", kMarch10 + 7 * kHour - 60, "2024-03-10 01:59", 2024},
        {"America/New_York", kMarch10 + 7 * kHour, "2024-03-10 03:00", 2024},
        {"America/New_York", 1'704'085'199, "2023-12-31 23:59", 2023},
        {"Asia/Kolkata", kMarch10 - 1, "2024-03-10 05:29", 2024},
    };
    for (const auto& each : cases) {
        InZone zone(each.zone);
        const TimePoint at{std::chrono::seconds{each.instant}};
        EXPECT_EQ(LocalMinuteText(at), each.minute) << each.zone << each.instant;
        EXPECT_EQ(LocalDayText(at), std::string(each.minute).substr(0, 10));
        EXPECT_EQ(LocalYear(at), each.year);
    }
}
#endif

// Before 1970 and behind UTC, a time is its second's floor, and every text
// reads back as the instant (and offset) it was written from.
TEST(TimeText, EachTimeReadsBackAsWritten) {
    const struct {
        std::int64_t utcMs;
        int offset;
        const char* atOffset;
        const char* utc;
        const char* fileName;
    } cases[] = {
        {-1500, -210, "1969-12-31T20:29:58-03:30", "1969-12-31T23:59:58.5Z", "1969-12-31-202958"},
        {kMarch10 * 1000 + 250, 480, "2024-03-10T08:00:00+08:00", "2024-03-10T00:00:00.25Z",
         "2024-03-10-080000"},
    };
    for (const auto& each : cases) {
        const std::int64_t second = each.utcMs - ((each.utcMs % 1000) + 1000) % 1000;
        EXPECT_EQ(OffsetTimeText(each.utcMs, each.offset), each.atOffset);
        EXPECT_EQ(UtcTimeText(each.utcMs), each.utc);
        EXPECT_EQ(FileNameTime(each.utcMs, each.offset), each.fileName);
        const TypedTime read = ParseServiceTime(each.atOffset);
        EXPECT_EQ(read.utcMs, second);
        EXPECT_EQ(read.offsetMinutes, each.offset);
        EXPECT_EQ(ParseXmlTime(each.atOffset), second);
        EXPECT_EQ(ParseXmlTime(each.utc), each.utcMs);
        const std::int64_t day = (second / 1000 - 86399 * (second < 0)) / 86400;
        EXPECT_EQ(ParseLocalDate(DayText(day)), day) << DayText(day);
    }
}

TEST(FormatDuration, ReadsMillisecondsAsSigned64BitAndTruncates) {
    using test::Cp936;
    const std::pair<std::string, std::string> cases[] = {
        {"44604000", "12小时23分24秒"},
        {"3723000", "1小时2分3秒"},
        {"3599999", "0小时59分59秒"},
        {"90000000", "25小时0分0秒"},
        {"999", "0小时0分0秒"},
        {"-61000", "0小时-1分-1秒"},
        {"  5000", "0小时0分5秒"},
        {"12.9", "0小时0分0秒"},
        {"", "0小时0分0秒"},
        {"+7000x", "0小时0分7秒"},
        {"2147483647", "596小时31分23秒"},
        {"-2147483648", "-596小时-31分-23秒"},
        {"99999999999", "27777小时46分39秒"},  // a total past 2^31 ms
        {"-99999999999", "-27777小时-46分-39秒"},
        {"99999999999999999999", "2562047788015小时12分55秒"},  // clamps like strtoll
        {"-99999999999999999999", "-2562047788015小时-12分-55秒"},
    };
    for (const auto& [input, expected] : cases) {
        EXPECT_EQ(FormatDuration(input), Cp936(expected.c_str())) << "input " << input;
    }
}

}  // namespace
}  // namespace strivo
