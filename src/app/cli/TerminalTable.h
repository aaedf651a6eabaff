#pragma once

#include <array>
#include <cstdio>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "io/RunText.h"
#include "model/RunTable.h"

namespace strivo {

// The run table as UTF-8 text for a terminal: a title line, then one line per
// run, numbered from 1, columns aligned by display width (a Chinese character takes two), a
// cell wider than a column may be cut to end in "…".
// Written a batch of lines at a time: a long list is never held as text whole.
void WriteRunTable(std::ostream& out, const RunList& rows);

// The same table for rows that come one at a time and are not kept: each
// waits in a temporary file, and the table is written once every row is
// measured (a million rows, a few megabytes of memory). Where no temporary
// file can be made, the rows wait in memory.
class RunTableWriter {
public:
    RunTableWriter();
    ~RunTableWriter();
    RunTableWriter(const RunTableWriter&) = delete;
    RunTableWriter& operator=(const RunTableWriter&) = delete;

    // The next run, numbered `number`: the runs come in their order.
    void Add(const Run& run, std::int64_t number);
    // False when the temporary file failed: the table lacks rows from there on.
    bool Write(std::ostream& out);

private:
    void Spill();

    std::FILE* m_file;
    std::string m_pending;  // rows not yet written to the file
    bool m_written = true;
    std::size_t m_count = 0;
    std::array<std::size_t, kRunColumnCount> m_widths{};
    RunList::Builder m_rows;  // without a temporary file
};

// CP936 text from the network as UTF-8 for a terminal, with every control
// character (C0, DEL, C1) shown as "?": nothing it holds can move the cursor,
// retitle the window or reach the clipboard.
std::string ForTerminal(std::string_view cp936);
// The same added to the end of `line`.
void AppendForTerminal(std::string& line, std::string_view cp936);
// The same for a UTF-8 text (a problem's words, which may carry a server's).
std::string ForTerminalUtf8(std::string_view utf8);
// The same for a whole UTF-8 document (a CSV, TCX or SVG file shown on a
// terminal), keeping its line ends.
std::string ForTerminalLines(std::string_view utf8);

// Display width of a CP936 text: one per single byte, two per double-byte character.
std::size_t DisplayWidth(std::string_view cp936);

}  // namespace strivo
