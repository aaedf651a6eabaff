#include "schedule/SyncSchedule.h"

#include <algorithm>
#include <ctime>
#include <limits>

namespace strivo {
namespace {

using Clock = std::chrono::system_clock;

std::optional<std::tm> Local(std::time_t when) {
    std::tm local{};
    if (::localtime_r(&when, &local) == nullptr) {
        return std::nullopt;
    }
    return local;
}

// A local date and time to the minute, as a number that orders them.
long long Key(int year, int month, int day, int hour, int minute) {
    return (((year * 12LL + month) * 32 + day) * 24 + hour) * 60 + minute;
}
long long Key(const std::tm& local) {
    return Key(local.tm_year, local.tm_mon, local.tm_mday, local.tm_hour, local.tm_min);
}

// The first instant the clock shows hour:minute on `day`'s date; when the
// clock skips that time (put forward), the instant it jumps past it.
std::optional<std::time_t> LocalInstant(const std::tm& day, int hour, int minute) {
    const long long wanted = Key(day.tm_year, day.tm_mon, day.tm_mday, hour, minute);
    std::optional<std::time_t> first;
    std::time_t low = std::numeric_limits<std::time_t>::max();
    std::time_t high = std::numeric_limits<std::time_t>::min();
    // Read once as standard time and once as summer time: on the day the clock
    // goes back both readings exist, on the day it goes forward neither does.
    for (const int summer : {0, 1}) {
        std::tm reading{};
        reading.tm_year = day.tm_year;
        reading.tm_mon = day.tm_mon;
        reading.tm_mday = day.tm_mday;
        reading.tm_hour = hour;
        reading.tm_min = minute;
        reading.tm_isdst = summer;
        const std::time_t at = std::mktime(&reading);
        if (at == static_cast<std::time_t>(-1)) {
            continue;
        }
        low = std::min(low, at);
        high = std::max(high, at);
        const auto shown = Local(at);
        if (shown && Key(*shown) == wanted && shown->tm_sec == 0) {
            first = first ? std::min(*first, at) : at;
        }
    }
    if (first || low > high) {
        return first;
    }
    // Skipped: the two readings fall either side of the jump.
    const auto highShown = Local(high);
    if (!highShown || Key(*highShown) < wanted) {
        return std::nullopt;
    }
    while (low < high) {
        const std::time_t middle = low + (high - low) / 2;
        const auto shown = Local(middle);
        if (!shown) {
            return std::nullopt;
        }
        if (Key(*shown) >= wanted) {
            high = middle;
        } else {
            low = middle + 1;
        }
    }
    return high;
}

std::optional<Clock::time_point> NextDaily(int hour, int minute, Clock::time_point now) {
    const auto today = Local(Clock::to_time_t(std::chrono::floor<std::chrono::seconds>(now)));
    if (!today) {
        return std::nullopt;
    }
    for (int ahead = 0; ahead < 3; ++ahead) {
        std::tm day{};
        day.tm_year = today->tm_year;
        day.tm_mon = today->tm_mon;
        day.tm_mday = today->tm_mday + ahead;
        day.tm_hour = 12;  // no clock change happens at noon
        day.tm_isdst = -1;
        if (std::mktime(&day) == static_cast<std::time_t>(-1)) {
            return std::nullopt;
        }
        const auto at = LocalInstant(day, hour, minute);
        if (at && Clock::from_time_t(*at) > now) {
            return Clock::from_time_t(*at);
        }
    }
    return std::nullopt;
}

// Minute by minute: every zone's offset is whole minutes, and this needs no
// rule about which zones put their clocks back by how much.
std::optional<Clock::time_point> NextHourly(Clock::time_point now) {
    std::time_t at = Clock::to_time_t(std::chrono::floor<std::chrono::minutes>(now)) + 60;
    auto previous = Local(at - 60);
    for (int step = 0; previous && step < 2 * 24 * 60; ++step, at += 60) {
        const auto shown = Local(at);
        if (!shown) {
            return std::nullopt;
        }
        // A new hour, also when the clock jumped over its first minute.
        if (shown->tm_min == 0 || shown->tm_hour != previous->tm_hour) {
            return Clock::from_time_t(at);
        }
        previous = shown;
    }
    return std::nullopt;
}

bool TwoDigits(std::string_view text, int limit, int& value) {
    if (text.size() != 2 || text[0] < '0' || text[0] > '9' || text[1] < '0' || text[1] > '9') {
        return false;
    }
    value = (text[0] - '0') * 10 + (text[1] - '0');
    return value < limit;
}

}  // namespace

Result<SyncSchedule> ParseDailyTime(std::string_view text) {
    SyncSchedule schedule{SyncSchedule::Every::Daily, 0, 0};
    // "7:30" is "07:30".
    const std::string padded = text.size() == 4 ? "0" + std::string(text) : std::string(text);
    if (padded.size() != 5 || padded[2] != ':' ||
        !TwoDigits(std::string_view(padded).substr(0, 2), 24, schedule.hour) ||
        !TwoDigits(std::string_view(padded).substr(3, 2), 60, schedule.minute)) {
        return Problem(ProblemCode::ScheduleBadTime, {std::string(text)});
    }
    return schedule;
}

std::string ClockText(const SyncSchedule& schedule) {
    if (schedule.every != SyncSchedule::Every::Daily) {
        return {};
    }
    return {static_cast<char>('0' + schedule.hour / 10),
            static_cast<char>('0' + schedule.hour % 10), ':',
            static_cast<char>('0' + schedule.minute / 10),
            static_cast<char>('0' + schedule.minute % 10)};
}

std::optional<Clock::time_point> NextRun(const SyncSchedule& schedule, Clock::time_point now) {
    if (schedule.every == SyncSchedule::Every::Hourly) {
        return NextHourly(now);
    }
    return NextDaily(schedule.hour, schedule.minute, now);
}

}  // namespace strivo
