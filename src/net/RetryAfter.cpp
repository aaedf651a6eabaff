#include "net/RetryAfter.h"

#include <algorithm>
#include <cstdint>

#include "io/TimeText.h"

namespace strivo {
namespace {

using std::chrono::sys_seconds;
using Clock = std::chrono::system_clock;

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

std::string_view TrimWhitespace(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) {
        text.remove_prefix(1);
    }
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) {
        text.remove_suffix(1);
    }
    return text;
}

}  // namespace

std::optional<Clock::time_point> ParseRetryAfter(std::string_view value, Clock::time_point now) {
    value = TrimWhitespace(value);
    if (value.empty()) {
        return std::nullopt;
    }
    const auto longest = std::chrono::duration_cast<std::chrono::seconds>(kLongestRetryAfter);
    // Dates are compared in whole seconds, which reach far beyond the years
    // the clock's own ticks can hold.
    const sys_seconds nowSeconds = std::chrono::floor<std::chrono::seconds>(now);
    std::optional<sys_seconds> until;
    if (IsDigit(value.front())) {
        std::int64_t seconds = 0;
        for (char c : value) {
            if (!IsDigit(c)) {
                return std::nullopt;
            }
            seconds = std::min<std::int64_t>(seconds * 10 + (c - '0'), longest.count() + 1);
        }
        return now + std::min(std::chrono::seconds(seconds), longest);
    }
    const std::chrono::year_month_day today(std::chrono::floor<std::chrono::days>(now));
    if (const auto at = ParseHttpDate(value, static_cast<int>(today.year()))) {
        until = sys_seconds{std::chrono::seconds{*at}};
    } else {
        return std::nullopt;
    }
    if (*until <= nowSeconds) {
        return now;
    }
    if (*until - nowSeconds >= longest) {
        return now + longest;
    }
    return Clock::time_point(*until);
}

}  // namespace strivo
