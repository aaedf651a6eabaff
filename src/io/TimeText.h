#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// Every time the program shows or writes, in one place, and its readers: the
// dates and clock times of the table, the CLI and the run log, ISO times with
// an offset (as the run service sends them) and in UTC (as TCX keeps them),
// FIT file names, the totals' periods and the durations beside them; the
// times run files, the run service, HTTP and the runner give. The machine's
// zone is io/LocalTime.h's, so a time reads the same in every face and on
// both platforms. Any thread may call these.
namespace strivo {

using TimePoint = std::chrono::system_clock::time_point;

// "2010-04-18": the date `days` days after 1970-01-01.
std::string DayText(std::int64_t days);

// "07:05": the clock at `minuteOfDay` minutes after midnight.
std::string HourMinuteText(std::int64_t minuteOfDay);

// "+08:00", "-03:30": an offset from UTC.
std::string OffsetText(int offsetMinutes);

// "2010-04-18T10:00:00+08:00": the second of `utcMs` at `offsetMinutes` from
// UTC, as the run service writes a start.
std::string OffsetTimeText(std::int64_t utcMs, int offsetMinutes);

// "2010-04-18 10:00:00": the same second as the table shows it, the offset left out.
std::string WallTimeText(std::int64_t utcMs, int offsetMinutes);

// "2010-04-18T02:00:00Z", "2010-04-18T02:00:00.25Z": `utcMs` in UTC, the
// milliseconds given where there are any, as TCX keeps times.
std::string UtcTimeText(std::int64_t utcMs);

// "20100307T224838Z": the second of `utcMs` in UTC, written compact (ISO 8601's
// basic form), as the key of a run read from a file holds it.
std::string CompactUtcText(std::int64_t utcMs);

// "2010-03-07-064838": the wall time of `utcMs` at `offsetMinutes`, as a FIT
// file's name begins.
std::string FileNameTime(std::int64_t utcMs, int offsetMinutes);

// "2024-W05", "2024-03", "2024": a week of an ISO year, a month, a year.
std::string IsoWeekText(int isoYear, int week);
std::string MonthText(int year, unsigned month);
std::string YearText(int year);

// "2010-04-18 07:05" and "2010-04-18": `at` in this machine's time zone.
std::string LocalMinuteText(TimePoint at);
std::string LocalDayText(TimePoint at);
// The year `at` falls in on this machine's calendar.
int LocalYear(TimePoint at);

// "2010-04-18T07:05:11+08:00" -> "2010-04-18 07:05:11", a service time as
// the table shows it: the offset is dropped (no time-zone arithmetic) and
// every "T" becomes a space. A trailing "Z" or "-hh:mm" is dropped like
// "+hh:mm", so such times keep their date and time.
std::string TrimTimestamp(std::string_view timestamp);
// The same into `out`, whose room is kept from run to run (a list of a
// million runs trims two million times); the view is of `out`.
std::string_view TrimTimestampInto(std::string_view timestamp, std::string& out);

// "<h>小时<m>分<s>秒" in CP936, as the table shows a run's time; from text,
// the number as ReadMilliseconds reads it.
std::string FormatDuration(std::int64_t milliseconds);
std::string FormatDuration(std::string_view milliseconds);

// "3:23:30": hours (as many as there are), minutes and whole seconds.
std::string HmsText(std::int64_t durationMs);
// "4:50": minutes (as many as there are) and seconds.
std::string MinuteSecondText(std::int64_t seconds);

// The readers: each refuses a date the calendar does not have (no 02-30).

// An XML dateTime ("2024-03-10T06:59:58Z", "...58.250+08:00") as milliseconds
// since 1970 UTC: the instant counts, the offset only places it. A time
// without a zone is UTC, as GPX and TCX say. Blanks around it are allowed.
std::optional<std::int64_t> ParseXmlTime(std::string_view text);

// A wall-clock time "YYYY-MM-DD hh:mm:ss", or as a spreadsheet saves it again
// ("YYYY/M/D h:mm", seconds optional), counted as if it were UTC, in seconds.
std::optional<std::int64_t> ParseWallTime(std::string_view text);

// "2010-04-18T07:05:11+08:00" (or "...Z", "...-05:00", with or without
// fractions of a second), as the run service sends a time: the instant and
// the offset. A time without an offset names no instant: both empty.
struct TypedTime {
    std::optional<std::int64_t> utcMs;
    std::optional<int> offsetMinutes;
};
TypedTime ParseServiceTime(std::string_view text);

// "07:30" or "7:30" (HourMinuteText's), 0:00 to 23:59, as minutes after
// midnight; nullopt for anything else.
std::optional<int> ParseHourMinute(std::string_view text);

// An HTTP-date in any of its three forms (IMF-fixdate "Sun, 06 Nov 1994
// 08:49:37 GMT", the obsolete RFC 850 form, asctime), case-sensitive as HTTP
// defines them, as seconds since 1970 UTC. A two-digit year is taken within
// 50 years of `nowYear`.
std::optional<std::int64_t> ParseHttpDate(std::string_view text, int nowYear);

// A local date "2010-03-07" (DayText's) as days since 1970-01-01; nullopt
// for anything else.
std::optional<std::int64_t> ParseLocalDate(std::string_view text);

}  // namespace strivo
