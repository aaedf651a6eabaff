#include "jobs/Import.h"

#include <algorithm>
#include <chrono>
#include <cmath>

#include "files/RunFileWalk.h"
#include "history/PlausibleRun.h"
#include "history/RunFigures.h"
#include "io/LocalTime.h"
#include "io/PathText.h"
#include "io/TimeText.h"
#include "jobs/ImportReading.h"
#include "jobs/StoreAccess.h"
#include "runservice/RunList.h"
#include "store/SyncLock.h"
#include "text/CodePage.h"

namespace strivo::jobs {
namespace {

constexpr std::size_t kNamedPerFile = ImportedFile::kNamedPerFile;

RunSource SourceOf(RunFileFormat format) {
    switch (format) {
        case RunFileFormat::Gpx:
            return RunSource::Gpx;
        case RunFileFormat::Tcx:
            return RunSource::Tcx;
        case RunFileFormat::Fit:
            return RunSource::Fit;
        case RunFileFormat::Csv:
            break;
    }
    return RunSource::Csv;
}

// A run of a file, from its whole second on. A run without an offset of its
// own (or whose FIT file gives it later) takes the machine's.
Run RunOf(const ImportedRun& read, RunSource source) {
    const std::int64_t second = FloorDiv(read.startUtcMs, 1000);
    const int offsetMinutes = read.offsetMinutes ? *read.offsetMinutes : LocalOffsetMinutes(second);
    return Run(ImportedRunKey(second, read.distanceMetres), source,
               {second * 1000, offsetMinutes, read.distanceMetres, read.durationMs, read.calories});
}

// The start a runner is told of: the wall time at the run's offset.
std::string StartOf(const Run& run) {
    const Run::Values values = run.values();
    return WallTimeText(values.startUtcMs.value_or(0), values.offsetMinutes.value_or(0));
}

// One file's runs going into the store batch by batch, and what became of
// them: counted into the tally only when the file is read to its end.
class FileImport {
public:
    FileImport(RunStore& store, const Workspace& where, const SiteKey* keptOffFor, std::string name,
               StoreTime now)
        : m_store(store),
          m_where(where),
          m_keptOffFor(keptOffFor),
          m_name(std::move(name)),
          m_now(now) {
        m_result.path = m_name;
    }

    // Stores a batch; a problem only when the store failed.
    Outcome Store(RunBatch batch);
    // The file's end: its runs kept (or, when it failed, none), and what
    // became of it in `tally`. A problem only when the store failed.
    Outcome End(Result<RunFile> file, ImportTally& tally);
    // The runs read so far.
    int read() const { return m_result.added + m_result.duplicates + m_result.notRuns; }
    const ImportedFile& result() const { return m_result; }

private:
    // A run named by its start, whose offset comes later when `provisional`.
    struct Named {
        std::vector<Problem>* list;
        std::size_t index;
        std::int64_t second;
    };
    void Name(std::vector<Problem>& list, Problem problem, const Run& run, bool provisional);
    Outcome Settle(std::optional<int> offsetMinutes);

