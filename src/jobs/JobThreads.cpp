#include "jobs/JobThreads.h"

#include <algorithm>
#include <array>

#include "jobs/Download.h"
#include "jobs/Sync.h"

namespace strivo::jobs {

JobLaunchers JobLaunchers::Real() {
    return {
        [](std::stop_token stop, const Workspace& where, ProgressSink& sink, RunTable& table) {
            (void)Download(where, table, sink, std::move(stop));
        },
        [](std::stop_token stop, const Workspace& where, ProgressSink& sink,
           const RunTable& table) {
            // The window stops a sync only when it closes.
            Sync(where, table.Snapshot(), sink, std::move(stop),
                 {.stoppedBy = [] { return std::string(kStopByWindowClosed); }});
        },
        [](std::function<void(std::stop_token)> body) { return std::jthread(std::move(body)); },
    };
}

JobThreads::JobThreads(ProgressSink& sink, std::shared_ptr<RunTable> table, JobLaunchers launch,
                       std::function<void()> ended)
    : m_sink(sink),
      m_table(std::move(table)),
      m_launch(std::move(launch)),
      m_ended(std::move(ended)) {
    const JobLaunchers real = JobLaunchers::Real();
    if (!m_launch.download) {
        m_launch.download = real.download;
    }
    if (!m_launch.sync) {
        m_launch.sync = real.sync;
    }
    if (!m_launch.startThread) {
        m_launch.startThread = real.startThread;
    }
}

void JobThreads::StartDownload(Workspace where) {
    Start(m_download, [this, where = std::move(where)](std::stop_token stop) {
        m_launch.download(std::move(stop), where, m_sink, *m_table);
    });
}

void JobThreads::StartSync(Workspace where) {
    Start(m_sync, [this, where = std::move(where)](std::stop_token stop) {
        m_launch.sync(std::move(stop), where, m_sink, *m_table);
    });
}

void JobThreads::StartWork(std::function<void(std::stop_token, ProgressSink&)> job) {
    Start(m_work,
          [this, job = std::move(job)](std::stop_token stop) { job(std::move(stop), m_sink); });
}

void JobThreads::Start(Slot& slot, std::function<void(std::stop_token)> job) {
    if (slot.thread.joinable()) {
        slot.thread.join();
    }
    slot.ended = false;
    // Called on the job's thread.
    slot.thread = m_launch.startThread([this, &slot, job = std::move(job)](std::stop_token stop) {
        job(std::move(stop));
        slot.ended = true;
        m_ended();
    });
}

void JobThreads::RequestStop() {
    m_download.thread.request_stop();
    m_sync.thread.request_stop();
    m_work.thread.request_stop();
}

bool JobThreads::Running() const {
    return std::ranges::any_of(std::array{&m_download, &m_sync, &m_work}, [](const Slot* slot) {
        return slot->thread.joinable() && !slot->ended;
    });
}

bool JobThreads::JoinEnded() {
    bool running = false;
    for (Slot* slot : {&m_download, &m_sync, &m_work}) {
        if (slot->thread.joinable()) {
            if (slot->ended) {
                slot->thread.join();
            } else {
                running = true;
            }
        }
    }
    return running;
}

void JobThreads::StopAll() {
    RequestStop();
    for (Slot* slot : {&m_download, &m_sync, &m_work}) {
        if (slot->thread.joinable()) {
            slot->thread.join();
        }
    }
}

}  // namespace strivo::jobs
