#include "app/cli/TerminalTable.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "text/CodePage.h"
#include "text/TextHelpers.h"

namespace strivo {
namespace {

// Lines are converted to UTF-8 this many bytes at a time, not one by one.
constexpr std::size_t kBatchBytes = 64 << 10;

// The widest a column gets: seven of them fit a wide terminal. A longer cell
// is cut and ends in "…"; the CSV keeps it whole.
constexpr std::size_t kMaxColumnWidth = 30;
constexpr std::string_view kEllipsis = "\xA1\xAD";  // "…" in code page 936

// `cell` cut to kMaxColumnWidth columns at a character's boundary.
std::string_view Capped(std::string_view cell, std::string& cut) {
    if (DisplayWidth(cell) <= kMaxColumnWidth) {
        return cell;
    }
    std::size_t end = 0;
    while (end < cell.size()) {
        const std::size_t next =
            end + (static_cast<unsigned char>(cell[end]) >= 0x81 && end + 1 < cell.size() ? 2 : 1);
        if (next > kMaxColumnWidth - kEllipsis.size()) {
            break;
        }
        end = next;
    }
    cut.assign(cell.substr(0, end));
    cut += kEllipsis;
    return cut;
}

}  // namespace

std::size_t DisplayWidth(std::string_view cp936) {
    // A single byte takes one column and a double-byte character two: as many
    // as the text has bytes.
    return cp936.size();
}

std::string ForTerminal(std::string_view cp936) {
    std::string shown;
    AppendForTerminal(shown, cp936);
    return shown;
}

void AppendForTerminal(std::string& line, std::string_view cp936) {
    // ASCII is the same in both code pages: only its controls are masked, in
    // place, so a million printed lines make no string a cell.
    const std::size_t at = line.size();
    for (const char c : cp936) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x80) {
            line.resize(at);
            line += MaskControls(Cp936ToUtf8(cp936));
            return;
        }
        line += byte < 0x20 || byte == 0x7F ? '?' : c;
    }
}

std::string ForTerminalUtf8(std::string_view utf8) {
    return MaskControls(std::string(utf8));
}

std::string ForTerminalLines(std::string_view utf8) {
    return MaskControls(std::string(utf8), TextEncoding::Utf8, /*keepLineEnds=*/true);
}

namespace {

// What a cell asks of its column: its display width, up to the cap.
std::size_t ColumnWidthOf(std::string_view cell) {
    return std::min(DisplayWidth(cell), kMaxColumnWidth);
}

// The table's lines, columns as wide as the widest cell measured (up to
// kMaxColumnWidth), converted and written a batch at a time.
class TableLines {
public:
    explicit TableLines(std::ostream& out) : m_out(out) {
        for (std::size_t c = 0; c < kRunColumnCount; ++c) {
            m_titles[c] = Utf8ToCp936(kRunColumnTitles[c]);
            m_widths[c] = DisplayWidth(m_titles[c]);
        }
    }
    template <typename Cells>
    void Measure(const Cells& cells) {
        for (std::size_t c = 0; c < kRunColumnCount; ++c) {
            m_widths[c] = std::max(m_widths[c], ColumnWidthOf(cells[c]));
        }
    }
    void Widen(const std::array<std::size_t, kRunColumnCount>& widths) {
        for (std::size_t c = 0; c < kRunColumnCount; ++c) {
            m_widths[c] = std::max(m_widths[c], widths[c]);
        }
    }
    // The title line: every row is measured by now.
    void Begin() {
        std::size_t lineBytes = 1;
        for (const std::size_t width : m_widths) {
            lineBytes += width + 2;
        }
        m_lines.reserve(kBatchBytes + lineBytes);
        Line(m_titles);
    }
    template <typename Cells>
    void Line(const Cells& cells) {
        for (std::size_t c = 0; c < kRunColumnCount; ++c) {
            const std::string_view cell = Capped(cells[c], m_cut);
            const std::size_t at = m_lines.size();
            m_lines += cell;
            // A line end inside a cell would break the table; the batch keeps them.
            if (cell.find('\n') != std::string_view::npos) {
                std::replace(m_lines.begin() + static_cast<std::ptrdiff_t>(at), m_lines.end(), '\n',
                             '?');
            }
            if (c + 1 < kRunColumnCount) {
                m_lines.append(m_widths[c] - DisplayWidth(cell) + 2, ' ');
            }
        }
        m_lines += '\n';
        if (m_lines.size() >= kBatchBytes) {
            End();
        }
    }
    void End() {
        m_out << MaskControls(Cp936ToUtf8(m_lines), TextEncoding::Utf8, /*keepLineEnds=*/true);
        m_lines.clear();
    }

private:
    std::ostream& m_out;
    std::array<std::string, kRunColumnCount> m_titles;
    std::array<std::size_t, kRunColumnCount> m_widths{};
    std::string m_lines;
    std::string m_cut;
};

}  // namespace

