// The store's runs: a downloaded list kept, and the runs read back.

#include <array>
#include <bit>
#include <cstring>
#include <functional>
#include <map>

#include "io/TimeText.h"
#include "store/RunStore.h"
#include "store/Statement.h"

namespace strivo {

using store_detail::FromMillis;
using store_detail::Millis;
using store_detail::Statement;

namespace {

// Runs by their rowids, a bit each in pages of 4,096: a list of a million
// runs takes 128 KiB, whatever its RunIDs, and is kept so in the store.
class RowIds {
public:
    void Add(std::int64_t id) { m_pages[id >> 12][(id >> 6) & 63] |= Bit(id); }
    bool Has(std::int64_t id) const {
        const auto page = m_pages.find(id >> 12);
        return page != m_pages.end() && (page->second[(id >> 6) & 63] & Bit(id)) != 0;
    }
    // Each id, smallest first, while `visit` says true.
    template <typename Visit>
    bool Each(Visit visit) const {
        for (const auto& [page, words] : m_pages) {
            for (std::size_t word = 0; word < words.size(); ++word) {
                for (std::uint64_t bits = words[word]; bits != 0; bits &= bits - 1) {
                    if (!visit(page << 12 | static_cast<std::int64_t>(word) << 6 |
                               std::countr_zero(bits))) {
                        return false;
                    }
                }
            }
        }
        return true;
    }
    // As kept in the store: each page's number, then its words (in the
    // machine's byte order, little-endian wherever Strivo is built).
    std::string Bytes() const {
        std::string bytes;
        for (const auto& [page, words] : m_pages) {
            bytes.append(reinterpret_cast<const char*>(&page), sizeof page);
            bytes.append(reinterpret_cast<const char*>(words.data()), sizeof words);
        }
        return bytes;
    }
    void AddBytes(std::string_view bytes) {
        constexpr std::size_t kPageBytes = sizeof(std::int64_t) + sizeof(Words);
        for (; bytes.size() >= kPageBytes; bytes.remove_prefix(kPageBytes)) {
            std::int64_t page = 0;
            std::memcpy(&page, bytes.data(), sizeof page);
            std::memcpy(m_pages[page].data(), bytes.data() + sizeof page, sizeof(Words));
        }
    }

private:
    using Words = std::array<std::uint64_t, 64>;
    static std::uint64_t Bit(std::int64_t id) { return std::uint64_t{1} << (id & 63); }
    std::map<std::int64_t, Words> m_pages;
};

// New runs are added this many at a time, by one statement: a first list of
// 100,000 runs then costs SQLite a third less.
constexpr std::size_t kRowsAtOnce = 32;

// The insert of `rows` runs. Row r binds ?2 + 16r the RunID, ?3 + 16r to
// ?7 + 16r its texts, ?8 + 16r to ?14 + 16r their values (as the update
// does for r = 0); ?1 the account and ?15 the time are shared.
std::string InsertOf(std::size_t rows) {
    std::string sql =
        "INSERT INTO runs(account, run_id, start_text, distance_text, duration_text, "
        "calories_text, sync_text, start_utc_ms, start_offset_min, distance_m, duration_ms, "
        "calories, sync_utc_ms, sync_offset_min, first_seen_ms) VALUES";
    for (std::size_t row = 0; row < rows; ++row) {
        sql += row == 0 ? "(?1" : ", (?1";
        for (std::size_t at = 2; at <= 14; ++at) {
            sql += ", ?" + std::to_string(at + 16 * row);
        }
        sql += ", ?15)";
    }
    return sql + " ON CONFLICT DO NOTHING";
}
constexpr const char* kColumns =
    "id, run_id, start_text, distance_text, duration_text, calories_text, sync_text FROM runs";

// A run's texts as the service sent them.
std::array<std::string_view, 5> TextsOf(const Run& run) {
    const Run::Sent sent = run.sent();
    return {sent.startTime, sent.distance, sent.duration, sent.calories, sent.syncTime};
}

// The rowid of the stored run in `row`, and whether its texts are `run`'s.
std::int64_t Stored(Statement& row, const Run& run, bool* same) {
    const std::array<std::string_view, 5> texts = TextsOf(run);
    *same = ColumnHolds(row.get(), 1, run.id());
    for (int i = 0; *same && i < 5; ++i) {
        *same = ColumnHolds(row.get(), 2 + i, texts[i]);
    }
    return row.Int(0);
}

}  // namespace

struct RunListWriter::State {
    State(RunStore& store, sqlite3* db, std::int64_t now)
        : store(store),
          db(db),
          transaction(store),
          nowMs(now),
          lookup(db, std::string("SELECT ") + kColumns + " WHERE account=?1 AND run_id=?2"),
          next(db, std::string("SELECT ") + kColumns + " NOT INDEXED WHERE id>?2 AND account=?1"),
          update(db,
                 "UPDATE runs SET start_text=?3, distance_text=?4, duration_text=?5, "
                 "calories_text=?6, sync_text=?7, start_utc_ms=?8, start_offset_min=?9, "
                 "distance_m=?10, duration_ms=?11, calories=?12, sync_utc_ms=?13, "
                 "sync_offset_min=?14 WHERE id=?16") {}

