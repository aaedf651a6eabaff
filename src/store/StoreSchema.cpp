// Opening strivo.db: what may be opened, the schema and its migrations, and
// SQLite's failures as problems.

#include <sqlite3.h>

#include <atomic>
#include <chrono>
#include <system_error>
#include <thread>
#include <utility>

#include "io/AtomicFile.h"
#include "io/FileIdentity.h"
#include "store/RunStore.h"
#include "store/Statement.h"
#include "store/StorePaths.h"

namespace strivo {

using store_detail::Statement;

namespace {

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

// The second: posts a runner keeps off the run log ('excluded'), runs read
// from files (their format and file), a record of every sync, the hosts
// that asked to be left alone until a time, refused passwords (as an HMAC
// under the store's own key, never the password), and an index by start.
constexpr const char* kSchemaVersion2 = R"sql(
CREATE TABLE posts_v2(
    site_host TEXT NOT NULL, site_port INTEGER NOT NULL, site_user BLOB NOT NULL,
    run_id BLOB NOT NULL,
    state TEXT NOT NULL
        CHECK(state IN ('sending', 'confirmed', 'failed', 'unknown', 'excluded')),
    intent_ms INTEGER, outcome_ms INTEGER, reason TEXT,
    prior_state TEXT, prior_intent_ms INTEGER, prior_outcome_ms INTEGER, prior_reason TEXT,
    PRIMARY KEY(site_host, site_port, site_user, run_id)) WITHOUT ROWID;
INSERT INTO posts_v2 SELECT * FROM posts;
DROP TABLE posts;
ALTER TABLE posts_v2 RENAME TO posts;
ALTER TABLE runs ADD COLUMN source TEXT;
ALTER TABLE runs ADD COLUMN source_file TEXT;
CREATE INDEX runs_by_start ON runs(service_host, service_port, account, start_utc_ms);
CREATE TABLE syncs(
    id INTEGER PRIMARY KEY, started_ms INTEGER NOT NULL, ended_ms INTEGER, who TEXT NOT NULL,
    site_host TEXT, site_port INTEGER, site_user BLOB,
    outcome TEXT NOT NULL, reason TEXT,
    posted INTEGER NOT NULL DEFAULT 0, failed INTEGER NOT NULL DEFAULT 0,
    held INTEGER NOT NULL DEFAULT 0, untried INTEGER NOT NULL DEFAULT 0);
CREATE TABLE pauses(
    host TEXT NOT NULL, port INTEGER NOT NULL, not_before_ms INTEGER NOT NULL, reason TEXT,
    PRIMARY KEY(host, port)) WITHOUT ROWID;
CREATE TABLE refusals(
    service TEXT NOT NULL, host TEXT NOT NULL, port INTEGER NOT NULL, user BLOB NOT NULL,
    password_mac BLOB NOT NULL, refused_ms INTEGER NOT NULL,
    PRIMARY KEY(service, host, port, user)) WITHOUT ROWID;
CREATE TABLE secrets(name TEXT PRIMARY KEY, value BLOB NOT NULL) WITHOUT ROWID;
)sql";

// The third: each run-service account and each site user is a small integer
// of the accounts table, the service's latest complete list its row's
// listed_ms, and that list's runs its listed (left NULL here: the next list
// reads them from unlisted). Runs lie in the order they came (a rowid table:
// a list of new runs is appended, not inserted at random places), found by
// account and RunID or by account and start. A run the service no longer
// lists has a row in unlisted, so a list that drops runs writes those rows
// and leaves the runs as they are. Runs are copied in the order they were
// first seen, ties by start text, latest first, then by RunID: runs that
// start at the same moment keep the order they were read in before. And
// where the run log's window was left, so it opens there again.
constexpr const char* kSchemaVersion3 = R"sql(
CREATE TABLE accounts(
    id INTEGER PRIMARY KEY, kind TEXT NOT NULL CHECK(kind IN ('service', 'site')),
    host TEXT NOT NULL, port INTEGER NOT NULL, name BLOB NOT NULL,
    listed_ms INTEGER, listed BLOB, UNIQUE(kind, host, port, name));
INSERT INTO accounts(kind, host, port, name, listed_ms)
    SELECT 'service', service_host, service_port, account, max(listed_ms) FROM (
        SELECT service_host, service_port, account, listed_ms FROM listings
        UNION ALL SELECT DISTINCT service_host, service_port, account, NULL FROM runs)
    GROUP BY service_host, service_port, account;
INSERT INTO accounts(kind, host, port, name)
    SELECT DISTINCT 'site', site_host, site_port, site_user FROM posts;
CREATE TABLE runs_v3(
    id INTEGER PRIMARY KEY, account INTEGER NOT NULL REFERENCES accounts(id),
    run_id BLOB NOT NULL,
    start_text BLOB NOT NULL, distance_text BLOB NOT NULL, duration_text BLOB NOT NULL,
    calories_text BLOB NOT NULL, sync_text BLOB NOT NULL,
    start_utc_ms INTEGER, start_offset_min INTEGER, distance_m REAL, duration_ms INTEGER,
    calories INTEGER, sync_utc_ms INTEGER, sync_offset_min INTEGER,
    first_seen_ms INTEGER NOT NULL, source TEXT, source_file TEXT);
INSERT INTO runs_v3(account, run_id, start_text, distance_text, duration_text, calories_text,
                    sync_text, start_utc_ms, start_offset_min, distance_m, duration_ms, calories,
                    sync_utc_ms, sync_offset_min, first_seen_ms, source, source_file)
    SELECT a.id, r.run_id, r.start_text, r.distance_text, r.duration_text, r.calories_text,
           r.sync_text, r.start_utc_ms, r.start_offset_min, r.distance_m, r.duration_ms,
           r.calories, r.sync_utc_ms, r.sync_offset_min, r.first_seen_ms, r.source, r.source_file
    FROM runs r JOIN accounts a ON a.kind = 'service' AND a.host = r.service_host
        AND a.port = r.service_port AND a.name = r.account
    ORDER BY r.first_seen_ms, r.start_text DESC, r.run_id;
CREATE UNIQUE INDEX runs_by_id ON runs_v3(account, run_id);
CREATE TABLE unlisted(run INTEGER PRIMARY KEY, last_seen_ms INTEGER NOT NULL);
INSERT INTO unlisted
    SELECT n.id, r.last_seen_ms FROM runs r JOIN accounts a ON a.kind = 'service'
        AND a.host = r.service_host AND a.port = r.service_port AND a.name = r.account
    JOIN runs_v3 n ON n.account = a.id AND n.run_id = r.run_id
    WHERE r.last_seen_ms IS NOT NULL ORDER BY n.id;
CREATE TABLE posts_v3(
    account INTEGER NOT NULL REFERENCES accounts(id), run_id BLOB NOT NULL,
    state TEXT NOT NULL
        CHECK(state IN ('sending', 'confirmed', 'failed', 'unknown', 'excluded')),
    intent_ms INTEGER, outcome_ms INTEGER, reason TEXT,
    prior_state TEXT, prior_intent_ms INTEGER, prior_outcome_ms INTEGER, prior_reason TEXT,
    PRIMARY KEY(account, run_id)) WITHOUT ROWID;
INSERT INTO posts_v3
    SELECT a.id, p.run_id, p.state, p.intent_ms, p.outcome_ms, p.reason, p.prior_state,
           p.prior_intent_ms, p.prior_outcome_ms, p.prior_reason
    FROM posts p JOIN accounts a ON a.kind = 'site' AND a.host = p.site_host
        AND a.port = p.site_port AND a.name = p.site_user;
DROP TABLE posts;
ALTER TABLE posts_v3 RENAME TO posts;
DROP TABLE runs;
DROP TABLE listings;
ALTER TABLE runs_v3 RENAME TO runs;
CREATE INDEX runs_by_start ON runs(account, start_utc_ms);
CREATE INDEX runs_from_files ON runs(account, start_utc_ms) WHERE source IS NOT NULL;
CREATE TABLE window_places(
    window TEXT PRIMARY KEY, x INTEGER NOT NULL, y INTEGER NOT NULL,
    width INTEGER NOT NULL, height INTEGER NOT NULL, maximized INTEGER NOT NULL) WITHOUT ROWID;
)sql";

