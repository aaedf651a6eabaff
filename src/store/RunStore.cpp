#include "store/RunStore.h"

#include <sqlite3.h>

#include <algorithm>
#include <charconv>
#include <cstring>
#include <system_error>
#include <unordered_set>
#include <utility>

#include "store/StoreText.h"

#ifndef _WIN32
#include <fcntl.h>
#include <unistd.h>
#endif

namespace strivo {
namespace {

std::int64_t Millis(StoreTime time) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(time.time_since_epoch()).count();
}
StoreTime FromMillis(std::int64_t ms) {
    return StoreTime(std::chrono::duration_cast<StoreTime::duration>(std::chrono::milliseconds(ms)));
}

// The path in UTF-8: SQLite's file names and the reasons use it.
std::string PathText(const std::filesystem::path& path) {
    if (path.empty()) {
        return "the in-memory store";
    }
    const std::u8string utf8 = path.u8string();
    return std::string(utf8.begin(), utf8.end());
}

StoreError KindOf(int code) {
    switch (code & 0xFF) {
        case SQLITE_OK:
        case SQLITE_DONE:
        case SQLITE_ROW:
            return StoreError::None;
        case SQLITE_FULL:
            return StoreError::DiskFull;
        case SQLITE_READONLY:
        case SQLITE_IOERR:
        case SQLITE_PERM:
            return StoreError::CannotWrite;
        case SQLITE_CANTOPEN:
            return StoreError::CannotOpen;
        case SQLITE_NOTADB:
            return StoreError::Foreign;
        case SQLITE_CORRUPT:
            return StoreError::Damaged;
        default:
            return StoreError::Failed;
    }
}

// A prepared statement, finalized on every path out.
class Statement {
public:
    Statement(sqlite3* db, const char* sql) : m_db(db) {
        m_code = sqlite3_prepare_v3(db, sql, -1, SQLITE_PREPARE_PERSISTENT, &m_statement, nullptr);
    }
    ~Statement() { sqlite3_finalize(m_statement); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    bool ok() const { return m_code == SQLITE_OK || m_code == SQLITE_DONE || m_code == SQLITE_ROW; }
    int code() const { return m_code; }

    Statement& Bind(int index, std::int64_t value) {
        sqlite3_bind_int64(m_statement, index, value);
        return *this;
    }
    Statement& Bind(int index, const std::string& utf8) {
        sqlite3_bind_text(m_statement, index, utf8.data(), static_cast<int>(utf8.size()),
                          SQLITE_TRANSIENT);
        return *this;
    }
    Statement& BindCp936(int index, std::string_view cp936) {
        BindStoreText(m_statement, index, cp936);
        return *this;
    }
    template <typename T>
    Statement& BindOptional(int index, const std::optional<T>& value) {
        if (!value) {
            sqlite3_bind_null(m_statement, index);
        } else if constexpr (std::is_floating_point_v<T>) {
            sqlite3_bind_double(m_statement, index, *value);
        } else {
            sqlite3_bind_int64(m_statement, index, *value);
        }
        return *this;
    }
    Statement& BindNull(int index) {
        sqlite3_bind_null(m_statement, index);
        return *this;
    }
    // SQLITE_ROW, SQLITE_DONE, or the error; keeps the first error.
    int Step() {
        const int code = sqlite3_step(m_statement);
        if (code != SQLITE_ROW && code != SQLITE_DONE) {
            m_code = code;
        }
        return code;
    }
    // Runs a statement that returns no rows, ready to be bound again.
    bool Run() {
        const int code = Step();
        sqlite3_reset(m_statement);
        return code == SQLITE_DONE || code == SQLITE_ROW;
    }
    void Reset() { sqlite3_reset(m_statement); }

    std::int64_t Int(int column) const { return sqlite3_column_int64(m_statement, column); }
    bool IsNull(int column) const { return sqlite3_column_type(m_statement, column) == SQLITE_NULL; }
    std::optional<std::int64_t> OptionalInt(int column) const {
        return IsNull(column) ? std::nullopt : std::optional(Int(column));
    }
    std::string Cp936(int column) const { return ColumnStoreText(m_statement, column); }
    std::string Utf8(int column) const {
        const auto* text = sqlite3_column_text(m_statement, column);
        return text ? reinterpret_cast<const char*>(text) : "";
    }
    sqlite3_stmt* get() { return m_statement; }

private:
    sqlite3* m_db;
    sqlite3_stmt* m_statement = nullptr;
    int m_code;
};

// The first version of the schema; later versions add steps to kMigrations.
constexpr const char* kSchemaVersion1 = R"sql(
CREATE TABLE runs(
    service_host TEXT NOT NULL, service_port INTEGER NOT NULL, account BLOB NOT NULL,
    run_id BLOB NOT NULL,
    start_text BLOB NOT NULL, distance_text BLOB NOT NULL, duration_text BLOB NOT NULL,
    calories_text BLOB NOT NULL, sync_text BLOB NOT NULL,
    start_utc_ms INTEGER, start_offset_min INTEGER, distance_m REAL, duration_ms INTEGER,
    calories INTEGER, sync_utc_ms INTEGER, sync_offset_min INTEGER,
    first_seen_ms INTEGER NOT NULL, last_seen_ms INTEGER,
    PRIMARY KEY(service_host, service_port, account, run_id)) WITHOUT ROWID;
CREATE TABLE listings(
    service_host TEXT NOT NULL, service_port INTEGER NOT NULL, account BLOB NOT NULL,
    listed_ms INTEGER NOT NULL,
    PRIMARY KEY(service_host, service_port, account)) WITHOUT ROWID;
CREATE TABLE posts(
    site_host TEXT NOT NULL, site_port INTEGER NOT NULL, site_user BLOB NOT NULL,
    run_id BLOB NOT NULL,
    state TEXT NOT NULL CHECK(state IN ('sending', 'confirmed', 'failed', 'unknown')),
    intent_ms INTEGER, outcome_ms INTEGER, reason TEXT,
    prior_state TEXT, prior_intent_ms INTEGER, prior_outcome_ms INTEGER, prior_reason TEXT,
    PRIMARY KEY(site_host, site_port, site_user, run_id)) WITHOUT ROWID;
CREATE TABLE imports(path TEXT PRIMARY KEY, imported_bytes INTEGER NOT NULL);
)sql";

// kMigrations[v] takes a file from user_version v to v + 1.
constexpr const char* kMigrations[] = {kSchemaVersion1};
static_assert(std::size(kMigrations) == kStoreSchemaVersion);

constexpr const char* kPostStates[] = {"sending", "confirmed", "failed", "unknown"};

PostState StateFromName(std::string_view name) {
    for (int i = 0; i < 4; ++i) {
        if (name == kPostStates[i]) {
            return static_cast<PostState>(i);
        }
    }
    return PostState::Unknown;
}

// Why a path cannot be strivo.db, looked at without opening it (a FIFO
// would block); empty when it is a regular file or missing.
std::string NotARegularFile(const std::filesystem::path& path) {
    std::error_code error;
    const auto status = std::filesystem::symlink_status(path, error);
    switch (status.type()) {
        case std::filesystem::file_type::not_found:
        case std::filesystem::file_type::regular:
            return {};
        case std::filesystem::file_type::symlink:
            return "a symbolic link";
        case std::filesystem::file_type::directory:
            return "a folder";
        case std::filesystem::file_type::fifo:
            return "a FIFO";
        case std::filesystem::file_type::block:
        case std::filesystem::file_type::character:
            return "a device";
        case std::filesystem::file_type::socket:
            return "a socket";
        default:
            return error ? error.message() : "not a regular file";
    }
}

}  // namespace

