#pragma once

#include <functional>
#include <string>
#include <thread>

#include "settings/Settings.h"
#include "ui/DialogState.h"

namespace strivo {

// A window's two worker threads: one run-service job and one site job at a
// time. Both windows (wx and Win32) keep theirs here.
class JobThreads {
public:
    ~JobThreads() { StopAll(); }

    // Starts the thread `launch` makes for `kind`, after joining the previous
    // job of that kind: it has sent its last report, so its thread is ending.
    // Throws std::system_error when no thread starts.
    void Start(JobKind kind, const std::function<std::jthread()>& launch) {
        std::jthread& thread = kind == JobKind::RunService ? m_service : m_site;
        if (thread.joinable()) {
            thread.join();
        }
        thread = launch();
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
    std::jthread m_service;
    std::jthread m_site;
};

// A job's settings: the window's, with the credentials just taken from its fields.
inline Settings JobSettings(Settings settings, const std::string& serviceUser,
                            const std::string& servicePassword, const std::string& siteUser,
                            const std::string& sitePassword) {
    settings.serviceUser = serviceUser;
    settings.servicePassword = servicePassword;
    settings.siteUser = siteUser;
    settings.sitePassword = sitePassword;
    return settings;
}

}  // namespace strivo
