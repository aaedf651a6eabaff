#pragma once

#include <functional>
#include <memory>
#include <thread>

#include "rows/RunTable.h"
#include "net/WebSession.h"
#include "runservice/RunServiceWorker.h"
#include "settings/Settings.h"
#include "site/SiteWorker.h"
#include "ui/DialogState.h"

namespace strivo {

// How a window starts its jobs; tests put recorders in their place. Both
// throw std::system_error when no thread starts.
struct JobLaunchers {
    std::function<std::jthread(const Settings&, WebSessionConfig, ProgressSink&,
                               std::shared_ptr<RunTable>)>
        download = StartDownload;
    std::function<std::jthread(const Settings&, WebSessionConfig, ProgressSink&,
                               std::shared_ptr<const RunTable>, SyncOptions)>
        sync = StartSync;
};

// A window's two worker threads: one run-service job and one site job at a
// time, both reporting to one sink and working on one table. Both windows
// (wx and Win32) keep theirs here.
class JobThreads {
public:
    JobThreads(ProgressSink& sink, std::shared_ptr<RunTable> table, JobLaunchers launch = {})
        : m_sink(sink), m_table(std::move(table)), m_launch(std::move(launch)) {}
    ~JobThreads() { StopAll(); }

    // Starts `kind`'s job with `settings`, after joining the previous job of
    // that kind: it has sent its last report, so its thread is ending. The
    // download fills the table; the sync posts its rows, recorded in `posted`.
    // Throws std::system_error when no thread starts.
    void Start(JobKind kind, const Settings& settings, const WebSessionConfig& sessionConfig,
               std::shared_ptr<PostedRuns> posted) {
        std::jthread& thread = kind == JobKind::Download ? m_service : m_site;
        if (thread.joinable()) {
            thread.join();
        }
        thread = kind == JobKind::Download
                     ? m_launch.download(settings, sessionConfig, m_sink, m_table)
                     : m_launch.sync(settings, sessionConfig, m_sink, m_table, {std::move(posted)});
    }

    // Cancels both jobs and waits for their threads.
    void StopAll() {
        m_service.request_stop();
        m_site.request_stop();
        for (std::jthread* thread : {&m_service, &m_site}) {
            if (thread->joinable()) {
                thread->join();
            }
        }
    }

private:
    ProgressSink& m_sink;
    std::shared_ptr<RunTable> m_table;
    JobLaunchers m_launch;
    std::jthread m_service;
    std::jthread m_site;
};

}  // namespace strivo
