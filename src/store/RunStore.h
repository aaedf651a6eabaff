#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "io/AtomicFile.h"
#include "model/Runs.h"

struct sqlite3;

namespace strivo {

// The run store: strivo.db, one SQLite database beside the settings file,
// holding every run ever downloaded and every run-log post.
//
// Texts come in and go out as the program holds them, CP936 byte strings.
// In the file a text is UTF-8 TEXT where its bytes convert to UTF-8 and back
// unchanged, else a BLOB of the raw bytes; either way the same bytes come back.
// Times in the file are milliseconds since 1970 UTC.
//
// Schema (PRAGMA user_version 1, PRAGMA application_id kStoreApplicationId):
//   runs(service_host, service_port, account, run_id,                 -- the key
//        start_text, distance_text, duration_text, calories_text, sync_text,   -- as sent
//        start_utc_ms, start_offset_min, distance_m, duration_ms, calories,
//        sync_utc_ms, sync_offset_min,        -- typed; NULL where the text says no such thing
//        first_seen_ms, last_seen_ms)         -- last_seen_ms NULL: in the latest list
//   listings(service_host, service_port, account, listed_ms)   -- the latest complete list
//   posts(site_host, site_port, site_user, run_id,                    -- the key
//         state,                 -- 'sending' | 'confirmed' | 'failed' | 'unknown'
//         intent_ms, outcome_ms, reason,
//         prior_state, prior_intent_ms, prior_outcome_ms, prior_reason)  -- before the intent
//   imports(path, imported_bytes)   -- how far each posted-runs.txt was read
// A run's last sighting is COALESCE(runs.last_seen_ms, listings.listed_ms), so
// storing an unchanged list again writes almost nothing.
//
// A RunStore is used by one thread at a time. Nothing throws; every failure is
// a StoreResult naming the path.

// PRAGMA application_id of strivo.db: "STRV" in ASCII.
inline constexpr std::int32_t kStoreApplicationId = 0x53545256;
// PRAGMA user_version this program writes; a newer file is refused.
inline constexpr int kStoreSchemaVersion = 1;

enum class StoreError {
    None,
    NotRegularFile,  // strivo.db (or its lock) is a FIFO, device, folder or symbolic link
    Foreign,         // not a database, or a database of another program: left as it is
    NewerSchema,     // written by a newer Strivo: left as it is
    CannotOpen,      // missing folder, no permission
    CannotWrite,     // read-only file or folder, I/O error
    DiskFull,        // the disk (or the store's size cap) is full
    Damaged,         // SQLite found the file corrupt
    InUse,           // another sync holds the store
    Failed,          // anything else SQLite reports
};

struct StoreResult {
    StoreError error = StoreError::None;
    std::string reason;  // English, naming the path

    explicit operator bool() const { return error == StoreError::None; }
};

// strivo.db beside the settings file, symbolic links resolved, so syncing
// through a link and through the real path use one store.
std::filesystem::path StorePathFor(const std::filesystem::path& settingsPath);
// strivo.db.lock beside the store.
std::filesystem::path StoreLockPathFor(const std::filesystem::path& storePath);







struct ImportReport {
    int imported = 0;   // lines read as confirmed posts this time
    int badLines = 0;   // lines that are no record: one warning for all
    std::string warning;  // "N lines of PATH are not records of posted runs, skipped", or empty
};

class RunStore {
public:
    // Opens strivo.db at `path`, creating it (owner-only) when missing.
    // Refused, and left as it is: anything but a regular file, a file that
    // is not a database of Strivo's, one with a newer schema. An older schema
    // is first copied to PATH.vN.bak with VACUUM INTO, then migrated.
    static StoreResult Open(const std::filesystem::path& path, std::unique_ptr<RunStore>* store);
    // A store that lives in memory only (--demo).
    static std::unique_ptr<RunStore> OpenInMemory();
    ~RunStore();
    RunStore(const RunStore&) = delete;
    RunStore& operator=(const RunStore&) = delete;

    // Empty for the in-memory store.
    const std::filesystem::path& path() const { return m_path; }

    // --- Runs ---
    // Writes a whole downloaded list (read in full: a cut-off list is not
    // stored) in one transaction: new runs are added, changed texts replaced,
    // runs the list no longer has are kept and marked as no longer listed.
    StoreResult StoreRuns(const ServiceKey& service, std::string_view account,
                          std::span<const DownloadedRun> runs, StoreTime now);
    // Every stored run of the account, newest start first.
    std::vector<StoredRun> Runs(const ServiceKey& service, std::string_view account,
                                StoreResult* result = nullptr) const;

