// LocalTimeWin.cpp: the Windows implementation of LocalOffsetMinutes
// (io/LocalTime.h), from the system's time-zone rules: those of the instant's
// own year, where Windows keeps rules that changed over the years.
#include <windows.h>

#include "io/LocalTime.h"

namespace strivo {
namespace {

constexpr std::int64_t kTicksPerSecond = 10'000'000;
constexpr std::int64_t kSecondsFrom1601To1970 = 11'644'473'600;
// The last whole second a FILETIME holds (in the year 30828).
constexpr std::int64_t kLastSecond = 922'337'203'685;

FILETIME FileTimeOf(std::int64_t ticks) {
    FILETIME time{};
    time.dwLowDateTime = static_cast<DWORD>(static_cast<std::uint64_t>(ticks) & 0xFFFFFFFFu);
    time.dwHighDateTime = static_cast<DWORD>(static_cast<std::uint64_t>(ticks) >> 32);
    return time;
}

std::int64_t TicksOf(const FILETIME& time) {
    return static_cast<std::int64_t>((std::uint64_t{time.dwHighDateTime} << 32) |
                                     time.dwLowDateTime);
}

}  // namespace

int LocalOffsetMinutes(std::int64_t utcSeconds) {
    const std::int64_t since1601 = utcSeconds + kSecondsFrom1601To1970;
    // A day short of either end, so the local time stays inside the range too.
    if (since1601 < 86400 || since1601 > kLastSecond - 86400) {
        return 0;
    }
    const FILETIME utcFile = FileTimeOf(since1601 * kTicksPerSecond);
    SYSTEMTIME utc{};
    SYSTEMTIME local{};
    DYNAMIC_TIME_ZONE_INFORMATION zone{};
    TIME_ZONE_INFORMATION rules{};
    FILETIME localFile{};
    if (!FileTimeToSystemTime(&utcFile, &utc) ||
        GetDynamicTimeZoneInformation(&zone) == TIME_ZONE_ID_INVALID ||
        !GetTimeZoneInformationForYear(utc.wYear, &zone, &rules) ||
        !SystemTimeToTzSpecificLocalTime(&rules, &utc, &local) ||
        !SystemTimeToFileTime(&local, &localFile)) {
        return 0;
    }
    return static_cast<int>((TicksOf(localFile) - TicksOf(utcFile)) / (60 * kTicksPerSecond));
}

}  // namespace strivo
