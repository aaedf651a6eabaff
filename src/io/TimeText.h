#pragma once

#include <chrono>
#include <cstdint>
#include <string>

// Every time the program shows or writes, in one place: the dates and clock
// times of the table, the CLI and the run log, ISO times with an offset (as
// the run service sends them) and in UTC (as TCX keeps them), FIT file names,
// the totals' periods and the durations beside them. The machine's zone is
// io/LocalTime.h's, so a time reads the same in every face and on both
// platforms. Any thread may call these.
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

// "2010-04-18T02:00:00Z", "2010-04-18T02:00:00.25Z": `utcMs` in UTC, the
// milliseconds given where there are any, as TCX keeps times.
std::string UtcTimeText(std::int64_t utcMs);

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

// "3:23:30": hours (as many as there are), minutes and whole seconds.
std::string HmsText(std::int64_t durationMs);
// "4:50": minutes (as many as there are) and seconds.
std::string MinuteSecondText(std::int64_t seconds);

}  // namespace strivo
