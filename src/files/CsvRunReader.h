#pragma once

#include "files/ByteSource.h"
#include "files/ImportedRun.h"
#include "model/Result.h"

namespace strivo {

// The CSV file Strivo exports (export/CsvExport.h): CP936 text, one run a
// line: sequence number, start, kilometres, duration, calories, sync time.
// A title line ("序号,跑步时间,...") may stand first, as a spreadsheet adds;
// quoted cells and the apostrophe the export puts before a formula-like cell
// are read back to the cell's own text; a seventh cell (the RunID) is passed
// over, and so are blank lines.
//   start     the wall-clock time "YYYY-MM-DD hh:mm:ss" (or as a spreadsheet
//             saves it again, "YYYY/M/D h:mm"), in the machine's time zone
//             (io/LocalTime.h), which offsetMinutes records
//   distance  the kilometres
//   duration  "<h>小时<m>分<s>秒"
//   calories  empty when the cell is
// A line that does not read so is refused, naming it. Each run is handed to
// `sink` as its line is read.
Result<RunFile> ReadCsvRuns(ByteSource& source, RunSink& sink);
// The same, keeping the runs in the file.
Result<RunFile> ReadCsvRuns(ByteSource& source);

}  // namespace strivo