    RunStore& store;
    sqlite3* db;
    StoreTransaction transaction;
    std::int64_t nowMs;
    // `next` walks the stored runs in the order they came, from the one after
    // the run last found: a list in the order of the one before finds each of
    // its stored runs there, without a lookup.
    Statement lookup, next, update;
    void NextAfter(std::int64_t id) {
        next.Reset();
        nextOnRow = next.Bind(2, id).Step() == SQLITE_ROW;
    }
    std::array<std::optional<Statement>, kRowsAtOnce> inserts;  // of 1 to kRowsAtOnce runs
    bool nextOnRow = false;
    std::int64_t account = 0;
    std::int64_t previousListing = 0;
    std::int64_t firstNew = 0;  // the runs added by this list take this rowid and later ones
    std::optional<std::string> previousList;  // RowIds' bytes; none: never kept so
    bool hadRuns = false;                     // the account had runs before this list
    // The run before was new: this one most likely is too, and is added
    // first, looked up only when it clashes with a stored run.
    bool lastNew = true;
    std::vector<Run> pending;  // new, most likely: added together, in the order they came
    std::int64_t nextId = 0;   // the rowid SQLite gives the next run added
    RowIds listed;             // the stored runs of this list, and the ones it added
    Outcome kept;              // the first failure, if any: then the rest is passed over
};

RunListWriter::RunListWriter(std::unique_ptr<State> state) : m_state(std::move(state)) {}
RunListWriter::~RunListWriter() = default;

Result<std::unique_ptr<RunListWriter>> RunStore::BeginRunList(const ServiceKey& service,
                                                              std::string_view account,
                                                              StoreTime now) {
    auto state = std::make_unique<RunListWriter::State>(*this, m_db, Millis(now));
    RunListWriter::State& s = *state;
    if (!s.transaction.begun()) {
        return s.transaction.begun().problem();
    }
    if (!s.lookup.ok() || !s.next.ok() || !s.update.ok()) {
        return Failure(ProblemCode::StoreCannotWrite);
    }
    const Result<std::int64_t> id = AccountId("service", service.host, service.port, account, true);
    if (!id) {
        return id.problem();
    }
    s.account = *id;
    Statement before(m_db,
                     "SELECT coalesce(listed_ms, ?2), listed, EXISTS(SELECT 1 FROM runs WHERE "
                     "account=?1), (SELECT coalesce(max(id), 0) + 1 FROM runs) FROM accounts "
                     "WHERE id=?1");
    if (before.Bind(1, s.account).Bind(2, s.nowMs).Step() != SQLITE_ROW) {
        return Failure(ProblemCode::StoreCannotRead);
    }
    s.previousListing = before.Int(0);
    if (!before.IsNull(1)) {
        s.previousList = before.Blob(1);
    }
    s.hadRuns = before.Int(2) != 0;
    s.firstNew = s.nextId = before.Int(3);
    for (Statement* statement : {&s.lookup, &s.next}) {
        statement->Bind(1, s.account);
    }
    s.nextOnRow = s.hadRuns && s.next.Bind(2, 0).Step() == SQLITE_ROW;
    return std::unique_ptr<RunListWriter>(new RunListWriter(std::move(state)));
}

void RunListWriter::Add(const Run& run) {
    State& s = *m_state;
    const std::string_view runId = run.id();
    if (!s.kept || runId.empty()) {
        return;
    }
    bool inOrder = s.nextOnRow && ColumnHolds(s.next.get(), 1, runId);
    if (!inOrder && s.lastNew) {
        // The run before was new: this one most likely is too, and waits to
        // be added with the next ones; looked up only when it clashes.
        s.pending.push_back(run);
        if (s.pending.size() == kRowsAtOnce) {
            AddPending();
        }
        return;
    }
    if (!s.pending.empty()) {
        AddPending();  // the runs before this one come first, and may move `next`
        inOrder = s.nextOnRow && ColumnHolds(s.next.get(), 1, runId);
    }
    bool same = false;
    std::int64_t id = 0;
    if (inOrder) {
        id = Stored(s.next, run, &same);
        s.nextOnRow = s.next.Step() == SQLITE_ROW;
    } else {
        id = LookUp(run, &same);
        if (id <= 0) {
            s.lastNew = id == 0;
            if (id == 0) {
                s.pending.push_back(run);
            }
            return;
        }
        s.NextAfter(id);
    }
    s.lastNew = false;
    if (!s.next.ok()) {
        s.kept = s.store.Failure(ProblemCode::StoreCannotRead);
        return;
    }
    Keep(id, same, run);
}

void RunListWriter::AddPending() {
    State& s = *m_state;
    const std::size_t count = s.pending.size();
    if (count == 0 || !s.kept) {
        s.pending.clear();
        return;
    }
    std::optional<Statement>& insert = s.inserts[count - 1];
    if (!insert) {
        insert.emplace(s.db, InsertOf(count));
        insert->Bind(1, s.account).Bind(15, s.nowMs);
    }
    for (std::size_t row = 0; row < count; ++row) {
        BindRun(*insert, s.pending[row], 16 * row);
    }
    if (insert->RunCode() != SQLITE_DONE) {
        s.kept = s.store.Failure(ProblemCode::StoreCannotWrite);
    }
    // All added, each given the next rowid: the common case. Otherwise some
    // were stored already, and each is found as it lies now.
    const std::int64_t last = sqlite3_last_insert_rowid(s.db);
    const auto first = last - static_cast<std::int64_t>(count) + 1;
    const std::int64_t before = s.nextId;  // a rowid below it: stored before this statement
    const bool inTurn = static_cast<std::size_t>(sqlite3_changes(s.db)) == count && first == before;
    s.nextId = std::max(s.nextId, last + 1);
    std::int64_t stored = 0;  // the last of them stored before this statement
    for (std::size_t row = 0; row < count && s.kept; ++row) {
        bool same = false;
        if (inTurn) {
            s.listed.Add(first + static_cast<std::int64_t>(row));
        } else if (const std::int64_t id = LookUp(s.pending[row], &same); id > 0) {
            Keep(id, same, s.pending[row]);
            stored = id < before ? id : stored;
            s.lastNew = id >= before;
        }
    }
    s.pending.clear();
    if (stored > 0 && s.kept) {
        // As one by one: the runs after a stored one are looked for after it.
        s.NextAfter(stored);
        if (!s.next.ok()) {
            s.kept = s.store.Failure(ProblemCode::StoreCannotRead);
        }
    }
}

std::int64_t RunListWriter::LookUp(const Run& run, bool* same) {
    State& s = *m_state;
    const int step = s.lookup.BindCp936(2, run.id()).Step();
    const std::int64_t id = step == SQLITE_ROW ? Stored(s.lookup, run, same) : 0;
    s.lookup.Reset();
    if (step != SQLITE_ROW && step != SQLITE_DONE) {
        s.kept = s.store.Failure(ProblemCode::StoreCannotRead);
        return -1;
    }
    return id;
}

void RunListWriter::Keep(std::int64_t id, bool same, const Run& run) {
    State& s = *m_state;
    if (s.listed.Has(id)) {
        return;  // listed twice: the first counts
    }
    s.listed.Add(id);
    if (!same && BindRun(s.update, run).Bind(16, id).RunCode() != SQLITE_DONE) {
        s.kept = s.store.Failure(ProblemCode::StoreCannotWrite);
    }
}

Statement& RunListWriter::BindRun(Statement& statement, const Run& run, std::size_t shift) {
    // The store keeps the milliseconds only where the text is whole digits.
    const Run::Values values = run.values();
    const std::array<std::string_view, 5> texts = TextsOf(run);
    const TypedTime sync = ParseServiceTime(texts[4]);
    const auto at = [shift](int index) { return index + static_cast<int>(shift); };
    statement.BindCp936InPlace(at(2), run.id());
    for (int i = 0; i < 5; ++i) {
        statement.BindCp936InPlace(at(3 + i), texts[i]);
    }
    statement.BindOptional(at(8), values.startUtcMs).BindOptional(at(9), values.offsetMinutes);
    statement.BindOptional(at(10), values.metres);
    statement.BindOptional(at(11), ParseInteger(texts[2]));
    statement.BindOptional(at(12), values.kcal);
    return statement.BindOptional(at(13), sync.utcMs).BindOptional(at(14), sync.offsetMinutes);
}

Outcome RunListWriter::Finish() {
    State& s = *m_state;
    AddPending();
    s.next.Reset();
    if (s.kept && s.hadRuns) {
        s.kept = MarkUnlisted();
    }
    if (!s.kept) {
        return s.kept;
    }
    Statement listing(s.db, "UPDATE accounts SET listed_ms=?2, listed=?3 WHERE id=?1");
    const std::string listed = s.listed.Bytes();
    listing.Bind(1, s.account).Bind(2, s.nowMs).BindBlob(3, listed);
    if (!listing.ok() || !listing.Run()) {
        return s.store.Failure(ProblemCode::StoreCannotWrite);
    }
    return s.transaction.Commit();
}

Outcome RunListWriter::MarkUnlisted() {
    State& s = *m_state;
    // The runs of the list before: as it was kept, or (in a store from before
    // lists were kept) every run of the account not marked, read once.
    RowIds before;
    if (s.previousList) {
        before.AddBytes(*s.previousList);
    } else {
        Statement read(s.db,
                       "SELECT id FROM runs WHERE account=? AND id NOT IN (SELECT run FROM "
                       "unlisted)");
        read.Bind(1, s.account);
        while (read.Step() == SQLITE_ROW) {
            before.Add(read.Int(0));
        }
        if (!read.ok()) {
            return s.store.Failure(ProblemCode::StoreCannotRead);
        }
    }
    // Those this list has again lose their mark; those it dropped get one. A
    // list drops runs that came together (a whole list before it, say): each
    // stretch of them is marked by one statement.
    Statement relist(s.db, "DELETE FROM unlisted WHERE run=?");
    Statement unlist(s.db,
                     "INSERT OR IGNORE INTO unlisted(run, last_seen_ms) SELECT id, ?3 FROM runs "
                     "WHERE id BETWEEN ?1 AND ?2");
    unlist.Bind(3, s.previousListing);
    std::int64_t first = 0, last = -1;  // the stretch of dropped runs not yet marked
    const auto mark = [&] { return last < first || unlist.Bind(1, first).Bind(2, last).Run(); };
    const bool marked = relist.ok() && unlist.ok() && s.listed.Each([&](std::int64_t id) {
        return id >= s.firstNew || before.Has(id) || relist.Bind(1, id).Run();
    }) && before.Each([&](std::int64_t id) {
        if (s.listed.Has(id)) {
            return true;
        }
        if (last >= first && id == last + 1) {
            last = id;
            return true;
        }
        const bool done = mark();
        first = last = id;
        return done;
    }) && mark();
    return marked ? Outcome() : s.store.Failure(ProblemCode::StoreCannotWrite);
}

Outcome RunStore::StoreRuns(const ServiceKey& service, std::string_view account,
                            std::span<const Run> runs, StoreTime now) {
    Result<std::unique_ptr<RunListWriter>> writer = BeginRunList(service, account, now);
    if (!writer) {
        return writer.problem();
    }
    for (const Run& run : runs) {
        (*writer)->Add(run);
    }
    return (*writer)->Finish();
}

Result<std::size_t> RunStore::CountRuns(const ServiceKey& service, std::string_view account) const {
    const Result<std::int64_t> id = AccountId("service", service.host, service.port, account);
    if (!id) {
        return id.problem();
    }
    Statement count(m_db, "SELECT count(*) FROM runs WHERE account=?");
    if (count.Bind(1, *id).Step() != SQLITE_ROW) {
        return Failure(ProblemCode::StoreCannotRead);
    }
    return static_cast<std::size_t>(count.Int(0));
}

Outcome RunStore::EachRun(const ServiceKey& service, std::string_view account, RunOrder order,
                          const std::function<void(const StoredRun&)>& visit,
                          RunFields fields) const {
    // By start: SQLite walks its index by account and start, whose ties lie
    // in the order the runs came. As they lie: a walk of the table.
    const char* const tail = order == RunOrder::ByStart ? " ORDER BY start_utc_ms, id"
                             : order == RunOrder::NewestFirst
                                 ? " ORDER BY start_utc_ms DESC, id DESC"
                                 : "";
    return ReadRuns(service, account, tail, std::nullopt, fields, visit);
}

Result<std::optional<StoredRun>> RunStore::FindRun(const ServiceKey& service,
                                                   std::string_view account,
                                                   std::string_view runId) const {
    std::optional<StoredRun> found;
    const Outcome read = ReadRuns(service, account, " AND run_id=?2", runId, RunFields::All,
                                  [&found](const StoredRun& run) { found = run; });
    if (!read) {
        return read.problem();
    }
    return found;
}

namespace {

// How Strivo's key of a run read from a file begins (ImportedRunKey's).
constexpr std::string_view kFileKeyStart = "file-";

// A run's distance, time and calories from column `from` on; a run read from
// a file has no texts (a store of an earlier version kept made ones).
void ReadFileRunValues(const Statement& read, int from, StoredRun& run) {
    run.distanceMetres = read.IsNull(from) ? std::nullopt : std::optional(read.Real(from));
    run.durationMs = read.OptionalInt(from + 1);
    run.calorieCount = read.OptionalInt(from + 2);
    if (!run.source.empty()) {
        for (std::string* text :
             {&run.startTime, &run.distance, &run.duration, &run.calories, &run.syncTime}) {
            text->clear();
        }
    }
}

// A run read from a file (few, beside a million of the service's) has values
// where a service run has texts. Its key begins "file-": such a run's source
// and values are looked up when met, so that the service's runs cost no
// column (SQLite reads a record's columns up to the last one asked for).
class FileValues {
public:
    FileValues(sqlite3* db, std::int64_t account) : m_db(db), m_account(account) {}

