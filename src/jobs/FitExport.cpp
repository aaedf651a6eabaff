#include "jobs/FitExport.h"

#include <set>
#include <system_error>
#include <unordered_set>

#include "files/FitWriter.h"
#include "io/AtomicFile.h"
#include "io/PathText.h"
#include "io/RunText.h"
#include "io/TimeText.h"
#include "jobs/Export.h"
#include "jobs/StoredRuns.h"
#include "text/CodePage.h"

namespace strivo::jobs {
namespace {

// Like any new document: readable and writable by all, less the umask.
constexpr std::filesystem::perms kExportFileMode = std::filesystem::perms(0666);

// The run as FIT holds it, or why it is left out: a value that does not
// parse, or one FIT cannot hold, is never written bent. Calories FIT cannot
// hold are left unset and named in `problems`.
Result<FitActivity> ActivityOf(const StoredRun& run, const RunFigures& figures,
                               std::vector<RunProblem>& problems) {
    const StoredTexts texts = TextsOf(run);
    if (!figures.startUtcMs) {
        return Problem(ProblemCode::StartUnparsedLeftOut, {Cp936ToUtf8(texts.startTime)});
    }
    if (!figures.distanceMm) {
        return Problem(ProblemCode::ValueUnparsedLeftOut,
                       {kFieldDistance, Cp936ToUtf8(texts.distance)});
    }
    if (!figures.durationMs) {
        return Problem(ProblemCode::ValueUnparsedLeftOut,
                       {kFieldDuration, Cp936ToUtf8(texts.duration)});
    }
    FitActivity activity{*figures.startUtcMs, figures.startOffsetMinutes, *figures.durationMs,
                         static_cast<double>(*figures.distanceMm) / 1000.0, figures.calories};
    switch (MisfitOf(activity)) {
        case FitMisfit::StartTooEarly:
            return Problem(ProblemCode::FitStartTooEarlyLeftOut, {Cp936ToUtf8(texts.startTime)});
        case FitMisfit::EndTooLate:
            return Problem(ProblemCode::FitEndTooLateLeftOut, {Cp936ToUtf8(texts.startTime)});
        case FitMisfit::TooLong:
            return Problem(ProblemCode::FitDurationTooLongLeftOut, {Cp936ToUtf8(texts.duration)});
        case FitMisfit::TooFar:
            return Problem(ProblemCode::FitDistanceTooFarLeftOut, {Cp936ToUtf8(texts.distance)});
        case FitMisfit::None:
            break;
    }
    if (!texts.calories.empty() && (!activity.calories || *activity.calories > kFitMostCalories)) {
        problems.push_back(
            {run.runId, Problem(ProblemCode::FitCaloriesLeftUnset, {Cp936ToUtf8(texts.calories)})});
        activity.calories.reset();
    }
    return activity;
}

// "2010-03-07-064838.fit", or "-2" and on for a name this export took before.
std::string NameOf(const FitActivity& activity, std::set<std::string>& taken) {
    const std::string stem = FileNameTime(activity.startUtcMs, activity.offsetMinutes);
    std::string name = stem + ".fit";
    for (int n = 2; !taken.insert(name).second; ++n) {
        name = stem + "-" + std::to_string(n) + ".fit";
    }
    return name;
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
        const Result<FitActivity> activity = ActivityOf(run, FiguresOf(run), exported.problems);
        if (!activity) {
            exported.problems.push_back({run.runId, activity.problem()});
            ++exported.leftOut;
            continue;
        }
        const std::filesystem::path path = folder / NameOf(*activity, taken);
        const std::string bytes = *WriteFitActivity(*activity);  // MisfitOf let it through
        // A name someone else holds with a link, a folder or a pipe is theirs.
        if (Outcome written = WriteFileInFolder(path, bytes, kExportFileMode); !written) {
            if (written.problem().code != ProblemCode::FileNotRegular) {
                return written.problem();
            }
            exported.problems.push_back(
                {run.runId, Problem(ProblemCode::ExportEntryNotRegular, written.problem().values)});
            ++exported.leftOut;
            continue;
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
