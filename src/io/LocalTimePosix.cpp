// LocalTimePosix.cpp: the POSIX implementation of LocalOffsetMinutes
// (io/LocalTime.h), from the tz database through localtime_r.
#include <ctime>

#include "io/LocalTime.h"

namespace strivo {

int LocalOffsetMinutes(std::int64_t utcSeconds) {
    const std::time_t instant = static_cast<std::time_t>(utcSeconds);
    std::tm local{};
    if (::localtime_r(&instant, &local) == nullptr) {
        return 0;
    }
    return static_cast<int>(local.tm_gmtoff / 60);
}

}  // namespace strivo
