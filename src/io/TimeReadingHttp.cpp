// TimeReadingHttp.cpp: ParseHttpDate of io/TimeText.h, the three forms of
// an HTTP-date (RFC 9110, section 5.6.7).
#include <array>
#include <chrono>

#include "io/TimeText.h"

namespace strivo {
namespace {

using std::chrono::sys_seconds;

constexpr std::array<std::string_view, 7> kDayNames = {"Mon", "Tue", "Wed", "Thu",
                                                       "Fri", "Sat", "Sun"};
constexpr std::array<std::string_view, 7> kLongDayNames = {
    "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday", "Sunday"};
constexpr std::array<std::string_view, 12> kMonthNames = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                          "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

bool IsHttpDigit(char c) {
    return c >= '0' && c <= '9';
}

// Reads an HTTP-date from left to right; every step fails once one has.
class DateReader {
public:
    explicit DateReader(std::string_view text) : m_rest(text) {}

    bool Literal(std::string_view expected) {
        m_ok = m_ok && m_rest.starts_with(expected);
        if (m_ok) {
            m_rest.remove_prefix(expected.size());
        }
        return m_ok;
    }
    // Exactly `count` digits.
    int Digits(std::size_t count) {
        int value = 0;
        for (std::size_t i = 0; m_ok && i < count; ++i) {
            m_ok = i < m_rest.size() && IsHttpDigit(m_rest[i]);
            value = value * 10 + (m_ok ? m_rest[i] - '0' : 0);
        }
        if (m_ok) {
            m_rest.remove_prefix(count);
        }
        return value;
    }
    // The index of the name the text starts with.
    template <std::size_t N>
    unsigned Name(const std::array<std::string_view, N>& names) {
        for (unsigned i = 0; m_ok && i < N; ++i) {
            if (m_rest.starts_with(names[i])) {
                m_rest.remove_prefix(names[i].size());
                return i;
            }
        }
        m_ok = false;
        return 0;
    }
    bool Peek(char c) const { return m_ok && m_rest.starts_with(c); }
    bool Done() const { return m_ok && m_rest.empty(); }

private:
    std::string_view m_rest;
    bool m_ok = true;
};

struct TimeOfDay {
    int hour = 0, minute = 0, second = 0;
};

TimeOfDay ReadTime(DateReader& reader) {
    TimeOfDay time;
    time.hour = reader.Digits(2);
    reader.Literal(":");
    time.minute = reader.Digits(2);
    reader.Literal(":");
    time.second = reader.Digits(2);
    return time;
}

// The instant, when the parts make one; 60 seconds stands for a leap second.
std::optional<sys_seconds> Instant(int year, unsigned month, int day, TimeOfDay time) {
    const std::chrono::year_month_day date{std::chrono::year(year), std::chrono::month(month + 1),
                                           std::chrono::day(static_cast<unsigned>(day))};
    if (!date.ok() || time.hour > 23 || time.minute > 59 || time.second > 60) {
        return std::nullopt;
    }
    return std::chrono::sys_days(date) + std::chrono::hours(time.hour) +
           std::chrono::minutes(time.minute) + std::chrono::seconds(time.second);
}

// "Sun, 06 Nov 1994 08:49:37 GMT"
std::optional<sys_seconds> ImfFixdate(std::string_view text) {
    DateReader reader(text);
    reader.Name(kDayNames);
    reader.Literal(", ");
    const int day = reader.Digits(2);
    reader.Literal(" ");
    const unsigned month = reader.Name(kMonthNames);
    reader.Literal(" ");
    const int year = reader.Digits(4);
    reader.Literal(" ");
    const TimeOfDay time = ReadTime(reader);
    reader.Literal(" GMT");
    return reader.Done() ? Instant(year, month, day, time) : std::nullopt;
}

// "Sunday, 06-Nov-94 08:49:37 GMT". A two-digit year is taken within 50
// years of `nowYear`: never more than 50 years ahead, as HTTP requires.
std::optional<sys_seconds> Rfc850Date(std::string_view text, int nowYear) {
    DateReader reader(text);
    reader.Name(kLongDayNames);
    reader.Literal(", ");
    const int day = reader.Digits(2);
    reader.Literal("-");
    const unsigned month = reader.Name(kMonthNames);
    reader.Literal("-");
    int year = nowYear - nowYear % 100 + reader.Digits(2);
    reader.Literal(" ");
    const TimeOfDay time = ReadTime(reader);
    reader.Literal(" GMT");
    if (year > nowYear + 50) {
        year -= 100;
    } else if (year <= nowYear - 50) {
        year += 100;
    }
    return reader.Done() ? Instant(year, month, day, time) : std::nullopt;
}

// "Sun Nov  6 08:49:37 1994": the day is two digits or a space and one.
std::optional<sys_seconds> AsctimeDate(std::string_view text) {
    DateReader reader(text);
    reader.Name(kDayNames);
    reader.Literal(" ");
    const unsigned month = reader.Name(kMonthNames);
    reader.Literal(" ");
    const bool oneDigit = reader.Peek(' ');
    if (oneDigit) {
        reader.Literal(" ");
    }
    const int day = reader.Digits(oneDigit ? 1 : 2);
    reader.Literal(" ");
    const TimeOfDay time = ReadTime(reader);
    reader.Literal(" ");
    const int year = reader.Digits(4);
    return reader.Done() ? Instant(year, month, day, time) : std::nullopt;
}

}  // namespace

std::optional<std::int64_t> ParseHttpDate(std::string_view text, int nowYear) {
    std::optional<sys_seconds> at;
    if (text.size() > 3 && text[3] == ',') {
        at = ImfFixdate(text);
    } else if (text.size() > 3 && text[3] == ' ') {
        at = AsctimeDate(text);
    } else {
        at = Rfc850Date(text, nowYear);
    }
    if (!at) {
        return std::nullopt;
    }
    return at->time_since_epoch().count();
}

}  // namespace strivo
