// The post ledger: each run-log post's intent before it goes out, its outcome
// after, and the runner's settling of held runs.

#include "store/RunStore.h"
#include "store/Statement.h"

namespace strivo {

using store_detail::FromMillis;
using store_detail::Millis;
using store_detail::Statement;

namespace {

PostState StateFromName(std::string_view name) {
    for (const PostState state : {PostState::Sending, PostState::Confirmed, PostState::Failed,
                                  PostState::Unknown, PostState::Excluded}) {
        if (name == PostStateName(state)) {
            return state;
        }
    }
    return PostState::Unknown;
}

// The outcome of the previous post: confirmed; failed or unknown (a run
// confirmed before stays confirmed, whatever this post did); or not sent
// (back to what the row was before its intent; a new row goes).
const char* OutcomeSql(PostResult result) {
    switch (result) {
        case PostResult::Confirmed:
            return "INSERT INTO posts(account, run_id, state, outcome_ms, reason) "
                   "VALUES(?1, ?4, 'confirmed', ?5, NULL) "
                   "ON CONFLICT DO UPDATE SET state='confirmed', outcome_ms=?5, reason=NULL, "
                   "prior_state=NULL, prior_intent_ms=NULL, prior_outcome_ms=NULL, "
                   "prior_reason=NULL";
        case PostResult::Failed:
        case PostResult::Unknown:
            return "INSERT INTO posts(account, run_id, state, outcome_ms, reason) "
                   "VALUES(?1, ?4, ?6, ?5, ?7) "
                   "ON CONFLICT DO UPDATE SET "
                   "state=iif(coalesce(prior_state, state)='confirmed', 'confirmed', ?6), "
                   "outcome_ms=iif(coalesce(prior_state, state)='confirmed', "
                   "coalesce(prior_outcome_ms, outcome_ms), ?5), "
                   "intent_ms=iif(prior_state='confirmed', prior_intent_ms, intent_ms), "
                   "reason=iif(coalesce(prior_state, state)='confirmed', "
                   "iif(prior_state IS NULL, reason, prior_reason), ?7), "
                   "prior_state=NULL, prior_intent_ms=NULL, prior_outcome_ms=NULL, "
                   "prior_reason=NULL";
        case PostResult::NotSent:
            break;
    }
    return "DELETE FROM posts WHERE account=?1 AND run_id=?4 AND state='sending' "
           "AND prior_state IS NULL";
}

}  // namespace

Result<std::vector<std::string>> RunStore::BeginSync(const SiteKey& site, StoreTime now) {
    StoreTransaction transaction(*this);
    if (!transaction.begun()) {
        return transaction.begun().problem();
    }
    const Result<std::int64_t> account = AccountId("site", site.host, site.port, site.user);
    if (!account) {
        return account.problem();
    }
    Statement turned(
        m_db,
        "UPDATE posts SET "
        "state=iif(prior_state='confirmed', 'confirmed', 'unknown'), "
        "outcome_ms=iif(prior_state='confirmed', prior_outcome_ms, ?4), "
        "intent_ms=iif(prior_state='confirmed', prior_intent_ms, intent_ms), "
        "reason=iif(prior_state='confirmed', prior_reason, "
        "'sync-ended-before-answer'), "
        "prior_state=NULL, prior_intent_ms=NULL, prior_outcome_ms=NULL, prior_reason=NULL "
        "WHERE account=?1 AND state='sending' "
        "RETURNING run_id, state");
    turned.Bind(1, *account).Bind(4, Millis(now));
    std::vector<std::string> unknown;
    while (turned.Step() == SQLITE_ROW) {
        if (turned.Utf8(1) == "unknown") {
            unknown.push_back(turned.Cp936(0));
        }
    }
    if (!turned.ok()) {
        return Failure(ProblemCode::StoreCannotWrite);
    }
    turned.Reset();
    if (Outcome committed = transaction.Commit(); !committed) {
        return committed.problem();
    }
    return unknown;
}

Outcome RunStore::RecordOutcomeAndIntent(const SiteKey& site,
                                         const std::optional<PostOutcome>& previous,
                                         std::optional<std::string_view> nextRunId, StoreTime now) {
    if (!previous && !nextRunId) {
        return {};
    }
    StoreTransaction transaction(*this);
    if (!transaction.begun()) {
        return transaction.begun();
    }
    const Result<std::int64_t> account = AccountId("site", site.host, site.port, site.user, true);
    if (!account) {
        return account.problem();
    }
    if (previous) {
        Statement& outcome = Cached(OutcomeSql(previous->result));
        outcome.Bind(1, *account);
        outcome.BindCp936(4, previous->runId).Bind(5, Millis(previous->at));
        if (previous->result == PostResult::Failed || previous->result == PostResult::Unknown) {
            outcome.Bind(
                6, std::string(previous->result == PostResult::Failed ? "failed" : "unknown"));
            outcome.Bind(7, previous->reason);
        }
        if (!outcome.ok() || !outcome.Run()) {
            return Failure(ProblemCode::StoreCannotWrite);
        }
        if (previous->result == PostResult::NotSent) {
            Statement& restore = Cached(
                "UPDATE posts SET state=prior_state, intent_ms=prior_intent_ms, "
                "outcome_ms=prior_outcome_ms, reason=prior_reason, prior_state=NULL, "
                "prior_intent_ms=NULL, prior_outcome_ms=NULL, prior_reason=NULL "
                "WHERE account=?1 AND run_id=?4 AND state='sending'");
            restore.Bind(1, *account);
            restore.BindCp936(4, previous->runId);
            if (!restore.ok() || !restore.Run()) {
                return Failure(ProblemCode::StoreCannotWrite);
            }
        }
    }
    if (nextRunId) {
        Statement& intent = Cached(
            "INSERT INTO posts(account, run_id, state, intent_ms) "
            "VALUES(?1, ?4, 'sending', ?5) ON CONFLICT DO UPDATE SET "
            "prior_state=state, prior_intent_ms=intent_ms, prior_outcome_ms=outcome_ms, "
            "prior_reason=reason, state='sending', intent_ms=?5, outcome_ms=NULL, "
            "reason=NULL");
        intent.Bind(1, *account);
        intent.BindCp936(4, *nextRunId).Bind(5, Millis(now));
        if (!intent.ok() || !intent.Run()) {
            return Failure(ProblemCode::StoreCannotWrite);
        }
    }
    return transaction.Commit();
}

Result<std::unordered_map<std::string, PostRecord>> RunStore::Posts(const SiteKey& site) const {
    std::unordered_map<std::string, PostRecord> posts;
    // Runs imported while no site user was set were kept off under none:
    // they stay off for the user set since, until released.
    const Result<std::int64_t> own = AccountId("site", site.host, site.port, site.user);
    const Result<std::int64_t> unnamed = AccountId("site", site.host, site.port, "");
    if (!own || !unnamed) {
        return !own ? own.problem() : unnamed.problem();
    }
    Statement read(m_db,
                   "SELECT run_id, state, intent_ms, outcome_ms, reason, account=?1 FROM posts "
                   "WHERE account=?1 OR (account=?2 AND state='excluded')");
    read.Bind(1, *own).Bind(2, *unnamed);
    while (read.Step() == SQLITE_ROW) {
        const bool mine = read.Int(5) != 0;
        auto [at, added] = posts.try_emplace(read.Cp936(0));
        if (!mine && !added) {
            continue;
        }
        PostRecord& post = at->second;
        post.state = StateFromName(read.Utf8(1));
        if (!read.IsNull(2)) {
            post.intentAt = FromMillis(read.Int(2));
        }
        if (!read.IsNull(3)) {
            post.outcomeAt = FromMillis(read.Int(3));
        }
        post.reason = read.Utf8(4);
    }
    if (!read.ok()) {
        return Failure(ProblemCode::StoreCannotRead);
    }
    return posts;
}

Result<std::int64_t> RunStore::AdoptKeptOff(const SiteKey& site) {
    // What was kept off under no site user becomes the user's own to settle;
    // a post of the user's own for the same run stays as it is.
    const Result<std::int64_t> own = AccountId("site", site.host, site.port, site.user, true);
    const Result<std::int64_t> unnamed = AccountId("site", site.host, site.port, "");
    if (!own || !unnamed) {
        return !own ? own.problem() : unnamed.problem();
    }
    Statement adopt(m_db,
                    "UPDATE OR IGNORE posts SET account=?1 WHERE account=?2 AND state='excluded'");
    adopt.Bind(1, *own).Bind(2, *unnamed);
    if (*unnamed != *own && *unnamed != 0 && (!adopt.ok() || !adopt.Run())) {
        return Failure(ProblemCode::StoreCannotWrite);
    }
    return *own;
}

Result<int> RunStore::Settle(const SiteKey& site, std::span<const std::string> runIds, bool held,
                             bool posted, StoreTime now) {
    StoreTransaction transaction(*this);
    if (!transaction.begun()) {
        return transaction.begun().problem();
    }
    const Result<std::int64_t> account = AdoptKeptOff(site);
    if (!account) {
        return account.problem();
    }
    int count = 0;
    const char* where =
        held ? "account=?1 AND state IN ('unknown', 'sending')" : "account=?1 AND run_id=?4";
    std::string sql = posted ? std::string(
                                   "UPDATE posts SET state='confirmed', outcome_ms=?5, "
                                   "reason='settled-by-runner', prior_state=NULL, "
                                   "prior_intent_ms=NULL, prior_outcome_ms=NULL, "
                                   "prior_reason=NULL WHERE ") +
                                   where
                             : std::string("DELETE FROM posts WHERE ") + where;
    Statement settle(m_db, sql.c_str());
    Statement add(m_db,
                  "INSERT OR IGNORE INTO posts(account, run_id, state, outcome_ms, reason) "
                  "VALUES(?1, ?4, 'confirmed', ?5, 'settled-by-runner')");
    if (!settle.ok() || !add.ok()) {
        return Failure(ProblemCode::StoreCannotWrite);
    }
    settle.Bind(1, *account);
    add.Bind(1, *account).Bind(5, Millis(now));
    if (posted) {
        settle.Bind(5, Millis(now));
    }
    const auto run = [&](Statement& statement) {
        if (!statement.Run()) {
            return false;
        }
        count += sqlite3_changes(m_db);
        return true;
    };
    if (held) {
        if (!run(settle)) {
            return Failure(ProblemCode::StoreCannotWrite);
        }
    } else {
        for (const std::string& runId : runIds) {
            settle.BindCp936(4, runId);
            add.BindCp936(4, runId);
            // A run the store has no post for can be confirmed too.
            if (!run(settle) || (posted && !run(add))) {
                return Failure(ProblemCode::StoreCannotWrite);
            }
        }
    }
    if (Outcome committed = transaction.Commit(); !committed) {
        return committed.problem();
    }
    return count;
}

Result<int> RunStore::SettlePosted(const SiteKey& site, std::span<const std::string> runIds,
                                   StoreTime now) {
    return Settle(site, runIds, false, true, now);
}
Result<int> RunStore::SettleRepost(const SiteKey& site, std::span<const std::string> runIds) {
    return Settle(site, runIds, false, false, {});
}
Result<int> RunStore::SettleAllHeldPosted(const SiteKey& site, StoreTime now) {
    return Settle(site, {}, true, true, now);
}
Result<int> RunStore::SettleAllHeldRepost(const SiteKey& site) {
    return Settle(site, {}, true, false, {});
}

Result<int> RunStore::SettleExcluded(const SiteKey& site, std::span<const std::string> runIds,
                                     StoreTime now) {
    StoreTransaction transaction(*this);
    if (!transaction.begun()) {
        return transaction.begun().problem();
    }
    const Result<std::int64_t> account = AdoptKeptOff(site);
    if (!account) {
        return account.problem();
    }
    // A run already on the run log stays confirmed: releasing it later would
    // post it twice.
    Statement exclude(m_db,
                      "INSERT INTO posts(account, run_id, state, outcome_ms, reason) "
                      "VALUES(?1, ?4, 'excluded', ?5, 'settled-by-runner') "
                      "ON CONFLICT DO UPDATE SET state='excluded', "
                      "outcome_ms=?5, reason='settled-by-runner', prior_state=NULL, "
                      "prior_intent_ms=NULL, prior_outcome_ms=NULL, prior_reason=NULL "
                      "WHERE state NOT IN ('confirmed', 'excluded')");
    if (!exclude.ok()) {
        return Failure(ProblemCode::StoreCannotWrite);
    }
    exclude.Bind(1, *account).Bind(5, Millis(now));
    int count = 0;
    for (const std::string& runId : runIds) {
        if (!exclude.BindCp936(4, runId).Run()) {
            return Failure(ProblemCode::StoreCannotWrite);
        }
        count += sqlite3_changes(m_db);
    }
    if (Outcome committed = transaction.Commit(); !committed) {
        return committed.problem();
    }
    return count;
}

}  // namespace strivo
