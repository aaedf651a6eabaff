#pragma once

#include <filesystem>
#include <ostream>
#include <string_view>
#include <vector>

#include "io/AtomicFile.h"
#include "model/RunList.h"

namespace strivo {

// One line per run, numbered from 1: the table's cells of columns 0 to 5 (not
// the run id), joined by
// ",", ended by CR LF, as CP936 bytes, no header. A cell holding a comma, a
// double quote, CR or LF is quoted (quotes doubled) so it cannot shift the
// columns after it; every other cell is written exactly as it stands.
void WriteCsv(std::ostream& out, const RunList& runs);

// Writes the runs to `path`, creating or replacing it. The earlier file stays
// untouched unless every byte of the new one reached the disk.
Outcome ExportCsv(const std::filesystem::path& path, const RunList& runs);
// The same for any document the window exports (the TCX file).
Outcome ExportDocument(const std::filesystem::path& path, std::string_view content);

}  // namespace strivo
