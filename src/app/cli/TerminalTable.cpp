#include "app/cli/TerminalTable.h"

#include <algorithm>
#include <array>

#include "text/CodePage.h"

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

// Controls, C0 and C1, become "?", so that no text from the network moves the
// cursor or retitles the terminal; with `keepLineEnds`, '\n' and "\r\n" stay.
std::string SafeUtf8(std::string utf8, bool keepLineEnds) {
    for (std::size_t i = 0; i < utf8.size(); ++i) {
        const auto byte = static_cast<unsigned char>(utf8[i]);
        if (byte >= 0x20 && byte != 0x7F && byte != 0xC2) {
            continue;  // nearly every byte: nothing to look at
        }
        const bool lineEnd =
            byte == '\n' || (byte == '\r' && i + 1 < utf8.size() && utf8[i + 1] == '\n');
        if ((byte < 0x20 && !(keepLineEnds && lineEnd)) || byte == 0x7F) {
            utf8[i] = '?';
        } else if (byte == 0xC2 && i + 1 < utf8.size() &&
                   static_cast<unsigned char>(utf8[i + 1]) < 0xA0) {
            utf8.replace(i, 2, "?");  // U+0080..U+009F
        }
    }
    return utf8;
}

}  // namespace

std::size_t DisplayWidth(std::string_view cp936) {
    // A single byte takes one column and a double-byte character two: as many
    // as the text has bytes.
    return cp936.size();
}

std::string ForTerminal(std::string_view cp936) {
    // ASCII is the same in both code pages: only its controls are masked.
    if (std::all_of(cp936.begin(), cp936.end(),
                    [](char c) { return static_cast<unsigned char>(c) < 0x80; })) {
        std::string shown(cp936);
        for (char& c : shown) {
            c = static_cast<unsigned char>(c) < 0x20 || c == 0x7F ? '?' : c;
        }
        return shown;
    }
    return SafeUtf8(Cp936ToUtf8(cp936), false);
}

std::string ForTerminalUtf8(std::string_view utf8) {
    return SafeUtf8(std::string(utf8), false);
}

std::string ForTerminalLines(std::string_view utf8) {
    return SafeUtf8(std::string(utf8), true);
}

void WriteRunTable(std::ostream& out, const RunRows& rows) {
    std::array<std::string, kRunColumnCount> titles;
    for (std::size_t c = 0; c < kRunColumnCount; ++c) {
        titles[c] = Utf8ToCp936(kRunColumnTitles[c]);
    }

    std::array<std::size_t, kRunColumnCount> widths{};
    for (std::size_t c = 0; c < kRunColumnCount; ++c) {
        widths[c] = DisplayWidth(titles[c]);
    }
    std::size_t lineBytes = 1;
    for (const RunRow& row : rows) {
        for (std::size_t c = 0; c < kRunColumnCount; ++c) {
            widths[c] = std::max(widths[c], std::min(DisplayWidth(row[c]), kMaxColumnWidth));
        }
    }
    for (const std::size_t width : widths) {
        lineBytes += width + 2;
    }
    std::string lines;
    lines.reserve(kBatchBytes + lineBytes);
    std::string cut;
    const auto appendLine = [&](const auto& cells) {
        for (std::size_t c = 0; c < kRunColumnCount; ++c) {
            const std::string_view cell = Capped(cells[c], cut);
            const std::size_t at = lines.size();
            lines += cell;
            // A line end inside a cell would break the table; the batch keeps them.
            if (cell.find('\n') != std::string_view::npos) {
                std::replace(lines.begin() + static_cast<std::ptrdiff_t>(at), lines.end(), '\n',
                             '?');
            }
            if (c + 1 < kRunColumnCount) {
                lines.append(widths[c] - DisplayWidth(cell) + 2, ' ');
            }
        }
        lines += '\n';
        if (lines.size() >= kBatchBytes) {
            out << SafeUtf8(Cp936ToUtf8(lines), true);
            lines.clear();
        }
    };
    appendLine(titles);
    for (const RunRow& row : rows) {
        appendLine(row);
    }
    out << SafeUtf8(Cp936ToUtf8(lines), true);
}

}  // namespace strivo
