#include "app/TerminalTable.h"

#include <algorithm>
#include <array>

#include "text/CodePage.h"

namespace strivo {
namespace {

// Lines are converted to UTF-8 this many bytes at a time, not one by one.
constexpr std::size_t kBatchBytes = 64 << 10;

}  // namespace

std::size_t DisplayWidth(std::string_view cp936) {
    // A single byte takes one column and a double-byte character two: as many
    // as the text has bytes.
    return cp936.size();
}

std::string FormatRunTable(const RunRows& rows) {
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
            widths[c] = std::max(widths[c], DisplayWidth(row[c]));
        }
    }
    for (const std::size_t width : widths) {
        lineBytes += width + 2;
    }
    std::string out;
    out.reserve((rows.size() + 1) * lineBytes * 3 / 2);  // a Chinese character: 2 bytes, then 3
    std::string lines;
    const auto appendLine = [&](const auto& cells) {
        for (std::size_t c = 0; c < kRunColumnCount; ++c) {
            const std::string_view cell = cells[c];
            lines += cell;
            if (c + 1 < kRunColumnCount) {
                lines.append(widths[c] - DisplayWidth(cell) + 2, ' ');
            }
        }
        lines += '\n';
        if (lines.size() >= kBatchBytes) {
            out += Cp936ToUtf8(lines);
            lines.clear();
        }
    };
    appendLine(titles);
    for (const RunRow& row : rows) {
        appendLine(row);
    }
    out += Cp936ToUtf8(lines);
    return out;
}

}  // namespace strivo
