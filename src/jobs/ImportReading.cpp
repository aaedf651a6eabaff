#include "jobs/ImportReading.h"

#include <algorithm>

#include "files/RunFileReader.h"

namespace strivo::jobs {

// Gathers a reader's runs into batches and hands each over when full.
// Called on the reader's thread.
class ReadAhead::Sink : public RunSink {
public:
    Sink(ReadAhead& owner, std::size_t index) : m_owner(owner), m_index(index) {}

    Outcome Take(const ImportedRun& run) override {
        m_batch.runs.push_back(run);
        return Full() ? HandBatch() : Outcome();
    }
    void Skip(Problem why) override {
        m_batch.skipped.push_back(std::move(why));
        if (Full()) {
            // A failure to hand it over ends the reading at the next run, or
            // at the file's end: the file is passed over either way.
            m_handed = m_handed && HandBatch().ok();
        }
    }
    void Recognised(RunFileFormat format) override { m_batch.format = m_format = format; }
    void PartBegins() override {
        m_partOpen = true;
        m_partFrom = m_batch.runs.size();
        m_partSpans = false;
    }
    void PartEnds(std::optional<int> offsetMinutes) override {
        for (std::size_t i = m_partFrom; i < m_batch.runs.size(); ++i) {
            m_batch.runs[i].offsetMinutes = offsetMinutes;
        }
        if (m_partSpans) {
            m_batch.settled = offsetMinutes;
        }
        m_partOpen = false;
    }

    // The last batch, then the file's end.
    void End(Result<RunFile> file) {
        if (m_handed && file) {
            m_handed = HandBatch().ok();
        }
        m_owner.Hand(m_index, std::move(file));
    }

private:
    bool Full() const { return m_batch.runs.size() + m_batch.skipped.size() >= RunBatch::kSize; }

    Outcome HandBatch() {
        if (m_partOpen) {
            m_batch.provisionalFrom = m_partFrom;
            m_partFrom = 0;
            m_partSpans = true;
        }
        RunBatch batch = std::move(m_batch);
        m_batch = RunBatch{.format = m_format};
        if (!m_owner.Hand(m_index, std::move(batch))) {
            return Problem(ProblemCode::SyncStopped);
        }
        return {};
    }

    ReadAhead& m_owner;
    const std::size_t m_index;
    RunFileFormat m_format = RunFileFormat::Gpx;
    RunBatch m_batch;
    bool m_handed = true;        // every batch so far was taken over
    bool m_partOpen = false;     // a FIT file's runs are being read: their offset comes at its end
    std::size_t m_partFrom = 0;  // where its runs begin in the batch
    bool m_partSpans = false;    // it began in a batch handed over before
};

ReadAhead::ReadAhead(const std::vector<RunFilePlace>& files, std::stop_token stop)
    : m_files(files), m_stop(std::move(stop)) {
    const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
    const std::size_t threads = std::min<std::size_t>({cores, kMostThreads, files.size()});
    for (std::size_t i = 0; i < threads; ++i) {
        m_threads.emplace_back([this] { Work(); });
    }
}

ReadAhead::~ReadAhead() {
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_room.notify_all();
    for (std::thread& thread : m_threads) {
        thread.join();
    }
}

ReadPiece ReadAhead::Next(std::size_t index) {
    std::unique_lock lock(m_mutex);
    m_read.wait(lock, [&] {
        const auto found = m_pieces.find(index);
        return found != m_pieces.end() && !found->second.empty();
    });
    std::deque<ReadPiece>& pieces = m_pieces.at(index);
    ReadPiece piece = std::move(pieces.front());
    pieces.pop_front();
    if (std::holds_alternative<Result<RunFile>>(piece)) {
        m_pieces.erase(index);
        m_taken = index + 1;
    }
    lock.unlock();
    m_room.notify_all();
    return piece;
}

bool ReadAhead::Hand(std::size_t index, ReadPiece piece) {
    std::unique_lock lock(m_mutex);
    const bool batch = std::holds_alternative<RunBatch>(piece);
    // A file's end never waits: its reader is done with it.
    m_room.wait(lock,
                [&] { return m_stopping || !batch || m_pieces[index].size() < kWaitingBatches; });
    if (m_stopping) {
        return false;
    }
    m_pieces[index].push_back(std::move(piece));
    lock.unlock();
    m_read.notify_all();
    return true;
}

void ReadAhead::Work() {
    for (;;) {
        std::unique_lock lock(m_mutex);
        m_room.wait(lock, [&] {
            return m_stopping || m_next >= m_files.size() || m_next < m_taken + kAhead;
        });
        if (m_stopping || m_next >= m_files.size()) {
            return;
        }
        const std::size_t index = m_next++;
        m_pieces[index];  // read from now on: its pieces wait here
        lock.unlock();
        Sink sink(*this, index);
        sink.End(ReadRunFile(m_files[index], sink, m_stop));
    }
}

}  // namespace strivo::jobs
