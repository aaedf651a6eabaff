#include "app/TerminalTable.h"

#include <algorithm>
#include <array>

#include "text/CodePage.h"

namespace strivo {

std::size_t DisplayWidth(const std::string& cp936) {
    std::size_t width = 0;
    for (std::size_t pos = 0; pos < cp936.size(); pos += Cp936CharLength(cp936, pos)) {
        width += Cp936CharLength(cp936, pos);
    }
    return width;
}

std::string ForTerminal(std::string_view cp936) {
    std::string utf8 = Cp936ToUtf8(cp936);
    for (std::size_t i = 0; i < utf8.size(); ++i) {
        const auto byte = static_cast<unsigned char>(utf8[i]);
        if (byte < 0x20 || byte == 0x7F) {
            utf8[i] = '?';
        } else if (byte == 0xC2 && i + 1 < utf8.size() &&
                   static_cast<unsigned char>(utf8[i + 1]) < 0xA0) {
            utf8.replace(i, 2, "?");  // U+0080..U+009F
        }
    }
    return utf8;
}

std::string FormatRunTable(const std::vector<RunRow>& rows) {
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
    const auto appendLine = [&](const std::array<std::string, kRunColumnCount>& cells) {
        std::string line;
        for (std::size_t c = 0; c < kRunColumnCount; ++c) {
            line += cells[c];
            if (c + 1 < kRunColumnCount) {
                line.append(widths[c] - DisplayWidth(cells[c]) + 2, ' ');
            }
        }
        out += ForTerminal(line);
        out += '\n';
    };
    appendLine(titles);
    for (const RunRow& row : rows) {
        appendLine(row.cells);
    }
    return out;
}

}  // namespace strivo
