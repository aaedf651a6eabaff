#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace strivo {

// One run, as a FIT activity file holds it.
struct FitActivity {
    std::int64_t startUtcMs = 0;
    int offsetMinutes = 0;  // east of UTC, where the run started
    std::int64_t durationMs = 0;
    double distanceMetres = 0;
    std::optional<std::int64_t> calories;
};

// A FIT activity file of one run of the sport running: file_id, the timer's
// start and stop events, a record at the start and one at the end, a lap, a
// session and the activity, whose local timestamp carries the offset.
//
// FIT keeps times of day in whole seconds (the start's milliseconds are
// dropped), durations to the millisecond and distances to the centimetre.
// What its fields cannot hold is brought to their bounds: a start before
// 1998-07-04 (FIT's first time of day) or after 2126, a duration past 49
// days, a distance past 42,949 km; calories past 65,534 are left out.
std::string WriteFitActivity(const FitActivity& activity);

}  // namespace strivo
