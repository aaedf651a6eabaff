#include "io/TimeText.h"

#include <charconv>
#include <cstdio>
#include <cstdlib>

#include "io/LocalTime.h"
#include "text/TextHelpers.h"

namespace strivo {
namespace {

constexpr std::int64_t kDay = 86400;

std::int64_t FloorDivide(std::int64_t a, std::int64_t b) {
    return a / b - ((a % b != 0) && ((a < 0) != (b < 0)) ? 1 : 0);
}

// A wall time counted in seconds as if it were UTC, split into its date and
// the seconds into that day.
struct Wall {
    std::chrono::year_month_day date;
    std::int64_t second = 0;
};

Wall WallOf(std::int64_t seconds) {
    const std::int64_t days = FloorDivide(seconds, kDay);
    return {std::chrono::year_month_day{std::chrono::sys_days{std::chrono::days{days}}},
            seconds - days * kDay};
}

int Year(const Wall& wall) {
    return static_cast<int>(wall.date.year());
}
unsigned Month(const Wall& wall) {
    return static_cast<unsigned>(wall.date.month());
}
unsigned Day(const Wall& wall) {
    return static_cast<unsigned>(wall.date.day());
}
int Hour(const Wall& wall) {
    return static_cast<int>(wall.second / 3600);
}
int Minute(const Wall& wall) {
    return static_cast<int>(wall.second / 60 % 60);
}
int Second(const Wall& wall) {
    return static_cast<int>(wall.second % 60);
}

// `at` in this machine's zone, as wall seconds.
Wall LocalWall(TimePoint at) {
    const std::int64_t seconds =
        std::chrono::floor<std::chrono::seconds>(at).time_since_epoch().count();
    return WallOf(seconds + std::int64_t{LocalOffsetMinutes(seconds)} * 60);
}

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// True when `text` ends in "-hh:mm".
bool EndsWithNegativeOffset(std::string_view text) {
    if (text.size() < 6) {
        return false;
    }
    const std::string_view tail = text.substr(text.size() - 6);
    return tail[0] == '-' && IsDigit(tail[1]) && IsDigit(tail[2]) && tail[3] == ':' &&
           IsDigit(tail[4]) && IsDigit(tail[5]);
}

}  // namespace

std::string DayText(std::int64_t days) {
    const Wall wall = WallOf(days * kDay);
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02u-%02u", Year(wall), Month(wall), Day(wall));
    return text;
}

std::string HourMinuteText(std::int64_t minuteOfDay) {
    char text[16];
    std::snprintf(text, sizeof text, "%02d:%02d", static_cast<int>(minuteOfDay / 60),
                  static_cast<int>(minuteOfDay % 60));
    return text;
}

std::string OffsetText(int offsetMinutes) {
    const int offset = std::abs(offsetMinutes);
    char text[16];
    std::snprintf(text, sizeof text, "%c%02d:%02d", offsetMinutes < 0 ? '-' : '+', offset / 60,
                  offset % 60);
    return text;
}

namespace {

// The second `utcMs` falls in, `offsetMinutes` from UTC, in `format` (year,
// month, day, hour, minute, second).
std::string SecondText(const char* format, std::int64_t utcMs, int offsetMinutes = 0) {
    const Wall wall = WallOf(FloorDivide(utcMs, 1000) + std::int64_t{offsetMinutes} * 60);
    char text[48];
    std::snprintf(text, sizeof text, format, Year(wall), Month(wall), Day(wall), Hour(wall),
                  Minute(wall), Second(wall));
    return text;
}

}  // namespace

std::string OffsetTimeText(std::int64_t utcMs, int offsetMinutes) {
    return SecondText("%04d-%02u-%02uT%02d:%02d:%02d", utcMs, offsetMinutes) +
           OffsetText(offsetMinutes);
}

std::string WallTimeText(std::int64_t utcMs, int offsetMinutes) {
    return SecondText("%04d-%02u-%02u %02d:%02d:%02d", utcMs, offsetMinutes);
}

std::string CompactUtcText(std::int64_t utcMs) {
    return SecondText("%04d%02u%02uT%02d%02d%02dZ", utcMs);
}

std::string UtcTimeText(std::int64_t utcMs) {
    std::string out = SecondText("%04d-%02u-%02uT%02d:%02d:%02d", utcMs);
    if (const std::int64_t ms = utcMs - FloorDivide(utcMs, 1000) * 1000; ms != 0) {
        char text[8];
        std::snprintf(text, sizeof text, ".%03d", static_cast<int>(ms));
        out += text;
        out.erase(out.find_last_not_of('0') + 1);
    }
    return out + "Z";
}

std::string FileNameTime(std::int64_t utcMs, int offsetMinutes) {
    return SecondText("%04d-%02u-%02u-%02d%02d%02d", utcMs, offsetMinutes);
}

std::string IsoWeekText(int isoYear, int week) {
    char text[24];
    std::snprintf(text, sizeof text, "%04d-W%02d", isoYear, week);
    return text;
}

std::string MonthText(int year, unsigned month) {
    char text[24];
    std::snprintf(text, sizeof text, "%04d-%02u", year, month);
    return text;
}

std::string YearText(int year) {
    char text[16];
    std::snprintf(text, sizeof text, "%04d", year);
    return text;
}

std::string LocalMinuteText(TimePoint at) {
    const Wall wall = LocalWall(at);
    char text[40];
    std::snprintf(text, sizeof text, "%04d-%02u-%02u %02d:%02d", Year(wall), Month(wall), Day(wall),
                  Hour(wall), Minute(wall));
    return text;
}

std::string LocalDayText(TimePoint at) {
    const Wall wall = LocalWall(at);
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02u-%02u", Year(wall), Month(wall), Day(wall));
    return text;
}

int LocalYear(TimePoint at) {
    return Year(LocalWall(at));
}

std::string HmsText(std::int64_t durationMs) {
    const std::int64_t seconds = durationMs / 1000;
    char text[32];
    std::snprintf(text, sizeof text, "%lld:%02d:%02d", static_cast<long long>(seconds / 3600),
                  static_cast<int>(seconds / 60 % 60), static_cast<int>(seconds % 60));
    return text;
}

std::string MinuteSecondText(std::int64_t seconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%lld:%02d", static_cast<long long>(seconds / 60),
                  static_cast<int>(seconds % 60));
    return text;
}