std::filesystem::path StorePathFor(const std::filesystem::path& settingsPath) {
    std::error_code error;
    std::filesystem::path resolved = std::filesystem::weakly_canonical(settingsPath, error);
    if (error || resolved.empty()) {
        resolved = std::filesystem::absolute(settingsPath, error);
    }
    return resolved.parent_path() / "strivo.db";
}

std::filesystem::path StoreLockPathFor(const std::filesystem::path& storePath) {
    std::filesystem::path lock = storePath;
    lock += ".lock";
    return lock;
}

// A transaction that rolls back unless committed; BEGIN IMMEDIATE takes the
// write lock at once, so a commit cannot fail for another writer midway.
class StoreTransaction {
public:
    explicit StoreTransaction(RunStore& store) : m_store(store) {
        m_begun = m_store.Execute("BEGIN IMMEDIATE");
    }
    ~StoreTransaction() {
        if (m_begun && !m_done) {
            sqlite3_exec(m_store.m_db, "ROLLBACK", nullptr, nullptr, nullptr);
        }
    }
    const StoreResult& begun() const { return m_begun; }
    StoreResult Commit() {
        StoreResult committed = m_store.Execute("COMMIT");
        if (committed) {
            m_done = true;
            ++m_store.m_commits;
        }
        return committed;
    }

private:
    RunStore& m_store;
    StoreResult m_begun;
    bool m_done = false;
};

RunStore::RunStore(sqlite3* db, std::filesystem::path path) : m_db(db), m_path(std::move(path)) {}

RunStore::~RunStore() {
    sqlite3_close_v2(m_db);
}

