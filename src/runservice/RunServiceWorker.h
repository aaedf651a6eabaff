#pragma once

#include <memory>
#include <stop_token>
#include <string>
#include <string_view>

#include "jobs/RunTable.h"
#include "jobs/WorkerJob.h"
#include "net/WebSession.h"

namespace strivo {

// Where the run service is: the secure requests (sign-in, run list) go to the
// HTTPS port, the account data to the plain one.
struct RunServiceEndpoint {
    std::string host = "nikeplus.nike.com";
    int httpsPort = 443;
    int httpPort = 80;
};

// Signs in to the run service, builds the summary sentence and fills the run
// table, for one job. Runs on its own thread; reaches the outside only through
// the job's progress sink and run table.
class RunServiceWorker : public Worker {
public:
    // Stores itself as the job's worker.
    RunServiceWorker(WorkerJob& job, RunServiceEndpoint endpoint, WebSessionConfig sessionConfig,
                     std::stop_token stop = {});

    // 1 when every step succeeded, 0 otherwise; the reports tell the rest.
    int RunJob(WorkerJob& job) override;

    bool SignIn(std::string_view userName, std::string_view password);
    void FetchAccountSummary();
    bool DownloadRunList();
    void FillRunTable(std::string_view body);

    const std::string& summary() const { return m_summary; }
    // Why the last failed step failed, in a few words (English), for a CLI.
    const std::string& failureReason() const { return m_failureReason; }

private:
    std::string Url(bool secure, std::string_view pathAndQuery) const;

    RunServiceEndpoint m_endpoint;
    WebSession m_session;
    std::shared_ptr<RunTable> m_runTable;
    std::string m_summary;
    std::string m_failureReason;
};

// The thread procedure for a run-service job.
unsigned RunServiceThreadProc(std::unique_ptr<WorkerJob> job);

}  // namespace strivo
