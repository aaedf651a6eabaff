// TimeReading.cpp: the readers of io/TimeText.h, each the twin of a writer
// there or of a file format's time.
#include <chrono>
#include <string>

#include "io/TimeText.h"
#include "text/TextHelpers.h"

namespace strivo {
namespace {

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

bool Digits(std::string_view text, std::size_t at, std::size_t count, int* value) {
    if (at + count > text.size()) {
        return false;
    }
    int number = 0;
    for (std::size_t i = at; i < at + count; ++i) {
        if (text[i] < '0' || text[i] > '9') {
            return false;
        }
        number = number * 10 + (text[i] - '0');
    }
    *value = number;
    return true;
}

}  // namespace

std::optional<std::int64_t> ParseXmlTime(std::string_view text) {
    text = TrimBlanks(text);
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
    text = TrimBlanks(text);
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

TypedTime ParseServiceTime(std::string_view text) {
    int year, month, day, hour, minute, second;
    if (!Digits(text, 0, 4, &year) || text.size() < 19 || text[4] != '-' ||
        !Digits(text, 5, 2, &month) || text[7] != '-' || !Digits(text, 8, 2, &day) ||
        (text[10] != 'T' && text[10] != ' ') || !Digits(text, 11, 2, &hour) || text[13] != ':' ||
        !Digits(text, 14, 2, &minute) || text[16] != ':' || !Digits(text, 17, 2, &second) ||
        hour > 23 || minute > 59 || second > 60) {
        return {};
    }
    // A date the calendar does not have (02-29 of a common year, 04-31, month
    // 13) names no day: it is refused, not carried into the next.
    const std::chrono::year_month_day date{std::chrono::year{year},
                                           std::chrono::month{static_cast<unsigned>(month)},
                                           std::chrono::day{static_cast<unsigned>(day)}};
    if (!date.ok()) {
        return {};
    }
    std::size_t at = 19;
    int millis = 0;
    if (at < text.size() && text[at] == '.') {
        const std::size_t first = ++at;
        int scale = 100;
        for (; at < text.size() && text[at] >= '0' && text[at] <= '9'; ++at, scale /= 10) {
            millis += (text[at] - '0') * scale;
        }
        if (at == first) {
            return {};
        }
    }
    int offset = 0;
    if (at + 1 == text.size() && text[at] == 'Z') {
        offset = 0;
    } else if (int hh, mm; at + 6 == text.size() && (text[at] == '+' || text[at] == '-') &&
                           Digits(text, at + 1, 2, &hh) && text[at + 3] == ':' &&
                           Digits(text, at + 4, 2, &mm) && hh < 24 && mm < 60) {
        offset = (text[at] == '-' ? -1 : 1) * (hh * 60 + mm);
    } else {
        return {};
    }
    const std::chrono::sys_seconds utc = std::chrono::sys_days{date} + std::chrono::hours{hour} +
                                         std::chrono::minutes{minute - offset} +
                                         std::chrono::seconds{second};
    // A leap second is inserted at 23:59:60 UTC and read, as Unix time reads
    // it, as the next day's first second; second 60 anywhere else names no time.
    if (second == 60 && utc != std::chrono::floor<std::chrono::days>(utc)) {
        return {};
    }
    return {utc.time_since_epoch().count() * 1000 + millis, offset};
}

std::optional<std::int64_t> ParseLocalDate(std::string_view text) {
    int parts[3] = {};
    std::size_t at = 0;
    for (int i = 0; i < 3; ++i) {
        const std::size_t digits = i == 0 ? 4 : 2;
        if (text.size() < at + digits) {
            return std::nullopt;
        }
        for (std::size_t j = 0; j < digits; ++j) {
            const char c = text[at + j];
            if (c < '0' || c > '9') {
                return std::nullopt;
            }
            parts[i] = parts[i] * 10 + (c - '0');
        }
        at += digits;
        if (i < 2 && (at >= text.size() || text[at++] != '-')) {
            return std::nullopt;
        }
    }
    // No 2010-02-30: the calendar has the date.
    const std::chrono::year_month_day date{std::chrono::year{parts[0]},
                                           std::chrono::month{static_cast<unsigned>(parts[1])},
                                           std::chrono::day{static_cast<unsigned>(parts[2])}};
    if (at != text.size() || !date.ok()) {
        return std::nullopt;
    }
    return std::chrono::sys_days{date}.time_since_epoch().count();
}

std::optional<int> ParseHourMinute(std::string_view text) {
    // "7:30" is "07:30".
    const std::string padded = text.size() == 4 ? "0" + std::string(text) : std::string(text);
    int hour = 0;
    int minute = 0;
    if (padded.size() != 5 || padded[2] != ':' || !Digits(padded, 0, 2, &hour) ||
        !Digits(padded, 3, 2, &minute) || hour >= 24 || minute >= 60) {
        return std::nullopt;
    }
    return hour * 60 + minute;
}

}  // namespace strivo
