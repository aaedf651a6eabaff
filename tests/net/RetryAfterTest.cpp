#include "net/RetryAfter.h"

#include <gtest/gtest.h>

#include <string>

namespace strivo {
namespace {

using std::chrono::seconds;
using Clock = std::chrono::system_clock;

Clock::time_point At(int year, unsigned month, unsigned day, int hour, int minute, int second) {
    return std::chrono::sys_days(std::chrono::year_month_day(
               std::chrono::year(year), std::chrono::month(month), std::chrono::day(day))) +
           std::chrono::hours(hour) + std::chrono::minutes(minute) + seconds(second);
}

constexpr auto kNever = std::nullopt;
const seconds kCap = std::chrono::duration_cast<seconds>(kLongestRetryAfter);

struct Case {
    const char* value;
    std::optional<seconds> wait;  // after now; nullopt for a value refused
};

void Check(Clock::time_point now, std::initializer_list<Case> cases) {
    for (const Case& c : cases) {
        const auto until = ParseRetryAfter(c.value, now);
        EXPECT_EQ(
            until ? std::optional(std::chrono::duration_cast<seconds>(*until - now)) : std::nullopt,
            c.wait)
            << '"' << c.value << '"';
    }
}

TEST(RetryAfter, DeltaSecondsCountFromNowUpToAWeek) {
    Check(At(2026, 4, 22, 6, 30, 0) + std::chrono::milliseconds(250),
          {
              {"120", seconds(120)},
              {"0", seconds(0)},
              {" \t120 ", seconds(120)},  // the field's own white space
              {"604800", kCap},
              {"604801", kCap},
              {"99999999999999999999999999", kCap},  // no overflow into the past
              {"", kNever},
              {"  ", kNever},
              {"-5", kNever},
              {"+5", kNever},
              {"1.5", kNever},
              {"12abc", kNever},
          });
}

TEST(RetryAfter, ReadsAllThreeDateForms) {
    Check(At(1994, 11, 6, 8, 49, 0),
          {
              {"Sun, 06 Nov 1994 08:49:37 GMT", seconds(37)},
              {"Sunday, 06-Nov-94 08:49:37 GMT", seconds(37)},
              {"Sun Nov  6 08:49:37 1994", seconds(37)},
              {"Sun Nov 06 08:49:37 1994", seconds(37)},
              {"Mon, 07 Nov 1994 08:49:00 GMT", seconds(86400)},
              {"Sun, 06 Nov 1994 08:49:60 GMT", seconds(60)},  // a leap second
              {"Sat, 31 Dec 1994 23:59:59 GMT", kCap},
              {"Fri, 31 Dec 9999 23:59:59 GMT", kCap},        // beyond the clock's own range
              {"Sat, 05 Nov 1994 08:49:37 GMT", seconds(0)},  // past: now
              {"Sun, 06 Nov 1994 08:48:59 GMT", seconds(0)},
          });
}

TEST(RetryAfter, RefusesDatesOffTheirGrammar) {
    Check(At(1994, 11, 6, 8, 49, 0),
          {
              {"sun, 06 Nov 1994 08:49:37 GMT", kNever},  // HTTP-date is case-sensitive
              {"Sun, 06 Nov 1994 08:49:37 UTC", kNever},
              {"Sun, 06 Nov 1994 08:49:37 GMT+1", kNever},
              {"Sun, 6 Nov 1994 08:49:37 GMT", kNever},
              {"Sun, 06 Nov 94 08:49:37 GMT", kNever},
              {"Sun, 06 Nov 1994 8:49:37 GMT", kNever},
              {"Sun, 31 Feb 1994 08:49:37 GMT", kNever},
              {"Sun, 06 Nov 1994 24:00:00 GMT", kNever},
              {"Sun, 06 Nov 1994 08:49:61 GMT", kNever},
              {"Sunday, 06-Nov-1994 08:49:37 GMT", kNever},
              {"Sun, 06-Nov-94 08:49:37 GMT", kNever},
              {"Sun Nov 6 08:49:37 1994", kNever},
              {"Sun Nov  6 08:49:37 94", kNever},
              {"Sun", kNever},
          });
}

// The obsolete form's two-digit year is never more than 50 years ahead, also
// across a turn of the century.
TEST(RetryAfter, TwoDigitYearsFallWithinFiftyYearsOfNow) {
    Check(At(2099, 12, 31, 23, 59, 0), {{"Friday, 01-Jan-00 00:00:10 GMT", seconds(70)}});
    Check(At(2000, 1, 1, 0, 0, 0), {{"Friday, 31-Dec-99 23:59:59 GMT", seconds(0)}});
    Check(At(2026, 4, 22, 0, 0, 0), {{"Wednesday, 22-Apr-26 00:00:05 GMT", seconds(5)}});
}

}  // namespace
}  // namespace strivo
