#include "Accounts.h"

#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "text/CodePage.h"
#include "text/TextHelpers.h"

namespace strivo::sim {
namespace {

constexpr std::uint64_t kDemoSeed = 20100418;
constexpr int kDemoRunCount = 24;

// SplitMix64: tiny, and unlike the standard distributions it gives the same
// numbers with every compiler and library.
class Random {
public:
    explicit Random(std::uint64_t seed) : m_state(seed) {}

    std::uint64_t Next() {
        std::uint64_t z = (m_state += 0x9E3779B97F4A7C15ULL);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
        return z ^ (z >> 31);
    }

    // Uniform in [low, high].
    std::int64_t Between(std::int64_t low, std::int64_t high) {
        return low + static_cast<std::int64_t>(Next() % static_cast<std::uint64_t>(high - low + 1));
    }

private:
    std::uint64_t m_state;
};

using Seconds = std::chrono::sys_seconds;

// Wall-clock time with its offset written after it; no time-zone database.
std::string FormatTimestamp(Seconds time, std::string_view offset) {
    const auto day = std::chrono::floor<std::chrono::days>(time);
    const std::chrono::year_month_day date{day};
    const std::chrono::hh_mm_ss clock{time - day};
    char buffer[40];
    std::snprintf(buffer, sizeof buffer, "%04d-%02u-%02uT%02d:%02d:%02d",
                  static_cast<int>(date.year()), static_cast<unsigned>(date.month()),
                  static_cast<unsigned>(date.day()), static_cast<int>(clock.hours().count()),
                  static_cast<int>(clock.minutes().count()),
                  static_cast<int>(clock.seconds().count()));
    return std::string(buffer) + std::string(offset);
}

std::vector<std::string_view> SplitRunLine(std::string_view value) {
    std::vector<std::string_view> parts;
    std::size_t begin = 0;
    while (true) {
        const std::size_t bar = value.find('|', begin);
        parts.push_back(TrimBlanks(value.substr(begin, bar - begin)));
        if (bar == std::string_view::npos) {
            return parts;
        }
        begin = bar + 1;
    }
}

template <typename Number>
bool ReadNumber(std::string_view text, Number& number) {
    const char* end = text.data() + text.size();
    const auto result = std::from_chars(text.data(), end, number);
    return !text.empty() && result.ec == std::errc() && result.ptr == end;
}

Run ParseRun(std::string_view value) {
    const std::vector<std::string_view> parts = SplitRunLine(value);
    if (parts.size() != 7) {
        throw std::runtime_error("a run needs 7 fields separated by \"|\"");
    }
    Run run;
    run.id = parts[0];
    run.workoutType = parts[1];
    run.startTime = parts[2];
    run.syncTime = parts[5];
    if (run.id.empty()) {
        throw std::runtime_error("a run needs an id");
    }
    if (!ReadNumber(parts[3], run.distanceKm) || !(run.distanceKm >= 0)) {
        throw std::runtime_error("distance is not a number of km");
    }
    if (!ReadNumber(parts[4], run.durationMs) || run.durationMs < 0) {
        throw std::runtime_error("duration is not a number of milliseconds");
    }
    if (!ReadNumber(parts[6], run.calories)) {
        throw std::runtime_error("calories is not a whole number");
    }
    return run;
}

}  // namespace

RunTotals SumRuns(std::span<const Run> runs) {
    RunTotals totals;
    for (const Run& run : runs) {
        totals.distanceTenThousandthsKm += std::llround(run.distanceKm * 10000);
        totals.durationMs += run.durationMs;
        totals.calories += run.calories;
    }
    totals.runs = runs.size();
    return totals;
}

std::string FormatDistanceUnits(std::int64_t tenThousandthsKm) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%lld.%04lld",
                  static_cast<long long>(tenThousandthsKm / 10000),
                  static_cast<long long>(tenThousandthsKm % 10000));
    return buffer;
}

std::string FormatDistance(double km) {
    return FormatDistanceUnits(std::llround(km * 10000));
}