StoreResult RunStore::Error(std::string_view doing) const {
    const int code = sqlite3_extended_errcode(m_db);
    StoreError kind = KindOf(code);
    if (kind == StoreError::None) {
        kind = StoreError::Failed;
    }
    return {kind, std::string(doing) + " " + PathText(m_path) + ": " + sqlite3_errmsg(m_db)};
}

StoreResult RunStore::Execute(const char* sql) {
    if (sqlite3_exec(m_db, sql, nullptr, nullptr, nullptr) != SQLITE_OK) {
        return Error("cannot write");
    }
    return {};
}

StoreResult RunStore::Open(const std::filesystem::path& path, std::unique_ptr<RunStore>* store) {
    const std::string name = PathText(path);
    if (const std::string what = NotARegularFile(path); !what.empty()) {
        return {StoreError::NotRegularFile, name + " is " + what + ", not a regular file: left as it is"};
    }
#ifndef _WIN32
    if (std::error_code error; !std::filesystem::exists(path, error)) {
        // Created owner-only before SQLite sees it; its -wal and -shm files
        // take the same mode.
        const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NONBLOCK, 0600);
        if (fd < 0 && errno != EEXIST) {
            return {StoreError::CannotOpen,
                    "cannot create " + name + ": " + std::generic_category().message(errno)};
        }
        if (fd >= 0) {
            ::close(fd);
        }
    }
#endif
    sqlite3* db = nullptr;
    const int opened = sqlite3_open_v2(reinterpret_cast<const char*>(path.u8string().c_str()), &db,
                                       SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE |
                                           SQLITE_OPEN_NOFOLLOW | SQLITE_OPEN_EXRESCODE,
                                       nullptr);
    std::unique_ptr<RunStore> opening(new RunStore(db, path));
    if (opened != SQLITE_OK) {
        return opening->Error("cannot open");
    }
    sqlite3_busy_timeout(db, 5000);  // another process's short write: wait for it
    if (StoreResult prepared = opening->Prepare(); !prepared) {
        return prepared;
    }
    *store = std::move(opening);
    return {};
}

