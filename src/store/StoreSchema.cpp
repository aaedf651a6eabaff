// Opening strivo.db: what may be opened, the schema and its migrations, and
// SQLite's failures as problems.

#include <sqlite3.h>

#include <atomic>
#include <chrono>
#include <system_error>
#include <thread>
#include <utility>

#include "io/AtomicFile.h"
#include "store/RunStore.h"
#include "store/Statement.h"
#include "store/StorePaths.h"

#ifndef _WIN32
#include <fcntl.h>
#include <unistd.h>
#endif

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

// The third: where the run log's window was left, so it opens there again.
constexpr const char* kSchemaVersion3 = R"sql(
CREATE TABLE window_places(
    window TEXT PRIMARY KEY, x INTEGER NOT NULL, y INTEGER NOT NULL,
    width INTEGER NOT NULL, height INTEGER NOT NULL, maximized INTEGER NOT NULL) WITHOUT ROWID;
)sql";

// kMigrations[v] takes a file from user_version v to v + 1.
constexpr const char* kMigrations[] = {kSchemaVersion1, kSchemaVersion2, kSchemaVersion3};
static_assert(std::size(kMigrations) == kStoreSchemaVersion);

// A store is one connection used by one thread at a time: SQLite need not
// lock it for every call (a million rows read are millions of calls).
constexpr int kOneThreadAtATime = SQLITE_OPEN_NOMUTEX;

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
    sqlite3_close_v2(m_db);
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
#ifndef _WIN32
    if (std::error_code error; !std::filesystem::exists(path, error)) {
        // Created owner-only before SQLite sees it; its -wal and -shm files
        // take the same mode.
        const int fd =
            ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NONBLOCK, 0600);
        if (fd < 0 && errno != EEXIST) {
            Problem problem = StoreProblem(ProblemCode::StoreCannotOpen, path);
            problem.detail = std::generic_category().message(errno);
            return problem;
        }
        if (fd >= 0) {
            ::close(fd);
        }
    }
#endif
    sqlite3* db = nullptr;
    const int opened =
        sqlite3_open_v2(PathText(path).c_str(), &db,
                        SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOFOLLOW |
                            SQLITE_OPEN_EXRESCODE | kOneThreadAtATime,
                        nullptr);
    std::unique_ptr<RunStore> opening(new RunStore(db, path));
    if (opened != SQLITE_OK) {
        return opening->Failure(ProblemCode::StoreCannotOpen);
    }
    sqlite3_busy_timeout(db, 5000);  // another process's short write: wait for it
    if (Outcome prepared = opening->Prepare(); !prepared) {
        return prepared.problem();
    }
    return opening;
}

Result<std::unique_ptr<RunStore>> RunStore::OpenInMemory(std::string_view name) {
    // The memdb file system shares a database between the connections of one
    // process that name it with a leading slash.
    const std::string uri = "file:/" + std::string(name) + "?vfs=memdb";
    sqlite3* db = nullptr;
    const int opened =
        sqlite3_open_v2(uri.c_str(), &db,
                        SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_URI |
                            SQLITE_OPEN_EXRESCODE | kOneThreadAtATime,
                        nullptr);
    std::unique_ptr<RunStore> opening(new RunStore(db, {}));
    if (opened != SQLITE_OK) {
        return opening->Failure(ProblemCode::StoreCannotOpen);
    }
    sqlite3_busy_timeout(db, 5000);  // another job's short write: wait for it
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
