#pragma once

#include <cstdint>

// The machine's time zone, for the files that give a wall-clock time or an
// instant without saying where. LocalTimePosix.cpp reads the tz database
// (TZ, /etc/localtime); LocalTimeWin.cpp asks Windows' time-zone rules, the
// year's own where the system keeps them. Any thread may call these.
namespace strivo {

// Minutes east of UTC that the machine's zone keeps at `utcSeconds` (seconds
// since 1970-01-01 UTC). 0 where the system cannot place the instant
// (before 1601 on Windows).
int LocalOffsetMinutes(std::int64_t utcSeconds);

// An instant and the offset that turns it into the wall-clock time asked for.
struct LocalInstant {
    std::int64_t utcSeconds = 0;
    int offsetMinutes = 0;
};

// The instant a wall-clock time of the machine's zone names; `localSeconds`
// counts that wall time as if it were UTC. A time shown twice (the hour after
// the clocks go back) is its first showing, under the summer offset. A time
// never shown (the hour the clocks skip) takes the offset in force before the
// skip: 02:30 in New York on the morning clocks go forward is 07:30 UTC, that
// is 03:30 summer time. Either way utcSeconds + offsetMinutes * 60 ==
// localSeconds, so the wall time reads back as it was written.
LocalInstant FromLocalTime(std::int64_t localSeconds);

}  // namespace strivo
