#include "site/SiteWorker.h"

#include "site/RunLogForm.h"
#include "text/CodePage.h"
#include "text/TextHelpers.h"

namespace strivo {
namespace {

const std::string& SignInFailedText() {
    static const std::string text = Utf8ToCp936("登录失败");
    return text;
}

void Report(WorkerJob& job, ProgressReport report) {
    if (job.owner) {
        job.owner->Post(std::move(report));
    }
}

}  // namespace

SiteWorker::SiteWorker(WorkerJob& job, SiteEndpoint endpoint, WebSessionConfig sessionConfig,
                       std::stop_token stop)
    : m_endpoint(std::move(endpoint)), m_stop(stop), m_session(std::move(sessionConfig), stop) {
    job.worker = this;
}

std::string SiteWorker::Url(std::string_view pathAndQuery) const {
    std::string url = "http://" + m_endpoint.host;
    if (m_endpoint.httpPort != 80) {
        url += ":" + std::to_string(m_endpoint.httpPort);
    }
    url += pathAndQuery;
    return url;
}

int SiteWorker::RunJob(WorkerJob& job) {
    const std::string userName = job.userName;
    const std::string password = job.password;
    m_runTable = job.runTable;

    // A session that cannot be opened is a failed sign-in, so the sync button
    // comes back.
    if (!m_session.OpenSession()) {
        m_failureReason = "cannot open a web session";
        Report(job, {WM_SITE_LOGIN_DONE, kOutcomeFailure});
        return 0;
    }
    if (!SignIn(userName, password)) {
        Report(job, {WM_SITE_LOGIN_DONE, kOutcomeFailure});
        return 0;
    }
    Report(job, {WM_SITE_LOGIN_DONE, kOutcomeSuccess});

    // One snapshot for the whole loop: rows that change meanwhile cannot make
    // it read past the end.
    const std::vector<RunRow> rows = m_runTable ? m_runTable->Snapshot() : std::vector<RunRow>{};
    const int total = static_cast<int>(rows.size());
    const int notPosted = PostRuns(job, rows);
    m_session.CloseAll();

    ProgressReport done{WM_SYNC_DONE, notPosted == 0 ? kOutcomeSuccess : kOutcomeFailure};
    done.count = notPosted;
    done.total = total;
    Report(job, done);
    return notPosted == 0 ? 1 : 0;
}

bool SiteWorker::SignIn(std::string_view userName, std::string_view password) {
    std::string encodedUserName(userName);
    FormEncode(encodedUserName);
    // Form-encoded like the user name, so that "&", "%", "+" and spaces arrive
    // as typed.
    std::string encodedPassword(password);
    FormEncode(encodedPassword);

    // The cookie store outlives sessions: an earlier sign-in may still be open.
    const std::string home = m_session.HttpGet(Url("/index.php"), kOrdinaryRequestOptions).Text();
    if (home.find("formhash=") != std::string::npos) {
        const std::string token = TextBetween(home, "formhash=", "\"");
        m_session.HttpGet(Url("/logging.php?action=logout&formhash=" + token),
                          kOrdinaryRequestOptions);
    }

    const std::string form =
        m_session.HttpGet(Url("/logging.php?action=login"), kOrdinaryRequestOptions).Text();
    m_formHash = TextBetween(form, "formhash\" value=\"", "\"");
    const std::string cookieTime =
        TextBetween(TextBetween(form, "cookietime", "/>"), "value=\"", "\"");

    const HttpResult answer = m_session.HttpPostForm(
        Url("/logging.php?action=login&loginsubmit=true"),
        BuildSignInBody(m_formHash, cookieTime, encodedUserName, encodedPassword));
    // A post that failed signed nobody in, whatever its (empty) answer says.
    if (!answer.ok) {
        m_failureReason = answer.reason;
        return false;
    }
    if (answer.body.find(SignInFailedText()) != std::string::npos) {
        m_failureReason = "user name or password refused";
        return false;
    }
    return true;
}

int SiteWorker::PostRuns(WorkerJob& job, const std::vector<RunRow>& rows) {
    const int total = static_cast<int>(rows.size());
    std::string description = RunLogDescription();
    FormEncode(description);

    int notPosted = 0;
    for (int i = 0; i < total; ++i) {
        if (m_stop.stop_requested()) {
            return notPosted + (total - i);
        }
        const HttpResult result = m_session.HttpPostForm(
            Url("/runlogger.php?action=deal_add"),
            BuildRunLogBody(m_formHash, rows[static_cast<std::size_t>(i)], description));
        if (!result.ok) {
            ++notPosted;
            m_failureReason = result.reason;
            if (result.status == 0) {
                // No answer at all: the site is gone or stuck, and every further
                // post would wait out its own time-out. The rest are not posted.
                return notPosted + (total - i - 1);
            }
        }
        ProgressReport progress{WM_SYNC_PROGRESS, kOutcomeSuccess};
        progress.count = i + 1;
        progress.total = total;
        Report(job, progress);
    }
    return notPosted;
}

unsigned SiteThreadProc(std::unique_ptr<WorkerJob> job) {
    return WorkerThreadProc(std::move(job));
}

}  // namespace strivo
