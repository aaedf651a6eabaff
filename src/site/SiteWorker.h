#pragma once

#include <memory>
#include <stop_token>
#include <string>
#include <string_view>
#include <vector>

#include "jobs/RunTable.h"
#include "jobs/WorkerJob.h"
#include "net/WebSession.h"

namespace strivo {

// The community site: one plain-HTTP server.
struct SiteEndpoint {
    std::string host = "bbs.kelvora.example";
    int httpPort = 80;
};

// Signs in to the community site and posts every row of the run table to its
// run log, for one job. Runs on its own thread; reaches the outside only
// through the job's progress sink and run table.
class SiteWorker : public Worker {
public:
    // Stores itself as the job's worker.
    SiteWorker(WorkerJob& job, SiteEndpoint endpoint, WebSessionConfig sessionConfig,
               std::stop_token stop = {});

    // 1 when every run was posted, 0 otherwise; the reports tell the rest.
    int RunJob(WorkerJob& job) override;

    // Signs out a site session that is still open, then signs in through the
    // site's form; sets the form token.
    bool SignIn(std::string_view userName, std::string_view password);

    const std::string& formHash() const { return m_formHash; }
    // Why the sign-in or the last failed post failed, in a few words
    // (English), for a CLI.
    const std::string& failureReason() const { return m_failureReason; }

private:
    // Posts the rows one after another; returns how many were not posted.
    int PostRuns(WorkerJob& job, const std::vector<RunRow>& rows);
    std::string Url(std::string_view pathAndQuery) const;

    SiteEndpoint m_endpoint;
    std::stop_token m_stop;
    WebSession m_session;
    std::shared_ptr<RunTable> m_runTable;
    std::string m_formHash;
    std::string m_failureReason;
};

// The thread procedure for a site job.
unsigned SiteThreadProc(std::unique_ptr<WorkerJob> job);

}  // namespace strivo
