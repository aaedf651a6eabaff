#include "history/RunFigures.h"

#include <limits>

namespace strivo {

std::optional<std::string> ShiftDecimal(std::string_view text, int places) {
    std::string digits;
    std::optional<std::ptrdiff_t> point;
    for (const char c : text) {
        if (c >= '0' && c <= '9') {
            digits += c;
        } else if (c == '.' && !point) {
            point = static_cast<std::ptrdiff_t>(digits.size());
        } else {
            return std::nullopt;
        }
    }
    if (digits.empty() || text.size() > 64) {
        return std::nullopt;
    }
    std::ptrdiff_t at = point.value_or(static_cast<std::ptrdiff_t>(digits.size())) + places;
    if (at < 0) {
        digits.insert(0, static_cast<std::size_t>(-at), '0');
        at = 0;
    }
    if (at > static_cast<std::ptrdiff_t>(digits.size())) {
        digits.append(static_cast<std::size_t>(at) - digits.size(), '0');
    }
    std::string whole = digits.substr(0, static_cast<std::size_t>(at));
    std::string fraction = digits.substr(static_cast<std::size_t>(at));
    whole.erase(0, std::min(whole.find_first_not_of('0'), whole.size()));
    fraction.erase(fraction.find_last_not_of('0') + 1);
    if (whole.empty()) {
        whole = "0";
    }
    return fraction.empty() ? whole : whole + "." + fraction;
}

std::optional<std::int64_t> DecimalToInteger(std::string_view text, int places) {
    const std::optional<std::string> shifted = ShiftDecimal(text, places);
    if (!shifted) {
        return std::nullopt;
    }
    const std::size_t point = std::min(shifted->find('.'), shifted->size());
    if (point > 18) {
        return std::nullopt;
    }
    std::int64_t value = 0;
    for (std::size_t i = 0; i < point; ++i) {
        value = value * 10 + ((*shifted)[i] - '0');
    }
    if (point + 1 < shifted->size() && (*shifted)[point + 1] >= '5') {
        ++value;
    }
    return value;
}

RunFigures FiguresOf(const StoredRun& run) {
    RunFigures figures;
    if (run.startUtcMs && run.startOffsetMinutes) {
        figures.startUtcMs = run.startUtcMs;
        figures.startOffsetMinutes = *run.startOffsetMinutes;
    }
    figures.distanceMm = DecimalToInteger(run.distance, 6);
    figures.durationMs = DecimalToInteger(run.duration, 0);
    const std::optional<std::int64_t> calories = DecimalToInteger(run.calories, 0);
    if (run.calories.find('.') == std::string::npos) {
        figures.calories = calories;
    }
    return figures;
}

// Howard Hinnant's algorithms for the proleptic Gregorian calendar.
std::int64_t DaysFromCivil(int year, int month, int day) {
    const std::int64_t y = year - (month <= 2 ? 1 : 0);
    const std::int64_t era = FloorDiv(y, 400);
    const std::int64_t yoe = y - era * 400;
    const std::int64_t doy = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

CivilDate CivilFromDays(std::int64_t days) {
    days += 719468;
    const std::int64_t era = FloorDiv(days, 146097);
    const std::int64_t doe = days - era * 146097;
    const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const std::int64_t mp = (5 * doy + 2) / 153;
    const int day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    const int month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    return {static_cast<int>(yoe + era * 400 + (month <= 2 ? 1 : 0)), month, day};
}

}  // namespace strivo
