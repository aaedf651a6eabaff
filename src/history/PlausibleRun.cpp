#include "history/PlausibleRun.h"

#include <cmath>
#include <string>

namespace strivo {
namespace {

// "2,655": digits grouped by three.
std::string Grouped(std::int64_t number) {
    const std::string digits = std::to_string(number);
    std::string grouped;
    for (std::size_t i = 0; i < digits.size(); ++i) {
        const std::size_t left = digits.size() - i;
        if (i > 0 && left % 3 == 0 && digits[i - 1] != '-') {
            grouped += ',';
        }
        grouped += digits[i];
    }
    return grouped;
}

// "340 m", "4.8 km", "2,655 km": a distance as a runner says it.
std::string DistanceWords(double metres) {
    if (metres < 999.5) {
        return Grouped(std::llround(metres)) + " m";
    }
    if (metres < 9'950) {
        const std::int64_t tenths = std::llround(metres / 100);
        return std::to_string(tenths / 10) + "." + std::to_string(tenths % 10) + " km";
    }
    return Grouped(std::llround(metres / 1000)) + " km";
}

// "400 ms", "10 s", "25 min", "332 h".
std::string DurationWords(std::int64_t ms) {
    if (ms < 1000) {
        return std::to_string(ms) + " ms";
    }
    if (ms < 120'000) {
        return std::to_string(std::llround(ms / 1000.0)) + " s";
    }
    if (ms < 7'200'000) {
        return std::to_string(std::llround(ms / 60'000.0)) + " min";
    }
    return Grouped(std::llround(ms / 3'600'000.0)) + " h";
}

}  // namespace

std::optional<Problem> WhyNotARun(const ActivityFigures& activity, std::int64_t nowUtcMs) {
    const double metres = activity.distanceMetres;
    const std::int64_t ms = activity.durationMs;
    if (activity.startUtcMs < kFirstPlausibleStartMs) {
        return Problem(ProblemCode::ActivityBefore1990);
    }
    if (activity.startUtcMs > nowUtcMs) {
        return Problem(ProblemCode::ActivityInFuture);
    }
    if (ms <= 0) {
        return Problem(ProblemCode::ActivityWithoutDuration);
    }
    if (!(metres > 0)) {
        return Problem(ProblemCode::ActivityWithoutDistance);
    }
    const double kmh = metres * 3600 / static_cast<double>(ms);
    if (kmh < kLeastPlausibleKmh || kmh > kMostPlausibleKmh) {
        return Problem(ProblemCode::ActivityPace, {DistanceWords(metres), DurationWords(ms)});
    }
    if (ms > kMostPlausibleDurationMs) {
        return Problem(ProblemCode::ActivityTooLong, {DurationWords(ms)});
    }
    if (metres * 1000 > static_cast<double>(kMostPlausibleDistanceMm)) {
        return Problem(ProblemCode::ActivityTooFar, {DistanceWords(metres)});
    }
    if (activity.calories && *activity.calories > kMostPlausibleCalories) {
        return Problem(ProblemCode::ActivityTooManyCalories, {Grouped(*activity.calories)});
    }
    return std::nullopt;
}

}  // namespace strivo