    RunStore& m_store;
    const Workspace& m_where;
    const SiteKey* m_keptOffFor;
    const std::string m_name;
    const StoreTime m_now;
    std::unique_ptr<FileRunsWriter> m_writer;
    ImportedFile m_result;
    std::vector<std::string> m_keptOff;  // the first keys added excluded
    std::vector<Named> m_provisional;
};

void FileImport::Name(std::vector<Problem>& list, Problem problem, const Run& run,
                      bool provisional) {
    if (list.size() >= kNamedPerFile) {
        return;
    }
    if (provisional) {
        m_provisional.push_back({&list, list.size(), run.values().startUtcMs.value_or(0) / 1000});
    }
    list.push_back(std::move(problem));
}

Outcome FileImport::Settle(std::optional<int> offsetMinutes) {
    if (m_writer) {
        if (Outcome settled = m_writer->SettleProvisional(offsetMinutes); !settled) {
            return settled;
        }
    }
    for (const Named& named : m_provisional) {
        if (offsetMinutes) {
            (*named.list)[named.index].values.at(1) =
                WallTimeText(named.second * 1000, *offsetMinutes);
        }
    }
    m_provisional.clear();
    return {};
}

Outcome FileImport::Store(RunBatch batch) {
    if (batch.settled) {
        if (Outcome settled = Settle(*batch.settled); !settled) {
            return settled;
        }
    }
    const std::string& name = m_result.path;
    for (Problem& why : batch.skipped) {
        ++m_result.notRuns;
        if (m_result.notRun.size() < kNamedPerFile) {
            m_result.notRun.push_back(
                Problem(ProblemCode::ImportTrackSkipped, {name}).Because(std::move(why)));
        }
    }
    // The plausible runs go to the store; each other one is named with why.
    const std::int64_t nowMs =
        std::chrono::duration_cast<std::chrono::milliseconds>(m_now.time_since_epoch()).count();
    std::vector<Run> runs;
    std::vector<bool> provisional;
    std::size_t provisionalFrom = SIZE_MAX;
    for (std::size_t i = 0; i < batch.runs.size(); ++i) {
        const ImportedRun& read = batch.runs[i];
        Run run = RunOf(read, SourceOf(batch.format));
        const bool awaited = i >= batch.provisionalFrom;
        if (std::optional<Problem> why = WhyNotARun(
                {read.startUtcMs, read.durationMs, read.distanceMetres, read.calories}, nowMs)) {
            ++m_result.notRuns;
            Name(m_result.notRun,
                 Problem(ProblemCode::ImportNotARun, {name, StartOf(run)}).Because(std::move(*why)),
                 run, awaited);
            continue;
        }
        if (awaited && provisionalFrom == SIZE_MAX) {
            provisionalFrom = runs.size();
        }
        runs.push_back(std::move(run));
        provisional.push_back(awaited);
    }
    if (runs.empty()) {
        return {};
    }
    if (!m_writer) {
        Result<std::unique_ptr<FileRunsWriter>> begun =
            m_store.BeginFileRuns(ServiceKeyOf(m_where.settings), m_where.settings.serviceUser,
                                  m_keptOffFor, RunSourceName(runs[0].source()), name, m_now);
        if (!begun) {
            return begun.problem();
        }
        m_writer = std::move(*begun);
    }
    Result<FileRunsStored> stored = m_writer->Add(runs, provisionalFrom);
    if (!stored) {
        return stored.problem();
    }
    m_result.added += stored->added;
    m_result.duplicates += static_cast<int>(stored->duplicates.size());
    std::vector<bool> duplicated(runs.size());
    for (const FileRunsStored::Duplicate& duplicate : stored->duplicates) {
        const Run& run = runs[duplicate.index];
        duplicated[duplicate.index] = true;
        const std::string start = StartOf(run);
        const std::string storedAs = Cp936ToUtf8(duplicate.runId);
        Name(m_result.duplicated, Problem(ProblemCode::ImportDuplicateRun, {name, start, storedAs}),
             run, provisional[duplicate.index]);
        if (duplicate.caloriesFilled) {
            ++m_result.caloriesFilled;
            Name(m_result.filled,
                 Problem(ProblemCode::ImportCaloriesFilled,
                         {name, start, storedAs, std::to_string(run.values().kcal.value_or(0))}),
                 run, provisional[duplicate.index]);
        }
    }
    for (std::size_t i = 0; i < runs.size() && m_keptOffFor != nullptr; ++i) {
        if (!duplicated[i] && m_keptOff.size() < ImportTally::kNamed) {
            m_keptOff.emplace_back(runs[i].id());
        }
    }
    return {};
}

Outcome FileImport::End(Result<RunFile> file, ImportTally& tally) {
    if (!file) {
        // Whatever was read of it counts for nothing: the writer rolls back.
        m_writer.reset();
        ++tally.unreadable;
        tally.problems.push_back(file.problem());
        tally.results.push_back({.path = m_result.path, .unreadable = file.problem()});
        return {};
    }
    if (m_writer) {
        if (Outcome finished = m_writer->Finish(); !finished) {
            return finished;
        }
    }
    m_result.otherSports = file->otherSports;
    for (Problem& warning : file->warnings) {
        m_result.warnings.push_back(
            Problem(ProblemCode::ImportFileWarning, {m_name}).Because(std::move(warning)));
        tally.warnings.push_back(m_result.warnings.back());
    }
    if (read() == 0 && file->otherSports == 0) {
        const ProblemCode holds =
            file->content == RunFileContent::Course    ? ProblemCode::ImportCourse
            : file->content == RunFileContent::Workout ? ProblemCode::ImportWorkout
                                                       : ProblemCode::ImportNoActivity;
        m_result.withoutActivity = Problem(holds, {m_result.path});
        tally.withoutActivity.push_back(*m_result.withoutActivity);
    }
    tally.imported += m_result.added;
    tally.duplicates += m_result.duplicates;
    tally.otherSports += m_result.otherSports;
    tally.notRuns += m_result.notRuns;
    tally.caloriesFilled += m_result.caloriesFilled;
    if (m_keptOffFor != nullptr) {
        tally.keptOffCount += m_result.added;
        for (std::string& key : m_keptOff) {
            if (tally.keptOff.size() < ImportTally::kNamed) {
                tally.keptOff.push_back(std::move(key));
            }
        }
    }
    tally.results.push_back(std::move(m_result));
    return {};
}

Result<ImportTally> ImportPaths(const Workspace& where, const ImportRequest& request,
                                ProgressSink& sink, std::stop_token stop) {
    Result<std::unique_ptr<RunStore>> opened = OpenStore(where);
    if (!opened) {
        return opened.problem();
    }
    SyncLock lock;
    if (Outcome locked = lock.Acquire(where.StorePath(), where.OlderRecords()); !locked) {
        return locked.problem();
    }
    RunFilePaths found = FindRunFiles(request.paths);
    ImportTally tally;
    tally.unreadable = static_cast<int>(found.problems.size());
    for (const Problem& problem : found.problems) {
        tally.results.push_back({.path = problem.Value(0), .unreadable = problem});
    }
    tally.problems = std::move(found.problems);
    tally.passedOver = found.passedOver;
    const SiteKey site = SiteKeyOf(where.settings);
    const StoreTime now = std::chrono::system_clock::now();
    const int total = static_cast<int>(found.files.size());
    ReadAhead reading(found.files, stop);
    for (std::size_t index = 0; index < found.files.size() && !tally.stopped; ++index) {
        const std::string name = found.files[index].Name();
        FileImport file(**opened, where, request.post ? nullptr : &site, name, now);
        ProgressReport progress{
            .step = Step::FileImported, .total = total, .processed = tally.files, .file = name};
        for (;;) {
            ReadPiece piece = reading.Next(index);
            // A stop leaves the file in hand as it was (its writer rolls
            // back), and not counted: its reading was cut short.
            if (stop.stop_requested()) {
                tally.stopped = true;
                break;
            }
            if (RunBatch* batch = std::get_if<RunBatch>(&piece)) {
                const bool full = batch->runs.size() + batch->skipped.size() >= RunBatch::kSize;
                if (Outcome stored = file.Store(std::move(*batch)); !stored) {
                    return stored.problem();
                }
                if (full) {
                    progress.step = Step::ImportReading;
                    progress.imported = tally.counts();
                    progress.imported.imported += file.result().added;
                    progress.imported.duplicates += file.result().duplicates;
                    progress.imported.notRuns += file.result().notRuns;
                    sink.Post(progress);
                }
                continue;
            }
            if (Outcome ended = file.End(std::get<Result<RunFile>>(std::move(piece)), tally);
                !ended) {
                return ended.problem();
            }
            ++tally.files;
            progress.step = Step::FileImported;
            progress.processed = tally.files;
            sink.Post(progress);
            break;
        }
    }
    return tally;
}

// The first of each kind named in the files' results.
void NameFirst(const std::vector<ImportedFile>& results, std::vector<Problem> ImportedFile::*named,
               std::vector<Problem>& into) {
    std::size_t count = 0;
    for (const ImportedFile& result : results) {
        for (const Problem& problem : result.*named) {
            if (count++ < ImportTally::kNamed) {
                into.push_back(problem);
            }
        }
    }
}

}  // namespace

ImportCounts ImportTally::counts() const {
    return {files,        imported,    duplicates,
            unreadable,   otherSports, static_cast<int>(withoutActivity.size()),
            keptOffCount, notRuns,     caloriesFilled};
}

Result<ImportTally> Import(const Workspace& where, const ImportRequest& request, ProgressSink& sink,
                           std::stop_token stop) {
    Result<ImportTally> tally = ImportPaths(where, request, sink, std::move(stop));
    ProgressReport done{.step = Step::ImportDone};
    if (!tally) {
        done.Fail(tally.problem());
    } else {
        done.imported = tally->counts();
        for (const std::vector<Problem>* named :
             {&tally->problems, &tally->withoutActivity, &tally->warnings}) {
            const std::size_t count = std::min(named->size(), ImportTally::kNamed);
            done.warnings.insert(done.warnings.end(), named->begin(),
                                 named->begin() + static_cast<std::ptrdiff_t>(count));
        }
        NameFirst(tally->results, &ImportedFile::notRun, done.warnings);
        NameFirst(tally->results, &ImportedFile::filled, done.warnings);
        done.importedFiles = tally->results;
    }
    sink.Post(std::move(done));
    return tally;
}

}  // namespace strivo::jobs
