#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "files/FitProtocol.h"

namespace strivo {

// One run, as a FIT activity file holds it.
struct FitActivity {
    std::int64_t startUtcMs = 0;
    int offsetMinutes = 0;  // east of UTC, where the run started
    std::int64_t durationMs = 0;
    double distanceMetres = 0;
    std::optional<std::int64_t> calories;
};

// What FIT's fields hold: times of day from 1998-07-03T21:24:16Z (0x10000000
// seconds after FIT's epoch; below it a time counts from the device's
// power-on) to 2126-02-06T06:28:14Z, a timer time up to 4,294,967.294 s (49 days, 17 hours), a
// distance up to 42,949,672.94 m, calories up to 65,534; all ones is "unset".
inline constexpr std::int64_t kFitFirstStartMs =
    (fit::kEpochUnixSeconds + fit::kFirstAbsoluteTime) * 1000;
inline constexpr std::int64_t kFitLastEndMs = (fit::kEpochUnixSeconds + 0xFFFFFFFE) * 1000;
inline constexpr std::int64_t kFitLongestMs = 0xFFFFFFFE;
inline constexpr std::int64_t kFitFarthestCentimetres = 0xFFFFFFFE;
inline constexpr std::int64_t kFitMostCalories = 0xFFFE;

// The first of the activity's values that FIT cannot hold, if any.
enum class FitMisfit { None, StartTooEarly, EndTooLate, TooLong, TooFar };
FitMisfit MisfitOf(const FitActivity& activity);

// A FIT activity file of one run of the sport running: file_id, the timer's
// start and stop events, a record at the start and one at the end, a lap, a
// session and the activity, whose local timestamp carries the offset.
//
// FIT keeps times of day in whole seconds (the start's milliseconds are
// dropped), durations to the millisecond and distances to the centimetre.
// No value is bent to fit: a run MisfitOf refuses is not written (nothing
// comes back), and calories past kFitMostCalories or a local timestamp
// past what its field holds are left unset.
std::optional<std::string> WriteFitActivity(const FitActivity& activity);

}  // namespace strivo
