#include "ui/JobThreads.h"

#include <algorithm>
#include <array>

namespace strivo {

JobThreads::JobThreads(ProgressSink& sink, std::shared_ptr<RunTable> table, JobLaunchers launch,
                       std::function<void()> ended)
    : m_sink(sink),
      m_table(std::move(table)),
      m_launch(std::move(launch)),
      m_ended(std::move(ended)) {}

void JobThreads::Start(JobKind kind, const Settings& settings,
                       const WebSessionConfig& sessionConfig, std::shared_ptr<SharedStore> store) {
    Slot& slot = kind == JobKind::Download ? m_download : m_sync;
    if (slot.thread.joinable()) {
        slot.thread.join();
    }
    slot.ended = false;
    auto job = kind == JobKind::Download
                   ? std::function<void(std::stop_token)>(
                         [this, settings, sessionConfig, store](std::stop_token stop) {
                             m_launch.download(std::move(stop), settings, sessionConfig, m_sink,
                                               *m_table, {.store = store});
                         })
                   : [this, settings, sessionConfig, store](std::stop_token stop) {
                         m_launch.sync(std::move(stop), settings, sessionConfig, m_sink, *m_table,
                                       {.store = store});
                     };
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
}

bool JobThreads::Running() const {
    return std::ranges::any_of(std::array{&m_download, &m_sync}, [](const Slot* slot) {
        return slot->thread.joinable() && !slot->ended;
    });
}

bool JobThreads::JoinEnded() {
    bool running = false;
    for (Slot* slot : {&m_download, &m_sync}) {
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
    for (Slot* slot : {&m_download, &m_sync}) {
        if (slot->thread.joinable()) {
            slot->thread.join();
        }
    }
}

}  // namespace strivo
