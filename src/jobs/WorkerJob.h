#pragma once

#include <memory>
#include <string>

#include "jobs/ProgressMessage.h"

namespace strivo {

class RunTable;
class WorkerJob;

// What a thread procedure runs: RunServiceWorker or SiteWorker.
class Worker {
public:
    virtual ~Worker() = default;
    virtual int RunJob(WorkerJob& job) = 0;
};

// One job, handed from the starter to a worker thread, which owns it from then
// on. User name and password are CP936 bytes as typed, carried whole.
class WorkerJob {
public:
    ProgressSink* owner = nullptr;  // receives every report
    Worker* worker = nullptr;       // set by the worker's constructor
    std::string userName;
    std::string password;
    std::shared_ptr<RunTable> runTable;  // filled by the run service, read by the site
};

// The body of a worker thread: runs the job's worker once, frees the job,
// and returns 0 whatever the job's outcome.
unsigned WorkerThreadProc(std::unique_ptr<WorkerJob> job);

}  // namespace strivo
