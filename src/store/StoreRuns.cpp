// The store's runs: a downloaded list kept, and the runs read back.

#include <cstring>
#include <functional>

#include "io/PathText.h"
#include "store/RunListSets.h"
#include "store/RunSort.h"
#include "store/RunStore.h"
#include "store/Statement.h"

namespace strivo {

using store_detail::DigestOf;
using store_detail::FromMillis;
using store_detail::Millis;
using store_detail::RunIdSet;
using store_detail::Statement;
using store_detail::StoredDigests;

namespace {

constexpr const char* kKey = "service_host=?1 AND service_port=?2 AND account=?3";

// The first runs of a list are looked up one by one; when most of them are
// stored unchanged, the stored runs are read as StoredDigests for the rest.
constexpr std::int64_t kSampledRuns = 256;
constexpr const char* kInsert =
    "INSERT INTO runs(service_host, service_port, account, run_id, start_text, distance_text, "
    "duration_text, calories_text, sync_text, start_utc_ms, start_offset_min, distance_m, "
    "duration_ms, calories, sync_utc_ms, sync_offset_min, first_seen_ms) VALUES(?1, ?2, ?3, ?4, "
    "?5, ?6, ?7, ?8, ?9, ?10, ?11, ?12, ?13, ?14, ?15, ?16, ?17)";

}  // namespace

struct RunListWriter::State {
    State(RunStore& store, sqlite3* db, std::int64_t now)
        : store(store),
          transaction(store),
          nowMs(now),
          lookup(db,
                 "SELECT start_text, distance_text, duration_text, calories_text, sync_text, "
                 "last_seen_ms IS NULL FROM runs WHERE service_host=?1 AND service_port=?2 AND "
                 "account=?3 AND run_id=?4"),
          insert(db, std::string(kInsert) +
                         " ON CONFLICT DO UPDATE SET start_text=?5, distance_text=?6, "
                         "duration_text=?7, calories_text=?8, sync_text=?9, start_utc_ms=?10, "
                         "start_offset_min=?11, distance_m=?12, duration_ms=?13, calories=?14, "
                         "sync_utc_ms=?15, sync_offset_min=?16, last_seen_ms=NULL"),
          fresh(db, kInsert),
          relisted(db,
                   "UPDATE runs SET last_seen_ms=NULL WHERE service_host=?1 AND "
                   "service_port=?2 AND account=?3 AND run_id=?4") {}

