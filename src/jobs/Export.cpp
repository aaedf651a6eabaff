#include "jobs/Export.h"

#include <sstream>
#include <unordered_set>

#include "export/CsvExport.h"
#include "history/TcxWriter.h"
#include "io/FileIdentity.h"
#include "io/PathText.h"
#include "jobs/StoredRuns.h"
#include "store/StorePaths.h"

namespace strivo::jobs {

Outcome RefuseOwnFile(const Workspace& where, const std::filesystem::path& file) {
    if (where.InMemory() || where.settingsPath.empty()) {
        return {};
    }
    const std::filesystem::path store = where.StorePath();
    const std::filesystem::path own[] = {store, std::filesystem::path(store) += "-wal",
                                         std::filesystem::path(store) += "-shm",
                                         StoreLockPathFor(store), where.settingsPath};
    // Two files that exist are the same when their identities are; a name
    // yet to be made is the same as another's when their final paths are.
    const std::optional<FileIdentity> identity = IdentityOf(file);
    std::error_code error;
    const std::filesystem::path final = std::filesystem::weakly_canonical(file, error);
    for (const std::filesystem::path& path : own) {
        const std::optional<FileIdentity> its = IdentityOf(path);
        std::error_code ownError;
        const bool same =
            identity || its ? identity == its
                            : !error && final == std::filesystem::weakly_canonical(path, ownError);
        if (same) {
            return Problem(ProblemCode::ExportOntoOwnFile, {PathText(file)});
        }
    }
    return {};
}

Outcome ExportDocument(const Workspace& where, std::string_view content, const ExportTarget& to) {
    if (to.stream != nullptr) {
        *to.stream << content;
        to.stream->flush();
        return {};
    }
    if (Outcome refused = RefuseOwnFile(where, to.file); !refused) {
        return refused;
    }
    return strivo::ExportDocument(to.file, content);
}

Outcome ExportCsv(const Workspace& where, const RunList& runs, const ExportTarget& to) {
    if (to.stream != nullptr) {
        WriteCsv(*to.stream, runs);
        to.stream->flush();
        return {};
    }
    if (Outcome refused = RefuseOwnFile(where, to.file); !refused) {
        return refused;
    }
    return strivo::ExportCsv(to.file, runs);
}

Result<TcxExported> ExportTcx(const Workspace& where, const ExportTarget& to,
                              std::optional<std::span<const std::string>> runIds) {
    if (to.stream == nullptr) {
        if (Outcome refused = RefuseOwnFile(where, to.file); !refused) {
            return refused.problem();
        }
    }
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
    if (Outcome written = ExportDocument(where, tcx.text, to); !written) {
        return written.problem();
    }
    return TcxExported{tcx.activities, std::move(tcx.problems)};
}

}  // namespace strivo::jobs
