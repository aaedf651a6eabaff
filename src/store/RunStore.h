#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "model/Result.h"
#include "model/Run.h"
#include "model/Runs.h"
#include "model/SyncRecord.h"
#include "model/WindowPlace.h"

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
// Schema (PRAGMA user_version 3, PRAGMA application_id kStoreApplicationId):
//   accounts(id, kind, host, port, name,   -- kind 'service': a run-service account;
//            listed_ms, listed)            -- 'site': a site user. listed_ms: the
//                                          -- account's latest complete list; listed:
//                                          -- its runs, a bit a rowid (RowIds)
//   runs(id,                               -- in the order they came
//        account, run_id,                  -- unique (runs_by_id); runs_by_start by
//                                          -- account and start_utc_ms
//        start_text, distance_text, duration_text, calories_text, sync_text,   -- as sent
//        start_utc_ms, start_offset_min, distance_m, duration_ms, calories,
//        sync_utc_ms, sync_offset_min,     -- typed; NULL where the text says no such thing
//        first_seen_ms,
//        source, source_file)              -- NULL: from the run service; else the
//                                          -- format ('gpx', 'tcx', 'fit', 'csv') and file
//   unlisted(run, last_seen_ms)   -- a run not in its account's latest list (or
//                                 -- read from a file), and when it was last
//   posts(account, run_id,                -- the key; the account a site user
//         state,   -- 'sending' | 'confirmed' | 'failed' | 'unknown' | 'excluded'
//         intent_ms, outcome_ms, reason,     -- reason: a problem's key (ProblemKey)
//         prior_state, prior_intent_ms, prior_outcome_ms, prior_reason)  -- before the intent
//   imports(path, imported_bytes)   -- how far each posted-runs.txt was read
//   syncs(id, started_ms, ended_ms, who, site_host, site_port, site_user, outcome, reason,
//         posted, failed, held, untried)     -- a record of every sync, the last 1,000
//   pauses(host, port, not_before_ms, reason)   -- a service asked to be left alone until then
//   refusals(service, host, port, user, password_mac, refused_ms)  -- a password refused:
//                                                  -- HMAC-SHA-256 under secrets 'mac-key'
//   secrets(name, value)             -- the store's own random keys
//   window_places(window, x, y, width, height, maximized)   -- where a window was left
// A run's last sighting is its unlisted.last_seen_ms, else its account's
// listed_ms: storing an unchanged list again writes almost nothing, and a
// list that drops runs writes their unlisted rows, not the runs.
//
// The class is one connection, used by one thread at a time; its parts live
// in files by concern: opening and the schema (StoreSchema.cpp), the runs
// (StoreRuns.cpp), the runs read from files (StoreImports.cpp), the post
// ledger (PostLedger.cpp), the record of older versions (OlderRecord.cpp),
// the record of syncs (SyncRecord.cpp) and the services' pauses and refused
// passwords (Manners.cpp). Nothing throws; every failure is a Problem
// naming the path.

// PRAGMA application_id of strivo.db: "STRV" in ASCII.
inline constexpr std::int32_t kStoreApplicationId = 0x53545256;
// PRAGMA user_version this program writes; a newer file is refused.
inline constexpr int kStoreSchemaVersion = 3;

// Why a run read from a file was not removed.
enum class RemoveRefusal {
    NotStored,       // the account holds no run by that key
    FromRunService,  // a run of the run service: the next download brings it back
    Posted,          // it has a post (sent, failed, held or confirmed) for some site user
};
struct RunsRemoved {
    std::vector<std::string> removed;  // CP936, in the order asked
    std::vector<std::pair<std::string, RemoveRefusal>> refused;
};

// What a look at one posted-runs.txt found; `problem` when the runner
// should know (lines that are no record, a file that is no record).
class RunListWriter;
namespace store_detail {
class Statement;
}

struct OlderRecordImport {
    int imported = 0;  // lines read as confirmed posts this time
    std::optional<Problem> problem;
};

// What became of one file's runs: how many were added, and which were
// duplicates of a stored run (by their index in the runs given), that run
// given the calories it lacked, or not.
struct FileRunsStored {
    struct Duplicate {
        std::size_t index = 0;
        // The stored run it matches (CP936): its RunID and its start as the
        // service writes one ("2010-03-07T22:48:38+01:00").
        std::string runId, startText;
        bool caloriesFilled = false;
    };
    int added = 0;
    std::vector<Duplicate> duplicates;
};
class FileRunsWriter;

// Two runs are one when their UTC starts lie at most this far apart and their
// distances differ by at most kSameRunShare of the stored one, or
// kSameRunMetres, whichever is more.
inline constexpr std::int64_t kSameRunWithinMs = 60'000;
inline constexpr double kSameRunShare = 0.01;
inline constexpr double kSameRunMetres = 20.0;