std::string_view TrimTimestampInto(std::string_view timestamp, std::string& out) {
    out.resize(timestamp.size());
    char* const trimmed = out.data();
    std::size_t kept = 0;
    bool hasT = false;
    for (; kept < timestamp.size() && timestamp[kept] != '+'; ++kept) {
        const char c = timestamp[kept];
        hasT |= c == 'T';
        trimmed[kept] = c == 'T' ? ' ' : c;
    }
    if (kept == timestamp.size()) {  // no "+hh:mm"
        if (kept > 0 && timestamp.back() == 'Z') {
            kept -= 1;
        } else if (hasT && EndsWithNegativeOffset(timestamp)) {
            kept -= 6;
        }
    }
    return {trimmed, kept};
}

std::string TrimTimestamp(std::string_view timestamp) {
    std::string trimmed;
    trimmed.resize(TrimTimestampInto(timestamp, trimmed).size());
    return trimmed;
}

std::string FormatDuration(std::int64_t milliseconds) {
    // Made in place: a run list of 100,000 runs formats as many durations.
    const Duration duration = SplitMilliseconds(milliseconds);
    char text[3 * 20 + kHours.size() + kMinutes.size() +
              kSeconds.size()];  // 20: -9223372036854775808
    char* at = text;
    for (const auto& [number, unit] : {std::pair{duration.hours, kHours},
                                       {duration.minutes, kMinutes},
                                       {duration.seconds, kSeconds}}) {
        at = std::to_chars(at, text + sizeof text, number).ptr;
        at = std::copy(unit.begin(), unit.end(), at);
    }
    return std::string(text, at);
}

std::string FormatDuration(std::string_view milliseconds) {
    return FormatDuration(ReadMilliseconds(milliseconds));
}

}  // namespace strivo
