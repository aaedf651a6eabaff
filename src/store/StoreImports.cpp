// The runs read from files: one file's runs added all together or not at
// all, batch by batch as they are read, each checked against the stored
// runs first.

#include <sqlite3.h>

#include "io/TimeText.h"
#include "store/RunStore.h"
#include "store/Statement.h"

namespace strivo {
namespace {

// How an import names a stored run: a service run by the start it sent, a
// file's run by its start at its offset.
std::string NamedStart(const store_detail::Statement& match) {
    if (match.IsNull(3)) {
        return match.Cp936(1);
    }
    return match.IsNull(4) ? std::string()
                           : OffsetTimeText(match.Int(4), static_cast<int>(match.Int(5)));
}

}  // namespace

using store_detail::FromMillis;
using store_detail::Millis;
using store_detail::Statement;

struct FileRunsWriter::State {
    State(RunStore& store, sqlite3* db)
        : store(store),
          transaction(store),
          // The nearest start first: the run a duplicate is named with.
          match(db,
                "SELECT run_id, start_text, source IS NOT NULL AND calories IS NULL, source, "
                "start_utc_ms, coalesce(start_offset_min, 0) FROM runs "
                "WHERE account=?1 AND start_utc_ms BETWEEN ?4 - ?6 AND ?4 + ?6 AND "
                "abs(distance_m - ?5) <= max(distance_m * ?7, ?8) "
                "ORDER BY abs(start_utc_ms - ?4) LIMIT 1"),
          // Never in a list of the run service: last seen when read.
          insert(db,
                 "INSERT INTO runs(account, run_id, start_text, distance_text, duration_text, "
                 "calories_text, sync_text, start_utc_ms, start_offset_min, distance_m, "
                 "duration_ms, calories, first_seen_ms, source, source_file) VALUES(?1, ?4, '', "
                 "'', '', '', '', ?9, ?10, ?11, ?12, ?13, ?14, ?15, ?16) ON CONFLICT DO NOTHING"),
          unlisted(db, "INSERT INTO unlisted(run, last_seen_ms) VALUES(?, ?)"),
          exclude(db,
                  "INSERT OR IGNORE INTO posts(account, run_id, state, outcome_ms, reason) "
                  "VALUES(?1, ?4, 'excluded', ?5, NULL)"),
          posted(db, "SELECT 1 FROM posts WHERE run_id=?1 AND state<>'excluded' LIMIT 1"),
          fill(db, "UPDATE runs SET calories=?3 WHERE account=?1 AND run_id=?2") {}

