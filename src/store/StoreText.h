#pragma once

// The store's own reading and writing of values: CP936 texts in and out of
// SQLite, the typed values read from the run service's texts, and the lines
// of posted-runs.txt.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "text/TextHelpers.h"

struct sqlite3_stmt;

namespace strivo {

// UTF-8 TEXT where the CP936 bytes convert to UTF-8 and back unchanged, else
// a BLOB of the bytes themselves.
// With `outlivesStep`, ASCII is bound where it lies, not copied: the caller
// keeps it until the statement has run and binds the index again before the
// next run.
void BindStoreText(sqlite3_stmt* statement, int index, std::string_view cp936,
                   bool outlivesStep = false);
// Whether the column holds what BindStoreText stores for `cp936`: a stored
// run is compared with the list's without copying its texts out.
bool ColumnHolds(sqlite3_stmt* statement, int column, std::string_view cp936);
// The CP936 bytes BindStoreText was given.
std::string ColumnStoreText(sqlite3_stmt* statement, int column);
// The same into `text`, keeping its room.
void ColumnStoreTextInto(sqlite3_stmt* statement, int column, std::string& text);

// The records of posted-runs.txt from byte `from` on:
//   bbs.kelvora.example%3A80 %C0%EE 1100309028 2026-12-07T10:11:12Z
struct PostedRunLine {
    std::string host;
    std::int64_t port = 0;
    std::string user, runId;
    std::int64_t utcMs = 0;
};
struct PostedRunsLines {
    std::vector<PostedRunLine> records;
    int badLines = 0;
    std::size_t end = 0;  // after the last complete line: where the next import starts
};
PostedRunsLines ParsePostedRuns(std::string_view content, std::size_t from);

}  // namespace strivo
