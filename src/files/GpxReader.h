#pragma once

#include "files/ByteSource.h"
#include "files/ImportedRun.h"
#include "model/Result.h"

namespace strivo {

// GPX 1.0 and 1.1. Each track (<trk>) whose <type> is absent or says running
// ("running" or "run", any case) is a run, handed to `sink` when its end is
// read; a track of another type counts among otherSports, and a track
// without points is no activity at all.
//   start     the earliest <time> of its points (the instant: a time's offset
//             only places it; offsetMinutes stays empty), which points out of
//             order need
//   duration  the latest time less the earliest, pauses between segments included
//   distance  the great-circle distances between consecutive points of each
//             segment, summed over the segments. The gap between two segments
//             is not bridged: a new segment is where the recording stopped.
// A running track with points but no times, or with a time on fewer than
// half of them, is no run: it is skipped, naming it, and the other tracks
// are read.
Result<RunFile> ReadGpx(ByteSource& source, RunSink& sink);
// The same, keeping the runs and the tracks skipped in the file.
Result<RunFile> ReadGpx(ByteSource& source);

}  // namespace strivo