class RunStore {
public:
    // Opens strivo.db at `path`, creating it (owner-only) when missing.
    // Refused, and left as it is: anything but a regular file, a file that
    // is not a database of Strivo's, one with a newer schema. An older schema
    // is first copied to PATH.vN.bak with VACUUM INTO, then migrated.
    static Result<std::unique_ptr<RunStore>> Open(const std::filesystem::path& path);
    // A store in this process's memory, shared by every connection opened
    // with the same `name` while one of them is open (--demo).
    static Result<std::unique_ptr<RunStore>> OpenInMemory(std::string_view name);
    ~RunStore();
    RunStore(const RunStore&) = delete;
    RunStore& operator=(const RunStore&) = delete;

    // Empty for a store in memory.
    const std::filesystem::path& path() const { return m_path; }

    // --- Runs (StoreRuns.cpp) ---
    // Starts keeping a downloaded list as it arrives, in one transaction
    // that holds the store's write lock until the writer is finished or
    // dropped; the writer must not outlive the store.
    Result<std::unique_ptr<RunListWriter>> BeginRunList(const ServiceKey& service,
                                                        std::string_view account, StoreTime now);
    // A whole list at once, through a RunListWriter.
    Outcome StoreRuns(const ServiceKey& service, std::string_view account,
                      std::span<const Run> runs, StoreTime now);
    // Every stored run of the account, newest start first.
    Result<std::vector<StoredRun>> Runs(const ServiceKey& service, std::string_view account) const;
    // How many runs of the account are stored.
    Result<std::size_t> CountRuns(const ServiceKey& service, std::string_view account) const;
    // Each stored run of the account, read one at a time (a million runs
    // are never held at once): newest start first; by start, those without
    // one first, then in the order they came; or as they lie.
    // Figures reads only what totals need (the RunID, the start, distance,
    // duration and calorie texts, and the typed start): half the work. Lines
    // reads what a line of a run shows too: when first seen, and the source.
    enum class RunOrder { NewestFirst, ByStart, AsStored };
    enum class RunFields { All, Lines, Figures };
    Outcome EachRun(const ServiceKey& service, std::string_view account, RunOrder order,
                    const std::function<void(const StoredRun&)>& visit,
                    RunFields fields = RunFields::All) const;
    // One stored run of the account, if there is one by that RunID.
    Result<std::optional<StoredRun>> FindRun(const ServiceKey& service, std::string_view account,
                                             std::string_view runId) const;

    // --- Runs read from files (StoreImports.cpp) ---
    // Starts adding the runs of one file to the account's history, in one
    // transaction that holds the store's write lock until the writer is
    // finished or dropped: all of them or none. Each run added keeps `format`
    // and `fileName`; under `keptOffFor` it starts excluded for that site
    // user, so no sync posts it until released. The writer must not outlive
    // the store, nor `keptOffFor`.
    Result<std::unique_ptr<FileRunsWriter>> BeginFileRuns(const ServiceKey& service,
                                                          std::string_view account,
                                                          const SiteKey* keptOffFor,
                                                          std::string_view format,
                                                          std::string_view fileName, StoreTime now);
    // A whole file's runs at once, through a FileRunsWriter.
    Result<FileRunsStored> StoreFileRuns(const ServiceKey& service, std::string_view account,
                                         const SiteKey* keptOffFor, std::string_view format,
                                         std::string_view fileName, std::span<const Run> runs,
                                         StoreTime now);
    // The account's runs read from files, with their format and file name,
    // oldest start first.
    Result<std::vector<StoredRun>> FileRuns(const ServiceKey& service,
                                            std::string_view account) const;

    // --- Posts (PostLedger.cpp; call these while holding the SyncLock) ---
    // At the start of a sync: every `sending` row (a sync that died mid-post)
    // becomes `unknown`, or confirmed again if it was confirmed before the
    // intent (--all). Gives the RunIDs turned unknown.
    Result<std::vector<std::string>> BeginSync(const SiteKey& site, StoreTime now);
    // One durable write per post: commits the outcome of the previous post
    // (if any) and the intent of the next (if any: state `sending`, keeping
    // what the row held so it can be undone) in one transaction.
    // - NotSent restores the row as it was before its intent (deletes a new one);
    // - a Failed or Unknown outcome never turns a confirmed run into anything
    //   else (a post again under --all): it stays confirmed.
    // A failing commit (full disk, unwritable store) changes nothing; the
    // caller stops before the next post.
    Outcome RecordOutcomeAndIntent(const SiteKey& site, const std::optional<PostOutcome>& previous,
                                   std::optional<std::string_view> nextRunId, StoreTime now);
    Outcome CommitIntent(const SiteKey& site, std::string_view runId, StoreTime now) {
        return RecordOutcomeAndIntent(site, std::nullopt, runId, now);
    }
    Outcome RecordOutcome(const SiteKey& site, const PostOutcome& outcome) {
        return RecordOutcomeAndIntent(site, outcome, std::nullopt, outcome.at);
    }
    // The post of every run of the site user, by RunID (CP936): for planning
    // (skip confirmed, hold back unknown, post failed and new) and for the
    // window's state column.
    Result<std::unordered_map<std::string, PostRecord>> Posts(const SiteKey& site) const;

