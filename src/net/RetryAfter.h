#pragma once

#include <chrono>
#include <optional>
#include <string_view>

namespace strivo {

// The longest wait a Retry-After may ask for. A server that asks for more is
// more likely wrong (a date in the wrong year, a value meant as milliseconds)
// than meaning it, and a scheduled sync that a bad header silenced for months
// would leave the runner wondering why nothing arrives: after a week we ask again.
inline constexpr std::chrono::hours kLongestRetryAfter{24 * 7};

// The instant a Retry-After value (RFC 9110, section 10.2.3) asks us to wait
// for, given `now`: delta-seconds, or an HTTP-date in any of its three forms
// (IMF-fixdate, the obsolete RFC 850 form, asctime), case-sensitive as HTTP
// defines them. A date in the past gives `now`; a wait beyond
// kLongestRetryAfter gives now + kLongestRetryAfter. Anything else: nullopt.
std::optional<std::chrono::system_clock::time_point> ParseRetryAfter(
    std::string_view value, std::chrono::system_clock::time_point now);

}  // namespace strivo
