#pragma once

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "model/Result.h"

namespace strivo {

// When unattended syncs run, in the machine's local time, the same on every
// platform: daily at a time of day, or at every full hour.
struct SyncSchedule {
    enum class Every { Daily, Hourly };
    Every every = Every::Daily;
    int hour = 6;  // daily only; hourly runs at minute 0
    int minute = 30;

    friend bool operator==(const SyncSchedule&, const SyncSchedule&) = default;
};

// `schedule daily` without a time: 06:30, so the runs of the day before are
// on the run log by breakfast.
inline constexpr SyncSchedule kDefaultDaily{SyncSchedule::Every::Daily, 6, 30};
inline constexpr SyncSchedule kHourly{SyncSchedule::Every::Hourly, 0, 0};

// What a scheduled run starts: strivo-cli by its absolute path, syncing the
// settings file at `config` (absolute too: a scheduler's working folder is
// not the user's).
struct SyncCommand {
    std::filesystem::path program;
    std::filesystem::path config;
};

// "HH:MM" or "H:MM", 0:00 to 23:59, as a daily schedule; anything else is
// ScheduleBadTime.
Result<SyncSchedule> ParseDailyTime(std::string_view text);

// "06:30" for a daily schedule; "" for hourly.
std::string ClockText(const SyncSchedule& schedule);

// The first run after `now` in local time. Hourly: the next full hour on the
// clock. Daily: the next time the clock shows HH:MM; on a day the clock is put
// back and shows it twice, the first of the two (one run a day); on a day it
// skips HH:MM, the instant it jumps past. nullopt only when the system cannot
// tell local time.
std::optional<std::chrono::system_clock::time_point> NextRun(
    const SyncSchedule& schedule, std::chrono::system_clock::time_point now);

}  // namespace strivo