    RunStore& store;
    StoreTransaction transaction;
    Statement match, insert, unlisted, exclude, posted, fill;
    // The runs whose offset is yet to come, in a table of the connection's
    // own (on disk, as SQLite keeps temporary tables): a file of ten
    // million is never held.
    std::optional<Statement> provisional;
    std::int64_t owner = 0;
    bool keptOff = false;
};

FileRunsWriter::FileRunsWriter(std::unique_ptr<State> state) : m_state(std::move(state)) {}
FileRunsWriter::~FileRunsWriter() = default;

Result<std::unique_ptr<FileRunsWriter>> RunStore::BeginFileRuns(
    const ServiceKey& service, std::string_view account, const SiteKey* keptOffFor,
    std::string_view format, std::string_view fileName, StoreTime now) {
    auto state = std::make_unique<FileRunsWriter::State>(*this, m_db);
    FileRunsWriter::State& s = *state;
    if (!s.transaction.begun()) {
        return s.transaction.begun().problem();
    }
    const Result<std::int64_t> owner =
        AccountId("service", service.host, service.port, account, true);
    const Result<std::int64_t> keptOff =
        keptOffFor ? AccountId("site", keptOffFor->host, keptOffFor->port, keptOffFor->user, true)
                   : Result<std::int64_t>(0);
    if (!owner || !keptOff) {
        return !owner ? owner.problem() : keptOff.problem();
    }
    if (!s.match.ok() || !s.insert.ok() || !s.unlisted.ok() || !s.exclude.ok() || !s.posted.ok() ||
        !s.fill.ok()) {
        return Failure(ProblemCode::StoreCannotWrite);
    }
    s.owner = *owner;
    s.keptOff = keptOffFor != nullptr;
    const std::int64_t nowMs = Millis(now);
    s.match.Bind(1, *owner).Bind(6, kSameRunWithinMs);
    s.match.BindOptional(7, std::optional(kSameRunShare))
        .BindOptional(8, std::optional(kSameRunMetres));
    s.insert.Bind(1, *owner).Bind(14, nowMs);
    s.insert.Bind(15, std::string(format)).Bind(16, std::string(fileName));
    s.unlisted.Bind(2, nowMs);
    s.exclude.Bind(1, *keptOff).Bind(5, nowMs);
    s.fill.Bind(1, *owner);
    return std::unique_ptr<FileRunsWriter>(new FileRunsWriter(std::move(state)));
}

Result<FileRunsStored> FileRunsWriter::Add(std::span<const Run> runs, std::size_t provisionalFrom) {
    State& s = *m_state;
    const auto failed = [&s](ProblemCode code) { return s.store.Failure(code); };
    FileRunsStored stored;
    for (std::size_t i = 0; i < runs.size(); ++i) {
        const Run::Values run = runs[i].values();
        const std::string_view key = runs[i].id();
        const std::int64_t startUtcMs = run.startUtcMs.value_or(0);
        const int offsetMinutes = run.offsetMinutes.value_or(0);
        s.match.Bind(4, startUtcMs).BindOptional(5, run.metres);
        if (s.match.Step() == SQLITE_ROW) {
            FileRunsStored::Duplicate& duplicate =
                stored.duplicates.emplace_back(i, s.match.Cp936(0), NamedStart(s.match));
            const bool fillable = s.match.Int(2) != 0 && run.kcal;
            s.match.Reset();
            if (fillable) {
                s.posted.BindCp936(1, duplicate.runId);
                const int post = s.posted.Step();
                s.posted.Reset();
                duplicate.caloriesFilled = post == SQLITE_DONE;
                if (!s.posted.ok() ||
                    (duplicate.caloriesFilled &&
                     !s.fill.BindCp936(2, duplicate.runId).BindOptional(3, run.kcal).Run())) {
                    return failed(ProblemCode::StoreCannotWrite);
                }
            }
            continue;
        }
        s.match.Reset();
        if (!s.match.ok()) {
            return failed(ProblemCode::StoreCannotRead);
        }
        s.insert.BindCp936(4, key).Bind(9, startUtcMs).Bind(10, std::int64_t{offsetMinutes});
        s.insert.BindOptional(11, run.metres).Bind(12, run.durationMs);
        s.insert.BindOptional(13, run.kcal);
        if (!s.insert.Run()) {
            return failed(ProblemCode::StoreCannotWrite);
        }
        if (sqlite3_changes(s.store.m_db) == 0) {
            // The same key: the same second and metre, a duplicate by any measure.
            stored.duplicates.push_back(
                {i, std::string(key), OffsetTimeText(startUtcMs, offsetMinutes)});
            continue;
        }
        ++stored.added;
        if (!s.unlisted.Bind(1, sqlite3_last_insert_rowid(s.store.m_db)).Run() ||
            (s.keptOff && !s.exclude.BindCp936(4, key).Run())) {
            return failed(ProblemCode::StoreCannotWrite);
        }
        if (i >= provisionalFrom && !Provisional(key)) {
            return failed(ProblemCode::StoreCannotWrite);
        }
    }
    return stored;
}

bool FileRunsWriter::Provisional(std::string_view key) {
    State& s = *m_state;
    if (!s.provisional) {
        if (!s.store
                 .Execute("CREATE TEMP TABLE IF NOT EXISTS provisional_runs(run_id BLOB "
                          "PRIMARY KEY) WITHOUT ROWID")
                 .ok()) {
            return false;
        }
        s.provisional.emplace(s.store.m_db,
                              "INSERT OR IGNORE INTO temp.provisional_runs VALUES(?1)");
    }
    return s.provisional->ok() && s.provisional->BindCp936(1, key).Run();
}

Outcome FileRunsWriter::SettleProvisional(std::optional<int> offsetMinutes) {
    State& s = *m_state;
    if (!s.provisional) {
        return {};
    }
    if (offsetMinutes) {
        Statement settle(s.store.m_db,
                         "UPDATE runs SET start_offset_min=?4 WHERE account=?1 AND "
                         "run_id IN (SELECT run_id FROM temp.provisional_runs)");
        settle.Bind(1, s.owner);
        settle.Bind(4, std::int64_t{*offsetMinutes});
        if (!settle.ok() || !settle.Run()) {
            return s.store.Failure(ProblemCode::StoreCannotWrite);
        }
    }
    return s.store.Execute("DELETE FROM temp.provisional_runs");
}

Outcome FileRunsWriter::Finish() {
    State& s = *m_state;
    if (Outcome settled = SettleProvisional(std::nullopt); !settled) {
        return settled;
    }
    return s.transaction.Commit();
}

Result<FileRunsStored> RunStore::StoreFileRuns(const ServiceKey& service, std::string_view account,
                                               const SiteKey* keptOffFor, std::string_view format,
                                               std::string_view fileName, std::span<const Run> runs,
                                               StoreTime now) {
    Result<std::unique_ptr<FileRunsWriter>> writer =
        BeginFileRuns(service, account, keptOffFor, format, fileName, now);
    if (!writer) {
        return writer.problem();
    }
    Result<FileRunsStored> stored = (*writer)->Add(runs);
    if (!stored) {
        return stored;
    }
    if (Outcome finished = (*writer)->Finish(); !finished) {
        return finished.problem();
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
