#include "jobs/Export.h"

#include <sstream>
#include <unordered_set>

#include "export/CsvExport.h"
#include "history/TcxWriter.h"
#include "jobs/StoredRuns.h"

namespace strivo::jobs {

Outcome ExportDocument(std::string_view content, const ExportTarget& to) {
    if (to.stream != nullptr) {
        *to.stream << content;
        to.stream->flush();
        return {};
    }
    return strivo::ExportDocument(to.file, content);
}

Outcome ExportCsv(const RunRows& rows, const ExportTarget& to) {
    if (to.stream != nullptr) {
        WriteCsv(*to.stream, rows);
        to.stream->flush();
        return {};
    }
    return strivo::ExportCsv(to.file, rows);
}

Result<TcxExported> ExportTcx(const Workspace& where, const ExportTarget& to,
                              std::optional<std::span<const std::string>> runIds) {
    Result<StoredRunList> read = ReadStoredRuns(where, /*withPosts=*/false, /*ordered=*/false);
    if (!read) {
        return read.problem();
    }
    std::vector<StoredRun> runs = std::move(read->runs);
    if (runIds) {
        const std::unordered_set<std::string_view> chosen(runIds->begin(), runIds->end());
        std::erase_if(runs, [&](const StoredRun& run) { return !chosen.contains(run.runId); });
    }
    TcxFile tcx = WriteTcx(runs);
    if (Outcome written = ExportDocument(tcx.text, to); !written) {
        return written.problem();
    }
    return TcxExported{tcx.activities, std::move(tcx.problems)};
}

}  // namespace strivo::jobs
