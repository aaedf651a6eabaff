#include "jobs/FitExport.h"

#include <cstdio>
#include <set>
#include <system_error>
#include <unordered_set>

#include "files/FitWriter.h"
#include "io/AtomicFile.h"
#include "io/PathText.h"
#include "jobs/Export.h"
#include "jobs/StoredRuns.h"
#include "text/CodePage.h"

namespace strivo::jobs {
namespace {

// Like any new document: readable and writable by all, less the umask.
constexpr std::filesystem::perms kExportFileMode = std::filesystem::perms(0666);

// "2010-03-07-064838": the local start, as the file's name begins.
std::string LocalStartName(std::int64_t utcMs, int offsetMinutes) {
    const std::int64_t local = FloorDiv(utcMs, 1000) + std::int64_t{offsetMinutes} * 60;
    const std::int64_t days = FloorDiv(local, 86400);
    const std::int64_t time = local - days * 86400;
    const CivilDate date = CivilFromDays(days);
    char name[64];
    std::snprintf(name, sizeof name, "%04d-%02d-%02d-%02d%02d%02d", date.year, date.month, date.day,
                  static_cast<int>(time / 3600), static_cast<int>(time / 60 % 60),
                  static_cast<int>(time % 60));
    return name;
}

// The run's values as FIT takes them; a value that does not parse goes as
// zero and is named.
FitActivity ActivityOf(const StoredRun& run, const RunFigures& figures,
                       std::vector<RunProblem>& problems) {
    FitActivity activity{*figures.startUtcMs, figures.startOffsetMinutes};
    const auto zeroed = [&](const char* field, const std::string& text) {
        problems.push_back({run.runId, Problem(ProblemCode::ValueUnparsedWrittenAsZero,
                                               {field, Cp936ToUtf8(text)})});
    };
    if (figures.distanceMm) {
        activity.distanceMetres = static_cast<double>(*figures.distanceMm) / 1000.0;
    } else {
        zeroed(kFieldDistance, run.distance);
    }
    if (figures.durationMs) {
        activity.durationMs = *figures.durationMs;
    } else {
        zeroed(kFieldDuration, run.duration);
    }
    activity.calories = figures.calories;
    return activity;
}

}  // namespace

Result<FitExported> ExportFit(const Workspace& where, const std::filesystem::path& folder,
                              ProgressSink& sink,
                              std::optional<std::span<const std::string>> runIds) {
    // A folder standing where the store or the settings file is would hide it.
    if (Outcome refused = RefuseOwnFile(where, folder); !refused) {
        return refused.problem();
    }
    Result<StoredRunList> read = ReadStoredRuns(where, /*withPosts=*/false, /*ordered=*/true);
    if (!read) {
        return read.problem();
    }
    std::vector<StoredRun>& runs = read->runs;
    if (runIds) {
        const std::unordered_set<std::string_view> chosen(runIds->begin(), runIds->end());
        std::erase_if(runs, [&](const StoredRun& run) { return !chosen.contains(run.runId); });
    }
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    if (error || !std::filesystem::is_directory(folder, error)) {
        return Problem(ProblemCode::FileCannotCreate, {PathText(folder)}, error.message());
    }
    FitExported exported;
    std::set<std::string> taken;
    const int total = static_cast<int>(runs.size());
    int processed = 0;
    for (const StoredRun& run : runs) {
        ++processed;
        const RunFigures figures = FiguresOf(run);
        if (!figures.startUtcMs) {
            exported.problems.push_back({run.runId, Problem(ProblemCode::StartUnparsedLeftOut,
                                                            {Cp936ToUtf8(run.startTime)})});
            continue;
        }
        const std::string stem = LocalStartName(*figures.startUtcMs, figures.startOffsetMinutes);
        std::string name = stem + ".fit";
        for (int n = 2; !taken.insert(name).second; ++n) {
            name = stem + "-" + std::to_string(n) + ".fit";
        }
        const std::filesystem::path path = folder / name;
        const FitActivity activity = ActivityOf(run, figures, exported.problems);
        if (Outcome written =
                WriteFileAtomically(path, WriteFitActivity(activity), kExportFileMode);
            !written) {
            return written.problem();
        }
        ++exported.files;
        sink.Post({.step = Step::FileExported,
                   .total = total,
                   .processed = processed,
                   .file = PathText(path)});
    }
    return exported;
}

}  // namespace strivo::jobs
