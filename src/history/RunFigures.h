#pragma once

// What the history reads from a stored run: the exact values behind its
// texts, and the problems a runner is told about.
//
// Decimal values are read from the texts as sent ("5.0321" km), never through
// a binary double, so a total of many runs and a value written to a file are
// exactly what the service said. The start instant and its offset are the
// store's typed values (StoredRun::startUtcMs, startOffsetMinutes): a start
// without a usable offset names no instant, nor does one outside the years a
// service's text can name (0000 to 9999, a day either side for the offset).

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "model/Problem.h"
#include "model/Runs.h"

namespace strivo {

// A plain decimal ("5.0321", "1834000", ".5", "7.") with its point moved
// `places` to the right (negative: to the left), written without leading or
// trailing zeros: ShiftDecimal("5.0321", 3) == "5032.1",
// ShiftDecimal("1834500", -3) == "1834.5". Empty for anything else (signs,
// exponents, spaces, no digit).
std::optional<std::string> ShiftDecimal(std::string_view text, int places);
// The same value as a whole number, rounded half up: DecimalToInteger("5.0321", 6)
// == 5032100. Empty when it is no plain decimal or does not fit.
std::optional<std::int64_t> DecimalToInteger(std::string_view text, int places);

// A stored run's values, where its texts give them; a run read from a file
// has values only.
struct RunFigures {
    std::optional<std::int64_t> startUtcMs;  // with the offset below, or neither
    int startOffsetMinutes = 0;
    std::optional<std::int64_t> distanceMm;  // the distance text is in km
    std::optional<std::int64_t> durationMs;  // whole milliseconds
    std::optional<std::int64_t> calories;    // whole, not negative
};
RunFigures FiguresOf(const StoredRun& run);

// A run the runner is told about: what could not be read, what was done (the
// codes of Problem.h's "A run's values").
struct RunProblem {
    std::string runId;  // CP936, as stored
    Problem problem;
};

// Days since 1970-01-01 of a civil date, and back (proleptic Gregorian), as
// std::chrono's calendar counts them. A day past the month's end counts on
// into the next month.
std::int64_t DaysFromCivil(int year, int month, int day);
struct CivilDate {
    int year = 1970, month = 1, day = 1;
};
CivilDate CivilFromDays(std::int64_t days);

// Milliseconds since 1970-01-01T00:00:00Z of a day's start.
constexpr std::int64_t MsOfDay(std::chrono::sys_days day) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(day.time_since_epoch()).count();
}

// Floor division, for instants before 1970.
constexpr std::int64_t FloorDiv(std::int64_t a, std::int64_t b) {
    return a / b - ((a % b != 0) && ((a < 0) != (b < 0)) ? 1 : 0);
}

}  // namespace strivo
