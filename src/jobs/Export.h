#pragma once

#include <filesystem>
#include <optional>
#include <ostream>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "history/RunFigures.h"
#include "jobs/Workspace.h"
#include "model/Result.h"
#include "model/RunList.h"

namespace strivo::jobs {

// Where an export goes: a file, replaced only once every byte of the new one
// reached the disk, or a stream (standard output).
struct ExportTarget {
    std::filesystem::path file;
    std::ostream* stream = nullptr;
};

// Refuses (ExportOntoOwnFile) a file that is the workspace's store, its
// -wal, -shm or lock file, or its settings file, under whatever name: an
// export there would replace the record of every post. Each export below
// asks it first; a face may ask before a long job.
Outcome RefuseOwnFile(const Workspace& where, const std::filesystem::path& file);

// The runs as CSV (export/CsvExport.h).
Outcome ExportCsv(const Workspace& where, const RunList& runs, const ExportTarget& to);
// A document made elsewhere (the chart's SVG).
Outcome ExportDocument(const Workspace& where, std::string_view content, const ExportTarget& to);

struct TcxExported {
    int activities = 0;
    std::vector<RunProblem> problems;  // runs left out or written in part, each named
};
// The stored runs of the account as TCX: every one, or those of `runIds`
// (the window's table) that the store holds. Nothing is written when the
// store cannot be read.
Result<TcxExported> ExportTcx(const Workspace& where, const ExportTarget& to,
                              std::optional<std::span<const std::string>> runIds = std::nullopt);

}  // namespace strivo::jobs
