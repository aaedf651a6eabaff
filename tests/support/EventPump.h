#pragma once

#include <wx/app.h>

#include <chrono>
#include <thread>

namespace strivo::test {

// Runs the wx event loop until `done` holds or the time is up; says whether it held.
template <typename Predicate>
bool PumpEventsUntil(std::chrono::milliseconds limit, Predicate done) {
    const auto until = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < until) {
        wxTheApp->ProcessPendingEvents();
        wxYield();
        if (done()) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return done();
}

}  // namespace strivo::test
