#pragma once

// Stored runs as a Training Center XML (TCX) v2 file, which the common
// services and desktop tools import. Every run is summary-only, so each
// becomes one activity with one lap and a two-point track:
//
//   <Activity Sport="Running">
//     <Id>2010-04-17T23:05:11Z</Id>                  UTC start, unique per file
//     <Lap StartTime="2010-04-17T23:05:11Z">
//       <TotalTimeSeconds>1834</TotalTimeSeconds>     from the duration text in ms
//       <DistanceMeters>5032.1</DistanceMeters>       from the distance text in km
//       <Calories>321</Calories>                      unsigned 16-bit
//       <Intensity>Active</Intensity>
//       <TriggerMethod>Manual</TriggerMethod>
//       <Track>                                       the services refuse an activity without one
//         <Trackpoint><Time>start</Time><DistanceMeters>0</DistanceMeters></Trackpoint>
//         <Trackpoint><Time>end</Time><DistanceMeters>5032.1</DistanceMeters></Trackpoint>
//       </Track>
//     </Lap>
//     <Notes>RunID</Notes>
//   </Activity>
//
// The elements follow the schema's order (Activity_t: Id, Lap+, Notes?;
// ActivityLap_t: TotalTimeSeconds, DistanceMeters, Calories, Intensity,
// TriggerMethod, Track). Activities are in order of start, then first seen.
//
// Nothing is dropped silently; each of these is named in `problems`:
//   - a distance, duration or calorie count that does not parse, and calories
//     outside 0..65535: written as 0;
//   - a start that does not parse (no `Z` or `±hh:mm` offset): the run is left out;
//   - a start, end or Id outside the years 0001 to 9999 in UTC, which the
//     schema's dates cannot hold: the run is left out;
//   - a start in a second another run already took: the Id (only) moves to the
//     next free second, since the schema wants Ids unique; the lap keeps the
//     true start.
//
// Used by `strivo-cli runs --tcx=FILE` and the window's "导出TCX…"; the caller
// writes `text` atomically (io/AtomicFile.h) and reports the problems.

#include <span>
#include <string>
#include <vector>

#include "history/RunFigures.h"
#include "model/Runs.h"

namespace strivo {

struct TcxFile {
    std::string text;  // UTF-8, the whole file
    std::vector<RunProblem> problems;
    int activities = 0;
};

TcxFile WriteTcx(std::span<const StoredRun> runs);

}  // namespace strivo
