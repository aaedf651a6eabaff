// The runs read from files: one file's runs added all together or not at
// all, each checked against the stored runs first.

#include "store/RunStore.h"
#include "store/Statement.h"

namespace strivo {

using store_detail::FromMillis;
using store_detail::Millis;
using store_detail::Statement;

Result<FileRunsStored> RunStore::StoreFileRuns(const ServiceKey& service, std::string_view account,
                                               const SiteKey* keptOffFor, std::string_view format,
                                               std::string_view fileName,
                                               std::span<const FileRun> runs, StoreTime now) {
    StoreTransaction transaction(*this);
    if (!transaction.begun()) {
        return transaction.begun().problem();
    }
    const Result<std::int64_t> owner =
        AccountId("service", service.host, service.port, account, true);
    const Result<std::int64_t> keptOff =
        keptOffFor ? AccountId("site", keptOffFor->host, keptOffFor->port, keptOffFor->user, true)
                   : Result<std::int64_t>(0);
    if (!owner || !keptOff) {
        return !owner ? owner.problem() : keptOff.problem();
    }
    // The nearest start first: the run a duplicate is named with.
    Statement match(m_db,
                    "SELECT run_id, start_text FROM runs WHERE account=?1 AND start_utc_ms "
                    "BETWEEN ?4 - ?6 AND ?4 + ?6 AND abs(distance_m - ?5) <= "
                    "max(distance_m * ?7, ?8) ORDER BY abs(start_utc_ms - ?4) LIMIT 1");
    // Never in a list of the run service: last seen when read.
    Statement insert(
        m_db,
        "INSERT INTO runs(account, run_id, start_text, distance_text, duration_text, "
        "calories_text, sync_text, start_utc_ms, start_offset_min, distance_m, duration_ms, "
        "calories, first_seen_ms, source, source_file) VALUES(?1, ?4, ?5, ?6, ?7, ?8, '', ?9, "
        "?10, ?11, ?12, ?13, ?14, ?15, ?16) ON CONFLICT DO NOTHING");
    Statement unlisted(m_db, "INSERT INTO unlisted(run, last_seen_ms) VALUES(?, ?)");
    Statement exclude(m_db,
                      "INSERT OR IGNORE INTO posts(account, run_id, state, outcome_ms, reason) "
                      "VALUES(?1, ?4, 'excluded', ?5, NULL)");
    if (!match.ok() || !insert.ok() || !unlisted.ok() || !exclude.ok()) {
        return Failure(ProblemCode::StoreCannotWrite);
    }
    const std::int64_t nowMs = Millis(now);
    match.Bind(1, *owner).Bind(6, kSameRunWithinMs);
    match.BindOptional(7, std::optional(kSameRunShare))
        .BindOptional(8, std::optional(kSameRunMetres));
    insert.Bind(1, *owner).Bind(14, nowMs);
    insert.Bind(15, std::string(format)).Bind(16, std::string(fileName));
    unlisted.Bind(2, nowMs);
    exclude.Bind(1, *keptOff).Bind(5, nowMs);
    FileRunsStored stored;
    for (std::size_t i = 0; i < runs.size(); ++i) {
        const FileRun& run = runs[i];
        match.Bind(4, run.startUtcMs).BindOptional(5, std::optional(run.distanceMetres));
        const int found = match.Step();
        if (found == SQLITE_ROW) {
            stored.duplicates.push_back({i, match.Cp936(0), match.Cp936(1)});
        }
        match.Reset();
        if (!match.ok()) {
            return Failure(ProblemCode::StoreCannotRead);
        }
        if (found == SQLITE_ROW) {
            continue;
        }
        insert.BindCp936(4, run.key).BindCp936(5, run.startText).BindCp936(6, run.distanceText);
        insert.BindCp936(7, run.durationText).BindCp936(8, run.caloriesText);
        insert.Bind(9, run.startUtcMs).Bind(10, std::int64_t{run.offsetMinutes});
        insert.BindOptional(11, std::optional(run.distanceMetres)).Bind(12, run.durationMs);
        insert.BindOptional(13, run.calories);
        if (!insert.Run()) {
            return Failure(ProblemCode::StoreCannotWrite);
        }
        if (sqlite3_changes(m_db) == 0) {
            // The same key: the same second and metre, a duplicate by any measure.
            stored.duplicates.push_back({i, run.key, run.startText});
            continue;
        }
        ++stored.added;
        if (!unlisted.Bind(1, sqlite3_last_insert_rowid(m_db)).Run() ||
            (keptOffFor != nullptr && !exclude.BindCp936(4, run.key).Run())) {
            return Failure(ProblemCode::StoreCannotWrite);
        }
    }
    if (Outcome committed = transaction.Commit(); !committed) {
        return committed.problem();
    }
    return stored;
}

Result<std::vector<StoredRun>> RunStore::FileRuns(const ServiceKey& service,
                                                  std::string_view account) const {
    std::vector<StoredRun> runs;
    const Result<std::int64_t> owner = AccountId("service", service.host, service.port, account);
    if (!owner) {
        return owner.problem();
    }
    Statement read(m_db,
                   "SELECT run_id, start_text, distance_text, duration_text, calories_text, "
                   "start_utc_ms, start_offset_min, distance_m, duration_ms, calories, "
                   "first_seen_ms, source, source_file FROM runs WHERE account=? AND "
                   "source IS NOT NULL ORDER BY start_utc_ms");
    read.Bind(1, *owner);
    while (read.Step() == SQLITE_ROW) {
        StoredRun& run = runs.emplace_back();
        run.runId = read.Cp936(0);
        run.startTime = read.Cp936(1);
        run.distance = read.Cp936(2);
        run.duration = read.Cp936(3);
        run.calories = read.Cp936(4);
        run.startUtcMs = read.OptionalInt(5);
        run.startOffsetMinutes = read.OptionalInt(6);
        if (!read.IsNull(7)) {
            run.distanceMetres = read.Real(7);
        }
        run.durationMs = read.OptionalInt(8);
        run.calorieCount = read.OptionalInt(9);
        run.firstSeen = FromMillis(read.Int(10));
        run.lastSeen = run.firstSeen;
        run.source = read.Utf8(11);
        run.sourceFile = read.Utf8(12);
    }
    if (!read.ok()) {
        return Failure(ProblemCode::StoreCannotRead);
    }
    return runs;
}

}  // namespace strivo
