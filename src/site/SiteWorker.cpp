#include "site/SiteWorker.h"

#include <memory>

#include "runservice/RequestFailure.h"
#include "site/PostedRuns.h"
#include "site/RunLogForm.h"
#include "text/CodePage.h"
#include "text/TextHelpers.h"

namespace strivo {
namespace {

const std::string& SignInFailedText() {
    static const std::string text = Utf8ToCp936("登录失败");
    return text;
}

// Signs in to the community site and posts the runs of the run table that
// the record of posted runs does not hold yet, for one sync. Reaches the
// outside only through its progress sink, the run table and the record.
class SiteWorker {
public:
    // Host, port and credentials come from `settings`.
    SiteWorker(const Settings& settings, WebSessionConfig sessionConfig, SyncOptions options,
               std::stop_token stop = {});

    // Reports WM_SITE_LOGIN_DONE, then (signed in) WM_SYNC_PROGRESS after each
    // post and WM_SYNC_DONE; true when every run to post was confirmed.
    bool RunJob(ProgressSink& sink, const RunTable& table);

private:
    // Signs out a site session that is still open, then signs in through the
    // site's form; sets the form token.
    bool SignIn();
    // Posts the runs one after another, recording each one the site confirms.
    void PostRuns(ProgressSink& sink, const std::vector<const RunRow*>& runs, ProgressReport& done);

