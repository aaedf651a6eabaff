// The runs read from files: one file's runs added all together or not at
// all, batch by batch as they are read, each checked against the stored
// runs first.

#include <sqlite3.h>

#include "io/TimeText.h"
#include "store/RunStore.h"
#include "store/Statement.h"

namespace strivo {
namespace {

// offset_time_text(utc_ms, offset_min): the importer's start text, made by
// the one writer of such texts for SQL to put in place.
void OffsetTimeFunction(sqlite3_context* context, int, sqlite3_value** values) {
    if (sqlite3_value_type(values[0]) == SQLITE_NULL) {
        sqlite3_result_null(context);
        return;
    }
    const std::string text =
        OffsetTimeText(sqlite3_value_int64(values[0]), sqlite3_value_int(values[1]));
    sqlite3_result_text(context, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
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
                "SELECT run_id, start_text, source IS NOT NULL AND calories IS NULL FROM runs "
                "WHERE account=?1 AND start_utc_ms BETWEEN ?4 - ?6 AND ?4 + ?6 AND "
                "abs(distance_m - ?5) <= max(distance_m * ?7, ?8) "
                "ORDER BY abs(start_utc_ms - ?4) LIMIT 1"),
          // Never in a list of the run service: last seen when read.
          insert(db,
                 "INSERT INTO runs(account, run_id, start_text, distance_text, duration_text, "
                 "calories_text, sync_text, start_utc_ms, start_offset_min, distance_m, "
                 "duration_ms, calories, first_seen_ms, source, source_file) VALUES(?1, ?4, ?5, "
                 "?6, ?7, ?8, '', ?9, ?10, ?11, ?12, ?13, ?14, ?15, ?16) ON CONFLICT DO NOTHING"),
          unlisted(db, "INSERT INTO unlisted(run, last_seen_ms) VALUES(?, ?)"),
          exclude(db,
                  "INSERT OR IGNORE INTO posts(account, run_id, state, outcome_ms, reason) "
                  "VALUES(?1, ?4, 'excluded', ?5, NULL)"),
          posted(db, "SELECT 1 FROM posts WHERE run_id=?1 AND state<>'excluded' LIMIT 1"),
          fill(db, "UPDATE runs SET calories=?3, calories_text=?4 WHERE account=?1 AND run_id=?2") {
    }

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

Result<FileRunsStored> FileRunsWriter::Add(std::span<const FileRun> runs,
                                           std::size_t provisionalFrom) {
    State& s = *m_state;
    const auto failed = [&s](ProblemCode code) { return s.store.Failure(code); };
    FileRunsStored stored;
    for (std::size_t i = 0; i < runs.size(); ++i) {
        const FileRun& run = runs[i];
        s.match.Bind(4, run.startUtcMs).BindOptional(5, std::optional(run.distanceMetres));
        if (s.match.Step() == SQLITE_ROW) {
            FileRunsStored::Duplicate& duplicate =
                stored.duplicates.emplace_back(i, s.match.Cp936(0), s.match.Cp936(1));
            const bool fillable = s.match.Int(2) != 0 && run.calories;
            s.match.Reset();
            if (fillable) {
                s.posted.BindCp936(1, duplicate.runId);
                const int post = s.posted.Step();
                s.posted.Reset();
                duplicate.caloriesFilled = post == SQLITE_DONE;
                if (!s.posted.ok() ||
                    (duplicate.caloriesFilled && !s.fill.BindCp936(2, duplicate.runId)
                                                      .BindOptional(3, run.calories)
                                                      .BindCp936(4, run.caloriesText)
                                                      .Run())) {
                    return failed(ProblemCode::StoreCannotWrite);
                }
            }
            continue;
        }
        s.match.Reset();
        if (!s.match.ok()) {
            return failed(ProblemCode::StoreCannotRead);
        }
        s.insert.BindCp936(4, run.key).BindCp936(5, run.startText).BindCp936(6, run.distanceText);
        s.insert.BindCp936(7, run.durationText).BindCp936(8, run.caloriesText);
        s.insert.Bind(9, run.startUtcMs).Bind(10, std::int64_t{run.offsetMinutes});
        s.insert.BindOptional(11, std::optional(run.distanceMetres)).Bind(12, run.durationMs);
        s.insert.BindOptional(13, run.calories);
        if (!s.insert.Run()) {
            return failed(ProblemCode::StoreCannotWrite);
        }
        if (sqlite3_changes(s.store.m_db) == 0) {
            // The same key: the same second and metre, a duplicate by any measure.
            stored.duplicates.push_back({i, run.key, run.startText});
            continue;
        }
        ++stored.added;
        if (!s.unlisted.Bind(1, sqlite3_last_insert_rowid(s.store.m_db)).Run() ||
            (s.keptOff && !s.exclude.BindCp936(4, run.key).Run())) {
            return failed(ProblemCode::StoreCannotWrite);
        }
        if (i >= provisionalFrom && !Provisional(run.key)) {
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
        // The importer's text, made again for runs the store holds already:
        // the local time at the offset, then the offset.
        if (sqlite3_create_function_v2(
                s.store.m_db, "offset_time_text", 2, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr,
                OffsetTimeFunction, nullptr, nullptr, nullptr) != SQLITE_OK) {
            return s.store.Failure(ProblemCode::StoreCannotWrite);
        }
        Statement restamp(s.store.m_db,
                          "UPDATE runs SET start_offset_min=?4, "
                          "start_text=offset_time_text(start_utc_ms, ?4) WHERE account=?1 AND "
                          "run_id IN (SELECT run_id FROM temp.provisional_runs)");
        restamp.Bind(1, s.owner);
        restamp.Bind(4, std::int64_t{*offsetMinutes});
        if (!restamp.ok() || !restamp.Run()) {
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
                                               std::string_view fileName,
                                               std::span<const FileRun> runs, StoreTime now) {
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
