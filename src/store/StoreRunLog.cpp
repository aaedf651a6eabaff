// What the run log's window keeps and changes: runs read from files taken
// back, the posts of one run, and where the window was left.

#include <unordered_set>

#include "store/RunStore.h"
#include "store/Statement.h"

namespace strivo {

using store_detail::FromMillis;
using store_detail::Statement;

Result<RunsRemoved> RunStore::RemoveFileRuns(const ServiceKey& service, std::string_view account,
                                             std::span<const std::string> keys) {
    StoreTransaction transaction(*this);
    if (!transaction.begun()) {
        return transaction.begun().problem();
    }
    const Result<std::int64_t> owner = AccountId("service", service.host, service.port, account);
    if (!owner) {
        return owner.problem();
    }
    // A run sent once may be on the site, even when kept off since: its
    // record must stay, or an import of the same file would post it again.
    std::unordered_set<std::string> sent;
    Statement posted(m_db,
                     "SELECT run_id FROM posts WHERE state<>'excluded' OR intent_ms IS NOT NULL "
                     "OR prior_intent_ms IS NOT NULL");
    while (posted.Step() == SQLITE_ROW) {
        sent.insert(posted.Cp936(0));
    }
    Statement find(m_db, "SELECT id, source IS NULL FROM runs WHERE account=?1 AND run_id=?2");
    // A run read from a file has its unlisted row, which goes with it.
    Statement unlist(m_db, "DELETE FROM unlisted WHERE run=?1");
    Statement remove(m_db, "DELETE FROM runs WHERE id=?1");
    if (!posted.ok() || !find.ok() || !unlist.ok() || !remove.ok()) {
        return Failure(ProblemCode::StoreCannotWrite);
    }
    find.Bind(1, *owner);
    RunsRemoved done;
    for (const std::string& key : keys) {
        const int found = *owner == 0 ? SQLITE_DONE : find.BindCp936(2, key).Step();
        const std::int64_t run = found == SQLITE_ROW ? find.Int(0) : 0;
        const bool ofService = found == SQLITE_ROW && find.Int(1) != 0;
        find.Reset();
        if (!find.ok()) {
            return Failure(ProblemCode::StoreCannotRead);
        }
        if (found != SQLITE_ROW || ofService || sent.contains(key)) {
            done.refused.emplace_back(key, found != SQLITE_ROW ? RemoveRefusal::NotStored
                                           : ofService         ? RemoveRefusal::FromRunService
                                                               : RemoveRefusal::Posted);
            continue;
        }
        if (!unlist.Bind(1, run).Run() || !remove.Bind(1, run).Run()) {
            return Failure(ProblemCode::StoreCannotWrite);
        }
        if (sqlite3_changes(m_db) > 0) {
            done.removed.push_back(key);
        }
    }
    // The rows that kept them off go too, unless another account holds a
    // run by the same key (the same file imported twice), which they keep off.
    std::unordered_set<std::string> held;
    Statement others(m_db, "SELECT run_id FROM runs WHERE source IS NOT NULL");
    while (!done.removed.empty() && others.Step() == SQLITE_ROW) {
        held.insert(others.Cp936(0));
    }
    Statement forget(m_db, "DELETE FROM posts WHERE run_id=?1 AND state='excluded'");
    if (!others.ok() || !forget.ok()) {
        return Failure(ProblemCode::StoreCannotWrite);
    }
    for (const std::string& key : done.removed) {
        if (!held.contains(key) && !forget.BindCp936(1, key).Run()) {
            return Failure(ProblemCode::StoreCannotWrite);
        }
    }
    if (Outcome committed = transaction.Commit(); !committed) {
        return committed.problem();
    }
    return done;
}

Result<std::vector<std::pair<SiteKey, PostRecord>>> RunStore::RunPosts(
    std::string_view runId) const {
    std::vector<std::pair<SiteKey, PostRecord>> posts;
    Statement read(m_db,
                   "SELECT a.host, a.port, a.name, p.state, p.intent_ms, p.outcome_ms, p.reason "
                   "FROM posts p JOIN accounts a ON a.id = p.account WHERE p.run_id=?1 "
                   "ORDER BY a.host, a.port, a.name");
    read.BindCp936(1, runId);
    while (read.Step() == SQLITE_ROW) {
        auto& [site, post] = posts.emplace_back();
        site = SiteKey{read.Utf8(0), static_cast<int>(read.Int(1)), read.Cp936(2)};
        const std::string state = read.Utf8(3);
        for (const PostState each : {PostState::Sending, PostState::Confirmed, PostState::Failed,
                                     PostState::Unknown, PostState::Excluded}) {
            post.state = state == PostStateName(each) ? each : post.state;
        }
        if (!read.IsNull(4)) {
            post.intentAt = FromMillis(read.Int(4));
        }
        if (!read.IsNull(5)) {
            post.outcomeAt = FromMillis(read.Int(5));
        }
        post.reason = read.Utf8(6);
    }
    if (!read.ok()) {
        return Failure(ProblemCode::StoreCannotRead);
    }
    return posts;
}

Result<std::optional<WindowPlace>> RunStore::PlaceOf(std::string_view window) const {
    Statement read(m_db,
                   "SELECT x, y, width, height, maximized FROM window_places WHERE window=?1");
    read.Bind(1, std::string(window));
    std::optional<WindowPlace> place;
    if (read.Step() == SQLITE_ROW) {
        place = WindowPlace{static_cast<int>(read.Int(0)), static_cast<int>(read.Int(1)),
                            static_cast<int>(read.Int(2)), static_cast<int>(read.Int(3)),
                            read.Int(4) != 0};
    }
    if (!read.ok()) {
        return Failure(ProblemCode::StoreCannotRead);
    }
    return place;
}

Outcome RunStore::KeepPlace(std::string_view window, const WindowPlace& place) {
    Statement keep(m_db,
                   "INSERT OR REPLACE INTO window_places(window, x, y, width, height, maximized) "
                   "VALUES(?1, ?2, ?3, ?4, ?5, ?6)");
    keep.Bind(1, std::string(window)).Bind(2, place.x).Bind(3, place.y);
    keep.Bind(4, place.width).Bind(5, place.height).Bind(6, place.maximized ? 1 : 0);
    if (!keep.ok() || !keep.Run()) {
        return Failure(ProblemCode::StoreCannotWrite);
    }
    ++m_commits;
    return {};
}

}  // namespace strivo
