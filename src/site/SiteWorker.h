#pragma once

#include <chrono>
#include <memory>
#include <stop_token>
#include <string>
#include <thread>
#include <vector>

#include "model/Progress.h"
#include "model/RunTable.h"
#include "net/WebSession.h"
#include "settings/Settings.h"

namespace strivo {

class SharedStore;

struct SyncOptions {
    // The run store that keeps every post's state; null: one in memory for
    // this sync only.
    std::shared_ptr<SharedStore> store;
    bool postAll = false;  // post the confirmed and the held runs too
    // Once a stop is asked for, the post in flight gets this long to be
    // answered, so that its outcome is known and kept.
    std::chrono::milliseconds finishPostInFlight{10000};
};

// Runs a sync on the calling thread until it ends or `stop` is requested.
void RunSync(std::stop_token stop, const Settings& settings, WebSessionConfig sessionConfig,
             ProgressSink& sink, const RunTable& table, SyncOptions options = {});

// Starts a sync on a thread of its own; `sink` and `table` must outlive it.
// It posts each run of the table once (not a row without a RunID, nor a run
// the store holds as confirmed or unknown), and never sends a post a second
// time. Each post's intent is committed to the store before it goes out.
// Stopping the thread during the sign-in cancels it at once; during the
// posts, the post in flight gets options.finishPostInFlight to be answered,
// its outcome is committed, and no more are posted. The site's session
// takes the time-outs, limits and cookie store of `sessionConfig`, but no
// extra CAs: those are the run service's. Throws std::system_error when no
// thread can be started.
std::jthread StartSync(const Settings& settings, WebSessionConfig sessionConfig, ProgressSink& sink,
                       std::shared_ptr<const RunTable> table, SyncOptions options = {});

}  // namespace strivo
