#include "jobs/Sync.h"

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

#include "jobs/Manners.h"
#include "jobs/StoreAccess.h"
#include "jobs/SyncNotice.h"
#include "jobs/SyncPlan.h"
#include "model/ProblemWords.h"
#include "site/SiteClient.h"
#include "store/SyncLock.h"

namespace strivo::jobs {
namespace {

StoreTime Now() {
    return std::chrono::system_clock::now();
}

// Cuts the site's request in flight once the job is asked to stop: at once
// while signing in, after a grace period once posting (so that the post in
// flight is answered and its outcome kept). It looks at the job's stop every
// 20 ms rather than holding a callback on it: a callback's end can wait on a
// semaphore that MinGW's C++ library may never wake when the stop comes from
// another thread at that moment.
class Cutter {
public:
    Cutter(std::stop_token job, std::chrono::milliseconds grace, std::stop_source cut)
        : m_job(std::move(job)),
          m_grace(grace),
          m_cut(std::move(cut)),
          m_thread([this] { Watch(); }) {}
    ~Cutter() {
        {
            const std::lock_guard lock(m_mutex);
            m_done = true;
        }
        m_wake.notify_all();
        m_thread.join();
    }
    Cutter(const Cutter&) = delete;
    Cutter& operator=(const Cutter&) = delete;

    // From now on a stop lets the request in flight finish, for a while.
    void Posting() {
        const std::lock_guard lock(m_mutex);
        m_posting = true;
    }

private:
    void Watch() {
        std::unique_lock lock(m_mutex);
        while (!m_done && !m_job.stop_requested()) {
            m_wake.wait_for(lock, std::chrono::milliseconds(20));
        }
        if (m_done) {
            return;
        }
        if (m_posting) {
            const auto until = std::chrono::steady_clock::now() + m_grace;
            m_wake.wait_until(lock, until, [this] { return m_done; });
        }
        if (!m_done) {
            m_cut.request_stop();
        }
    }

    const std::stop_token m_job;
    const std::chrono::milliseconds m_grace;
    std::stop_source m_cut;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_done = false;
    bool m_posting = false;
    std::thread m_thread;  // last: it uses the members above
};

// One sync: the plan, the site's session and the store's ledger.
class SyncRun {
public:
    SyncRun(const Workspace& where, ProgressSink& sink, std::stop_token stop,
            const SyncOptions& options)
        : m_where(where),
          m_sink(sink),
          m_stop(std::move(stop)),
          m_options(options),
          m_site(SiteKeyOf(where.settings)),
          m_client(where.settings, where.session, m_cut.get_token()),
          m_cutter(m_stop, options.finishPostInFlight, m_cut) {}

    // Syncs, then keeps a record of how it went.
    SyncTally Run(const RunList& runs);

private:
    SyncTally Steps(const RunList& runs);
    // The store's record of this sync; a store that cannot keep it loses
    // the record, not the sync, and a warning says so.
    void Record();
    // SyncInterrupted by what asked the sync to stop, or SyncStopped.
    Problem StopProblem() const;
    // Takes the lock, reads what the store knows and plans; a problem when
    // nothing can be posted that the store would keep.
    Outcome Prepare(const RunList& runs);
    void Plan(const RunList& runs, const std::unordered_map<std::string, PostRecord>& posts);
    // Ends the sync before anything is posted: every run to post is untried.
    SyncTally FailBeforePosting(Problem why);
    // Posts the runs one after another, each one's intent committed before it
    // goes out, together with the outcome of the one before.
    void PostRuns();
    // Commits the previous post's outcome and the next one's intent, if any.
    Outcome KeepOutcomeAndIntent(const std::optional<PostOutcome>& previous,
                                 std::optional<std::string_view> next);
    void Finish();

