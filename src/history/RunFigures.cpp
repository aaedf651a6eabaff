#include "history/RunFigures.h"

#include <chrono>

#include "io/RunText.h"

namespace strivo {
namespace {

// ParseServiceTime reads years 0000 to 9999 in an offset under a day: a
// typed start beyond that came from somewhere else and names no date here.
constexpr std::int64_t kEarliestStartMs =
    MsOfDay(std::chrono::sys_days{std::chrono::year{0} / 1 / 1} - std::chrono::days{1});
constexpr std::int64_t kLatestStartMs =
    MsOfDay(std::chrono::sys_days{std::chrono::year{10000} / 1 / 1} + std::chrono::days{1});

bool ReadableStart(std::int64_t utcMs, int offsetMinutes) {
    return utcMs >= kEarliestStartMs && utcMs < kLatestStartMs && offsetMinutes > -24 * 60 &&
           offsetMinutes < 24 * 60;
}

}  // namespace

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
        whole.assign(1, '0');  // not = "0": g++ 12 warns of an overlap there is not
    }
    return fraction.empty() ? whole : whole + "." + fraction;
}

namespace {

constexpr std::int64_t kPowersOfTen[] = {1,
                                         10,
                                         100,
                                         1000,
                                         10000,
                                         100000,
                                         1000000,
                                         10000000,
                                         100000000,
                                         1000000000,
                                         10000000000,
                                         100000000000,
                                         1000000000000,
                                         10000000000000,
                                         100000000000000,
                                         1000000000000000,
                                         10000000000000000,
                                         100000000000000000,
                                         1000000000000000000};

// DecimalToInteger of a text of at most 18 characters, whose digits fit a
// 64-bit number as they stand: one pass, for the figures a run has.
std::optional<std::int64_t> ShortDecimalToInteger(std::string_view text, int places) {
    std::int64_t value = 0;
    int digits = 0;
    int point = -1;
    for (const char c : text) {
        if (c >= '0' && c <= '9') {
            value = value * 10 + (c - '0');
            ++digits;
        } else if (c == '.' && point < 0) {
            point = digits;
        } else {
            return std::nullopt;
        }
    }
    if (digits == 0) {
        return std::nullopt;
    }
    const int shift = places - (point < 0 ? 0 : digits - point);
    if (shift < 0) {
        const std::int64_t kept = value / kPowersOfTen[-shift];
        const bool roundUp = value / kPowersOfTen[-shift - 1] % 10 >= 5;
        return kept + (roundUp ? 1 : 0);
    }
    int significant = 0;
    while (significant < 19 && value >= kPowersOfTen[significant]) {
        ++significant;
    }
    if (significant + shift > 18) {
        return std::nullopt;
    }
    return value * kPowersOfTen[shift];
}

}  // namespace

std::optional<std::int64_t> DecimalToInteger(std::string_view text, int places) {
    if (text.size() <= 18 && places >= 0 && places <= 18) {
        return ShortDecimalToInteger(text, places);
    }
    // ShiftDecimal's value, read without making its text: a million runs'
    // totals make no string each.
    std::size_t digits = 0;
    std::optional<std::size_t> point;
    for (const char c : text) {
        if (c >= '0' && c <= '9') {
            ++digits;
        } else if (c == '.' && !point) {
            point = digits;
        } else {
            return std::nullopt;
        }
    }
    if (digits == 0 || text.size() > 64) {
        return std::nullopt;
    }
    // The digits before `whole` make the number; the one at `whole` rounds it.
    const std::ptrdiff_t whole = static_cast<std::ptrdiff_t>(point.value_or(digits)) + places;
    std::int64_t value = 0;
    int significant = 0;
    bool roundUp = false;
    std::ptrdiff_t at = 0;
    const auto push = [&](int digit) {
        if (value == 0 && digit == 0) {
            return true;
        }
        if (++significant > 18) {
            return false;
        }
        value = value * 10 + digit;
        return true;
    };
    for (const char c : text) {
        if (c == '.') {
            continue;
        }
        if (at < whole && !push(c - '0')) {
            return std::nullopt;
        }
        roundUp |= at == whole && c >= '5';
        ++at;
    }
    for (; at < whole; ++at) {
        if (!push(0)) {
            return std::nullopt;
        }
    }
    return value + (roundUp ? 1 : 0);
}

RunFigures FiguresOf(const StoredRun& run) {
    RunFigures figures;
    if (run.startUtcMs && run.startOffsetMinutes &&
        ReadableStart(*run.startUtcMs, *run.startOffsetMinutes)) {
        figures.startUtcMs = run.startUtcMs;
        figures.startOffsetMinutes = *run.startOffsetMinutes;
    }
    if (!run.source.empty()) {
        // A run read from a file: its values, the distance as it shows (to 0.1 m).
        if (run.distanceMetres) {
            figures.distanceMm = DecimalToInteger(KilometreText(*run.distanceMetres), 6);
        }
        figures.durationMs = run.durationMs;
        if (run.calorieCount && *run.calorieCount >= 0) {
            figures.calories = run.calorieCount;
        }
        return figures;
    }
    figures.distanceMm = DecimalToInteger(run.distance, 6);
    figures.durationMs = DecimalToInteger(run.duration, 0);
    const std::optional<std::int64_t> calories = DecimalToInteger(run.calories, 0);
    if (run.calories.find('.') == std::string::npos) {
        figures.calories = calories;
    }
    return figures;
}

std::int64_t DaysFromCivil(int year, int month, int day) {
    const std::chrono::year_month_day date{std::chrono::year{year},
                                           std::chrono::month{static_cast<unsigned>(month)},
                                           std::chrono::day{static_cast<unsigned>(day)}};
    return std::chrono::sys_days{date}.time_since_epoch().count();
}

CivilDate CivilFromDays(std::int64_t days) {
    using namespace std::chrono;
    const year_month_day date{sys_days{std::chrono::days{days}}};
    return {static_cast<int>(date.year()), static_cast<int>(static_cast<unsigned>(date.month())),
            static_cast<int>(static_cast<unsigned>(date.day()))};
}

}  // namespace strivo