void WriteRunTable(std::ostream& out, const RunList& runs) {
    TableLines table(out);
    std::size_t number = 0;
    for (const Run& run : runs) {
        table.Measure(CellsOf(run, ++number));
    }
    table.Begin();
    number = 0;
    for (const Run& run : runs) {
        table.Line(CellsOf(run, ++number));
    }
    table.End();
}

RunTableWriter::RunTableWriter() : m_file(std::tmpfile()) {}

RunTableWriter::~RunTableWriter() {
    if (m_file != nullptr) {
        std::fclose(m_file);
    }
}

void RunTableWriter::Add(const Run& run, std::int64_t number) {
    if (m_file == nullptr) {
        m_rows.Add(run);
        return;
    }
    const RunCells cells = CellsOf(run, static_cast<std::size_t>(number));
    for (std::size_t c = 0; c < kRunColumnCount; ++c) {
        const std::string_view cell = cells[c];
        const auto size = static_cast<std::uint32_t>(cell.size());
        m_pending.append(reinterpret_cast<const char*>(&size), sizeof size);
        m_pending.append(cell);
        m_widths[c] = std::max(m_widths[c], ColumnWidthOf(cell));
    }
    ++m_count;
    if (m_pending.size() >= kBatchBytes) {
        Spill();
    }
}

void RunTableWriter::Spill() {
    m_written =
        m_written && std::fwrite(m_pending.data(), 1, m_pending.size(), m_file) == m_pending.size();
    m_pending.clear();
}

bool RunTableWriter::Write(std::ostream& out) {
    if (m_file == nullptr) {
        WriteRunTable(out, m_rows.Finish());
        return true;
    }
    Spill();
    TableLines table(out);
    table.Widen(m_widths);
    table.Begin();
    std::rewind(m_file);
    // Read back a batch at a time; a row may straddle two.
    std::string bytes;
    std::size_t at = 0;
    const auto have = [&](std::size_t count) {
        while (m_written && bytes.size() - at < count) {
            bytes.erase(0, at);
            at = 0;
            const std::size_t before = bytes.size();
            bytes.resize(before + std::max(kBatchBytes, count));
            const std::size_t read =
                std::fread(bytes.data() + before, 1, bytes.size() - before, m_file);
            bytes.resize(before + read);
            m_written = read > 0;
        }
        return m_written;
    };
    std::array<std::string_view, kRunColumnCount> cells;
    for (std::size_t row = 0; row < m_count && m_written; ++row) {
        // The cells point into `bytes`: the whole row is read before the first is taken.
        std::size_t rowBytes = 0;
        for (std::size_t c = 0; c < kRunColumnCount && have(rowBytes + sizeof(std::uint32_t));
             ++c) {
            std::uint32_t size = 0;
            std::memcpy(&size, bytes.data() + at + rowBytes, sizeof size);
            rowBytes += sizeof size + size;
        }
        if (!have(rowBytes)) {
            break;
        }
        for (std::string_view& cell : cells) {
            std::uint32_t size = 0;
            std::memcpy(&size, bytes.data() + at, sizeof size);
            cell = std::string_view(bytes).substr(at + sizeof size, size);
            at += sizeof size + size;
        }
        table.Line(cells);
    }
    table.End();
    return m_written;
}

}  // namespace strivo
