#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "io/RunText.h"
#include "model/Run.h"
#include "model/Runs.h"

namespace strivo {

// A run as the service's list sends it ("2010-04-18T07:05:11+08:00",
// "5.0321" km, "1834000" ms, "321", ...), and the run read from it.
struct DownloadedRun {
    std::string_view runId, startTime, distance, duration, calories, syncTime;
    operator Run() const {  // NOLINT: read as a download reads it
        return ServiceRun(runId, {startTime, distance, duration, calories, syncTime});
    }
};

inline std::vector<Run> Runs(std::span<const DownloadedRun> list) {
    return {list.begin(), list.end()};
}

// A run of the table from the texts of its cells: start, distance, calories
// and sync as sent, the duration in milliseconds.
inline Run TableRun(std::string_view runId, std::string_view start = "",
                    std::string_view distance = "", std::string_view durationMs = "",
                    std::string_view calories = "", std::string_view sync = "") {
    return DownloadedRun{runId, start, distance, durationMs, calories, sync};
}

// A run read from a GPX file, keyed as an import keys it.
inline Run FileRunAt(std::int64_t startUtcMs, double metres, std::int64_t ms,
                     int offsetMinutes = 480) {
    return Run(ImportedRunKey(startUtcMs / 1000, metres), RunSource::Gpx,
               {startUtcMs, offsetMinutes, metres, ms, std::nullopt});
}

}  // namespace strivo