std::unique_ptr<RunStore> RunStore::OpenInMemory() {
    sqlite3* db = nullptr;
    sqlite3_open_v2(":memory:", &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    std::unique_ptr<RunStore> store(new RunStore(db, {}));
    store->Prepare();
    return store;
}

StoreResult RunStore::Prepare() {
    const std::string name = PathText(m_path);
    // Looked at before anything is written: a foreign file stays as it is.
    std::int64_t applicationId = 0, version = 0, objects = 0;
    {
        Statement read(m_db,
                       "SELECT (SELECT application_id FROM pragma_application_id),"
                       " (SELECT user_version FROM pragma_user_version),"
                       " (SELECT count(*) FROM sqlite_schema)");
        if (!read.ok() || read.Step() != SQLITE_ROW) {
            const int code = sqlite3_extended_errcode(m_db);
            if ((code & 0xFF) == SQLITE_NOTADB) {
                return {StoreError::Foreign, name + " is not a database of Strivo's: left as it is"};
            }
            return Error("cannot read");
        }
        applicationId = read.Int(0);
        version = read.Int(1);
        objects = read.Int(2);
    }
    const bool empty = applicationId == 0 && version == 0 && objects == 0;
    if (!empty && applicationId != kStoreApplicationId) {
        return {StoreError::Foreign,
                name + " is a database of another program: left as it is"};
    }
    if (version > kStoreSchemaVersion) {
        return {StoreError::NewerSchema, name + " was written by a newer Strivo (schema " +
                                             std::to_string(version) + ", this one knows " +
                                             std::to_string(kStoreSchemaVersion) +
                                             "): left as it is"};
    }
    // Never exclusive locking mode: readers keep working during a sync.
    if (!m_path.empty()) {
        Statement wal(m_db, "PRAGMA journal_mode=WAL");
        if (!wal.ok() || wal.Step() != SQLITE_ROW) {
            return Error("cannot use");
        }
    }
    if (StoreResult set = Execute("PRAGMA synchronous=FULL; PRAGMA foreign_keys=ON"); !set) {
        return set;
    }
    if (version == kStoreSchemaVersion) {
        return {};
    }
    if (version > 0 && !m_path.empty()) {
        std::filesystem::path backup = m_path;
        backup += ".v" + std::to_string(version) + ".bak";
        std::error_code error;
        std::filesystem::remove(backup, error);
        Statement vacuum(m_db, "VACUUM INTO ?");
        vacuum.Bind(1, PathText(backup));
        if (!vacuum.ok() || !vacuum.Run()) {
            return Error("cannot copy before migrating");
        }
    }
    StoreTransaction transaction(*this);
    if (!transaction.begun()) {
        return transaction.begun();
    }
    for (std::int64_t step = version; step < kStoreSchemaVersion; ++step) {
        if (StoreResult migrated = Execute(kMigrations[step]); !migrated) {
            return migrated;
        }
    }
    const std::string stamp = "PRAGMA application_id=" + std::to_string(kStoreApplicationId) +
                              "; PRAGMA user_version=" + std::to_string(kStoreSchemaVersion);
    if (StoreResult stamped = Execute(stamp.c_str()); !stamped) {
        return stamped;
    }
    return transaction.Commit();
}

StoreResult RunStore::CapSize(std::int64_t pages) {
    const std::string sql = "PRAGMA max_page_count=" + std::to_string(pages);
    return Execute(sql.c_str());
}

// --- Runs ---

StoreResult RunStore::StoreRuns(const ServiceKey& service, std::string_view account,
                                std::span<const DownloadedRun> runs, StoreTime now) {
    const std::int64_t nowMs = Millis(now);
    StoreTransaction transaction(*this);
    if (!transaction.begun()) {
        return transaction.begun();
    }
    // What the store holds: compared in memory, so an unchanged list writes
    // only its listing time.
    struct Held {
        std::uint64_t texts;  // a hash of the five texts as stored
        bool listed;
    };
    std::unordered_map<std::string, Held> held;
    held.reserve(runs.size());
    std::int64_t previousListing = nowMs;
    {
        Statement listing(m_db,
                          "SELECT listed_ms FROM listings WHERE service_host=? AND service_port=? "
                          "AND account=?");
        listing.Bind(1, service.host).Bind(2, service.port).BindCp936(3, account);
        if (listing.Step() == SQLITE_ROW) {
            previousListing = listing.Int(0);
        }
        Statement read(m_db,
                       "SELECT run_id, start_text, distance_text, duration_text, calories_text, "
                       "sync_text, last_seen_ms IS NULL FROM runs WHERE service_host=? AND "
                       "service_port=? AND account=?");
        read.Bind(1, service.host).Bind(2, service.port).BindCp936(3, account);
        while (read.Step() == SQLITE_ROW) {
            Held& run = held[read.Cp936(0)];
            run.texts = 0;
            for (int i = 0; i < 5; ++i) {
                run.texts = run.texts * 31 + ColumnHash(read.get(), i + 1);
            }
            run.listed = read.Int(6) != 0;
        }
        if (!read.ok() || !listing.ok()) {
            return Error("cannot read");
        }
    }
    Statement insert(m_db,
                     "INSERT INTO runs VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11, ?12, ?13, "
                     "?14, ?15, ?16, ?17, NULL) ON CONFLICT DO UPDATE SET start_text=?5, "
                     "distance_text=?6, duration_text=?7, calories_text=?8, sync_text=?9, "
                     "start_utc_ms=?10, start_offset_min=?11, distance_m=?12, duration_ms=?13, "
                     "calories=?14, sync_utc_ms=?15, sync_offset_min=?16, last_seen_ms=NULL");
    Statement relisted(m_db,
                       "UPDATE runs SET last_seen_ms=NULL WHERE service_host=? AND service_port=? "
                       "AND account=? AND run_id=?");
    Statement unlisted(m_db,
                       "UPDATE runs SET last_seen_ms=? WHERE service_host=? AND service_port=? "
                       "AND account=? AND run_id=?");
    if (!insert.ok() || !relisted.ok() || !unlisted.ok()) {
        return Error("cannot write");
    }
    insert.Bind(1, service.host).Bind(2, service.port).BindCp936(3, account).Bind(17, nowMs);
    relisted.Bind(1, service.host).Bind(2, service.port).BindCp936(3, account);
    unlisted.Bind(1, previousListing).Bind(2, service.host).Bind(3, service.port).BindCp936(4, account);
    std::unordered_set<std::string_view> inList;
    inList.reserve(runs.size());
    for (const DownloadedRun& run : runs) {
        if (run.runId.empty() || !inList.insert(run.runId).second) {
            continue;  // no key, or listed twice: the first one counts
        }
        const std::string_view texts[5] = {run.startTime, run.distance, run.duration, run.calories,
                                           run.syncTime};
        const auto found = held.find(std::string(run.runId));
        std::uint64_t hash = 0;
        for (const std::string_view text : texts) {
            hash = hash * 31 + StoreTextHash(text);
        }
        if (found != held.end() && found->second.texts == hash) {
            if (!found->second.listed && !relisted.BindCp936(4, run.runId).Run()) {
                return Error("cannot write");
            }
            continue;
        }
        const TypedTime start = ParseServiceTime(run.startTime);
        const TypedTime sync = ParseServiceTime(run.syncTime);
        const std::optional<double> km = ParseDecimal(run.distance);
        insert.BindCp936(4, run.runId);
        for (int i = 0; i < 5; ++i) {
            insert.BindCp936(5 + i, texts[i]);
        }
        insert.BindOptional(10, start.utcMs).BindOptional(11, start.offsetMinutes);
        insert.BindOptional(12, km ? std::optional(*km * 1000.0) : std::nullopt);
        insert.BindOptional(13, ParseInteger(run.duration));
        insert.BindOptional(14, ParseInteger(run.calories));
        insert.BindOptional(15, sync.utcMs).BindOptional(16, sync.offsetMinutes);
        if (!insert.Run()) {
            return Error("cannot write");
        }
    }
    for (const auto& [runId, run] : held) {
        if (run.listed && !inList.contains(runId) && !unlisted.BindCp936(5, runId).Run()) {
            return Error("cannot write");
        }
    }
    Statement listing(m_db, "INSERT OR REPLACE INTO listings VALUES(?, ?, ?, ?)");
    listing.Bind(1, service.host).Bind(2, service.port).BindCp936(3, account).Bind(4, nowMs);
    if (!listing.ok() || !listing.Run()) {
        return Error("cannot write");
    }
    return transaction.Commit();
}

std::vector<StoredRun> RunStore::Runs(const ServiceKey& service, std::string_view account,
                                      StoreResult* result) const {
    std::vector<StoredRun> runs;
    // Room for all at once: growing a vector of 100,000 runs step by step
    // costs more than reading them.
    Statement count(m_db,
                    "SELECT count(*) FROM runs WHERE service_host=? AND service_port=? AND "
                    "account=?");
    count.Bind(1, service.host).Bind(2, service.port).BindCp936(3, account);
    if (count.Step() == SQLITE_ROW) {
        runs.reserve(static_cast<std::size_t>(count.Int(0)));
    }
    Statement read(m_db,
                   "SELECT run_id, start_text, distance_text, duration_text, calories_text, "
                   "sync_text, start_utc_ms, start_offset_min, distance_m, duration_ms, calories, "
                   "sync_utc_ms, sync_offset_min, first_seen_ms, "
                   "coalesce(last_seen_ms, (SELECT listed_ms FROM listings l WHERE "
                   "l.service_host=r.service_host AND l.service_port=r.service_port AND "
                   "l.account=r.account)), last_seen_ms IS NULL FROM runs r WHERE service_host=? "
                   "AND service_port=? AND account=? ORDER BY start_utc_ms DESC, start_text DESC");
    read.Bind(1, service.host).Bind(2, service.port).BindCp936(3, account);
    while (read.Step() == SQLITE_ROW) {
        StoredRun& run = runs.emplace_back();
        run.runId = read.Cp936(0);
        run.startTime = read.Cp936(1);
        run.distance = read.Cp936(2);
        run.duration = read.Cp936(3);
        run.calories = read.Cp936(4);
        run.syncTime = read.Cp936(5);
        run.startUtcMs = read.OptionalInt(6);
        run.startOffsetMinutes = read.OptionalInt(7);
        if (!read.IsNull(8)) {
            run.distanceMetres = sqlite3_column_double(read.get(), 8);
        }
        run.durationMs = read.OptionalInt(9);
        run.calorieCount = read.OptionalInt(10);
        run.syncUtcMs = read.OptionalInt(11);
        run.syncOffsetMinutes = read.OptionalInt(12);
        run.firstSeen = FromMillis(read.Int(13));
        run.lastSeen = FromMillis(read.Int(14));
        run.inLatestList = read.Int(15) != 0;
    }
    if (result) {
        *result = read.ok() ? StoreResult{} : Error("cannot read");
    }
    return runs;
}

// --- Posts ---

StoreResult RunStore::BeginSync(const SiteKey& site, StoreTime now,
                                std::vector<std::string>* unknown) {
    StoreTransaction transaction(*this);
    if (!transaction.begun()) {
        return transaction.begun();
    }
    Statement turned(m_db,
                     "UPDATE posts SET "
                     "state=iif(prior_state='confirmed', 'confirmed', 'unknown'), "
                     "outcome_ms=iif(prior_state='confirmed', prior_outcome_ms, ?4), "
                     "intent_ms=iif(prior_state='confirmed', prior_intent_ms, intent_ms), "
                     "reason=iif(prior_state='confirmed', prior_reason, "
                     "'the sync ended before the answer'), "
                     "prior_state=NULL, prior_intent_ms=NULL, prior_outcome_ms=NULL, prior_reason=NULL "
                     "WHERE site_host=?1 AND site_port=?2 AND site_user=?3 AND state='sending' "
                     "RETURNING run_id, state");
    turned.Bind(1, site.host).Bind(2, site.port).BindCp936(3, site.user).Bind(4, Millis(now));
    while (turned.Step() == SQLITE_ROW) {
        if (unknown && turned.Utf8(1) == "unknown") {
            unknown->push_back(turned.Cp936(0));
        }
    }
    if (!turned.ok()) {
        return Error("cannot write");
    }
    turned.Reset();
    return transaction.Commit();
}

StoreResult RunStore::RecordOutcomeAndIntent(const SiteKey& site,
                                             const std::optional<PostOutcome>& previous,
                                             std::optional<std::string_view> nextRunId,
                                             StoreTime now) {
    if (!previous && !nextRunId) {
        return {};
    }
    StoreTransaction transaction(*this);
    if (!transaction.begun()) {
        return transaction.begun();
    }
    if (previous) {
        const char* sql = nullptr;
        switch (previous->result) {
            case PostResult::Confirmed:
                sql = "INSERT INTO posts(site_host, site_port, site_user, run_id, state, "
                      "outcome_ms, reason) VALUES(?1, ?2, ?3, ?4, 'confirmed', ?5, NULL) "
                      "ON CONFLICT DO UPDATE SET state='confirmed', outcome_ms=?5, reason=NULL, "
                      "prior_state=NULL, prior_intent_ms=NULL, prior_outcome_ms=NULL, "
                      "prior_reason=NULL";
                break;
            case PostResult::Failed:
            case PostResult::Unknown:
                // A run confirmed before stays confirmed, whatever this post did.
                sql = "INSERT INTO posts(site_host, site_port, site_user, run_id, state, "
                      "outcome_ms, reason) VALUES(?1, ?2, ?3, ?4, ?6, ?5, ?7) "
                      "ON CONFLICT DO UPDATE SET "
                      "state=iif(coalesce(prior_state, state)='confirmed', 'confirmed', ?6), "
                      "outcome_ms=iif(coalesce(prior_state, state)='confirmed', "
                      "coalesce(prior_outcome_ms, outcome_ms), ?5), "
                      "intent_ms=iif(prior_state='confirmed', prior_intent_ms, intent_ms), "
                      "reason=iif(coalesce(prior_state, state)='confirmed', "
                      "iif(prior_state IS NULL, reason, prior_reason), ?7), "
                      "prior_state=NULL, prior_intent_ms=NULL, prior_outcome_ms=NULL, "
                      "prior_reason=NULL";
                break;
            case PostResult::NotSent:
                // Back to what the row was before its intent; a new row goes.
                sql = "DELETE FROM posts WHERE site_host=?1 AND site_port=?2 AND site_user=?3 "
                      "AND run_id=?4 AND state='sending' AND prior_state IS NULL";
                break;
        }
        Statement outcome(m_db, sql);
        outcome.Bind(1, site.host).Bind(2, site.port).BindCp936(3, site.user);
        outcome.BindCp936(4, previous->runId).Bind(5, Millis(previous->at));
        if (previous->result == PostResult::Failed || previous->result == PostResult::Unknown) {
            outcome.Bind(6, std::string(previous->result == PostResult::Failed ? "failed" : "unknown"));
            outcome.Bind(7, previous->reason);
        }
        if (!outcome.ok() || !outcome.Run()) {
            return Error("cannot write");
        }
        if (previous->result == PostResult::NotSent) {
            Statement restore(m_db,
                              "UPDATE posts SET state=prior_state, intent_ms=prior_intent_ms, "
                              "outcome_ms=prior_outcome_ms, reason=prior_reason, prior_state=NULL, "
                              "prior_intent_ms=NULL, prior_outcome_ms=NULL, prior_reason=NULL "
                              "WHERE site_host=?1 AND site_port=?2 AND site_user=?3 AND run_id=?4 "
                              "AND state='sending'");
            restore.Bind(1, site.host).Bind(2, site.port).BindCp936(3, site.user);
            restore.BindCp936(4, previous->runId);
            if (!restore.ok() || !restore.Run()) {
                return Error("cannot write");
            }
        }
    }
    if (nextRunId) {
        Statement intent(m_db,
                         "INSERT INTO posts(site_host, site_port, site_user, run_id, state, "
                         "intent_ms) VALUES(?1, ?2, ?3, ?4, 'sending', ?5) ON CONFLICT DO UPDATE SET "
                         "prior_state=state, prior_intent_ms=intent_ms, prior_outcome_ms=outcome_ms, "
                         "prior_reason=reason, state='sending', intent_ms=?5, outcome_ms=NULL, "
                         "reason=NULL");
        intent.Bind(1, site.host).Bind(2, site.port).BindCp936(3, site.user);
        intent.BindCp936(4, *nextRunId).Bind(5, Millis(now));
        if (!intent.ok() || !intent.Run()) {
            return Error("cannot write");
        }
    }
    return transaction.Commit();
}

std::unordered_map<std::string, PostRecord> RunStore::Posts(const SiteKey& site,
                                                            StoreResult* result) const {
    std::unordered_map<std::string, PostRecord> posts;
    Statement read(m_db,
                   "SELECT run_id, state, intent_ms, outcome_ms, reason FROM posts "
                   "WHERE site_host=? AND site_port=? AND site_user=?");
    read.Bind(1, site.host).Bind(2, site.port).BindCp936(3, site.user);
    while (read.Step() == SQLITE_ROW) {
        PostRecord& post = posts[read.Cp936(0)];
        post.state = StateFromName(read.Utf8(1));
        if (!read.IsNull(2)) {
            post.intentAt = FromMillis(read.Int(2));
        }
        if (!read.IsNull(3)) {
            post.outcomeAt = FromMillis(read.Int(3));
        }
        post.reason = read.Utf8(4);
    }
    if (result) {
        *result = read.ok() ? StoreResult{} : Error("cannot read");
    }
    return posts;
}

StoreResult RunStore::Settle(const SiteKey& site, std::span<const std::string> runIds, bool held,
                             bool posted, StoreTime now, int* changed) {
    StoreTransaction transaction(*this);
    if (!transaction.begun()) {
        return transaction.begun();
    }
    int count = 0;
    const char* where = held ? "site_host=?1 AND site_port=?2 AND site_user=?3 AND "
                               "state IN ('unknown', 'sending')"
                             : "site_host=?1 AND site_port=?2 AND site_user=?3 AND run_id=?4";
    std::string sql = posted ? std::string("UPDATE posts SET state='confirmed', outcome_ms=?5, "
                                           "reason='settled by the runner', prior_state=NULL, "
                                           "prior_intent_ms=NULL, prior_outcome_ms=NULL, "
                                           "prior_reason=NULL WHERE ") + where
                             : std::string("DELETE FROM posts WHERE ") + where;
    Statement settle(m_db, sql.c_str());
    Statement add(m_db,
                  "INSERT OR IGNORE INTO posts(site_host, site_port, site_user, run_id, state, "
                  "outcome_ms, reason) VALUES(?1, ?2, ?3, ?4, 'confirmed', ?5, "
                  "'settled by the runner')");
    if (!settle.ok() || !add.ok()) {
        return Error("cannot write");
    }
    settle.Bind(1, site.host).Bind(2, site.port).BindCp936(3, site.user);
    add.Bind(1, site.host).Bind(2, site.port).BindCp936(3, site.user).Bind(5, Millis(now));
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
            return Error("cannot write");
        }
    } else {
        for (const std::string& runId : runIds) {
            settle.BindCp936(4, runId);
            add.BindCp936(4, runId);
            // A run the store has no post for can be confirmed too.
            if (!run(settle) || (posted && !run(add))) {
                return Error("cannot write");
            }
        }
    }
    if (StoreResult committed = transaction.Commit(); !committed) {
        return committed;
    }
    if (changed) {
        *changed = count;
    }
    return {};
}

