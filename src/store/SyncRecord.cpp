// The record of syncs: one row each, the last kSyncsKept.

#include "store/RunStore.h"
#include "store/Statement.h"

namespace strivo {

using store_detail::FromMillis;
using store_detail::Millis;
using store_detail::Statement;

Outcome RunStore::RecordSync(const SyncRecord& sync) {
    StoreTransaction transaction(*this);
    if (!transaction.begun()) {
        return transaction.begun();
    }
    Statement insert(m_db,
                     "INSERT INTO syncs(started_ms, ended_ms, who, site_host, site_port, "
                     "site_user, outcome, reason, posted, failed, held, untried)"
                     " VALUES(?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)");
    insert.Bind(1, Millis(sync.started))
        .Bind(2, Millis(sync.ended))
        .Bind(3, std::string(SyncByKey(sync.by)))
        .Bind(4, sync.site.host)
        .Bind(5, std::int64_t{sync.site.port})
        .BindCp936(6, sync.site.user)
        .Bind(7, std::string(SyncEndKey(sync.end)))
        .Bind(8, sync.reason)
        .Bind(9, std::int64_t{sync.posted})
        .Bind(10, std::int64_t{sync.failed})
        .Bind(11, std::int64_t{sync.held})
        .Bind(12, std::int64_t{sync.untried});
    if (!insert.ok() || !insert.Run()) {
        return Failure(ProblemCode::StoreCannotWrite);
    }
    Statement trim(m_db,
                   "DELETE FROM syncs WHERE id <= (SELECT id FROM syncs ORDER BY id DESC"
                   " LIMIT 1 OFFSET ?)");
    trim.Bind(1, std::int64_t{kSyncsKept});
    if (!trim.ok() || !trim.Run()) {
        return Failure(ProblemCode::StoreCannotWrite);
    }
    return transaction.Commit();
}

Result<std::vector<SyncRecord>> RunStore::LastSyncs(int count) const {
    Statement read(m_db,
                   "SELECT started_ms, ended_ms, who, site_host, site_port, site_user, outcome,"
                   " reason, posted, failed, held, untried FROM syncs ORDER BY id DESC LIMIT ?");
    read.Bind(1, std::int64_t{count});
    std::vector<SyncRecord> syncs;
    int code = SQLITE_ROW;
    while (read.ok() && (code = read.Step()) == SQLITE_ROW) {
        SyncRecord& sync = syncs.emplace_back();
        sync.started = FromMillis(read.Int(0));
        sync.ended = FromMillis(read.OptionalInt(1).value_or(read.Int(0)));
        sync.by = SyncByFromKey(read.Utf8(2));
        sync.site = {read.Utf8(3), static_cast<int>(read.Int(4)), read.Cp936(5)};
        sync.end = SyncEndFromKey(read.Utf8(6));
        sync.reason = read.Utf8(7);
        sync.posted = static_cast<int>(read.Int(8));
        sync.failed = static_cast<int>(read.Int(9));
        sync.held = static_cast<int>(read.Int(10));
        sync.untried = static_cast<int>(read.Int(11));
    }
    if (!read.ok() || code != SQLITE_DONE) {
        return Failure(ProblemCode::StoreCannotRead);
    }
    return syncs;
}

}  // namespace strivo
