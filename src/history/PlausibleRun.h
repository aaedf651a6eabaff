#pragma once

// What a run may plausibly be: the one measure of the totals (RunTotals.h),
// which leave out a value beyond it, and of the import (jobs/Import.h), which
// keeps no activity from a file that falls outside it, so that nothing
// imported is ever called implausible later. The run service's runs are
// never judged: they pass as sent.

#include <cstdint>
#include <optional>

#include "model/Problem.h"

namespace strivo {

// The most a run may plausibly hold: 1,000 km; 7 days; 100,000 kcal, which a
// 100 kg runner (about 1 kcal per kg and km) burns over those 1,000 km.
inline constexpr std::int64_t kMostPlausibleDistanceMm = 1'000'000'000;
inline constexpr std::int64_t kMostPlausibleDurationMs = 7 * 24 * 3'600'000LL;
inline constexpr std::int64_t kMostPlausibleCalories = 100'000;
// The earliest start of a run from a file, 1990-01-01T00:00:00Z: before it,
// a start is a placeholder (GPX's 1901, FIT's device-relative times).
inline constexpr std::int64_t kFirstPlausibleStartMs = 631'152'000'000;
// The average pace of a run: a walk at 1 km/h to a sprint's 30 km/h.
inline constexpr double kLeastPlausibleKmh = 1;
inline constexpr double kMostPlausibleKmh = 30;

struct ActivityFigures {
    std::int64_t startUtcMs = 0;
    std::int64_t durationMs = 0;
    double distanceMetres = 0;
    std::optional<std::int64_t> calories;
};

// Why an activity read from a file is no run (a Problem of the codes
// Activity... in Problem.h), or nothing when it is one: it starts on or
// after 1990-01-01 and not after `nowUtcMs`, lasts over 0 and at most 7
// days, covers over 0 and at most 1,000 km at 1 to 30 km/h, and burns at
// most 100,000 kcal. The first reason in that order is given, the pace
// before the bounds: "2,655 km in 10 s is not a run".
std::optional<Problem> WhyNotARun(const ActivityFigures& activity, std::int64_t nowUtcMs);

}  // namespace strivo