StoreResult RunStore::SettlePosted(const SiteKey& site, std::span<const std::string> runIds,
                                   StoreTime now, int* changed) {
    return Settle(site, runIds, false, true, now, changed);
}
StoreResult RunStore::SettleRepost(const SiteKey& site, std::span<const std::string> runIds,
                                   int* changed) {
    return Settle(site, runIds, false, false, {}, changed);
}
StoreResult RunStore::SettleAllHeldPosted(const SiteKey& site, StoreTime now, int* changed) {
    return Settle(site, {}, true, true, now, changed);
}
StoreResult RunStore::SettleAllHeldRepost(const SiteKey& site, int* changed) {
    return Settle(site, {}, true, false, {}, changed);
}

// --- Import of posted-runs.txt ---

StoreResult RunStore::ImportPostedRuns(std::span<const std::filesystem::path> files,
                                       std::vector<ImportReport>* reports) {
    // Most stores have no older record beside them: then nothing is written,
    // and a sync's commits stay one per post.
    const bool anyRecord = std::ranges::any_of(files, [](const std::filesystem::path& file) {
        std::error_code error;
        return std::filesystem::is_regular_file(file, error);
    });
    std::optional<StoreTransaction> transaction;
    if (anyRecord) {
        transaction.emplace(*this);
        if (!transaction->begun()) {
            return transaction->begun();
        }
    }
    Statement offset(m_db, "SELECT imported_bytes FROM imports WHERE path=?");
    Statement remember(m_db, "INSERT OR REPLACE INTO imports VALUES(?, ?)");
    Statement confirm(m_db,
                      "INSERT INTO posts(site_host, site_port, site_user, run_id, state, "
                      "outcome_ms) VALUES(?1, ?2, ?3, ?4, 'confirmed', ?5) ON CONFLICT DO UPDATE "
                      "SET state='confirmed', outcome_ms=?5, reason=NULL "
                      "WHERE state IN ('failed', 'unknown')");
    if (!offset.ok() || !remember.ok() || !confirm.ok()) {
        return Error("cannot write");
    }
    std::unordered_set<std::string> seen;
    for (const std::filesystem::path& file : files) {
        ImportReport report;
        const std::string name = PathText(file);
        std::error_code error;
        const std::filesystem::path real = std::filesystem::weakly_canonical(file, error);
        if (!seen.insert(PathText(error ? file : real)).second) {
            continue;  // the same file by two names
        }
        if (const std::string what = NotARegularFile(error ? file : real); !what.empty()) {
            report.warning = name + " is " + what + ", not a record of posted runs: skipped";
        } else if (std::filesystem::exists(file, error)) {
            const FileContent content = ReadWholeFile(file);
            offset.Bind(1, PathText(file));
            std::int64_t from = offset.Step() == SQLITE_ROW ? offset.Int(0) : 0;
            offset.Reset();
            if (!content.ok) {
                report.warning = "cannot read " + name;
            } else {
                // A file shorter than what was read of it is another file.
                if (from > static_cast<std::int64_t>(content.bytes.size())) {
                    from = 0;
                }
                std::size_t used = static_cast<std::size_t>(from);
                const PostedRunsLines lines = ParsePostedRuns(content.bytes, used);
                for (const PostedRunLine& line : lines.records) {
                    confirm.Bind(1, line.host).Bind(2, line.port).BindCp936(3, line.user);
                    confirm.BindCp936(4, line.runId).Bind(5, line.utcMs);
                    if (!confirm.Run()) {
                        return Error("cannot write");
                    }
                }
                report.imported = static_cast<int>(lines.records.size());
                report.badLines = lines.badLines;
                if (lines.badLines > 0) {
                    report.warning = std::to_string(lines.badLines) + " lines of " + name +
                                     " are not records of posted runs: skipped";
                }
                remember.Bind(1, PathText(file)).Bind(2, static_cast<std::int64_t>(lines.end));
                if (!remember.Run()) {
                    return Error("cannot write");
                }
            }
        }
        if (reports) {
            reports->push_back(std::move(report));
        }
    }
    return transaction ? transaction->Commit() : StoreResult{};
}

