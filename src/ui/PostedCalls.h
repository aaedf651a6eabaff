#pragma once

#include <deque>
#include <functional>
#include <mutex>
#include <utility>

namespace strivo {

// Calls posted from any thread to the window's thread, for a front end whose
// window messages cannot carry a call: each is queued, then the window is
// told, and takes the oldest call when told.
class PostedCalls {
public:
    // Called on any thread. `notify` tells the window and says whether it
    // could; when not (the window is gone), the call is dropped.
    template <class Notify>
    void Post(std::function<void()> call, Notify&& notify) {
        std::lock_guard lock(m_mutex);
        m_calls.push_back(std::move(call));
        if (!notify()) {
            m_calls.pop_back();
        }
    }

    // Called on the window's thread, once for each notification.
    void RunOldest() {
        std::function<void()> call;
        {
            std::lock_guard lock(m_mutex);
            if (m_calls.empty()) {
                return;
            }
            call = std::move(m_calls.front());
            m_calls.pop_front();
        }
        call();
    }

private:
    std::mutex m_mutex;
    std::deque<std::function<void()>> m_calls;
};

}  // namespace strivo