    const Workspace& m_where;
    ProgressSink& m_sink;
    std::stop_token m_stop;  // the job's
    const SyncOptions m_options;
    const SiteKey m_site;
    // Cuts the session's request in flight: at once during the sign-in, a
    // grace period after the job's stop while posting.
    std::stop_source m_cut;
    SiteClient m_client;
    Cutter m_cutter;  // after the client: it is stopped before the client goes
    SyncLock m_lock;
    std::unique_ptr<RunStore> m_store;
    RunList m_fileRuns;  // the runs read from files: planned after the list's
    std::vector<PlannedRun> m_plan;
    std::vector<const PlannedRun*> m_toPost;
    SyncTally m_tally;
    std::optional<Problem> m_failure;  // why the last failed post failed
    const StoreTime m_started = Now();
};

SyncTally SyncRun::Run(const RunList& runs) {
    return Steps(runs);
}

void SyncRun::Record() {
    SyncRecord record{.started = m_started, .ended = Now(), .by = m_where.by, .site = m_site};
    record.end = m_tally.stopped   ? SyncEnd::Stopped
                 : m_tally.problem ? SyncEnd::Failed
                                   : SyncEnd::Done;
    // A stop is recorded by what asked for it, whatever it cut short.
    record.reason = m_tally.stopped   ? ProblemKey(StopProblem())
                    : m_tally.problem ? ProblemKey(*m_tally.problem)
                                      : std::string();
    // A sign-in that failed tried none of the runs to post.
    const bool noneTried = m_tally.problem && !m_tally.signedIn;
    record.posted = noneTried ? 0 : m_tally.total - m_tally.notPosted;
    record.failed = static_cast<int>(m_tally.failedIds.size());
    // Sent without an answer, or confirmed and not recorded: the store holds
    // them back, as it does the runs held since an earlier sync.
    record.held = static_cast<int>(m_tally.heldIds.size() + m_tally.unconfirmedIds.size() +
                                   m_tally.unrecordedIds.size());
    record.untried = noneTried ? m_tally.total : static_cast<int>(m_tally.untriedIds.size());
    if (m_store) {
        if (Outcome kept = m_store->RecordSync(record); !kept) {
            m_tally.warnings.push_back(
                Problem(ProblemCode::SyncNotRecorded).Because(kept.problem()));
        }
    }
    SpeakUpIfNeeded(m_where, record, m_tally.problem);
}

Problem SyncRun::StopProblem() const {
    const std::string by = m_options.stoppedBy ? m_options.stoppedBy() : std::string();
    return by.empty() ? Problem(ProblemCode::SyncStopped)
                      : Problem(ProblemCode::SyncInterrupted, {by});
}

SyncTally SyncRun::Steps(const RunList& runs) {
    if (Outcome prepared = Prepare(runs); !prepared) {
        return FailBeforePosting(prepared.problem());
    }
    // Nothing goes to a site that asked to be left alone, nor a password it
    // refused to a run that nobody watches.
    if (Outcome may = MayContact(*m_store, m_where, Service::Site, Now()); !may) {
        return FailBeforePosting(may.problem());
    }
    if (Outcome signedIn = m_client.SignIn(); !signedIn) {
        const Problem why = *Learn(*m_store, m_where, Service::Site, signedIn.problem(),
                                   /*signedIn=*/false, Now());
        m_tally.problem = IsPause(why) ? why : Problem(ProblemCode::SiteSignInFailed).Because(why);
        m_tally.stopped = m_stop.stop_requested();
        Record();
        m_sink.Post({.step = Step::SiteSignedIn, .problem = why, .warnings = m_tally.warnings});
        return m_tally;
    }
    Learn(*m_store, m_where, Service::Site, std::nullopt, /*signedIn=*/true, Now(),
          &m_tally.warnings);
    m_tally.signedIn = true;
    m_sink.Post({.step = Step::SiteSignedIn, .warnings = m_tally.warnings});
    PostRuns();
    m_client.Close();
    Finish();
    Record();
    m_sink.Post({.step = Step::SyncDone,
                 .problem = m_tally.problem,
                 .tally = m_tally,
                 .warnings = m_tally.warnings});
    return m_tally;
}

Outcome SyncRun::Prepare(const RunList& runs) {
    Result<std::unique_ptr<RunStore>> opened = OpenStore(m_where);
    if (!opened) {
        Plan(runs, {});
        return opened.problem();
    }
    m_store = std::move(*opened);
    // Other syncs, of this version or an older one, are kept out for as long
    // as this one runs, and no longer.
    const std::vector<std::filesystem::path> older = m_where.OlderRecords();
    if (Outcome locked = m_lock.Acquire(m_where.StorePath(), older); !locked) {
        Plan(runs, {});
        return locked;
    }
    Result<std::vector<OlderRecordImport>> imported = m_store->ImportPostedRuns(older);
    if (imported) {
        for (const OlderRecordImport& import : *imported) {
            if (import.problem) {
                m_tally.warnings.push_back(*import.problem);
            }
        }
    }
    if (!imported) {
        Plan(runs, {});
        return imported.problem();
    }
    if (Result<std::vector<std::string>> begun = m_store->BeginSync(m_site, Now()); !begun) {
        Plan(runs, {});
        return begun.problem();
    }
    Result<std::unordered_map<std::string, PostRecord>> posts = m_store->Posts(m_site);
    // The runs read from files go after the list's; those not released are
    // planned as excluded.
    Result<RunList> fromFiles = ReadFileRuns(*m_store, m_where);
    if (posts && fromFiles) {
        m_fileRuns = std::move(*fromFiles);
    }
    Plan(runs, posts ? *posts : std::unordered_map<std::string, PostRecord>());
    if (!posts) {
        return posts.problem();
    }
    return fromFiles ? Outcome() : Outcome(fromFiles.problem());
}

void SyncRun::Plan(const RunList& runs, const std::unordered_map<std::string, PostRecord>& posts) {
    m_plan = PlanSync(runs, posts, m_options.postAll);
    std::vector<PlannedRun> fileRuns = PlanFileRuns(m_fileRuns, runs, posts, m_options.postAll);
    m_plan.insert(m_plan.end(), fileRuns.begin(), fileRuns.end());
    for (const PlannedRun& run : m_plan) {
        m_tally.withoutId += run.action == RunAction::WithoutId ? 1 : 0;
        m_tally.alreadyPosted += run.action == RunAction::AlreadyPosted ? 1 : 0;
        m_tally.excluded += run.action == RunAction::Excluded ? 1 : 0;
        if (run.action == RunAction::Held) {
            m_tally.heldIds.emplace_back(run.run->id());
        }
        if (run.action == RunAction::Post) {
            m_toPost.push_back(&run);
        }
    }
    m_tally.total = static_cast<int>(m_toPost.size());
}

SyncTally SyncRun::FailBeforePosting(Problem why) {
    m_tally.problem = std::move(why);
    for (const PlannedRun* planned : m_toPost) {
        m_tally.untriedIds.emplace_back(planned->run->id());
    }
    m_tally.notPosted = m_tally.total;
    m_tally.stopped = m_stop.stop_requested();
    Record();
    m_sink.Post({.step = Step::SyncDone,
                 .problem = m_tally.problem,
                 .tally = m_tally,
                 .warnings = m_tally.warnings});
    return m_tally;
}

Outcome SyncRun::KeepOutcomeAndIntent(const std::optional<PostOutcome>& previous,
                                      std::optional<std::string_view> next) {
    return m_store->RecordOutcomeAndIntent(m_site, previous, next, Now());
}

void SyncRun::PostRuns() {
    // No more sign-in: a stop now lets the post in flight finish, for a while.
    m_cutter.Posting();
    const int total = m_tally.total;
    std::optional<PostOutcome> previous;
    int processed = 0;
    // Kept: the outcome of the post before is in the store now.
    const auto kept = [&] {
        if (previous) {
            m_sink.Post({.step = Step::Posted,
                         .runId = previous->runId,
                         .result = previous->result,
                         .total = total,
                         .processed = processed});
        }
    };
    const auto keepFailed = [&](const Outcome& commit) {
        // The site has the previous run but the store does not say so: it
        // stays `sending`, so the next sync holds it back rather than post it
        // twice, and nothing more is posted that the store cannot hold.
        if (previous && previous->result == PostResult::Confirmed) {
            m_tally.unrecordedIds.push_back(previous->runId);
        }
        m_failure = commit.problem();
    };
    int next = 0;
    for (; next < total; ++next) {
        const PlannedRun& planned = *m_toPost[static_cast<std::size_t>(next)];
        const std::string_view runId = planned.run->id();
        if (m_stop.stop_requested()) {
            m_failure = StopProblem();
            break;
        }
        if (Outcome commit = KeepOutcomeAndIntent(previous, runId); !commit) {
            keepFailed(commit);
            previous.reset();
            break;
        }
        kept();
        previous.reset();
        m_sink.Post({.step = Step::Posting,
                     .runId = std::string(runId),
                     .total = total,
                     .processed = next});
        PostVerdict verdict = m_client.Post(*planned.run);
        if (verdict.problem) {
            m_failure = verdict.problem;
        }
        previous =
            PostOutcome{std::string(runId), verdict.result,
                        verdict.problem ? ProblemKey(*verdict.problem) : std::string(), Now()};
        processed = next + 1;
        switch (verdict.result) {
            case PostResult::Confirmed:
                m_tally.postedAgain += planned.wasConfirmed ? 1 : 0;
                break;
            case PostResult::Unknown:
                m_tally.unconfirmedIds.emplace_back(runId);
                break;
            case PostResult::Failed:
            case PostResult::NotSent:
                m_tally.failedIds.emplace_back(runId);
                break;
        }
        if (verdict.stop) {
            ++next;
            break;
        }
    }
    if (previous) {
        if (Outcome commit = KeepOutcomeAndIntent(previous, std::nullopt); !commit) {
            keepFailed(commit);
        }
        kept();
    }
    for (; next < total; ++next) {
        m_tally.untriedIds.emplace_back(m_toPost[static_cast<std::size_t>(next)]->run->id());
    }
}

void SyncRun::Finish() {
    m_tally.stopped = m_stop.stop_requested();
    m_tally.notPosted = static_cast<int>(m_tally.failedIds.size() + m_tally.unconfirmedIds.size() +
                                         m_tally.untriedIds.size() + m_tally.unrecordedIds.size());
    if (m_failure) {
        m_failure = Learn(*m_store, m_where, Service::Site, m_failure, /*signedIn=*/false, Now());
    }
    if (m_tally.notPosted != 0 || m_failure) {
        m_tally.problem = m_failure ? *m_failure : Problem();
    }
}

}  // namespace

SyncTally Sync(const Workspace& where, const RunList& runs, ProgressSink& sink,
               std::stop_token stop, const SyncOptions& options) {
    // One snapshot for the whole sync: runs that change meanwhile cannot make
    // it read past the end.
    return SyncRun(where, sink, std::move(stop), options).Run(runs);
}

std::optional<Problem> RecordSyncNotStarted(const Workspace& where, StoreTime started,
                                            const Problem& why) {
    const SyncRecord record{.started = started,
                            .ended = Now(),
                            .by = where.by,
                            .site = SiteKeyOf(where.settings),
                            .end = SyncEnd::Failed,
                            .reason = ProblemKey(why)};
    std::optional<Problem> notKept;
    // Nothing of this account is kept before its first download.
    if (where.StoreExists()) {
        Result<std::unique_ptr<RunStore>> store = OpenStore(where);
        Outcome kept = store ? (*store)->RecordSync(record) : Outcome(store.problem());
        if (!kept) {
            notKept = Problem(ProblemCode::SyncNotRecorded).Because(kept.problem());
        }
    }
    SpeakUpIfNeeded(where, record, why);
    return notKept;
}

}  // namespace strivo::jobs
