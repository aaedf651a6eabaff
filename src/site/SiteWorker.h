#pragma once

#include <memory>
#include <stop_token>
#include <string>
#include <thread>
#include <vector>

#include "jobs/ProgressMessage.h"
#include "jobs/RunTable.h"
#include "net/WebSession.h"
#include "settings/Settings.h"

namespace strivo {

// Starts a sync on a thread of its own; `sink` and `table` must outlive it.
// Stopping the thread cancels the post in flight and posts no more. Throws
// std::system_error when no thread can be started.
std::jthread StartSync(const Settings& settings, WebSessionConfig sessionConfig, ProgressSink& sink,
                       std::shared_ptr<const RunTable> table);

}  // namespace strivo
