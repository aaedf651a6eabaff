#include "model/Runs.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace strivo {

const char* PostStateName(PostState state) {
    static constexpr const char* kNames[] = {"sending", "confirmed", "failed", "unknown",
                                             "excluded"};
    return kNames[static_cast<int>(state)];
}

namespace {

constexpr std::string_view kImportedKeyPrefix = "file-";

}  // namespace

std::string ImportedRunKey(std::int64_t startUtcSeconds, double distanceMetres) {
    // Days to a civil date (proleptic Gregorian), as history/ counts them.
    const std::int64_t days =
        startUtcSeconds >= 0 ? startUtcSeconds / 86400 : (startUtcSeconds - 86399) / 86400;
    const std::int64_t second = startUtcSeconds - days * 86400;
    const std::int64_t z = days + 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const std::int64_t doe = z - era * 146097;
    const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const std::int64_t mp = (5 * doy + 2) / 153;
    const std::int64_t day = doy - (153 * mp + 2) / 5 + 1;
    const std::int64_t month = mp < 10 ? mp + 3 : mp - 9;
    const std::int64_t year = yoe + era * 400 + (month <= 2 ? 1 : 0);
    char text[80];
    std::snprintf(text, sizeof text, "%04lld%02lld%02lldT%02lld%02lld%02lldZ-%lld",
                  static_cast<long long>(year), static_cast<long long>(month),
                  static_cast<long long>(day), static_cast<long long>(second / 3600),
                  static_cast<long long>(second / 60 % 60), static_cast<long long>(second % 60),
                  static_cast<long long>(std::llround(std::clamp(distanceMetres, 0.0, 1e12))));
    return std::string(kImportedKeyPrefix) + text;
}

bool IsImportedRunKey(std::string_view runId) {
    return runId.starts_with(kImportedKeyPrefix);
}

}  // namespace strivo