// kMigrations[v] takes a file from user_version v to v + 1; a new file takes
// them all.
constexpr const char* kMigrations[] = {kSchemaVersion1, kSchemaVersion2, kSchemaVersion3};
static_assert(std::size(kMigrations) == kStoreSchemaVersion);

// A store is one connection used by one thread at a time: SQLite need not
// lock it for every call (a million rows read are millions of calls).
constexpr int kOneThreadAtATime = SQLITE_OPEN_NOMUTEX;

// Nor need it count the memory it takes: counting locks a mutex around every
// allocation (a twentieth of a download's time). Set as the program starts,
// before SQLite does; the Windows build compiles it so.
[[maybe_unused]] const bool g_uncounted = sqlite3_config(SQLITE_CONFIG_MEMSTATUS, 0) == SQLITE_OK;

Problem StoreProblem(ProblemCode code, const std::filesystem::path& path,
                     std::vector<std::string> more = {}) {
    std::vector<std::string> values{PathText(path)};
    values.insert(values.end(), more.begin(), more.end());
    return Problem(code, std::move(values));
}

}  // namespace

namespace store_detail {

Problem SqliteProblem(sqlite3* db, const std::filesystem::path& path, ProblemCode otherwise) {
    ProblemCode code = otherwise;
    switch (sqlite3_extended_errcode(db) & 0xFF) {
        case SQLITE_FULL:
            code = ProblemCode::StoreDiskFull;
            break;
        case SQLITE_NOTADB:
            code = ProblemCode::StoreForeign;
            break;
        case SQLITE_CORRUPT:
            code = ProblemCode::StoreDamaged;
            break;
        case SQLITE_CANTOPEN:
            code = ProblemCode::StoreCannotOpen;
            break;
        default:
            break;
    }
    Problem problem = StoreProblem(code, path);
    if (code != ProblemCode::StoreForeign) {  // its words say it all
        problem.detail = sqlite3_errmsg(db);
    }
    return problem;
}

}  // namespace store_detail

