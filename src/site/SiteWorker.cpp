#include "site/SiteWorker.h"

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <unordered_map>

#include "runservice/RequestFailure.h"
#include "site/RunLogForm.h"
#include "site/SyncPlan.h"
#include "store/SharedStore.h"
#include "text/CodePage.h"
#include "text/TextHelpers.h"

namespace strivo {
namespace {

const std::string& SignInFailedText() {
    static const std::string text = Utf8ToCp936("登录失败");
    return text;
}

// Signs in to the community site and posts the runs of the run table that
// the run store does not hold as confirmed or unknown, for one sync. Reaches
// the outside only through its progress sink, the run table and the store.
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
    // Posts the runs one after another, each one's intent committed before it
    // goes out, together with the outcome of the one before.
    void PostRuns(ProgressSink& sink, const std::vector<const PlannedRun*>& runs,
                  ProgressReport& done);
    // What the answer to one post means; sets m_failure when the sync stops.
    PostResult Judge(std::string_view runId, const HttpResult& result, bool* stop);
    // Commits the previous outcome and the next intent, if any.
    StoreResult Commit(const std::optional<PostOutcome>& previous,
                       std::optional<std::string_view> next);
    // Fails `done` before anything is posted: every run to post is untried.
    bool FailBeforePosting(ProgressSink& sink, ProgressReport& done,
                           const std::vector<const PlannedRun*>& toPost, FailureCause why);

    const Settings m_settings;
    const SyncOptions m_options;
    const SiteKey m_site;
    std::stop_token m_stop;  // the job's
    // Cuts the session's request in flight: at once during the sign-in, a
    // grace period after the job's stop while posting.
    std::stop_source m_cut;
    std::optional<std::stop_callback<std::function<void()>>> m_cutAtOnce;
    WebSession m_session;
    std::string m_formHash;
    FailureCause m_failure;  // why the sign-in or the last failed post failed
    int m_serverErrorsInARow = 0;
};

// Three 5xx answers in a row: the site is down, and every further post
// would be one more the runner has to look after.
constexpr int kServerErrorsToStop = 3;

}  // namespace

SiteWorker::SiteWorker(const Settings& settings, WebSessionConfig sessionConfig,
                       SyncOptions options, std::stop_token stop)
    : m_settings(settings),
      m_options(std::move(options)),
      m_site(SiteKeyOf(settings)),
      m_stop(std::move(stop)),
      m_cutAtOnce(std::in_place, m_stop, [this] { m_cut.request_stop(); }),
      m_session(std::move(sessionConfig), m_cut.get_token()) {}

bool SiteWorker::FailBeforePosting(ProgressSink& sink, ProgressReport& done,
                                   const std::vector<const PlannedRun*>& toPost,
                                   FailureCause why) {
    done.Fail(std::move(why));
    done.total = static_cast<int>(toPost.size());
    for (const PlannedRun* planned : toPost) {
        done.untriedIds.emplace_back((*planned->row)[kColumnRunId]);
    }
    done.notPosted = done.total;
    done.stopped = m_stop.stop_requested();
    sink.Post(std::move(done));
    return false;
}

