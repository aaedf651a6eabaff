#include "files/RunFileValues.h"

#include <charconv>
#include <chrono>
#include <cmath>
#include <numbers>

namespace strivo {
namespace {

std::string_view Trimmed(std::string_view text) {
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    while (!text.empty() && blank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && blank(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

// Reads between `least` and `most` digits from the front of `text`.
std::optional<int> TakeDigits(std::string_view& text, std::size_t least, std::size_t most) {
    std::size_t count = 0;
    int value = 0;
    while (count < most && count < text.size() && text[count] >= '0' && text[count] <= '9') {
        value = value * 10 + (text[count] - '0');
        ++count;
    }
    if (count < least) {
        return std::nullopt;
    }
    text.remove_prefix(count);
    return value;
}

bool Take(std::string_view& text, char c) {
    if (text.empty() || text.front() != c) {
        return false;
    }
    text.remove_prefix(1);
    return true;
}

// Seconds since 1970 of a civil date and time, the fields checked.
std::optional<std::int64_t> SecondsOf(int year, int month, int day, int hour, int minute,
                                      int second) {
    using namespace std::chrono;
    const year_month_day date{std::chrono::year{year}, std::chrono::month{unsigned(month)},
                              std::chrono::day{unsigned(day)}};
    // 60 for a leap second, as dateTime allows; it counts as the next second.
    if (!date.ok() || hour > 23 || minute > 59 || second > 60) {
        return std::nullopt;
    }
    const std::int64_t days = sys_days{date}.time_since_epoch().count();
    return days * 86400 + hour * 3600 + minute * 60 + second;
}

}  // namespace

std::optional<std::int64_t> ParseXmlTime(std::string_view text) {
    text = Trimmed(text);
    const auto year = TakeDigits(text, 4, 4);
    const bool dash1 = Take(text, '-');
    const auto month = TakeDigits(text, 2, 2);
    const bool dash2 = Take(text, '-');
    const auto day = TakeDigits(text, 2, 2);
    const bool t = Take(text, 'T');
    const auto hour = TakeDigits(text, 2, 2);
    const bool colon1 = Take(text, ':');
    const auto minute = TakeDigits(text, 2, 2);
    const bool colon2 = Take(text, ':');
    const auto second = TakeDigits(text, 2, 2);
    if (!year || !dash1 || !month || !dash2 || !day || !t || !hour || !colon1 || !minute ||
        !colon2 || !second) {
        return std::nullopt;
    }
    auto seconds = SecondsOf(*year, *month, *day, *hour, *minute, *second);
    if (!seconds) {
        return std::nullopt;
    }
    std::int64_t milliseconds = 0;
    if (Take(text, '.')) {
        // Beyond milliseconds the digits are read and dropped.
        std::size_t digits = 0;
        while (!text.empty() && text.front() >= '0' && text.front() <= '9') {
            if (digits < 3) {
                milliseconds = milliseconds * 10 + (text.front() - '0');
            }
            ++digits;
            text.remove_prefix(1);
        }
        if (digits == 0) {
            return std::nullopt;
        }
        for (; digits < 3; ++digits) {
            milliseconds *= 10;
        }
    }
    int offsetMinutes = 0;
    if (Take(text, 'Z')) {
    } else if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
        const int sign = text.front() == '-' ? -1 : 1;
        text.remove_prefix(1);
        const auto hours = TakeDigits(text, 2, 2);
        Take(text, ':');  // "+08:00" and "+0800" both occur
        const auto minutes = TakeDigits(text, 2, 2);
        if (!hours || !minutes || *hours > 14 || *minutes > 59) {
            return std::nullopt;
        }
        offsetMinutes = sign * (*hours * 60 + *minutes);
    }
    if (!text.empty()) {
        return std::nullopt;
    }
    return (*seconds - offsetMinutes * 60) * 1000 + milliseconds;
}

std::optional<std::int64_t> ParseWallTime(std::string_view text) {
    text = Trimmed(text);
    const auto year = TakeDigits(text, 4, 4);
    const char separator = text.empty() ? '\0' : text.front();
    if (!year || (separator != '-' && separator != '/')) {
        return std::nullopt;
    }
    text.remove_prefix(1);
    const auto month = TakeDigits(text, 1, 2);
    const bool dash = Take(text, separator);
    const auto day = TakeDigits(text, 1, 2);
    const bool space = Take(text, ' ');
    const auto hour = TakeDigits(text, 1, 2);
    const bool colon = Take(text, ':');
    const auto minute = TakeDigits(text, 2, 2);
    std::optional<int> second = 0;
    if (Take(text, ':')) {
        second = TakeDigits(text, 2, 2);
    }
    if (!month || !dash || !day || !space || !hour || !colon || !minute || !second ||
        !text.empty()) {
        return std::nullopt;
    }
    return SecondsOf(*year, *month, *day, *hour, *minute, *second);
}

std::optional<double> ParseNumber(std::string_view text) {
    text = Trimmed(text);
    if (!text.empty() && text.front() == '+') {
        text.remove_prefix(1);
    }
    double value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size() ||
        !std::isfinite(value)) {
        return std::nullopt;
    }
    return value;
}

double GreatCircleMetres(double latitude1, double longitude1, double latitude2, double longitude2) {
    constexpr double kEarthRadius = 6'371'008.8;
    constexpr double kRadians = std::numbers::pi / 180;
    const double sinHalfLatitude = std::sin((latitude2 - latitude1) * kRadians / 2);
    const double sinHalfLongitude = std::sin((longitude2 - longitude1) * kRadians / 2);
    const double a = sinHalfLatitude * sinHalfLatitude + std::cos(latitude1 * kRadians) *
                                                             std::cos(latitude2 * kRadians) *
                                                             sinHalfLongitude * sinHalfLongitude;
    return 2 * kEarthRadius * std::asin(std::sqrt(std::fmin(1.0, a)));
}

std::string QuotedText(std::string_view text, std::size_t limit) {
    if (text.size() <= limit) {
        return std::string(text);
    }
    std::size_t end = limit;
    // Back to the start of the character the limit falls in.
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) {
        --end;
    }
    return std::string(text.substr(0, end));
}

}  // namespace strivo