StoreTransaction::StoreTransaction(RunStore& store) : m_store(store) {
    m_begun = m_store.Execute("BEGIN IMMEDIATE");
}

StoreTransaction::~StoreTransaction() {
    if (m_begun && !m_done) {
        sqlite3_exec(m_store.m_db, "ROLLBACK", nullptr, nullptr, nullptr);
    }
}

namespace {
std::atomic<std::uint64_t> g_commits{0};
}  // namespace

Outcome StoreTransaction::Commit() {
    Outcome committed = m_store.Execute("COMMIT");
    if (committed) {
        m_done = true;
        ++m_store.m_commits;
        ++g_commits;
    }
    return committed;
}

std::uint64_t RunStore::CommitsInProcess() {
    return g_commits;
}

RunStore::RunStore(sqlite3* db, std::filesystem::path path) : m_db(db), m_path(std::move(path)) {}

RunStore::~RunStore() {
    m_cached.clear();  // finalized first, so that the connection closes now
    sqlite3_close_v2(m_db);
}

Statement& RunStore::Cached(const char* sql) const {
    for (auto& [text, statement] : m_cached) {
        if (text == sql && statement->get() != nullptr) {
            statement->Renew();
            return *statement;
        }
    }
    std::erase_if(m_cached, [sql](const auto& cached) { return cached.first == sql; });
    return *m_cached.emplace_back(sql, std::make_unique<Statement>(m_db, sql)).second;
}

