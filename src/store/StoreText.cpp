#include "store/StoreText.h"

#include <sqlite3.h>

#include <charconv>
#include <cstdlib>

#include "io/TimeText.h"
#include "text/CodePage.h"
#include "text/TextHelpers.h"

namespace strivo {
namespace {

bool IsAscii(std::string_view text) {
    for (const char c : text) {
        if (static_cast<unsigned char>(c) >= 0x80) {
            return false;
        }
    }
    return true;
}

}  // namespace

bool ColumnHolds(sqlite3_stmt* statement, int column, std::string_view cp936) {
    const int type = sqlite3_column_type(statement, column);
    if (type != SQLITE_TEXT || !IsAscii(cp936)) {
        return (type == SQLITE_TEXT || type == SQLITE_BLOB) &&
               ColumnStoreText(statement, column) == cp936;
    }
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement, column));
    const std::string_view stored(
        text ? text : "", static_cast<std::size_t>(sqlite3_column_bytes(statement, column)));
    return stored == cp936;
}

void BindStoreText(sqlite3_stmt* statement, int index, std::string_view cp936, bool outlivesStep) {
    if (IsAscii(cp936)) {
        sqlite3_bind_text(statement, index, cp936.data(), static_cast<int>(cp936.size()),
                          outlivesStep ? SQLITE_STATIC : SQLITE_TRANSIENT);
        return;
    }
    std::string utf8 = Cp936ToUtf8(cp936);
    if (Utf8ToCp936(utf8) == cp936) {
        sqlite3_bind_text(statement, index, utf8.data(), static_cast<int>(utf8.size()),
                          SQLITE_TRANSIENT);
    } else {
        sqlite3_bind_blob(statement, index, cp936.data(), static_cast<int>(cp936.size()),
                          SQLITE_TRANSIENT);
    }
}

std::string ColumnStoreText(sqlite3_stmt* statement, int column) {
    const int type = sqlite3_column_type(statement, column);
    if (type == SQLITE_BLOB) {
        const auto* bytes = static_cast<const char*>(sqlite3_column_blob(statement, column));
        return std::string(bytes,
                           static_cast<std::size_t>(sqlite3_column_bytes(statement, column)));
    }
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement, column));
    const std::string_view utf8(text ? text : "",
                                static_cast<std::size_t>(sqlite3_column_bytes(statement, column)));
    return IsAscii(utf8) ? std::string(utf8) : Utf8ToCp936(utf8);
}

void ColumnStoreTextInto(sqlite3_stmt* statement, int column, std::string& text) {
    // ASCII reads the same whether SQLite holds it as text or as a blob, so the
    // bytes are taken as they lie, without asking which (a million runs are
    // five million cells).
    const auto* bytes = static_cast<const char*>(sqlite3_column_blob(statement, column));
    const std::string_view lying(bytes ? bytes : "",
                                 static_cast<std::size_t>(sqlite3_column_bytes(statement, column)));
    if (IsAscii(lying)) {
        text.assign(lying);
    } else {
        text = ColumnStoreText(statement, column);
    }
}

PostedRunsLines ParsePostedRuns(std::string_view content, std::size_t from) {
    PostedRunsLines result;
    result.end = from;
    std::string_view rest = content.substr(std::min(from, content.size()));
    while (!rest.empty()) {
        const std::size_t end = rest.find('\n');
        if (end == std::string_view::npos) {
            break;  // still being written: next time
        }
        std::string_view line = rest.substr(0, end);
        rest.remove_prefix(end + 1);
        result.end += end + 1;
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);  // saved by a Windows editor
        }
        if (line.empty() || line.front() == '#') {
            continue;
        }
        std::string_view fields[4];
        int count = 0;
        for (std::size_t at = 0; at <= line.size() && count <= 4;) {
            const std::size_t space = std::min(line.find(' ', at), line.size());
            if (count < 4) {
                fields[count] = line.substr(at, space - at);
            }
            ++count;
            at = space + 1;
        }
        const TypedTime time = count == 4 ? ParseServiceTime(fields[3]) : TypedTime{};
        std::optional<std::string> site, user, runId;
        if (time.utcMs && fields[3].back() == 'Z') {
            site = PercentDecode(fields[0]);
            user = PercentDecode(fields[1]);
            runId = PercentDecode(fields[2]);
        }
        const std::size_t colon = site ? site->rfind(':') : std::string::npos;
        const std::optional<std::int64_t> port =
            colon == std::string::npos ? std::nullopt
                                       : ParseInteger(std::string_view(*site).substr(colon + 1));
        if (!port || !user || !runId || runId->empty()) {
            ++result.badLines;
            continue;
        }
        result.records.push_back(
            {site->substr(0, colon), *port, std::move(*user), std::move(*runId), *time.utcMs});
    }
    return result;
}

}  // namespace strivo
