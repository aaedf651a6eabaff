#pragma once

#include "files/ByteSource.h"
#include "files/ImportedRun.h"
#include "model/Result.h"

namespace strivo {

// TCX v2 (Garmin's Training Center database). Each <Activity Sport="Running">
// under <Activities> is a run, handed to `sink` when its end is read; other
// activities, and multi-sport sessions,
// count among otherSports. Courses are no activities and are passed over.
//   start     its <Id> (the first lap's StartTime when it has none)
//   duration, distance, calories
//             the sums of its laps' own TotalTimeSeconds, DistanceMeters and
//             Calories; when no lap gives a distance, the last trackpoint's
//             DistanceMeters (the running total of the track)
// calories stays empty when no lap gives them.
Result<RunFile> ReadTcx(ByteSource& source, RunSink& sink);
// The same, keeping the runs in the file.
Result<RunFile> ReadTcx(ByteSource& source);

}  // namespace strivo
