#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "model/Problem.h"

namespace strivo {

// The formats a run can be read from.
enum class RunFileFormat { Gpx, Tcx, Fit, Csv };

// One run read from a file: what every format gives, in one shape.
struct ImportedRun {
    std::int64_t startUtcMs = 0;
    // Minutes east of UTC where the run started: from the file where it says
    // (FIT's local timestamp), else empty and the importer uses the machine's
    // time zone for that instant.
    std::optional<int> offsetMinutes;
    double distanceMetres = 0;
    std::int64_t durationMs = 0;
    std::optional<std::int64_t> calories;
};

// What a file holds besides activities, so that one without any can say
// what it is: a course (a route to follow: a TCX or FIT course, a GPX
// route), a workout (a plan of steps), or neither.
enum class RunFileContent { Activities, Course, Workout };

// What one file holds: its runs, and how many activities of other sports it
// skipped (counted, never dropped silently).
struct RunFile {
    RunFileFormat format = RunFileFormat::Gpx;
    std::vector<ImportedRun> runs;
    int otherSports = 0;
    RunFileContent content = RunFileContent::Activities;
    // What the reader passed over in a file it read all the same (bytes
    // after a complete FIT file).
    std::vector<Problem> warnings;
};

}  // namespace strivo
