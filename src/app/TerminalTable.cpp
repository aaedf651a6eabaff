#include "app/TerminalTable.h"

#include <algorithm>
#include <array>

#include "text/CodePage.h"

namespace strivo {

std::size_t DisplayWidth(std::string_view cp936) {
    std::size_t width = 0;
    for (std::size_t pos = 0; pos < cp936.size(); pos += Cp936CharLength(cp936, pos)) {
        width += Cp936CharLength(cp936, pos);
    }
    return width;
}

std::string FormatRunTable(const RunRows& rows) {
    std::array<std::string, kRunColumnCount> titles;
    for (std::size_t c = 0; c < kRunColumnCount; ++c) {
        titles[c] = Utf8ToCp936(kRunColumnTitles[c]);
    }

    std::array<std::size_t, kRunColumnCount> widths{};
    for (std::size_t c = 0; c < kRunColumnCount; ++c) {
        widths[c] = DisplayWidth(titles[c]);
        for (const RunRow& row : rows) {
            widths[c] = std::max(widths[c], DisplayWidth(row[c]));
        }
    }
    std::string out;
    const auto appendLine = [&](const auto& cells) {
        std::string line;
        for (std::size_t c = 0; c < kRunColumnCount; ++c) {
            line += cells[c];
            if (c + 1 < kRunColumnCount) {
                line.append(widths[c] - DisplayWidth(cells[c]) + 2, ' ');
            }
        }
        out += Cp936ToUtf8(line);
        out += '\n';
    };
    appendLine(titles);
    for (const RunRow& row : rows) {
        appendLine(row);
    }
    return out;
}

}  // namespace strivo
