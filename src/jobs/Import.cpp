#include "jobs/Import.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <map>
#include <mutex>
#include <thread>

#include "files/RunFileReader.h"
#include "files/RunFileWalk.h"
#include "history/RunFigures.h"
#include "io/LocalTime.h"
#include "io/PathText.h"
#include "jobs/StoreAccess.h"
#include "runservice/RunList.h"
#include "store/SyncLock.h"
#include "text/CodePage.h"

namespace strivo::jobs {
namespace {

const char* FormatName(RunFileFormat format) {
    switch (format) {
        case RunFileFormat::Gpx:
            return "gpx";
        case RunFileFormat::Tcx:
            return "tcx";
        case RunFileFormat::Fit:
            return "fit";
        case RunFileFormat::Csv:
            break;
    }
    return "csv";
}

// A run of a file as the run service would have sent it: the local start
// with its offset, kilometres, milliseconds, calories.
FileRun FileRunOf(const ImportedRun& run) {
    FileRun made;
    const std::int64_t second = FloorDiv(run.startUtcMs, 1000);
    made.startUtcMs = second * 1000;
    made.offsetMinutes = run.offsetMinutes ? *run.offsetMinutes : LocalOffsetMinutes(second);
    const std::int64_t local = second + std::int64_t{made.offsetMinutes} * 60;
    const CivilDate date = CivilFromDays(FloorDiv(local, 86400));
    const std::int64_t time = local - FloorDiv(local, 86400) * 86400;
    const int offset = std::abs(made.offsetMinutes);
    char text[96];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d%c%02d:%02d", date.year,
                  date.month, date.day, static_cast<int>(time / 3600),
                  static_cast<int>(time / 60 % 60), static_cast<int>(time % 60),
                  made.offsetMinutes < 0 ? '-' : '+', offset / 60, offset % 60);
    made.startText = text;
    std::snprintf(text, sizeof text, "%.4f", run.distanceMetres / 1000.0);
    made.distanceText = text;
    made.distanceMetres = run.distanceMetres;
    made.durationMs = run.durationMs;
    made.durationText = std::to_string(run.durationMs);
    made.calories = run.calories;
    made.caloriesText = run.calories ? std::to_string(*run.calories) : std::string();
    made.key = ImportedRunKey(second, run.distanceMetres);
    return made;
}

// The files read on threads of their own a few ahead of the one being
// stored, and handed out in order: reading (inflating, parsing) is nearly
// all of an import, and a machine's cores share it.
class ReadAhead {
public:
    ReadAhead(const std::vector<RunFilePlace>& files, std::stop_token stop)
        : m_files(files), m_stop(std::move(stop)) {
        const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
        const std::size_t threads = std::min<std::size_t>({cores, kMostThreads, files.size()});
        for (std::size_t i = 0; i < threads; ++i) {
            m_threads.emplace_back([this] { Work(); });
        }
    }
    ~ReadAhead() {
        {
            std::lock_guard lock(m_mutex);
            m_stopping = true;
        }
        m_room.notify_all();
        for (std::thread& thread : m_threads) {
            thread.join();
        }
    }
    ReadAhead(const ReadAhead&) = delete;
    ReadAhead& operator=(const ReadAhead&) = delete;

    // The runs of the file at `index`, the next in order after the last taken.
    Result<RunFile> Take(std::size_t index) {
        std::unique_lock lock(m_mutex);
        m_read.wait(lock, [&] { return m_done.contains(index); });
        Result<RunFile> read = std::move(m_done.at(index));
        m_done.erase(index);
        m_taken = index + 1;
        lock.unlock();
        m_room.notify_all();
        return read;
    }

private:
    // Enough to keep every core reading while the store takes its turn; a
    // file's runs are small, whatever the file's size.
    static constexpr std::size_t kMostThreads = 4;
    static constexpr std::size_t kAhead = 16;

    void Work() {
        for (;;) {
            std::unique_lock lock(m_mutex);
            m_room.wait(lock, [&] {
                return m_stopping || m_next >= m_files.size() || m_next < m_taken + kAhead;
            });
            if (m_stopping || m_next >= m_files.size()) {
                return;
            }
            const std::size_t index = m_next++;
            lock.unlock();
            Result<RunFile> read = ReadRunFile(m_files[index], m_stop);
            lock.lock();
            m_done.emplace(index, std::move(read));
            lock.unlock();
            m_read.notify_all();
        }
    }

