#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "model/Problem.h"
#include "model/Result.h"

namespace strivo {

// The formats a run can be read from.
enum class RunFileFormat { Gpx, Tcx, Fit, Csv };

// One run read from a file: what every format gives, in one shape.
struct ImportedRun {
    std::int64_t startUtcMs = 0;
    // Minutes east of UTC where the run started: from the file where it says
    // (FIT's local timestamp), else empty and the importer uses the machine's
    // time zone for that instant.
    std::optional<int> offsetMinutes;
    double distanceMetres = 0;
    std::int64_t durationMs = 0;
    std::optional<std::int64_t> calories;
};

// What a file holds besides activities, so that one without any can say
// what it is: a course (a route to follow: a TCX or FIT course, a GPX
// route), a workout (a plan of steps), or neither.
enum class RunFileContent { Activities, Course, Workout };

// What one file holds besides its runs: how many activities of other sports
// it skipped (counted, never dropped silently), and what it is. Read through
// a RunCollector, its runs too, and the activities that are no run.
struct RunFile {
    RunFileFormat format = RunFileFormat::Gpx;
    std::vector<ImportedRun> runs;
    std::vector<Problem> skipped;
    int otherSports = 0;
    RunFileContent content = RunFileContent::Activities;
    // What the reader passed over in a file it read all the same (bytes
    // after a complete FIT file).
    std::vector<Problem> warnings;
};

// Where a reader hands each run the moment it has read it, so that a file
// of millions is never held whole. Called on the reader's thread.
class RunSink {
public:
    virtual ~RunSink() = default;
    // A run read. A problem stops the reading: the file fails with it.
    virtual Outcome Take(const ImportedRun& run) = 0;
    // An activity read that is no run and cannot be (a GPX track without
    // times), and why.
    virtual void Skip(Problem why) = 0;
    // ReadRunFile: the file holds this format, and its reader starts.
    virtual void Recognised(RunFileFormat /*format*/) {}
    // FIT: the runs taken between these two calls are of one FIT file of the
    // several a file may chain, whose offset comes at its end; they come
    // without one.
    virtual void PartBegins() {}
    virtual void PartEnds(std::optional<int> /*offsetMinutes*/) {}
};

// Keeps what a reader hands it, for a file read whole (tests, small files).
class RunCollector : public RunSink {
public:
    Outcome Take(const ImportedRun& run) override {
        m_runs.push_back(run);
        return {};
    }
    void Skip(Problem why) override { m_skipped.push_back(std::move(why)); }
    void PartBegins() override { m_partFrom = m_runs.size(); }
    void PartEnds(std::optional<int> offsetMinutes) override {
        for (std::size_t i = m_partFrom; i < m_runs.size(); ++i) {
            m_runs[i].offsetMinutes = offsetMinutes;
        }
    }
    // The file read, with what was kept.
    Result<RunFile> Into(Result<RunFile> file) {
        if (file) {
            file->runs = std::move(m_runs);
            file->skipped = std::move(m_skipped);
        }
        return file;
    }

private:
    std::vector<ImportedRun> m_runs;
    std::vector<Problem> m_skipped;
    std::size_t m_partFrom = 0;
};

}  // namespace strivo