    // --- Posts (call these while holding the SyncLock) ---
    // At the start of a sync: every `sending` row (a sync that died mid-post)
    // becomes `unknown`, or confirmed again if it was confirmed before the
    // intent (--all). `unknown` receives the RunIDs turned.
    StoreResult BeginSync(const SiteKey& site, StoreTime now,
                          std::vector<std::string>* unknown = nullptr);
    // One durable write per post: commits the outcome of the previous post
    // (if any) and the intent of the next (if any: state `sending`, keeping
    // what the row held so it can be undone) in one transaction.
    // - NotSent restores the row as it was before its intent (deletes a new one);
    // - a Failed or Unknown outcome never turns a confirmed run into anything
    //   else (a post again under --all): it stays confirmed.
    // A failing commit (full disk, unwritable store) changes nothing; the
    // caller stops before the next post.
    StoreResult RecordOutcomeAndIntent(const SiteKey& site, const std::optional<PostOutcome>& previous,
                                       std::optional<std::string_view> nextRunId, StoreTime now);
    StoreResult CommitIntent(const SiteKey& site, std::string_view runId, StoreTime now) {
        return RecordOutcomeAndIntent(site, std::nullopt, runId, now);
    }
    StoreResult RecordOutcome(const SiteKey& site, const PostOutcome& outcome) {
        return RecordOutcomeAndIntent(site, outcome, std::nullopt, outcome.at);
    }
    // The post of every run of the site user, by RunID (CP936): for planning
    // (skip confirmed, hold back unknown, post failed and new) and for the
    // window's state column.
    std::unordered_map<std::string, PostRecord> Posts(const SiteKey& site,
                                                      StoreResult* result = nullptr) const;

    // The runner settles held runs. `changed` receives how many rows changed.
    // Posted: these runs are on the site (confirmed).
    StoreResult SettlePosted(const SiteKey& site, std::span<const std::string> runIds, StoreTime now,
                             int* changed = nullptr);
    // Repost: these runs are released for the next sync (their rows removed).
    StoreResult SettleRepost(const SiteKey& site, std::span<const std::string> runIds,
                             int* changed = nullptr);
    // The same for every held run (unknown, or sending from a sync that died).
    StoreResult SettleAllHeldPosted(const SiteKey& site, StoreTime now, int* changed = nullptr);
    StoreResult SettleAllHeldRepost(const SiteKey& site, int* changed = nullptr);

    // Imports each existing posted-runs.txt (the record of older versions) as
    // confirmed posts, from where the last import of that path stopped: the
    // file is left as it is, and lines added later are imported next time.
    // A path that is not a regular file is skipped with a warning.
    StoreResult ImportPostedRuns(std::span<const std::filesystem::path> files,
                                 std::vector<ImportReport>* reports = nullptr);

    // Successful commits since the store was opened (the bench counts them).
    std::uint64_t commits() const { return m_commits; }
    // Caps the file at `pages` pages of 4096 bytes (PRAGMA max_page_count):
    // a write past it fails like a full disk.
    StoreResult CapSize(std::int64_t pages);

private:
    explicit RunStore(sqlite3* db, std::filesystem::path path);
    friend class StoreTransaction;

    StoreResult Prepare();
    StoreResult Error(std::string_view doing) const;
    StoreResult Execute(const char* sql);
    StoreResult Settle(const SiteKey& site, std::span<const std::string> runIds, bool held,
                       bool posted, StoreTime now, int* changed);

    sqlite3* m_db = nullptr;
    std::filesystem::path m_path;
    std::uint64_t m_commits = 0;
};

// One sync at a time per store, in any process: an exclusive lock on
// strivo.db.lock beside the store (never on strivo.db itself), and on every
// existing posted-runs.txt as older versions lock it, so an older strivo-cli
// cannot sync at the same time. Refused at once (StoreError::InUse) while
// another holds either. Held until Release or destruction.
class SyncLock {
public:
    // An empty `storePath` (the in-memory store) takes no lock.
    StoreResult Acquire(const std::filesystem::path& storePath,
                        std::span<const std::filesystem::path> olderRecords = {});
    void Release();
    bool held() const { return m_held; }

private:
    FileLock m_lock;
    std::vector<std::unique_ptr<FileLock>> m_older;
    bool m_held = false;
};

}  // namespace strivo
