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

std::string FormatRunTable(const std::vector<RunRow>& rows) {
    static const std::array<std::string, kRunColumnCount> titles = {
        Utf8ToCp936("序号"), Utf8ToCp936("跑步时间"), Utf8ToCp936("距离(KM)"),
        Utf8ToCp936("耗时"), Utf8ToCp936("卡路里"),   Utf8ToCp936("上传时间"),
        Utf8ToCp936("RunID")};

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
