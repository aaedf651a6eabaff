// Manners toward the services: the hosts that asked to be left alone until a
// time, and the passwords they refused, kept as an HMAC-SHA-256 under a
// random key of the store's own so that the password itself is never written.

#include "io/PathText.h"
#include "io/RandomBytes.h"
#include "store/RunStore.h"
#include "store/Statement.h"
#include "text/Sha256.h"
#include "text/TextHelpers.h"

namespace strivo {

using store_detail::FromMillis;
using store_detail::Millis;
using store_detail::Statement;

namespace {

constexpr const char* kMacKeyName = "mac-key";
constexpr std::size_t kMacKeyBytes = 32;

// The platform's HMAC failed: nothing is written, and no password counts as
// refused before.
Problem MacFailed(const std::filesystem::path& path, ProblemCode code) {
    Problem problem(code, {PathText(path)});
    problem.detail = "HMAC-SHA-256 failed";
    return problem;
}

}  // namespace

Outcome RunStore::PauseHost(const HostPause& pause) {
    Statement write(m_db,
                    "INSERT OR REPLACE INTO pauses(host, port, not_before_ms, reason)"
                    " VALUES(?, ?, ?, ?)");
    write.Bind(1, pause.host)
        .Bind(2, std::int64_t{pause.port})
        .Bind(3, Millis(pause.notBefore))
        .Bind(4, pause.reason);
    if (!write.ok() || !write.Run()) {
        return Failure(ProblemCode::StoreCannotWrite);
    }
    ++m_commits;
    return {};
}

Result<std::vector<HostPause>> RunStore::Pauses(StoreTime now) const {
    Statement read(m_db,
                   "SELECT host, port, not_before_ms, reason FROM pauses"
                   " WHERE not_before_ms > ? ORDER BY host, port");
    read.Bind(1, Millis(now));
    std::vector<HostPause> pauses;
    int code = SQLITE_ROW;
    while (read.ok() && (code = read.Step()) == SQLITE_ROW) {
        pauses.push_back(
            {read.Utf8(0), static_cast<int>(read.Int(1)), FromMillis(read.Int(2)), read.Utf8(3)});
    }
    if (!read.ok() || code != SQLITE_DONE) {
        return Failure(ProblemCode::StoreCannotRead);
    }
    return pauses;
}

Result<std::string> RunStore::MacKey() {
    for (int attempt = 0; attempt < 2; ++attempt) {
        Statement read(m_db, "SELECT value FROM secrets WHERE name = ?");
        read.Bind(1, std::string(kMacKeyName));
        if (read.ok() && read.Step() == SQLITE_ROW) {
            return read.Utf8(0);
        }
        if (!read.ok()) {
            return Failure(ProblemCode::StoreCannotRead);
        }
        Result<std::string> random = RandomBytes(kMacKeyBytes);
        if (!random) {
            return random.problem();
        }
        const std::string key =
            ToHex(std::span(reinterpret_cast<const std::uint8_t*>(random->data()), random->size()));
        // Another process may have made one meanwhile: the first one stays.
        Statement write(m_db, "INSERT OR IGNORE INTO secrets(name, value) VALUES(?, ?)");
        write.Bind(1, std::string(kMacKeyName)).Bind(2, key);
        if (!write.ok() || !write.Run()) {
            return Failure(ProblemCode::StoreCannotWrite);
        }
    }
    return Failure(ProblemCode::StoreCannotRead);
}

Outcome RunStore::RecordRefusal(const PasswordRefusal& refusal, std::string_view password) {
    Result<std::string> key = MacKey();
    if (!key) {
        return key.problem();
    }
    const std::optional<Sha256Digest> mac = HmacSha256(*key, password);
    if (!mac) {
        return MacFailed(m_path, ProblemCode::StoreCannotWrite);
    }
    Statement write(m_db,
                    "INSERT OR REPLACE INTO refusals(service, host, port, user, password_mac,"
                    " refused_ms) VALUES(?, ?, ?, ?, ?, ?)");
    write.Bind(1, refusal.service)
        .Bind(2, refusal.host)
        .Bind(3, std::int64_t{refusal.port})
        .BindCp936(4, refusal.user)
        .Bind(5, ToHex(*mac))
        .Bind(6, Millis(refusal.refused));
    if (!write.ok() || !write.Run()) {
        return Failure(ProblemCode::StoreCannotWrite);
    }
    ++m_commits;
    return {};
}

Result<bool> RunStore::RefusedBefore(const PasswordRefusal& who, std::string_view password) {
    std::string kept;
    {
        Statement read(m_db,
                       "SELECT password_mac FROM refusals"
                       " WHERE service = ? AND host = ? AND port = ? AND user = ?");
        read.Bind(1, who.service).Bind(2, who.host).Bind(3, std::int64_t{who.port});
        read.BindCp936(4, who.user);
        const int code = read.ok() ? read.Step() : SQLITE_ERROR;
        if (code == SQLITE_DONE) {
            return false;
        }
        if (code != SQLITE_ROW) {
            return Failure(ProblemCode::StoreCannotRead);
        }
        kept = read.Utf8(0);
    }
    Result<std::string> key = MacKey();
    if (!key) {
        return key.problem();
    }
    const std::optional<Sha256Digest> mac = HmacSha256(*key, password);
    if (!mac) {
        return MacFailed(m_path, ProblemCode::StoreCannotRead);
    }
    return kept == ToHex(*mac);
}

Outcome RunStore::ForgetRefusal(const PasswordRefusal& who) {
    // Looked at first: most sign-ins have nothing to forget, and a write
    // would wait for whoever writes meanwhile.
    {
        Statement read(m_db,
                       "SELECT 1 FROM refusals WHERE service = ? AND host = ? AND port = ? AND "
                       "user = ?");
        read.Bind(1, who.service).Bind(2, who.host).Bind(3, std::int64_t{who.port});
        read.BindCp936(4, who.user);
        const int code = read.ok() ? read.Step() : SQLITE_ERROR;
        if (code == SQLITE_DONE) {
            return {};
        }
        if (code != SQLITE_ROW) {
            return Failure(ProblemCode::StoreCannotRead);
        }
    }
    Statement remove(
        m_db, "DELETE FROM refusals WHERE service = ? AND host = ? AND port = ? AND user = ?");
    remove.Bind(1, who.service).Bind(2, who.host).Bind(3, std::int64_t{who.port});
    remove.BindCp936(4, who.user);
    if (!remove.ok() || !remove.Run()) {
        return Failure(ProblemCode::StoreCannotWrite);
    }
    return {};
}

Result<std::vector<PasswordRefusal>> RunStore::Refusals() const {
    Statement read(m_db,
                   "SELECT service, host, port, user, refused_ms FROM refusals"
                   " ORDER BY service, host, port");
    std::vector<PasswordRefusal> refusals;
    int code = SQLITE_ROW;
    while (read.ok() && (code = read.Step()) == SQLITE_ROW) {
        refusals.push_back({read.Utf8(0), read.Utf8(1), static_cast<int>(read.Int(2)),
                            read.Cp936(3), FromMillis(read.Int(4))});
    }
    if (!read.ok() || code != SQLITE_DONE) {
        return Failure(ProblemCode::StoreCannotRead);
    }
    return refusals;
}

}  // namespace strivo