    RunStore& store;
    StoreTransaction transaction;
    std::int64_t nowMs;
    // `fresh` while the account has no runs stored: only a RunID listed twice
    // can clash, and SQLite skips the look for one otherwise.
    Statement lookup, insert, fresh, relisted;
    ServiceKey service;
    std::string account;
    std::int64_t previousListing = 0;
    std::int64_t storedBefore = 0;  // runs of the account stored before this list
    std::int64_t found = 0;         // how many of them the list has
    bool counted = false;           // storedBefore and previousListing are known
    std::int64_t sampled = 0, sampledFound = 0, sampledSame = 0;
    bool addFirst = false;  // most runs are new: each is added, and looked up if already there
    std::optional<StoredDigests> digests;
    RunIdSet listed;
    Outcome kept;  // the first failure, if any: then the rest is passed over
};

RunListWriter::RunListWriter(std::unique_ptr<State> state) : m_state(std::move(state)) {}
RunListWriter::~RunListWriter() = default;

Result<std::unique_ptr<RunListWriter>> RunStore::BeginRunList(const ServiceKey& service,
                                                              std::string_view account,
                                                              StoreTime now) {
    auto state = std::make_unique<RunListWriter::State>(*this, m_db, Millis(now));
    if (!state->transaction.begun()) {
        return state->transaction.begun().problem();
    }
    if (!state->lookup.ok() || !state->insert.ok() || !state->fresh.ok() || !state->relisted.ok()) {
        return Failure(ProblemCode::StoreCannotWrite);
    }
    state->service = service;
    state->account = std::string(account);
    for (Statement* statement : {&state->lookup, &state->insert, &state->fresh, &state->relisted}) {
        statement->Bind(1, service.host).Bind(2, service.port).BindCp936(3, account);
    }
    state->insert.Bind(17, state->nowMs);
    state->fresh.Bind(17, state->nowMs);
    return std::unique_ptr<RunListWriter>(new RunListWriter(std::move(state)));
}

bool RunListWriter::Counted() {
    State& s = *m_state;
    if (s.counted || !s.kept) {
        return static_cast<bool>(s.kept);
    }
    // How many runs are stored (counted on the index by start): none, and no
    // run of the list is looked up; all of them in the list, and none is
    // marked as no longer listed. Counted with the first run, not before the
    // list is asked for: a store of a million runs takes a while to count.
    s.counted = true;
    s.previousListing = s.nowMs;
    Statement listing(s.store.m_db, "SELECT listed_ms FROM listings WHERE " + std::string(kKey));
    Statement count(s.store.m_db, "SELECT count(*) FROM runs WHERE " + std::string(kKey));
    for (Statement* statement : {&listing, &count}) {
        statement->Bind(1, s.service.host).Bind(2, s.service.port).BindCp936(3, s.account);
    }
    if (listing.Step() == SQLITE_ROW) {
        s.previousListing = listing.Int(0);
    }
    if (count.Step() == SQLITE_ROW) {
        s.storedBefore = count.Int(0);
    }
    if (!listing.ok() || !count.ok()) {
        s.kept = s.store.Failure(ProblemCode::StoreCannotRead);
    }
    return static_cast<bool>(s.kept);
}

void RunListWriter::Add(const DownloadedRun& run) {
    State& s = *m_state;
    if (!Counted() || run.runId.empty()) {
        return;
    }
    const std::string_view texts[5] = {run.startTime, run.distance, run.duration, run.calories,
                                       run.syncTime};
    if (s.storedBefore > 0 && s.sampled == kSampledRuns) {
        ++s.sampled;
        if (s.sampledSame * 2 > kSampledRuns && !ReadDigests()) {
            return;
        }
        s.addFirst = (kSampledRuns - s.sampledFound) * 2 > kSampledRuns;
    }
    bool stored = s.storedBefore > 0;
    if (s.digests && !TakeDigest(run, texts, stored)) {
        return;
    }
    // Into a store without the account's runs, a RunID listed twice meets its
    // first in the table, and no set of RunIDs need be held; a run taken as
    // the same above is marked taken instead.
    if (s.storedBefore > 0 && !s.listed.Insert(run.runId)) {
        return;
    }
    if (stored && s.addFirst) {
        const int added = AddRun(s.fresh, run, texts);
        if (added == SQLITE_DONE) {
            return;
        }
        if ((added & 0xFF) != SQLITE_CONSTRAINT) {
            s.kept = s.store.Failure(ProblemCode::StoreCannotWrite);
            return;
        }
    }
    if (stored && KeptAsStored(run, texts)) {
        return;
    }
    const int added = AddRun(stored ? s.insert : s.fresh, run, texts);
    const bool listedTwice = s.storedBefore == 0 && (added & 0xFF) == SQLITE_CONSTRAINT;
    if (added != SQLITE_DONE && !listedTwice) {
        s.kept = s.store.Failure(ProblemCode::StoreCannotWrite);
    }
}

bool RunListWriter::TakeDigest(const DownloadedRun& run, const std::string_view (&texts)[5],
                               bool& stored) {
    State& s = *m_state;
    bool listed = false;
    switch (s.digests->Take(run.runId, DigestOf(texts), &listed)) {
        case StoredDigests::Found::NotStored:
            stored = false;
            return true;
        case StoredDigests::Found::Same:
            ++s.found;
            if (!listed && !s.relisted.BindCp936(4, run.runId).Run()) {
                s.kept = s.store.Failure(ProblemCode::StoreCannotWrite);
            }
            return false;
        case StoredDigests::Found::TakenAlready:
            return false;  // listed twice: the first counts
        case StoredDigests::Found::TakenByItsHash: {
            // Listed twice, the second with other texts, if it is stored
            // (the one stored run of that hash); else a new run.
            const int step = s.lookup.BindCp936(4, run.runId).Step();
            s.lookup.Reset();
            if (step != SQLITE_DONE) {
                if (step != SQLITE_ROW) {
                    s.kept = s.store.Failure(ProblemCode::StoreCannotRead);
                }
                return false;
            }
            stored = false;
            return true;
        }
        case StoredDigests::Found::LookItUp:
            break;
    }
    return true;
}

bool RunListWriter::KeptAsStored(const DownloadedRun& run, const std::string_view (&texts)[5]) {
    State& s = *m_state;
    s.lookup.BindCp936(4, run.runId);
    const int step = s.lookup.Step();
    bool same = step == SQLITE_ROW;
    for (int i = 0; same && i < 5; ++i) {
        same = ColumnHolds(s.lookup.get(), i, texts[i]);
    }
    const bool listed = step == SQLITE_ROW && s.lookup.Int(5) != 0;
    s.lookup.Reset();
    if (step != SQLITE_ROW && step != SQLITE_DONE) {
        s.kept = s.store.Failure(ProblemCode::StoreCannotRead);
        return true;
    }
    s.found += step == SQLITE_ROW;
    if (step == SQLITE_ROW && s.digests) {
        s.digests->MarkTaken(run.runId);
    }
    if (s.sampled < kSampledRuns) {
        ++s.sampled;
        s.sampledFound += step == SQLITE_ROW;
        s.sampledSame += same;
    }
    if (same) {
        if (!listed && !s.relisted.BindCp936(4, run.runId).Run()) {
            s.kept = s.store.Failure(ProblemCode::StoreCannotWrite);
        }
        return true;
    }
    return false;
}

int RunListWriter::AddRun(Statement& insert, const DownloadedRun& run,
                          const std::string_view (&texts)[5]) {
    const TypedTime start = ParseServiceTime(run.startTime);
    const TypedTime sync = ParseServiceTime(run.syncTime);
    const std::optional<double> km = ParseDecimal(run.distance);
    insert.BindCp936InPlace(4, run.runId);
    for (int i = 0; i < 5; ++i) {
        insert.BindCp936InPlace(5 + i, texts[i]);
    }
    insert.BindOptional(10, start.utcMs).BindOptional(11, start.offsetMinutes);
    insert.BindOptional(12, km ? std::optional(*km * 1000.0) : std::nullopt);
    insert.BindOptional(13, ParseInteger(run.duration));
    insert.BindOptional(14, ParseInteger(run.calories));
    insert.BindOptional(15, sync.utcMs).BindOptional(16, sync.offsetMinutes);
    return insert.RunCode();
}

bool RunListWriter::ReadDigests() {
    State& s = *m_state;
    StoredDigests digests(static_cast<std::size_t>(s.storedBefore + kSampledRuns));
    Statement read(s.store.m_db,
                   "SELECT start_text, distance_text, duration_text, calories_text, sync_text, "
                   "run_id, last_seen_ms IS NULL FROM runs NOT INDEXED WHERE " +
                       std::string(kKey));
    read.Bind(1, s.service.host).Bind(2, s.service.port).BindCp936(3, s.account);
    std::string spare[6];
    std::string_view texts[5];
    while (read.Step() == SQLITE_ROW) {
        for (int i = 0; i < 5; ++i) {
            texts[i] = ColumnStoreTextView(read.get(), i, spare[i]);
        }
        const std::string_view runId = ColumnStoreTextView(read.get(), 5, spare[5]);
        digests.Add(runId, DigestOf(texts), read.Int(6) != 0);
        if (s.listed.Contains(runId)) {
            digests.MarkTaken(runId);  // looked up already, before the digests
        }
    }
    if (!read.ok()) {
        s.kept = s.store.Failure(ProblemCode::StoreCannotRead);
        return false;
    }
    s.digests.emplace(std::move(digests));
    return true;
}

Outcome RunListWriter::Finish() {
    State& s = *m_state;
    if (Counted() && s.found < s.storedBefore) {
        s.kept = MarkUnlisted();
    }
    if (!s.kept) {
        return s.kept;
    }
    Statement listing(s.store.m_db, "INSERT OR REPLACE INTO listings VALUES(?, ?, ?, ?)");
    listing.Bind(1, s.service.host).Bind(2, s.service.port).BindCp936(3, s.account);
    if (!listing.ok() || !listing.Bind(4, s.nowMs).Run()) {
        return s.store.Failure(ProblemCode::StoreCannotWrite);
    }
    return s.transaction.Commit();
}

Outcome RunListWriter::MarkUnlisted() {
    State& s = *m_state;
    // One pass over the table, each listed run the list does not have marked
    // where the pass finds it: no second look for it, and no list of them held.
    // The function lives for this statement only.
    constexpr const char* kInList = "strivo_in_list";
    const auto inList = [](sqlite3_context* context, int, sqlite3_value** values) {
        const auto& state = *static_cast<const State*>(sqlite3_user_data(context));
        std::string spare;
        const std::string_view runId = ValueStoreTextView(values[0], spare);
        sqlite3_result_int(context, state.listed.Contains(runId) ||
                                        (state.digests && state.digests->Taken(runId)));
    };
    sqlite3* const db = s.store.m_db;
    if (sqlite3_create_function_v2(db, kInList, 1, SQLITE_UTF8 | SQLITE_DIRECTONLY, &s, inList,
                                   nullptr, nullptr, nullptr) != SQLITE_OK) {
        return s.store.Failure(ProblemCode::StoreCannotWrite);
    }
    bool marked = false;
    {
        Statement unlisted(db, "UPDATE runs NOT INDEXED SET last_seen_ms=?4 WHERE " +
                                   std::string(kKey) + " AND last_seen_ms IS NULL AND NOT " +
                                   kInList + "(run_id)");
        unlisted.Bind(1, s.service.host).Bind(2, s.service.port).BindCp936(3, s.account);
        marked = unlisted.ok() && unlisted.Bind(4, s.previousListing).Run();
    }
    sqlite3_create_function_v2(db, kInList, 1, SQLITE_UTF8, nullptr, nullptr, nullptr, nullptr,
                               nullptr);
    return marked ? Outcome() : s.store.Failure(ProblemCode::StoreCannotWrite);
}

Outcome RunStore::StoreRuns(const ServiceKey& service, std::string_view account,
                            std::span<const DownloadedRun> runs, StoreTime now) {
    Result<std::unique_ptr<RunListWriter>> writer = BeginRunList(service, account, now);
    if (!writer) {
        return writer.problem();
    }
    for (const DownloadedRun& run : runs) {
        (*writer)->Add(run);
    }
    return (*writer)->Finish();
}

Result<std::size_t> RunStore::CountRuns(const ServiceKey& service, std::string_view account) const {
    Statement count(m_db, "SELECT count(*) FROM runs WHERE " + std::string(kKey));
    count.Bind(1, service.host).Bind(2, service.port).BindCp936(3, account);
    if (count.Step() != SQLITE_ROW) {
        return Failure(ProblemCode::StoreCannotRead);
    }
    return static_cast<std::size_t>(count.Int(0));
}

Outcome RunStore::EachRun(const ServiceKey& service, std::string_view account, RunOrder order,
                          const std::function<void(const StoredRun&)>& visit,
                          RunFields fields) const {
    if (order == RunOrder::ByStart) {
        // Read as they lie and sorted here: four times faster than SQLite
        // looking each run up from its index by start.
        store_detail::RunSorter sorter;
        const Outcome read = ReadRuns(service, account, "", std::nullopt, fields,
                                      [&sorter](const StoredRun& run) { sorter.Add(run); });
        if (!read) {
            return read;
        }
        if (sorter.ok()) {
            return sorter.Finish(visit)
                       ? Outcome()
                       : Outcome(Problem(ProblemCode::StoreCannotRead, {PathText(m_path)}));
        }
        // No temporary file to be had: SQLite's own order, slower but sure.
        return ReadRuns(service, account,
                        " ORDER BY start_utc_ms, first_seen_ms, start_text DESC, run_id",
                        std::nullopt, fields, visit);
    }
    return ReadRuns(
        service, account,
        order == RunOrder::NewestFirst ? " ORDER BY start_utc_ms DESC, start_text DESC" : "",
        std::nullopt, fields, visit);
}

Result<std::optional<StoredRun>> RunStore::FindRun(const ServiceKey& service,
                                                   std::string_view account,
                                                   std::string_view runId) const {
    std::optional<StoredRun> found;
    const Outcome read = ReadRuns(service, account, " AND run_id=?4", runId, RunFields::All,
                                  [&found](const StoredRun& run) { found = run; });
    if (!read) {
        return read.problem();
    }
    return found;
}

Outcome RunStore::ReadRuns(const ServiceKey& service, std::string_view account, const char* sqlTail,
                           std::optional<std::string_view> runId, RunFields fields,
                           const std::function<void(const StoredRun&)>& visit) const {
    // The latest listing once, not once a run.
    std::int64_t listedMs = 0;
    {
        Statement listing(m_db, "SELECT listed_ms FROM listings WHERE " + std::string(kKey));
        listing.Bind(1, service.host).Bind(2, service.port).BindCp936(3, account);
        if (listing.Step() == SQLITE_ROW) {
            listedMs = listing.Int(0);
        }
        if (!listing.ok()) {
            return Failure(ProblemCode::StoreCannotRead);
        }
    }
    const bool all = fields == RunFields::All;
    const char* const columns =
        all ? "run_id, start_text, distance_text, duration_text, calories_text, sync_text, "
              "start_utc_ms, start_offset_min, distance_m, duration_ms, calories, sync_utc_ms, "
              "sync_offset_min, first_seen_ms, last_seen_ms, source, source_file"
        : fields == RunFields::Lines
            ? "run_id, start_text, distance_text, duration_text, calories_text, NULL, "
              "start_utc_ms, start_offset_min, first_seen_ms, source"
            : "run_id, start_text, distance_text, duration_text, calories_text, NULL, "
              "start_utc_ms, start_offset_min";
    Statement read(m_db, std::string("SELECT ") + columns + " FROM runs " +
                             // As they lie, not by the index by start, which
                             // SQLite may take and then look each run up.
                             (std::strstr(sqlTail, "ORDER BY") ? "" : "NOT INDEXED ") + "WHERE " +
                             kKey + sqlTail);
    read.Bind(1, service.host).Bind(2, service.port).BindCp936(3, account);
    if (runId) {
        read.BindCp936(4, *runId);
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
        if (fields == RunFields::Lines) {
            run.firstSeen = FromMillis(read.Int(8));
            run.source = read.Utf8(9);
        }
        if (!all) {
            visit(run);
            continue;
        }
        run.distanceMetres = read.IsNull(8) ? std::nullopt : std::optional<double>(read.Real(8));
        run.durationMs = read.OptionalInt(9);
        run.calorieCount = read.OptionalInt(10);
        run.syncUtcMs = read.OptionalInt(11);
        run.syncOffsetMinutes = read.OptionalInt(12);
        run.firstSeen = FromMillis(read.Int(13));
        run.inLatestList = read.IsNull(14);
        run.lastSeen = FromMillis(run.inLatestList ? listedMs : read.Int(14));
        run.source = read.Utf8(15);
        run.sourceFile = read.Utf8(16);
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