    // Gives `run`, read without them, its source and values; false when the store failed.
    bool Fill(StoredRun& run) {
        run.source.clear();
        run.distanceMetres.reset();
        run.durationMs.reset();
        run.calorieCount.reset();
        if (!run.runId.starts_with(kFileKeyStart)) {
            return true;
        }
        if (!m_lookup) {
            m_lookup.emplace(m_db,
                             "SELECT distance_m, duration_ms, calories, source FROM runs "
                             "WHERE account=?1 AND run_id=?2");
            m_lookup->Bind(1, m_account);
        }
        const int step = m_lookup->BindCp936(2, run.runId).Step();
        if (step == SQLITE_ROW) {
            run.source = m_lookup->Utf8(3);
            ReadFileRunValues(*m_lookup, 0, run);
        }
        m_lookup->Reset();
        return step == SQLITE_ROW;
    }

private:
    sqlite3* m_db;
    std::int64_t m_account;
    std::optional<Statement> m_lookup;
};

}  // namespace

Outcome RunStore::ReadRuns(const ServiceKey& service, std::string_view account, const char* sqlTail,
                           std::optional<std::string_view> runId, RunFields fields,
                           const std::function<void(const StoredRun&)>& visit) const {
    std::int64_t id = 0, listedMs = 0;  // the latest listing once, not once a run
    {
        Statement read(m_db,
                       "SELECT id, coalesce(listed_ms, 0) FROM accounts WHERE kind='service' AND "
                       "host=?1 AND port=?2 AND name=?3");
        read.Bind(1, service.host).Bind(2, service.port).BindCp936(3, account);
        const int step = read.Step();
        if (step == SQLITE_DONE) {
            return {};  // the store has no runs of the account
        }
        if (step != SQLITE_ROW) {
            return Failure(ProblemCode::StoreCannotRead);
        }
        id = read.Int(0);
        listedMs = read.Int(1);
    }
    const bool all = fields == RunFields::All;
    const char* const columns =
        all ? "run_id, start_text, distance_text, duration_text, calories_text, sync_text, "
              "start_utc_ms, start_offset_min, distance_m, duration_ms, calories, sync_utc_ms, "
              "sync_offset_min, first_seen_ms, unlisted.last_seen_ms, source, source_file"
        : fields == RunFields::Lines
            ? "run_id, start_text, distance_text, duration_text, calories_text, NULL, "
              "start_utc_ms, start_offset_min, first_seen_ms"
            : "run_id, start_text, distance_text, duration_text, calories_text, NULL, "
              "start_utc_ms, start_offset_min";
    FileValues fileValues(m_db, id);
    // In no order, the table is read as it lies, not through an index and a
    // lookup a run.
    Statement read(m_db, std::string("SELECT ") + columns + " FROM runs" +
                             (*sqlTail == '\0' ? " NOT INDEXED" : "") +
                             (all ? " LEFT JOIN unlisted ON unlisted.run=runs.id" : "") +
                             " WHERE account=?1" + sqlTail);
    read.Bind(1, id);
    if (runId) {
        read.BindCp936(2, *runId);
    }
    StoredRun run;  // its texts' room kept from row to row
    while (read.Step() == SQLITE_ROW) {
        std::string* const texts[] = {&run.runId,    &run.startTime, &run.distance,
                                      &run.duration, &run.calories,  &run.syncTime};
        for (int i = 0; i < (all ? 6 : 5); ++i) {
            ColumnStoreTextInto(read.get(), i, *texts[i]);
        }
        run.startUtcMs = read.OptionalInt(6);
        run.startOffsetMinutes = read.OptionalInt(7);
        if (!all) {
            if (!fileValues.Fill(run)) {
                return Failure(ProblemCode::StoreCannotRead);
            }
            if (fields == RunFields::Lines) {
                run.firstSeen = FromMillis(read.Int(8));
            }
            visit(run);
            continue;
        }
        run.syncUtcMs = read.OptionalInt(11);
        run.syncOffsetMinutes = read.OptionalInt(12);
        run.firstSeen = FromMillis(read.Int(13));
        run.inLatestList = read.IsNull(14);
        run.lastSeen = FromMillis(run.inLatestList ? listedMs : read.Int(14));
        run.source = read.Utf8(15);
        run.sourceFile = read.Utf8(16);
        ReadFileRunValues(read, 8, run);
        visit(run);
    }
    if (!read.ok()) {
        return Failure(ProblemCode::StoreCannotRead);
    }
    return {};
}

Result<std::vector<StoredRun>> RunStore::Runs(const ServiceKey& service,
                                              std::string_view account) const {
    std::vector<StoredRun> runs;
    Outcome read = EachRun(service, account, RunOrder::NewestFirst,
                           [&runs](const StoredRun& run) { runs.push_back(run); });
    if (!read) {
        return read.problem();
    }
    return runs;
}

}  // namespace strivo
