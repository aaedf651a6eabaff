#include "jobs/WorkerJob.h"

namespace strivo {

unsigned WorkerThreadProc(std::unique_ptr<WorkerJob> job) {
    if (job && job->worker) {
        job->worker->RunJob(*job);
    }
    return 0;
}

}  // namespace strivo
