#include "schedule/SyncSchedule.h"

#include <ctime>

#include "io/LocalTime.h"
#include "io/TimeText.h"

namespace strivo {
namespace {

using Clock = std::chrono::system_clock;

std::int64_t SecondsOf(Clock::time_point at) {
    return std::chrono::floor<std::chrono::seconds>(at).time_since_epoch().count();
}

// The machine's wall clock at `utcSeconds`, counted as if it were UTC.
std::int64_t WallOf(std::int64_t utcSeconds) {
    return utcSeconds + std::int64_t{LocalOffsetMinutes(utcSeconds)} * 60;
}

std::int64_t FloorDivide(std::int64_t a, std::int64_t b) {
    return a / b - ((a % b != 0) && ((a < 0) != (b < 0)) ? 1 : 0);
}

// The first instant the clock shows `wall` (whole minutes); when the clock
// skips it (put forward), the instant it jumps past it.
std::int64_t FirstShowing(std::int64_t wall) {
    const LocalInstant instant = FromLocalTime(wall);
    if (LocalOffsetMinutes(instant.utcSeconds) == instant.offsetMinutes) {
        return instant.utcSeconds;
    }
    // Skipped: the clock shows less than `wall` up to the jump and more after.
    std::int64_t low = instant.utcSeconds - 24 * 3600;
    std::int64_t high = instant.utcSeconds;
    while (low < high) {
        const std::int64_t middle = low + (high - low) / 2;
        if (WallOf(middle) >= wall) {
            high = middle;
        } else {
            low = middle + 1;
        }
    }
    return high;
}

std::optional<Clock::time_point> NextDaily(int hour, int minute, Clock::time_point now) {
    const std::int64_t today = FloorDivide(WallOf(SecondsOf(now)), 86400);
    for (int ahead = 0; ahead < 3; ++ahead) {
        const std::int64_t at = FirstShowing((today + ahead) * 86400 + hour * 3600 + minute * 60);
        if (Clock::from_time_t(static_cast<std::time_t>(at)) > now) {
            return Clock::from_time_t(static_cast<std::time_t>(at));
        }
    }
    return std::nullopt;
}

// Minute by minute: every zone's offset is whole minutes, and this needs no
// rule about which zones put their clocks back by how much.
std::optional<Clock::time_point> NextHourly(Clock::time_point now) {
    std::int64_t at = SecondsOf(std::chrono::floor<std::chrono::minutes>(now)) + 60;
    std::int64_t previous = FloorDivide(WallOf(at - 60), 3600);
    for (int step = 0; step < 2 * 24 * 60; ++step, at += 60) {
        const std::int64_t shown = WallOf(at);
        // A new hour, also when the clock jumped over its first minute.
        if (FloorDivide(shown, 60) % 60 == 0 || FloorDivide(shown, 3600) != previous) {
            return Clock::from_time_t(static_cast<std::time_t>(at));
        }
        previous = FloorDivide(shown, 3600);
    }
    return std::nullopt;
}

}  // namespace

Result<SyncSchedule> ParseDailyTime(std::string_view text) {
    const std::optional<int> minuteOfDay = ParseHourMinute(text);
    if (!minuteOfDay) {
        return Problem(ProblemCode::ScheduleBadTime, {std::string(text)});
    }
    return SyncSchedule{SyncSchedule::Every::Daily, *minuteOfDay / 60, *minuteOfDay % 60};
}

std::string ClockText(const SyncSchedule& schedule) {
    if (schedule.every != SyncSchedule::Every::Daily) {
        return {};
    }
    return HourMinuteText(schedule.hour * 60 + schedule.minute);
}

std::optional<Clock::time_point> NextRun(const SyncSchedule& schedule, Clock::time_point now) {
    if (schedule.every == SyncSchedule::Every::Hourly) {
        return NextHourly(now);
    }
    return NextDaily(schedule.hour, schedule.minute, now);
}

}  // namespace strivo
