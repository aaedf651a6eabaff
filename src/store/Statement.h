#pragma once

// What the store's files share: a prepared statement, and SQLite's failures
// as problems. Not for use outside store/.

#include <sqlite3.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>

#include "model/Problem.h"
#include "model/Runs.h"
#include "store/StoreText.h"

namespace strivo::store_detail {

inline std::int64_t Millis(StoreTime time) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(time.time_since_epoch()).count();
}
inline StoreTime FromMillis(std::int64_t ms) {
    return StoreTime(
        std::chrono::duration_cast<StoreTime::duration>(std::chrono::milliseconds(ms)));
}

// What SQLite's last failure on `db` means for the store at `path`: a full
// disk, a damaged or foreign file where SQLite says so, else `otherwise`.
Problem SqliteProblem(sqlite3* db, const std::filesystem::path& path, ProblemCode otherwise);

// A prepared statement, finalized on every path out.
class Statement {
public:
    Statement(sqlite3* db, const char* sql) {
        m_code = sqlite3_prepare_v3(db, sql, -1, SQLITE_PREPARE_PERSISTENT, &m_statement, nullptr);
    }
    Statement(sqlite3* db, const std::string& sql) : Statement(db, sql.c_str()) {}
    ~Statement() { sqlite3_finalize(m_statement); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    bool ok() const { return m_code == SQLITE_OK || m_code == SQLITE_DONE || m_code == SQLITE_ROW; }

    Statement& Bind(int index, std::int64_t value) {
        sqlite3_bind_int64(m_statement, index, value);
        return *this;
    }
    Statement& Bind(int index, const std::string& utf8) {
        sqlite3_bind_text(m_statement, index, utf8.data(), static_cast<int>(utf8.size()),
                          SQLITE_TRANSIENT);
        return *this;
    }
    Statement& BindBlob(int index, std::string_view bytes) {
        sqlite3_bind_blob(m_statement, index, bytes.data(), static_cast<int>(bytes.size()),
                          SQLITE_TRANSIENT);
        return *this;
    }
    Statement& BindCp936(int index, std::string_view cp936) {
        BindStoreText(m_statement, index, cp936);
        return *this;
    }
    // The same for a run's texts, bound where they lie (BindStoreText's
    // `outlivesStep`): they live until the statement has run, and every run
    // binds them again.
    Statement& BindCp936InPlace(int index, std::string_view cp936) {
        BindStoreText(m_statement, index, cp936, /*outlivesStep=*/true);
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
    // Ready to be bound and run again as if new: no bindings, no failure kept.
    void Renew() {
        sqlite3_reset(m_statement);
        sqlite3_clear_bindings(m_statement);
        if (m_statement != nullptr) {
            m_code = SQLITE_OK;
        }
    }
    // Runs once and is ready to be bound again; its code, a failure not kept
    // (a clash an INSERT may meet is expected, and its statement stays good).
    int RunCode() {
        const int code = sqlite3_step(m_statement);
        sqlite3_reset(m_statement);
        return code;
    }

    std::int64_t Int(int column) const { return sqlite3_column_int64(m_statement, column); }
    double Real(int column) const { return sqlite3_column_double(m_statement, column); }
    bool IsNull(int column) const {
        return sqlite3_column_type(m_statement, column) == SQLITE_NULL;
    }
    std::optional<std::int64_t> OptionalInt(int column) const {
        // Only a zero may be a NULL: the type is asked then alone.
        const std::int64_t value = Int(column);
        return value == 0 && IsNull(column) ? std::nullopt : std::optional(value);
    }
    std::string Blob(int column) const {
        const auto* bytes = static_cast<const char*>(sqlite3_column_blob(m_statement, column));
        return std::string(bytes ? bytes : "",
                           static_cast<std::size_t>(sqlite3_column_bytes(m_statement, column)));
    }
    std::string Cp936(int column) const { return ColumnStoreText(m_statement, column); }
    std::string Utf8(int column) const {
        const auto* text = sqlite3_column_text(m_statement, column);
        return text ? reinterpret_cast<const char*>(text) : "";
    }
    sqlite3_stmt* get() { return m_statement; }

private:
    sqlite3_stmt* m_statement = nullptr;
    int m_code;
};

}  // namespace strivo::store_detail