    // The runner settles held runs; each gives how many rows changed.
    // Posted: these runs are on the site (confirmed).
    Result<int> SettlePosted(const SiteKey& site, std::span<const std::string> runIds,
                             StoreTime now);
    // Repost: these runs are released for the next sync (their rows removed).
    Result<int> SettleRepost(const SiteKey& site, std::span<const std::string> runIds);
    // The same for every held run (unknown, or sending from a sync that died).
    Result<int> SettleAllHeldPosted(const SiteKey& site, StoreTime now);
    Result<int> SettleAllHeldRepost(const SiteKey& site);
    // Skip: these runs are kept off the run log (excluded) until released by
    // SettleRepost; a run the site confirmed stays confirmed.
    Result<int> SettleExcluded(const SiteKey& site, std::span<const std::string> runIds,
                               StoreTime now);

    // --- The record of older versions (OlderRecord.cpp) ---
    // Imports each existing posted-runs.txt as confirmed posts, from where
    // the last import of that path stopped: the file is left as it is, and
    // lines added later are imported next time. A path that is not a regular
    // file is skipped, and said.
    Result<std::vector<OlderRecordImport>> ImportPostedRuns(
        std::span<const std::filesystem::path> files);

    // --- The record of syncs (SyncRecord.cpp) ---
    // Adds one sync's row and forgets all but the last kSyncsKept.
    Outcome RecordSync(const SyncRecord& sync);
    // The last `count` syncs, the newest first.
    Result<std::vector<SyncRecord>> LastSyncs(int count) const;

    // --- Manners toward the services (Manners.cpp) ---
    // A host asked to be left alone until `notBefore`; a later pause replaces it.
    Outcome PauseHost(const HostPause& pause);
    // The pauses still running at `now`.
    Result<std::vector<HostPause>> Pauses(StoreTime now) const;
    // A password `service` refused for `user` at host:port, kept as an HMAC
    // under the store's own random key (made on first use).
    Outcome RecordRefusal(const PasswordRefusal& refusal, std::string_view password);
    // Whether `password` is the one refused last for that user; false once
    // the runner has changed it.
    Result<bool> RefusedBefore(const PasswordRefusal& who, std::string_view password);
    // A sign-in went through: the refusal, if any, is forgotten (with none,
    // nothing is written).
    Outcome ForgetRefusal(const PasswordRefusal& who);
    // Every refusal kept.
    Result<std::vector<PasswordRefusal>> Refusals() const;

    // --- The run log (StoreRunLog.cpp) ---
    // Removes runs read from files that were never posted (no post, or
    // kept off the run log), with their kept-off rows where no other account
    // holds a run by that key; every other run is refused and named. All in
    // one transaction: a failure removes none.
    Result<RunsRemoved> RemoveFileRuns(const ServiceKey& service, std::string_view account,
                                       std::span<const std::string> keys);
    // Every post of one run, for each site user that has one.
    Result<std::vector<std::pair<SiteKey, PostRecord>>> RunPosts(std::string_view runId) const;
    // Where a window (by its name) was left, and keeping it.
    Result<std::optional<WindowPlace>> PlaceOf(std::string_view window) const;
    Outcome KeepPlace(std::string_view window, const WindowPlace& place);

    // Successful commits since the store was opened, and by every store of
    // this process (the tests and the bench count them).
    std::uint64_t commits() const { return m_commits; }
    static std::uint64_t CommitsInProcess();
    // Caps the file at `pages` pages of 4096 bytes (PRAGMA max_page_count):
    // a write past it fails like a full disk.
    Outcome CapSize(std::int64_t pages);

private:
    RunStore(sqlite3* db, std::filesystem::path path);
    friend class StoreTransaction;
    friend class RunListWriter;
    friend class FileRunsWriter;

