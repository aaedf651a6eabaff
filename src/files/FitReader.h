#pragma once

#include "files/ByteSource.h"
#include "files/ImportedRun.h"
#include "model/Result.h"

namespace strivo {

// The runs of a FIT activity file, read from the published protocol as the
// bytes stream in: memory stays the same (a window of at most 192 KiB, room for the
// largest message the protocol allows) whatever the file's size.
//
// Each session message of the sport running, any sub-sport, is a run: its
// start time, its timer time (else its elapsed time), distance and calories.
// A session of any other sport is counted in `otherSports`, but for a
// multisport race's transitions. The offset is the activity message's local
// time less its UTC time; without one the runs' offsets stay empty.
//
// Several FIT files chained one after another in one file are all read, each
// with its own definitions and its own activity offset. Bytes after a
// complete FIT file that do not begin another (a damaged header, padding)
// are passed over, named in the file's warnings (FitTrailingBytes).
//
// The runs come all together or not at all: a wrong CRC (the header's, when
// not 0, and the file's), a truncated file (also one shorter than its header
// says, whose CRC would read as a message), one that is not FIT, a message
// past the data size or of an undefined local type, or a running session
// without a start, a duration or a distance, or one whose start counts from
// the device's power-on, fails the whole file. A source that fails reads as
// one that ended; its own accessor says why.
Result<RunFile> ReadFit(ByteSource& source);

}  // namespace strivo