Problem RunStore::Failure(ProblemCode otherwise) const {
    return store_detail::SqliteProblem(m_db, m_path, otherwise);
}

Outcome RunStore::Execute(const char* sql, ProblemCode otherwise) {
    if (sqlite3_exec(m_db, sql, nullptr, nullptr, nullptr) != SQLITE_OK) {
        return Failure(otherwise);
    }
    return {};
}

Result<std::int64_t> RunStore::AccountId(const char* kind, const std::string& host,
                                         std::int64_t port, std::string_view name,
                                         bool make) const {
    Statement& find =
        Cached("SELECT id FROM accounts WHERE kind=?1 AND host=?2 AND port=?3 AND name=?4");
    find.Bind(1, std::string(kind)).Bind(2, host).Bind(3, port).BindCp936(4, name);
    const int step = find.Step();
    const std::int64_t found = step == SQLITE_ROW ? find.Int(0) : 0;
    find.Reset();
    if (step == SQLITE_ROW || (step == SQLITE_DONE && !make)) {
        return found;
    }
    if (step != SQLITE_DONE) {
        return Failure(ProblemCode::StoreCannotRead);
    }
    // Made only inside a transaction: no other writer comes between the look and the insert.
    Statement add(m_db, "INSERT INTO accounts(kind, host, port, name) VALUES(?1, ?2, ?3, ?4)");
    add.Bind(1, std::string(kind)).Bind(2, host).Bind(3, port).BindCp936(4, name);
    if (!add.Run()) {
        return Failure(ProblemCode::StoreCannotWrite);
    }
    return sqlite3_last_insert_rowid(m_db);
}

Result<std::unique_ptr<RunStore>> RunStore::Open(const std::filesystem::path& path) {
    if (const char* kind = store_detail::NotARegularFile(path)) {
        return StoreProblem(ProblemCode::StoreNotRegular, path, {kind});
    }
    for (const char* suffix : {"", "-wal", "-shm", ".lock"}) {
        if (Outcome owned = store_detail::CheckOwner(std::filesystem::path(path) += suffix);
            !owned) {
            return owned.problem();
        }
    }
    if (std::error_code error; !std::filesystem::exists(path, error)) {
        // Created owner-only before SQLite sees it; its -wal and -shm files
        // take the same mode.
        if (const std::error_code created = CreateOwnerOnly(path)) {
            Problem problem = StoreProblem(ProblemCode::StoreCannotOpen, path);
            problem.detail = created.message();
            return problem;
        }
    }
    return Connect(PathText(path), SQLITE_OPEN_NOFOLLOW, path);
}

Result<std::unique_ptr<RunStore>> RunStore::OpenInMemory(std::string_view name) {
    // The memdb file system shares a database between the connections of one
    // process that name it with a leading slash.
    return Connect("file:/" + std::string(name) + "?vfs=memdb", SQLITE_OPEN_URI, {});
}

Result<std::unique_ptr<RunStore>> RunStore::Connect(const std::string& name, int flags,
                                                    const std::filesystem::path& path) {
    sqlite3* db = nullptr;
    const int opened = sqlite3_open_v2(name.c_str(), &db,
                                       SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE |
                                           SQLITE_OPEN_EXRESCODE | kOneThreadAtATime | flags,
                                       nullptr);
    std::unique_ptr<RunStore> opening(new RunStore(db, path));
    if (opened != SQLITE_OK) {
        return opening->Failure(ProblemCode::StoreCannotOpen);
    }
    sqlite3_busy_timeout(db, 5000);  // another process's or job's short write: wait for it
    if (Outcome prepared = opening->Prepare(); !prepared) {
        return prepared.problem();
    }
    return opening;
}