bool SiteWorker::RunJob(ProgressSink& sink, const RunTable& table) {
    SharedStore& shared = *m_options.store;
    // One snapshot for the whole sync: rows that change meanwhile cannot make
    // it read past the end.
    const RunRows rows = table.Snapshot();
    ProgressReport done{.message = WM_SYNC_DONE};
    std::unordered_map<std::string, PostRecord> posts;
    const auto plan = [&] {
        std::vector<PlannedRun> planned = PlanSync(rows, posts, m_options.postAll);
        for (const PlannedRun& run : planned) {
            done.withoutId += run.action == RunAction::WithoutId ? 1 : 0;
            done.alreadyPosted += run.action == RunAction::AlreadyPosted ? 1 : 0;
            if (run.action == RunAction::Held) {
                done.heldIds.emplace_back((*run.row)[kColumnRunId]);
            }
        }
        return planned;
    };
    const auto toPostOf = [](const std::vector<PlannedRun>& planned) {
        std::vector<const PlannedRun*> toPost;
        for (const PlannedRun& run : planned) {
            if (run.action == RunAction::Post) {
                toPost.push_back(&run);
            }
        }
        return toPost;
    };

    // Nothing is posted that the store cannot hold.
    if (!shared.opened()) {
        const std::vector<PlannedRun> planned = plan();
        return FailBeforePosting(sink, done, toPostOf(planned),
                                 {Failure::Store, shared.opened().reason});
    }
    // Other syncs, of this version or an older one, are kept out for as long
    // as this one runs, and no longer.
    SyncLock lock;
    if (const StoreResult locked = lock.Acquire(shared.path(), shared.olderRecords()); !locked) {
        const std::vector<PlannedRun> planned = plan();
        return FailBeforePosting(
            sink, done, toPostOf(planned),
            {locked.error == StoreError::InUse ? Failure::StoreInUse : Failure::Store,
             locked.reason});
    }
    std::vector<std::string> warnings;
    const StoreResult prepared = shared.With([&](RunStore* store) {
        std::vector<ImportReport> imports;
        StoreResult result = store->ImportPostedRuns(shared.olderRecords(), &imports);
        for (const ImportReport& import : imports) {
            if (!import.warning.empty()) {
                warnings.push_back(import.warning);
            }
        }
        if (result) {
            result = store->BeginSync(m_site, std::chrono::system_clock::now());
        }
        if (result) {
            posts = store->Posts(m_site, &result);
        }
        return result;
    });
    const std::vector<PlannedRun> planned = plan();
    const std::vector<const PlannedRun*> toPost = toPostOf(planned);
    if (!prepared) {
        done.warnings = std::move(warnings);
        return FailBeforePosting(sink, done, toPost, {Failure::Store, prepared.reason});
    }
    done.total = static_cast<int>(toPost.size());

    // A session that cannot be opened is a failed sign-in, so the sync button
    // comes back.
    ProgressReport signedIn{.message = WM_SITE_LOGIN_DONE, .warnings = std::move(warnings)};
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
    done.stopped = m_stop.stop_requested();
    done.notPosted = static_cast<int>(done.failedIds.size() + done.unconfirmedIds.size() +
                                      done.untriedIds.size() + done.unrecordedIds.size());
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
        BuildSignInBody(m_formHash, cookieTime, m_settings.siteUser, m_settings.sitePassword),
        {.retryOnFreshConnection = true});  // signing in again changes nothing on the site
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

StoreResult SiteWorker::Commit(const std::optional<PostOutcome>& previous,
                               std::optional<std::string_view> next) {
    return m_options.store->With([&](RunStore* store) {
        return store->RecordOutcomeAndIntent(m_site, previous, next,
                                             std::chrono::system_clock::now());
    });
}

PostResult SiteWorker::Judge(std::string_view runId, const HttpResult& result, bool* stop) {
    const std::string run = "run " + std::string(runId);
    const auto sessionEnded = [&](std::string_view answer) {
        m_failure = {Failure::SessionEnded,
                     "the site signed the session out: it answered the post of " + run + " with " +
                         std::string(answer) + "; it and the runs after it are posted next time"};
        *stop = true;
        return PostResult::Failed;
    };
    const bool answered = result.answered();
    const long status = answered ? result.status : 0;
    m_serverErrorsInARow = status / 100 == 5 ? m_serverErrorsInARow + 1 : 0;
    if (status / 100 == 2) {
        // Forum software shows its sign-in form in place of a page the
        // session may no longer see.
        if (result.body.find("loginsubmit") != std::string::npos) {
            return sessionEnded("its sign-in form");
        }
        return PostResult::Confirmed;
    }
    if (status / 100 == 3) {
        if (result.location.find("logging.php") != std::string::npos) {
            return sessionEnded("a redirect to its sign-in page");
        }
        // The site may store a post and then redirect to a page showing it.
        m_failure = {Failure::Redirected, "the site redirected the post of " + run + " (" +
                                              std::to_string(result.status) + " to " + result.location +
                                              "); the run is held until you check the run log"};
        *stop = true;
        return PostResult::Unknown;
    }
    if (status == 403) {
        return sessionEnded("403 (forbidden)");
    }
    m_failure = FailureOf(result);
    if (answered) {
        if (m_serverErrorsInARow >= kServerErrorsToStop) {
            m_failure.reason += "; the site answered " + std::to_string(kServerErrorsToStop) +
                                " posts in a row with a server error, so the sync stopped";
            *stop = true;
        }
        return PostResult::Failed;
    }
    if (result.mayHaveArrived()) {
        // The site may have it: it is held, and nothing more is posted while
        // the site is in doubt.
        *stop = true;
        return PostResult::Unknown;
    }
    // Nothing was sent: the site is gone or stuck, and every further post
    // would wait out its own time-out.
    *stop = true;
    return PostResult::NotSent;
}

