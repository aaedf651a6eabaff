#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <stop_token>
#include <thread>

#include "net/WebSession.h"
#include "model/RunTable.h"
#include "runservice/RunServiceWorker.h"
#include "settings/Settings.h"
#include "site/SiteWorker.h"
#include "ui/DialogState.h"

namespace strivo {

// The jobs a window runs, each on the calling thread until it ends or is
// stopped; tests put fakes in their place.
struct JobLaunchers {
    std::function<void(std::stop_token, const Settings&, WebSessionConfig, ProgressSink&, RunTable&,
                       DownloadOptions)>
        download = RunDownload;
    std::function<void(std::stop_token, const Settings&, WebSessionConfig, ProgressSink&,
                       const RunTable&, SyncOptions)>
        sync = RunSync;
    // Throws std::system_error when no thread starts.
    std::function<std::jthread(std::function<void(std::stop_token)>)> startThread =
        [](std::function<void(std::stop_token)> body) { return std::jthread(std::move(body)); };
};

// A window's two worker threads: one download and one sync at a time, both
// reporting to one sink and working on one table.
class JobThreads {
public:
    // `ended` is called on a job's thread as the last thing it does.
    JobThreads(ProgressSink& sink, std::shared_ptr<RunTable> table, JobLaunchers launch,
               std::function<void()> ended);
    ~JobThreads() { StopAll(); }

    // Starts `kind`'s job with `settings`, after joining the previous job of
    // that kind: it has sent its last report, so its thread is ending. The
    // download fills the table; the sync posts its rows, each post kept in `store`.
    // Throws std::system_error when no thread starts.
    void Start(JobKind kind, const Settings& settings, const WebSessionConfig& sessionConfig,
               std::shared_ptr<SharedStore> store);

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

    ProgressSink& m_sink;
    std::shared_ptr<RunTable> m_table;
    JobLaunchers m_launch;
    std::function<void()> m_ended;
    Slot m_download;
    Slot m_sync;
};

}  // namespace strivo