    const Settings m_settings;
    const SyncOptions m_options;
    std::stop_token m_stop;
    WebSession m_session;
    std::string m_formHash;
    FailureCause m_failure;  // why the sign-in or the last failed post failed
};

}  // namespace

SiteWorker::SiteWorker(const Settings& settings, WebSessionConfig sessionConfig,
                       SyncOptions options, std::stop_token stop)
    : m_settings(settings),
      m_options(std::move(options)),
      m_stop(stop),
      m_session(std::move(sessionConfig), stop) {}

bool SiteWorker::RunJob(ProgressSink& sink, const RunTable& table) {
    PostedRuns& record = *m_options.record;
    const FileResult opened = record.Open();
    // Other syncs are kept out for as long as this one runs, and no longer.
    const std::unique_ptr<PostedRuns, void (*)(PostedRuns*)> closing(
        &record, [](PostedRuns* open) { open->Close(); });

    // One snapshot for the whole sync: rows that change meanwhile cannot make
    // it read past the end.
    const RunRows rows = table.Snapshot();
    std::vector<const RunRow*> toPost;
    ProgressReport done{.message = WM_SYNC_DONE};
    for (const PlannedRun& planned : PlanSync(rows, record, m_settings, m_options.postAll)) {
        if (planned.action == RunAction::Post) {
            toPost.push_back(planned.row);
        } else if (planned.action == RunAction::WithoutId) {
            ++done.withoutId;
        } else {
            ++done.alreadyPosted;
        }
    }
    done.total = static_cast<int>(toPost.size());

    // A record that cannot be written fails the sync before anything is posted.
    if (!opened) {
        done.Fail({opened.kind == FileError::InUse ? Failure::StoreInUse : Failure::Store,
                   opened.error});
        for (const RunRow* row : toPost) {
            done.failedIds.emplace_back((*row)[kColumnRunId]);
        }
        done.notPosted = done.total;
        done.warnings = record.warnings();
        sink.Post(std::move(done));
        return false;
    }
    // A session that cannot be opened is a failed sign-in, so the sync button
    // comes back.
    ProgressReport signedIn{.message = WM_SITE_LOGIN_DONE, .warnings = record.warnings()};
    if (const HttpResult session = m_session.OpenSession(); !session.ok()) {
        m_failure = FailureOf(session);
    }
    if (m_failure.failure != Failure::None || !SignIn()) {
        signedIn.Fail(m_failure);
        sink.Post(std::move(signedIn));
        return false;
    }
    sink.Post(std::move(signedIn));

    PostRuns(sink, toPost, done);
    m_session.CloseAll();
    done.notPosted = static_cast<int>(done.failedIds.size() + done.unconfirmedIds.size());
    if (done.notPosted != 0 || m_failure.failure != Failure::None) {
        done.Fail(m_failure);
    }
    const bool allPosted = Succeeded(done.outcome);
    sink.Post(std::move(done));
    return allPosted;
}

bool SiteWorker::SignIn() {
    // The cookie store outlives sessions: an earlier sign-in may still be open.
    const std::string home =
        m_session.HttpGet(SiteUrl(m_settings, "/index.php"), kOrdinaryRequestOptions).Text();
    if (home.find("formhash=") != std::string::npos) {
        // Encoded, so that a token from the page cannot add a query field.
        const std::string token = FormEncode(TextBetween(home, "formhash=", "\""));
        m_session.HttpGet(SiteUrl(m_settings, "/logging.php?action=logout&formhash=" + token),
                          kOrdinaryRequestOptions);
    }

    const std::string form =
        m_session.HttpGet(SiteUrl(m_settings, "/logging.php?action=login"), kOrdinaryRequestOptions)
            .Text();
    m_formHash = TextBetween(form, "formhash\" value=\"", "\"");
    const std::string cookieTime =
        TextBetween(TextBetween(form, "cookietime", "/>"), "value=\"", "\"");

    const HttpResult answer = m_session.HttpPostForm(
        SiteUrl(m_settings, "/logging.php?action=login&loginsubmit=true"),
        BuildSignInBody(m_formHash, cookieTime, m_settings.siteUser, m_settings.sitePassword));
    // A post that failed signed nobody in, whatever its (empty) answer says.
    if (!answer.ok()) {
        m_failure = FailureOf(answer);
        return false;
    }
    if (answer.body.find(SignInFailedText()) != std::string::npos) {
        m_failure = {Failure::Refused, "user name or password refused"};
        return false;
    }
    return true;
}

void SiteWorker::PostRuns(ProgressSink& sink, const std::vector<const RunRow*>& runs,
                          ProgressReport& done) {
    const int total = static_cast<int>(runs.size());
    const std::string url = SiteUrl(m_settings, "/runlogger.php?action=deal_add");
    bool stopped = false;
    for (int i = 0; i < total; ++i) {
        const RunRow& row = *runs[static_cast<std::size_t>(i)];
        const std::string_view runId = row[kColumnRunId];
        if (!stopped && m_stop.stop_requested()) {
            m_failure = {Failure::Cancelled, "cancelled"};
            stopped = true;
        }
        if (stopped) {
            done.failedIds.emplace_back(runId);
            continue;
        }
        const HttpResult result = m_session.HttpPostForm(
            url, BuildRunLogBody(m_formHash, row, EncodedRunLogDescription()));
        if (result.answered() && result.status / 100 == 2) {
            if (FileResult recorded = m_options.record->Add(m_settings, runId); !recorded) {
                // The site has this run but the record does not: the user is
                // told which, as for a post in doubt, and every further post
                // would widen the gap.
                done.unconfirmedIds.emplace_back(runId);
                m_failure = {Failure::Store, recorded.error};
                stopped = true;
            }
        } else if (result.mayHaveArrived()) {
            // The site may have it: it is not recorded (the next sync posts it
            // again), and nothing more is posted while the site is in doubt.
            done.unconfirmedIds.emplace_back(runId);
            m_failure = FailureOf(result);
            stopped = true;
        } else {
            done.failedIds.emplace_back(runId);
            m_failure = FailureOf(result);
            // No answer at all: the site is gone or stuck, and every further
            // post would wait out its own time-out.
            stopped = result.status == 0;
        }
        sink.Post({.message = WM_SYNC_PROGRESS, .total = total, .processed = i + 1});
    }
}

void RunSync(std::stop_token stop, const Settings& settings, WebSessionConfig sessionConfig,
             ProgressSink& sink, const RunTable& table, SyncOptions options) {
    // The site speaks plain HTTP: the run service's authorities are no business
    // of its session, and a cafile that cannot be read must not keep it shut.
    sessionConfig.caFile.clear();
    sessionConfig.caPem.clear();
    if (!options.record) {
        options.record = std::make_shared<PostedRuns>();
    }
    SiteWorker(settings, std::move(sessionConfig), std::move(options), std::move(stop))
        .RunJob(sink, table);
}

std::jthread StartSync(const Settings& settings, WebSessionConfig sessionConfig, ProgressSink& sink,
                       std::shared_ptr<const RunTable> table, SyncOptions options) {
    return std::jthread([settings, config = std::move(sessionConfig), &sink,
                         table = std::move(table),
                         options = std::move(options)](std::stop_token stop) mutable {
        RunSync(std::move(stop), settings, std::move(config), sink, *table, std::move(options));
    });
}

}  // namespace strivo