void SiteWorker::PostRuns(ProgressSink& sink, const std::vector<const PlannedRun*>& runs,
                          ProgressReport& done) {
    // No more sign-in: a stop now lets the post in flight finish, for a while.
    m_cutAtOnce.reset();
    if (m_stop.stop_requested()) {
        m_cut.request_stop();
    }
    std::jthread grace([this](std::stop_token finished) {
        std::mutex mutex;
        std::condition_variable_any wake;
        const std::stop_callback onStop(m_stop, [&] {
            const std::lock_guard lock(mutex);
            wake.notify_all();
        });
        std::unique_lock lock(mutex);
        if (!wake.wait(lock, finished, [this] { return m_stop.stop_requested(); })) {
            return;  // the posts ended first
        }
        wake.wait_for(lock, finished, m_options.finishPostInFlight, [] { return false; });
        if (!finished.stop_requested()) {
            m_cut.request_stop();
        }
    });

    const int total = static_cast<int>(runs.size());
    const std::string url = SiteUrl(m_settings, "/runlogger.php?action=deal_add");
    std::optional<PostOutcome> previous;
    const auto keepFailed = [&](const StoreResult& kept) {
        // The site has the previous run but the store does not say so: it
        // stays `sending`, so the next sync holds it back rather than post it
        // twice, and nothing more is posted that the store cannot hold.
        if (previous && previous->result == PostResult::Confirmed) {
            done.unrecordedIds.push_back(previous->runId);
        }
        m_failure = {Failure::Store, kept.reason};
    };
    int next = 0;
    for (; next < total; ++next) {
        const PlannedRun& planned = *runs[static_cast<std::size_t>(next)];
        const std::string_view runId = (*planned.row)[kColumnRunId];
        if (m_stop.stop_requested()) {
            m_failure = {Failure::Cancelled, "stopped"};
            break;
        }
        if (const StoreResult kept = Commit(previous, runId); !kept) {
            keepFailed(kept);
            previous.reset();
            break;
        }
        previous.reset();
        const HttpResult result = m_session.HttpPostForm(
            url, BuildRunLogBody(m_formHash, *planned.row, EncodedRunLogDescription()),
            {.followRedirects = false});
        bool stop = false;
        const PostResult judged = Judge(runId, result, &stop);
        previous = PostOutcome{std::string(runId), judged,
                               judged == PostResult::Confirmed ? std::string() : m_failure.reason,
                               std::chrono::system_clock::now()};
        switch (judged) {
            case PostResult::Confirmed:
                done.postedAgain += planned.wasConfirmed ? 1 : 0;
                break;
            case PostResult::Unknown:
                done.unconfirmedIds.emplace_back(runId);
                break;
            case PostResult::Failed:
            case PostResult::NotSent:
                done.failedIds.emplace_back(runId);
                break;
        }
        sink.Post({.message = WM_SYNC_PROGRESS, .total = total, .processed = next + 1});
        if (stop) {
            ++next;
            break;
        }
    }
    if (previous) {
        if (const StoreResult kept = Commit(previous, std::nullopt); !kept) {
            keepFailed(kept);
        }
    }
    for (; next < total; ++next) {
        done.untriedIds.emplace_back((*runs[static_cast<std::size_t>(next)]->row)[kColumnRunId]);
    }
}

void RunSync(std::stop_token stop, const Settings& settings, WebSessionConfig sessionConfig,
             ProgressSink& sink, const RunTable& table, SyncOptions options) {
    // The site speaks plain HTTP: the run service's authorities are no business
    // of its session, and a cafile that cannot be read must not keep it shut.
    sessionConfig.caFile.clear();
    sessionConfig.caPem.clear();
    if (!options.store) {
        options.store = SharedStore::InMemory();
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
