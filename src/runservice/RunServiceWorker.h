#pragma once

#include <functional>
#include <memory>
#include <stop_token>
#include <string>
#include <string_view>
#include <thread>

#include "model/Progress.h"
#include "model/RunTable.h"
#include "net/WebSession.h"
#include "settings/Settings.h"

namespace strivo {

class SharedStore;

struct DownloadOptions {
    // Where a list read in full is kept, after the table is filled; null: it
    // is not kept.
    std::shared_ptr<SharedStore> store;
    // On the worker's thread, as the run list arrives: the bytes read so far.
    std::function<void(std::size_t bytes)> onRunListBytes;
};

// Runs a download on the calling thread until it ends or `stop` is requested.
void RunDownload(std::stop_token stop, const Settings& settings, WebSessionConfig sessionConfig,
                 ProgressSink& sink, RunTable& table, DownloadOptions options = {});

// Starts a download on a thread of its own; `sink` and `table` must outlive
// it. Stopping the thread cancels the request in flight. The session trusts
// the settings' cafile besides `sessionConfig`'s CAs. Throws
// std::system_error when no thread can be started.
std::jthread StartDownload(const Settings& settings, WebSessionConfig sessionConfig,
                           ProgressSink& sink, std::shared_ptr<RunTable> table,
                           DownloadOptions options = {});

}  // namespace strivo