std::vector<Run> GenerateRuns(int count, std::uint64_t seed, int runsPerDay) {
    using namespace std::chrono;
    Random random(seed);
    std::vector<Run> runs;
    runs.reserve(static_cast<std::size_t>(count > 0 ? count : 0));

    sys_days day = sys_days{year{2010} / March / 1} + days{random.Between(0, 6)};
    std::int64_t id = 1100000000 + random.Between(0, 999999);
    for (int i = 0; i < count; ++i) {
        // Mostly everyday runs, now and then a long one.
        const std::int64_t kind = random.Between(0, 9);
        const std::int64_t units = kind < 6   ? random.Between(30000, 80000)
                                   : kind < 9 ? random.Between(80000, 130000)
                                              : random.Between(130000, 210000);
        const std::int64_t paceMsPerKm = random.Between(270000, 420000);
        const std::int64_t durationMs = units * paceMsPerKm / 10000 + random.Between(0, 999);

        const bool morning = random.Between(0, 9) < 7;
        const seconds timeOfDay = morning
                                      ? seconds{random.Between(6 * 3600, 8 * 3600 - 1)}
                                      : seconds{random.Between(18 * 3600 + 1800, 20 * 3600 + 1799)};
        const sys_seconds localStart = day + timeOfDay;
        const sys_seconds localSync =
            localStart + seconds{durationMs / 1000} + minutes{random.Between(3, 120)};

        Run run;
        run.id = std::to_string(id);
        run.workoutType = random.Between(0, 4) == 0 ? "basic" : "standard";
        run.startTime = FormatTimestamp(localStart, "+08:00");
        run.distanceKm = static_cast<double>(units) / 10000;
        run.durationMs = durationMs;
        run.syncTime = FormatTimestamp(localSync - hours{8}, "+00:00");
        run.calories = static_cast<int>((units * 66 + 5000) / 10000);
        runs.push_back(std::move(run));

        const days gap{random.Between(2, 5)};  // drawn either way: the same runs otherwise
        if (runsPerDay <= 0) {
            day += gap;
        } else if ((i + 1) % runsPerDay == 0) {
            day += days{1};
        }
        id += random.Between(1000, 99999);
    }
    return runs;
}

ServiceAccount DemoServiceAccount() {
    return ServiceAccount{"demo.runner@strivo.example", "spring run&go", "晨跑的小李",
                          GenerateRuns(kDemoRunCount, kDemoSeed)};
}

SiteAccount DemoSiteAccount() {
    return SiteAccount{Utf8ToCp936("李昞赟"), "run log&1"};
}

Accounts DemoAccounts() {
    return Accounts{DemoServiceAccount(), DemoSiteAccount()};
}

Accounts ParseAccounts(std::string_view text, Accounts defaults) {
    Accounts accounts = std::move(defaults);
    std::vector<Run> runs;
    bool anyRun = false;
    int lineNumber = 0;
    std::size_t begin = 0;
    while (begin < text.size()) {
        std::size_t end = text.find('\n', begin);
        if (end == std::string_view::npos) {
            end = text.size();
        }
        const std::string_view line = TrimBlanks(text.substr(begin, end - begin));
        begin = end + 1;
        ++lineNumber;
        if (line.empty() || line.front() == '#') {
            continue;
        }
        try {
            const std::size_t equals = line.find('=');
            if (equals == std::string_view::npos) {
                throw std::runtime_error("expected \"key = value\"");
            }
            const std::string_view key = TrimBlanks(line.substr(0, equals));
            const std::string value(TrimBlanks(line.substr(equals + 1)));
            if (key == "login") {
                accounts.service.user = Utf8ToCp936(value);
            } else if (key == "password") {
                accounts.service.password = Utf8ToCp936(value);
            } else if (key == "screen_name") {
                accounts.service.screenName = value;
            } else if (key == "site_user") {
                accounts.site.user = Utf8ToCp936(value);
            } else if (key == "site_password") {
                accounts.site.password = Utf8ToCp936(value);
            } else if (key == "run") {
                runs.push_back(ParseRun(value));
                anyRun = true;
            } else {
                throw std::runtime_error("unknown key \"" + std::string(key) + "\"");
            }
        } catch (const std::runtime_error& error) {
            throw std::runtime_error("accounts line " + std::to_string(lineNumber) + ": " +
                                     error.what());
        }
    }
    if (anyRun) {
        accounts.service.runs = std::move(runs);
    }
    return accounts;
}

Accounts LoadAccountsFile(const std::string& path, Accounts defaults) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        throw std::runtime_error("cannot read the accounts file " + path);
    }
    std::ostringstream content;
    content << file.rdbuf();
    return ParseAccounts(content.str(), std::move(defaults));
}

}  // namespace strivo::sim
