#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <stop_token>
#include <thread>

#include "jobs/Workspace.h"
#include "model/Progress.h"
#include "model/RunTable.h"

namespace strivo::jobs {

// The jobs a window runs on its threads, each on the calling thread until it
// ends or is stopped; tests put fakes in their place.
struct JobLaunchers {
    // Fills the table (Download).
    std::function<void(std::stop_token, const Workspace&, ProgressSink&, RunTable&)> download;
    // Posts the table's rows as they are when it starts (Sync).
    std::function<void(std::stop_token, const Workspace&, ProgressSink&, const RunTable&)> sync;
    // Throws std::system_error when no thread starts.
    std::function<std::jthread(std::function<void(std::stop_token)>)> startThread;

    // The real jobs on threads of their own.
    static JobLaunchers Real();
};

// A window's worker threads: one download, one sync and one job of the list's
// menu at a time, all reporting to one sink.
class JobThreads {
public:
    // `ended` is called on a job's thread as the last thing it does.
    JobThreads(ProgressSink& sink, std::shared_ptr<RunTable> table, JobLaunchers launch,
               std::function<void()> ended);
    ~JobThreads() { StopAll(); }

    // Starts a download (or a sync) in `where`, after joining the previous job
    // of that kind: it has sent its last report, so its thread is ending.
    // Throws std::system_error when no thread starts.
    void StartDownload(Workspace where);
    void StartSync(Workspace where);
    // Starts a job of the list's menu (an import) on a third thread, the same way.
    void StartWork(std::function<void(std::stop_token, ProgressSink&)> job);

    // Asks both jobs to stop; they end soon after.
    void RequestStop();
    // True while a job has not ended.
    bool Running() const;
    // Joins the threads whose jobs have ended; true while another still runs.
    bool JoinEnded();
    // Cancels both jobs and waits for their threads.
    void StopAll();

private:
    struct Slot {
        std::jthread thread;
        std::atomic<bool> ended{false};
    };
    void Start(Slot& slot, std::function<void(std::stop_token)> job);

    ProgressSink& m_sink;
    std::shared_ptr<RunTable> m_table;
    JobLaunchers m_launch;
    std::function<void()> m_ended;
    Slot m_download;
    Slot m_sync;
    Slot m_work;
};

}  // namespace strivo::jobs