    // A connection to SQLite's `name` (with `flags`), made ready: the store at `path`.
    static Result<std::unique_ptr<RunStore>> Connect(const std::string& name, int flags,
                                                     const std::filesystem::path& path);
    Outcome Prepare();
    // From schema `version` (0: a new file) to this one, in one transaction.
    Outcome Migrate(std::int64_t version);
    // SQLite's last failure, as a problem of this store; `otherwise` where
    // SQLite names nothing more telling.
    Problem Failure(ProblemCode otherwise) const;
    Outcome Execute(const char* sql, ProblemCode otherwise = ProblemCode::StoreCannotWrite);
    // The small integer of an account ("service": a run-service account;
    // "site": a site user), made when `make` and missing, else 0 when missing.
    Result<std::int64_t> AccountId(const char* kind, const std::string& host, std::int64_t port,
                                   std::string_view name, bool make = false) const;
    Result<std::string> MacKey();
    Outcome ReadRuns(const ServiceKey& service, std::string_view account, const char* sqlTail,
                     std::optional<std::string_view> runId, RunFields fields,
                     const std::function<void(const StoredRun&)>& visit) const;
    // The site user's account, made if missing, having taken over what was
    // kept off under no site user.
    Result<std::int64_t> AdoptKeptOff(const SiteKey& site);
    Result<int> Settle(const SiteKey& site, std::span<const std::string> runIds, bool held,
                       bool posted, StoreTime now);

    // The statement of `sql` (a literal: kept by its address), prepared once
    // for this connection and renewed for each use: a sync of a thousand
    // posts prepares its statements once, not once a post.
    store_detail::Statement& Cached(const char* sql) const;

    sqlite3* m_db = nullptr;
    std::filesystem::path m_path;
    std::uint64_t m_commits = 0;
    mutable std::vector<std::pair<const char*, std::unique_ptr<store_detail::Statement>>> m_cached;
};

// One downloaded list, kept run by run as it arrives and committed whole by
// Finish: new runs are added, changed texts replaced, runs the list no
// longer has are kept and marked as no longer listed. Dropped unfinished (a
// cut-off list), it rolls back and the store is as it was. It holds a bit
// for each run of the list, and of the account's when Finish marks them.
class RunListWriter {
public:
    ~RunListWriter();
    RunListWriter(const RunListWriter&) = delete;
    RunListWriter& operator=(const RunListWriter&) = delete;

    // One run of the list; its texts need live only for the call. A run
    // without a RunID, or whose RunID came before, is passed over: the
    // first one counts. After a failure the rest are passed over too.
    void Add(const Run& run);
    // The list is whole: marks what it no longer has, then commits. Gives
    // the first failure, if any; then nothing was kept.
    Outcome Finish();

private:
    friend class RunStore;
    struct State;
    explicit RunListWriter(std::unique_ptr<State> state);
    // The runs waiting to be added: added, or (those stored already) kept.
    void AddPending();
    // The stored run of this RunID and whether its texts are these: its rowid;
    // 0 when none is stored, -1 when the store failed.
    std::int64_t LookUp(const Run& run, bool* same);
    // A stored run of this list: listed, and given these texts where they differ.
    void Keep(std::int64_t id, bool same, const Run& run);
    // Binds a run's parameters, each `shift` further on (a row of a many-row insert).
    static store_detail::Statement& BindRun(store_detail::Statement& statement, const Run& run,
                                            std::size_t shift = 0);
    Outcome MarkUnlisted();

    std::unique_ptr<State> m_state;
};

// One file's runs, kept batch by batch as they are read, and committed
// whole by Finish; dropped unfinished, it rolls back and the store is as it
// was. A run that is one with a stored run (from any source, this file's
// earlier runs too) is not added but named; when that run was read from a
// file, lacks calories and is not posted (no post of it in a state but
// excluded), it takes this run's calories: the richer file wins. A run of the
// service, or one posted, is never changed.
class FileRunsWriter {
public:
    ~FileRunsWriter();
    FileRunsWriter(const FileRunsWriter&) = delete;
    FileRunsWriter& operator=(const FileRunsWriter&) = delete;

    // The next runs of the file. Those from `provisionalFrom` on start at an
    // offset the file gives only later: SettleProvisional gives it.
    Result<FileRunsStored> Add(std::span<const Run> runs, std::size_t provisionalFrom = SIZE_MAX);
    // The runs added as provisional so far are settled: with `offsetMinutes`,
    // they start at that offset from UTC; without, they stay as added.
    Outcome SettleProvisional(std::optional<int> offsetMinutes);
    // Commits the file's runs; gives the failure, if any: then nothing was kept.
    Outcome Finish();

private:
    friend class RunStore;
    struct State;
    explicit FileRunsWriter(std::unique_ptr<State> state);
    // Notes a run added as provisional; false when the store failed.
    bool Provisional(std::string_view key);

    std::unique_ptr<State> m_state;
};

// A transaction that rolls back unless committed; BEGIN IMMEDIATE takes the
// write lock at once, so a commit cannot fail for another writer midway.
class StoreTransaction {
public:
    explicit StoreTransaction(RunStore& store);
    ~StoreTransaction();
    StoreTransaction(const StoreTransaction&) = delete;
    StoreTransaction& operator=(const StoreTransaction&) = delete;

    const Outcome& begun() const { return m_begun; }
    Outcome Commit();

private:
    RunStore& m_store;
    Outcome m_begun;
    bool m_done = false;
};

}  // namespace strivo
