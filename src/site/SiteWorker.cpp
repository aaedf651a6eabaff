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

// Signs in to the community site and posts every row of the run table to its
// run log, for one sync. Reaches the outside only through its progress sink
// and the run table.
class SiteWorker {
public:
    // Host, port and credentials come from `settings`.
    SiteWorker(const Settings& settings, WebSessionConfig sessionConfig, std::stop_token stop = {});

    // Reports WM_SITE_LOGIN_DONE, then (signed in) WM_SYNC_PROGRESS after each
    // post and WM_SYNC_DONE; true when every run was posted.
    bool RunJob(ProgressSink& sink, const RunTable& table);

private:
    // Signs out a site session that is still open, then signs in through the
    // site's form; sets the form token.
    bool SignIn();
    // Posts the rows one after another; returns how many were not posted.
    int PostRuns(ProgressSink& sink, const std::vector<RunRow>& rows);

    const Settings m_settings;
    std::stop_token m_stop;
    WebSession m_session;
    std::string m_formHash;
    std::string m_failureReason;  // why the sign-in or the last failed post failed
};

}  // namespace

SiteWorker::SiteWorker(const Settings& settings, WebSessionConfig sessionConfig,
                       std::stop_token stop)
    : m_settings(settings), m_stop(stop), m_session(std::move(sessionConfig), stop) {}

bool SiteWorker::RunJob(ProgressSink& sink, const RunTable& table) {
    // A session that cannot be opened is a failed sign-in, so the sync button
    // comes back.
    if (!m_session.OpenSession()) {
        sink.Post({.message = WM_SITE_LOGIN_DONE,
                   .outcome = kOutcomeFailure,
                   .reason = "cannot open a web session"});
        return false;
    }
    if (!SignIn()) {
        sink.Post(
            {.message = WM_SITE_LOGIN_DONE, .outcome = kOutcomeFailure, .reason = m_failureReason});
        return false;
    }
    sink.Post({.message = WM_SITE_LOGIN_DONE});

    // One snapshot for the whole loop: rows that change meanwhile cannot make
    // it read past the end.
    const std::vector<RunRow> rows = table.Snapshot();
    const int notPosted = PostRuns(sink, rows);
    m_session.CloseAll();

    ProgressReport done{
        .message = WM_SYNC_DONE, .total = static_cast<int>(rows.size()), .notPosted = notPosted};
    if (notPosted != 0) {
        done.outcome = kOutcomeFailure;
        done.reason = m_failureReason;
    }
    sink.Post(std::move(done));
    return notPosted == 0;
}

bool SiteWorker::SignIn() {
    // The cookie store outlives sessions: an earlier sign-in may still be open.
    const std::string home =
        m_session.HttpGet(SiteUrl(m_settings, "/index.php"), kOrdinaryRequestOptions).Text();
    if (home.find("formhash=") != std::string::npos) {
        const std::string token = TextBetween(home, "formhash=", "\"");
        m_session.HttpGet(SiteUrl(m_settings, "/logging.php?action=logout&formhash=" + token),
                          kOrdinaryRequestOptions);
    }

    const std::string form =
        m_session.HttpGet(SiteUrl(m_settings, "/logging.php?action=login"), kOrdinaryRequestOptions)
            .Text();
    m_formHash = TextBetween(form, "formhash\" value=\"", "\"");
    const std::string cookieTime =
        TextBetween(TextBetween(form, "cookietime", "/>"), "value=\"", "\"");

    // The password is form-encoded like the user name, so that "&", "%", "+"
    // and spaces arrive as typed.
    const HttpResult answer = m_session.HttpPostForm(
        SiteUrl(m_settings, "/logging.php?action=login&loginsubmit=true"),
        BuildSignInBody(m_formHash, cookieTime, FormEncode(m_settings.siteUser),
                        FormEncode(m_settings.sitePassword)));
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

int SiteWorker::PostRuns(ProgressSink& sink, const std::vector<RunRow>& rows) {
    const int total = static_cast<int>(rows.size());
    const std::string url = SiteUrl(m_settings, "/runlogger.php?action=deal_add");
    int notPosted = 0;
    for (int i = 0; i < total; ++i) {
        if (m_stop.stop_requested()) {
            return notPosted + (total - i);
        }
        const HttpResult result = m_session.HttpPostForm(
            url, BuildRunLogBody(m_formHash, rows[static_cast<std::size_t>(i)],
                                 EncodedRunLogDescription()));
        if (!result.ok) {
            ++notPosted;
            m_failureReason = result.reason;
            if (result.status == 0) {
                // No answer at all: the site is gone or stuck, and every further
                // post would wait out its own time-out. The rest are not posted.
                return notPosted + (total - i - 1);
            }
        }
        sink.Post({.message = WM_SYNC_PROGRESS, .total = total, .processed = i + 1});
    }
    return notPosted;
}

std::jthread StartSync(const Settings& settings, WebSessionConfig sessionConfig, ProgressSink& sink,
                       std::shared_ptr<const RunTable> table) {
    sessionConfig.caFile = settings.serviceCaFile;
    return std::jthread([settings, config = std::move(sessionConfig), &sink,
                         table = std::move(table)](std::stop_token stop) mutable {
        SiteWorker(settings, std::move(config), std::move(stop)).RunJob(sink, *table);
    });
}

}  // namespace strivo
