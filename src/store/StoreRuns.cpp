// The store's runs: a downloaded list kept, and the runs read back.

#include <unordered_map>
#include <unordered_set>

#include "store/RunStore.h"
#include "store/Statement.h"

namespace strivo {

using store_detail::FromMillis;
using store_detail::Millis;
using store_detail::Statement;

Outcome RunStore::StoreRuns(const ServiceKey& service, std::string_view account,
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
            return Failure(ProblemCode::StoreCannotRead);
        }
    }
    Statement insert(
        m_db,
        "INSERT INTO runs(service_host, service_port, account, run_id, start_text, "
        "distance_text, duration_text, calories_text, sync_text, start_utc_ms, "
        "start_offset_min, distance_m, duration_ms, calories, sync_utc_ms, "
        "sync_offset_min, first_seen_ms) VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, "
        "?10, ?11, ?12, ?13, ?14, ?15, ?16, ?17) ON CONFLICT DO UPDATE SET start_text=?5, "
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
        return Failure(ProblemCode::StoreCannotWrite);
    }
    insert.Bind(1, service.host).Bind(2, service.port).BindCp936(3, account).Bind(17, nowMs);
    relisted.Bind(1, service.host).Bind(2, service.port).BindCp936(3, account);
    unlisted.Bind(1, previousListing)
        .Bind(2, service.host)
        .Bind(3, service.port)
        .BindCp936(4, account);
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
                return Failure(ProblemCode::StoreCannotWrite);
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
            return Failure(ProblemCode::StoreCannotWrite);
        }
    }
    for (const auto& [runId, run] : held) {
        if (run.listed && !inList.contains(runId) && !unlisted.BindCp936(5, runId).Run()) {
            return Failure(ProblemCode::StoreCannotWrite);
        }
    }
    Statement listing(m_db, "INSERT OR REPLACE INTO listings VALUES(?, ?, ?, ?)");
    listing.Bind(1, service.host).Bind(2, service.port).BindCp936(3, account).Bind(4, nowMs);
    if (!listing.ok() || !listing.Run()) {
        return Failure(ProblemCode::StoreCannotWrite);
    }
    return transaction.Commit();
}

Result<std::vector<StoredRun>> RunStore::Runs(const ServiceKey& service,
                                              std::string_view account) const {
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
            run.distanceMetres = read.Real(8);
        }
        run.durationMs = read.OptionalInt(9);
        run.calorieCount = read.OptionalInt(10);
        run.syncUtcMs = read.OptionalInt(11);
        run.syncOffsetMinutes = read.OptionalInt(12);
        run.firstSeen = FromMillis(read.Int(13));
        run.lastSeen = FromMillis(read.Int(14));
        run.inLatestList = read.Int(15) != 0;
    }
    if (!read.ok() || !count.ok()) {
        return Failure(ProblemCode::StoreCannotRead);
    }
    return runs;
}

}  // namespace strivo
