#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <map>
#include <mutex>
#include <optional>
#include <stop_token>
#include <thread>
#include <variant>
#include <vector>

#include "files/ImportedRun.h"
#include "files/RunFileWalk.h"
#include "model/Result.h"

// The import's readers: files read on threads of their own a few ahead of
// the one being stored, each handing its runs over in batches as it reads
// them, so that what a file holds is never held whole.
namespace strivo::jobs {

// The next runs of a file, in the order read.
struct RunBatch {
    static constexpr std::size_t kSize = 4096;

    RunFileFormat format = RunFileFormat::Gpx;
    std::vector<ImportedRun> runs;
    // The runs from here on are of a FIT file (of the several one file may
    // chain) not read to its end yet: their offset comes later, as `settled`.
    std::size_t provisionalFrom = SIZE_MAX;
    // The FIT file begun in an earlier batch has ended: its runs handed over
    // before take this offset (none: they keep the machine's). Comes before
    // the runs of this batch.
    std::optional<std::optional<int>> settled;
    // Activities that cannot be a run (a GPX track without times), and why.
    std::vector<Problem> skipped;
};

// A file's batches, then its end: what it held besides its runs, or why it
// could not be read (then the batches before count for nothing).
using ReadPiece = std::variant<RunBatch, Result<RunFile>>;

class ReadAhead {
public:
    // `stop` ends the reads in hand at once.
    ReadAhead(const std::vector<RunFilePlace>& files, std::stop_token stop);
    ~ReadAhead();
    ReadAhead(const ReadAhead&) = delete;
    ReadAhead& operator=(const ReadAhead&) = delete;

    // The next piece of the file at `index`: the files are taken in order,
    // each to its end.
    ReadPiece Next(std::size_t index);

private:
    // Enough to keep every core reading while the store takes its turn.
    static constexpr std::size_t kMostThreads = 4;
    static constexpr std::size_t kAhead = 16;
    // Batches of one file waiting: its reader waits while there are more.
    static constexpr std::size_t kWaitingBatches = 2;

    class Sink;
    void Work();
    // From a reader: false when the import ended and the reading should stop.
    bool Hand(std::size_t index, ReadPiece piece);

    const std::vector<RunFilePlace>& m_files;
    const std::stop_token m_stop;
    std::mutex m_mutex;
    std::condition_variable m_read, m_room;
    std::map<std::size_t, std::deque<ReadPiece>> m_pieces;  // by file, those not taken yet
    std::size_t m_next = 0;                                 // the next file a thread takes up
    std::size_t m_taken = 0;                                // the files taken to their end so far
    bool m_stopping = false;
    std::vector<std::thread> m_threads;
};

}  // namespace strivo::jobs