// --- The sync lock ---

StoreResult SyncLock::Acquire(const std::filesystem::path& storePath,
                              std::span<const std::filesystem::path> olderRecords) {
    Release();
    if (storePath.empty()) {
        m_held = true;
        return {};
    }
    using std::filesystem::perms;
    const std::filesystem::path lockPath = StoreLockPathFor(storePath);
    if (const std::string what = NotARegularFile(lockPath); !what.empty()) {
        return {StoreError::NotRegularFile, PathText(lockPath) + " is " + what + ", not a regular file"};
    }
    const auto refused = [](const std::filesystem::path& path, const FileResult& locked) {
        if (locked.kind == FileError::InUse) {
            return StoreResult{StoreError::InUse,
                               PathText(path) + " is held by another Strivo's sync"};
        }
        return StoreResult{StoreError::CannotOpen, "cannot lock " + PathText(path) + ": " + locked.error};
    };
    if (FileResult locked = m_lock.Lock(lockPath, perms::owner_read | perms::owner_write, true);
        !locked) {
        return refused(lockPath, locked);
    }
    std::unordered_set<std::string> seen;  // one lock per file, whatever its names
    for (const std::filesystem::path& record : olderRecords) {
        std::error_code error;
        if (!std::filesystem::is_regular_file(record, error) ||
            !seen.insert(PathText(std::filesystem::weakly_canonical(record, error))).second) {
            continue;  // missing, not a record any version could have used, or locked already
        }
        auto lock = std::make_unique<FileLock>();
        FileResult locked = lock->Lock(record, perms::owner_read | perms::owner_write, false);
        if (!locked && locked.kind == FileError::InUse) {
            Release();
            return refused(record, locked);
        }
        if (locked) {
            m_older.push_back(std::move(lock));
        }
    }
    m_held = true;
    return {};
}

void SyncLock::Release() {
    m_older.clear();
    m_lock.Unlock();
    m_held = false;
}

}  // namespace strivo
