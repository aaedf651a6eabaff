#include "runservice/RunServiceWorker.h"

#include "runservice/RunList.h"
#include "text/TextHelpers.h"

namespace strivo {
namespace {

constexpr std::string_view kSignInPath = "/nikeplus/v1/services/widget/generate_pin.jsp";
constexpr std::string_view kAccountDataPath = "/nikeplus/v1/services/app/get_user_data.jsp";
constexpr std::string_view kRunListPath = "/nikeplus/v1/services/app/run_list.jsp";

bool Contains(std::string_view text, std::string_view word) {
    return text.find(word) != std::string_view::npos;
}

void Report(WorkerJob& job, ProgressMessage message, long outcome, std::string summary = {}) {
    if (job.owner) {
        job.owner->Post({message, outcome, std::move(summary)});
    }
}

}  // namespace

RunServiceWorker::RunServiceWorker(WorkerJob& job, RunServiceEndpoint endpoint,
                                   WebSessionConfig sessionConfig, std::stop_token stop)
    : m_endpoint(std::move(endpoint)), m_session(std::move(sessionConfig), std::move(stop)) {
    job.worker = this;
}

std::string RunServiceWorker::Url(bool secure, std::string_view pathAndQuery) const {
    const int port = secure ? m_endpoint.httpsPort : m_endpoint.httpPort;
    const int defaultPort = secure ? 443 : 80;
    std::string url = secure ? "https://" : "http://";
    url += m_endpoint.host;
    if (port != defaultPort) {
        url += ":" + std::to_string(port);
    }
    url += pathAndQuery;
    return url;
}

int RunServiceWorker::RunJob(WorkerJob& job) {
    const std::string userName = job.userName;
    const std::string password = job.password;
    m_runTable = job.runTable;

    // A session that cannot be opened is a failed sign-in, so the starter's
    // buttons come back.
    if (!m_session.OpenSession()) {
        m_failureReason = "cannot open a web session";
        Report(job, WM_SERVICE_LOGIN_DONE, kOutcomeFailure);
        return 0;
    }
    if (!SignIn(userName, password)) {
        Report(job, WM_SERVICE_LOGIN_DONE, kOutcomeFailure);
        return 0;
    }
    Report(job, WM_SERVICE_LOGIN_DONE, kOutcomeSuccess);

    FetchAccountSummary();
    // Emptied here rather than by whoever shows the table, so emptying and
    // filling happen in order on this thread.
    if (m_runTable) {
        m_runTable->Clear();
    }
    Report(job, WM_SUMMARY_READY, kOutcomeSuccess, m_summary);

    if (!DownloadRunList()) {
        Report(job, WM_RUNS_DONE, kOutcomeFailure);
        return 0;
    }
    Report(job, WM_RUNS_DONE, kOutcomeSuccess);
    return 1;
}

bool RunServiceWorker::SignIn(std::string_view userName, std::string_view password) {
    std::string pathAndQuery(kSignInPath);
    pathAndQuery += "?login=" + PercentEncode(userName);
    pathAndQuery += "&password=" + PercentEncode(password);
    const HttpResult result = m_session.HttpGet(Url(true, pathAndQuery), kSecureRequestOptions);
    if (!Contains(result.Text(), "success")) {
        m_failureReason = result.ok ? "user name or password refused" : result.reason;
        return false;
    }
    return true;
}

void RunServiceWorker::FetchAccountSummary() {
    // A failed request still gives the sentence its frame, with empty values.
    std::string body =
        m_session.HttpGet(Url(false, kAccountDataPath), kOrdinaryRequestOptions).Text();
    Utf8ToAnsi(body);
    m_summary = BuildSummary(body);
}

bool RunServiceWorker::DownloadRunList() {
    const HttpResult result = m_session.HttpGet(Url(true, kRunListPath), kSecureRequestOptions);
    if (!Contains(result.Text(), "success")) {
        m_failureReason = result.ok ? "the run service did not send a run list" : result.reason;
        return false;
    }
    FillRunTable(result.Text());
    return true;
}

void RunServiceWorker::FillRunTable(std::string_view body) {
    if (m_runTable) {
        strivo::FillRunTable(*m_runTable, body);
    }
}

unsigned RunServiceThreadProc(std::unique_ptr<WorkerJob> job) {
    return WorkerThreadProc(std::move(job));
}

}  // namespace strivo
