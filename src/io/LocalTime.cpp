#include "io/LocalTime.h"

#include <algorithm>
#include <array>

namespace strivo {

LocalInstant FromLocalTime(std::int64_t localSeconds) {
    // The offsets in force a day either side cover every change of offset a
    // wall time can fall near; an offset fits when the instant it gives keeps it.
    constexpr std::int64_t kDay = 86400;
    const std::array<int, 3> offsets = {LocalOffsetMinutes(localSeconds - kDay),
                                        LocalOffsetMinutes(localSeconds),
                                        LocalOffsetMinutes(localSeconds + kDay)};
    std::int64_t earliest = 0;
    int fitting = 0;
    bool found = false;
    for (const int offset : offsets) {
        const std::int64_t instant = localSeconds - std::int64_t{offset} * 60;
        if (LocalOffsetMinutes(instant) == offset && (!found || instant < earliest)) {
            earliest = instant;
            fitting = offset;
            found = true;
        }
    }
    if (found) {
        return {earliest, fitting};
    }
    // Skipped: the offset just before the change, found at the earliest of
    // the instants the offsets give (the largest offset gives it).
    const int largest = *std::max_element(offsets.begin(), offsets.end());
    const int before = LocalOffsetMinutes(localSeconds - std::int64_t{largest} * 60);
    return {localSeconds - std::int64_t{before} * 60, before};
}

}  // namespace strivo