Outcome RunStore::Prepare() {
    // Looked at before anything is written: a foreign file stays as it is.
    std::int64_t applicationId = 0, version = 0, objects = 0;
    {
        Statement read(m_db,
                       "SELECT (SELECT application_id FROM pragma_application_id),"
                       " (SELECT user_version FROM pragma_user_version),"
                       " (SELECT count(*) FROM sqlite_schema)");
        if (!read.ok() || read.Step() != SQLITE_ROW) {
            return Failure(ProblemCode::StoreCannotRead);
        }
        applicationId = read.Int(0);
        version = read.Int(1);
        objects = read.Int(2);
    }
    const bool empty = applicationId == 0 && version == 0 && objects == 0;
    if (!empty && applicationId != kStoreApplicationId) {
        return StoreProblem(ProblemCode::StoreOtherProgram, m_path);
    }
    if (version > kStoreSchemaVersion) {
        return StoreProblem(ProblemCode::StoreNewer, m_path,
                            {std::to_string(version), std::to_string(kStoreSchemaVersion)});
    }
    // A new file takes pages of 16 KiB: a list of 100,000 runs is written in
    // a quarter of the calls, and a page still reads in one. A file made
    // before keeps the size it has.
    if (empty) {
        if (Outcome sized = Execute("PRAGMA page_size=16384"); !sized) {
            return sized;
        }
    }
    // Never exclusive locking mode: readers keep working during a sync. Two
    // first uses of a new file at once (the window reading it while a job
    // makes it) can meet here, and SQLite then says busy at once rather than
    // wait: the later one tries again, for two seconds at most.
    for (int attempt = 0; !m_path.empty(); ++attempt) {  // a store in memory keeps its journal
        Statement wal(m_db, "PRAGMA journal_mode=WAL");
        const int code = wal.ok() ? wal.Step() : SQLITE_ERROR;
        if (code == SQLITE_ROW) {
            break;
        }
        if ((code & 0xFF) != SQLITE_BUSY || attempt == 100) {
            return Failure(ProblemCode::StoreCannotOpen);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    if (Outcome set = Execute("PRAGMA synchronous=FULL; PRAGMA foreign_keys=ON"); !set) {
        return set;
    }
    if (version == kStoreSchemaVersion) {
        return {};
    }
    return Migrate(version);
}

Outcome RunStore::Migrate(std::int64_t version) {
    // The file as it was is copied beside it first (strivo.db.vN.bak).
    if (version > 0 && !m_path.empty()) {
        std::filesystem::path backup = m_path;
        backup += ".v" + std::to_string(version) + ".bak";
        std::error_code error;
        std::filesystem::remove(backup, error);
        Statement vacuum(m_db, "VACUUM INTO ?");
        vacuum.Bind(1, PathText(backup));
        if (!vacuum.ok() || !vacuum.Run()) {
            return Failure(ProblemCode::StoreCannotCopy);
        }
    }
    StoreTransaction transaction(*this);
    if (!transaction.begun()) {
        return transaction.begun();
    }
    // Another connection (a job beside this one) may have migrated it while
    // this one waited for the write lock.
    {
        Statement again(m_db, "SELECT user_version FROM pragma_user_version");
        if (!again.ok() || again.Step() != SQLITE_ROW) {
            return Failure(ProblemCode::StoreCannotRead);
        }
        version = again.Int(0);
    }
    if (version == kStoreSchemaVersion) {
        return transaction.Commit();
    }
    for (std::int64_t step = version; step < kStoreSchemaVersion; ++step) {
        if (Outcome migrated = Execute(kMigrations[step]); !migrated) {
            return migrated;
        }
    }
    const std::string stamp = "PRAGMA application_id=" + std::to_string(kStoreApplicationId) +
                              "; PRAGMA user_version=" + std::to_string(kStoreSchemaVersion);
    if (Outcome stamped = Execute(stamp.c_str()); !stamped) {
        return stamped;
    }
    return transaction.Commit();
}

Outcome RunStore::CapSize(std::int64_t pages) {
    const std::string sql = "PRAGMA max_page_count=" + std::to_string(pages);
    return Execute(sql.c_str());
}

}  // namespace strivo