    const std::vector<RunFilePlace>& m_files;
    const std::stop_token m_stop;  // ends the reads in hand at once
    std::mutex m_mutex;
    std::condition_variable m_read, m_room;
    std::map<std::size_t, Result<RunFile>> m_done;
    std::size_t m_next = 0;   // the next file a thread takes up
    std::size_t m_taken = 0;  // the files handed out so far
    bool m_stopping = false;
    std::vector<std::thread> m_threads;
};

// Stores the runs read from one file; a problem only when the store failed.
Outcome ImportFile(RunStore& store, const Workspace& where, const SiteKey* keptOffFor,
                   const std::string& name, Result<RunFile> read, ImportTally& tally) {
    if (!read) {
        ++tally.unreadable;
        tally.problems.push_back(read.problem());
        return {};
    }
    tally.otherSports += read->otherSports;
    for (Problem& warning : read->warnings) {
        tally.warnings.push_back(
            Problem(ProblemCode::ImportFileWarning, {name}).Because(std::move(warning)));
    }
    if (read->runs.empty() && read->otherSports == 0) {
        const ProblemCode holds =
            read->content == RunFileContent::Course    ? ProblemCode::ImportCourse
            : read->content == RunFileContent::Workout ? ProblemCode::ImportWorkout
                                                       : ProblemCode::ImportNoActivity;
        tally.withoutActivity.push_back(Problem(holds, {name}));
        return {};
    }
    std::vector<FileRun> runs;
    runs.reserve(read->runs.size());
    for (const ImportedRun& run : read->runs) {
        runs.push_back(FileRunOf(run));
    }
    Result<FileRunsStored> stored =
        store.StoreFileRuns(ServiceKeyOf(where.settings), where.settings.serviceUser, keptOffFor,
                            FormatName(read->format), name, runs, std::chrono::system_clock::now());
    if (!stored) {
        return stored.problem();
    }
    tally.imported += stored->added;
    tally.duplicates += static_cast<int>(stored->duplicates.size());
    std::vector<bool> duplicated(runs.size());
    for (const FileRunsStored::Duplicate& duplicate : stored->duplicates) {
        duplicated[duplicate.index] = true;
        tally.duplicated.push_back(Problem(
            ProblemCode::ImportDuplicateRun,
            {name, TrimTimestamp(runs[duplicate.index].startText), Cp936ToUtf8(duplicate.runId)}));
    }
    for (std::size_t i = 0; i < runs.size() && keptOffFor != nullptr; ++i) {
        if (!duplicated[i]) {
            tally.keptOff.push_back(runs[i].key);
        }
    }
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
    tally.problems = std::move(found.problems);
    tally.passedOver = found.passedOver;
    const SiteKey site = SiteKeyOf(where.settings);
    const int total = static_cast<int>(found.files.size());
    ReadAhead reading(found.files, stop);
    for (std::size_t index = 0; index < found.files.size(); ++index) {
        const std::string name = found.files[index].Name();
        Result<RunFile> read = reading.Take(index);
        // A file whose reading a stop cut short is not counted.
        if (stop.stop_requested()) {
            tally.stopped = true;
            break;
        }
        if (Outcome kept = ImportFile(**opened, where, request.post ? nullptr : &site, name,
                                      std::move(read), tally);
            !kept) {
            return kept.problem();
        }
        ++tally.files;
        sink.Post(
            {.step = Step::FileImported, .total = total, .processed = tally.files, .file = name});
    }
    return tally;
}

}  // namespace

ImportCounts ImportTally::counts() const {
    return {files,
            imported,
            duplicates,
            unreadable,
            otherSports,
            static_cast<int>(withoutActivity.size()),
            static_cast<int>(keptOff.size())};
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
            const std::size_t count = std::min<std::size_t>(named->size(), 20);
            done.warnings.insert(done.warnings.end(), named->begin(),
                                 named->begin() + static_cast<std::ptrdiff_t>(count));
        }
    }
    sink.Post(std::move(done));
    return tally;
}

}  // namespace strivo::jobs
