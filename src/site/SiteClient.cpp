#include "site/SiteClient.h"

#include "site/RunLogForm.h"
#include "text/CodePage.h"
#include "text/TextHelpers.h"

namespace strivo {
namespace {

const std::string& SignInFailedText() {
    static const std::string text = Utf8ToCp936("登录失败");
    return text;
}

// Three 5xx answers in a row: the site is down, and every further post
// would be one more the runner has to look after.
constexpr int kServerErrorsToStop = 3;

WebSessionConfig WithoutExtraCas(WebSessionConfig config) {
    // A cafile that cannot be read must not keep the site's session shut.
    config.caFile.clear();
    config.caPem.clear();
    return config;
}

// A 429, or a 503 that says when to come back: the site asks to be left
// alone, and nothing more goes out.
bool AsksToWait(const HttpResult& result) {
    return result.status == 429 || (result.status == 503 && !result.retryAfter.empty());
}

PostVerdict Verdict(PostResult result, std::optional<Problem> problem, bool stop) {
    return {result, std::move(problem), stop};
}

}  // namespace

SiteClient::SiteClient(const Settings& settings, WebSessionConfig sessionConfig,
                       std::stop_token cut)
    : m_settings(settings), m_session(WithoutExtraCas(std::move(sessionConfig)), std::move(cut)) {}

Outcome SiteClient::SignIn() {
    if (const HttpResult opened = m_session.OpenSession(); !opened.ok()) {
        return opened.problem;
    }
    // The cookie store outlives sessions: an earlier sign-in may still be open.
    const HttpResult homePage =
        m_session.HttpGet(SiteUrl(m_settings, "/index.php"), kOrdinaryRequestOptions);
    if (AsksToWait(homePage)) {
        return homePage.problem;
    }
    const std::string& home = homePage.Text();
    if (home.find("formhash=") != std::string::npos) {
        // Encoded, so that a token from the page cannot add a query field.
        const std::string token = FormEncode(TextBetween(home, "formhash=", "\""));
        m_session.HttpGet(SiteUrl(m_settings, "/logging.php?action=logout&formhash=" + token),
                          kOrdinaryRequestOptions);
    }

    const HttpResult formPage = m_session.HttpGet(SiteUrl(m_settings, "/logging.php?action=login"),
                                                  kOrdinaryRequestOptions);
    if (AsksToWait(formPage)) {
        return formPage.problem;
    }
    const std::string& form = formPage.Text();
    m_formHash = TextBetween(form, "formhash\" value=\"", "\"");
    const std::string cookieTime =
        TextBetween(TextBetween(form, "cookietime", "/>"), "value=\"", "\"");

    const HttpResult answer = m_session.HttpPostForm(
        SiteUrl(m_settings, "/logging.php?action=login&loginsubmit=true"),
        BuildSignInBody(m_formHash, cookieTime, m_settings.siteUser, m_settings.sitePassword),
        {.retryOnFreshConnection = true});  // signing in again changes nothing on the site
    // A post that failed signed nobody in, whatever its (empty) answer says.
    if (!answer.ok()) {
        return answer.problem;
    }
    if (answer.body.find(SignInFailedText()) != std::string::npos) {
        return Problem(ProblemCode::SignInRefused);
    }
    return {};
}

PostVerdict SiteClient::Post(const Run& run) {
    const std::string description = RunLogDescription(run);
    const HttpResult result = m_session.HttpPostForm(
        SiteUrl(m_settings, "/runlogger.php?action=deal_add"),
        BuildRunLogBody(m_formHash, run, description), {.followRedirects = false});
    return Judge(run.id(), result);
}

PostVerdict SiteClient::Judge(std::string_view runId, const HttpResult& result) {
    const std::string run = Cp936ToUtf8(runId);
    // The site signed the session out: this run and those after it are
    // posted next time.
    const auto sessionEnded = [&](ProblemCode how) {
        return Verdict(PostResult::Failed, Problem(how, {run}), true);
    };
    const bool answered = result.answered();
    const long status = answered ? result.status : 0;
    m_serverErrorsInARow = status / 100 == 5 ? m_serverErrorsInARow + 1 : 0;
    if (status / 100 == 2) {
        // Forum software shows its sign-in form in place of a page the
        // session may no longer see.
        if (IsSignInPage(result.body)) {
            return sessionEnded(ProblemCode::SessionEndedSignInPage);
        }
        return Verdict(PostResult::Confirmed, std::nullopt, false);
    }
    if (status / 100 == 3) {
        if (result.location.find("logging.php") != std::string::npos) {
            return sessionEnded(ProblemCode::SessionEndedRedirect);
        }
        // The site may store a post and then redirect to a page showing it.
        return Verdict(PostResult::Unknown,
                       Problem(ProblemCode::PostRedirected,
                               {run, std::to_string(result.status), result.location}),
                       true);
    }
    if (status == 403) {
        return sessionEnded(ProblemCode::SessionEndedForbidden);
    }
    if (AsksToWait(result)) {
        return Verdict(PostResult::Failed, result.problem, true);
    }
    if (answered) {
        if (m_serverErrorsInARow >= kServerErrorsToStop) {
            return Verdict(
                PostResult::Failed,
                Problem(ProblemCode::ServerErrorsInARow, {std::to_string(kServerErrorsToStop)})
                    .Because(result.problem),
                true);
        }
        return Verdict(PostResult::Failed, result.problem, false);
    }
    // The site may have it: it is held, and nothing more is posted while the
    // site is in doubt.
    if (result.mayHaveArrived()) {
        return Verdict(PostResult::Unknown, result.problem, true);
    }
    // Nothing was sent: the site is gone or stuck, and every further post
    // would wait out its own time-out.
    return Verdict(PostResult::NotSent, result.problem, true);
}

}  // namespace strivo
