#include "history/TotalsText.h"

#include <algorithm>
#include <limits>

#include "history/ChartModel.h"
#include "text/TextHelpers.h"

namespace strivo {
namespace {

// Terminal cells of UTF-8 text: two for the wide East Asian characters, one
// for any other character.
std::size_t CellWidth(std::string_view text) {
    std::size_t cells = 0;
    for (std::size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        const std::size_t length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
        char32_t c = length == 1 ? lead : lead & (0x7F >> length);
        for (std::size_t k = 1; k < length && i + k < text.size(); ++k) {
            c = (c << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3F);
        }
        const bool wide = (c >= 0x1100 && c <= 0x115F) || (c >= 0x2E80 && c <= 0xA4CF) ||
                          (c >= 0xAC00 && c <= 0xD7A3) || (c >= 0xF900 && c <= 0xFAFF) ||
                          (c >= 0xFE30 && c <= 0xFE4F) || (c >= 0xFF00 && c <= 0xFF60) ||
                          (c >= 0xFFE0 && c <= 0xFFE6) || (c >= 0x20000 && c <= 0x3FFFD);
        cells += wide ? 2 : 1;
        i += length;
    }
    return cells;
}

std::string PadLeft(const std::string& text, std::size_t width) {
    const std::size_t cells = CellWidth(text);
    return std::string(width > cells ? width - cells : 0, ' ') + text;
}

std::string PadRight(const std::string& text, std::size_t width) {
    const std::size_t cells = CellWidth(text);
    return text + std::string(width > cells ? width - cells : 0, ' ');
}

}  // namespace

std::string GroupedCount(std::int64_t number) {
    std::string text = std::to_string(number);
    for (auto at = static_cast<std::ptrdiff_t>(text.size()) - 3; at > (text[0] == '-' ? 1 : 0);
         at -= 3) {
        text.insert(static_cast<std::size_t>(at), ",");
    }
    return text;
}

namespace {

// Counts of each plural form of the common languages (one, two, few, many,
// other), so the runs column is as wide as its widest form in any list.
constexpr std::int64_t kPluralSamples[] = {0, 1, 2, 3, 5, 11, 21, 22, 100, 101};

// The eighths of a cell, from one to seven.
constexpr const char* kPartialBlocks[] = {"", "▏", "▎", "▍", "▌", "▋", "▊", "▉"};

}  // namespace

TotalsWords::TotalsWords()
    : runs([](std::int64_t count) { return std::string(count == 1 ? "run" : "runs"); }),
      unit("km"),
      withoutRuns([](std::int64_t periods, PeriodKind by) {
          return "… " + GroupedCount(periods) + " " + PeriodKindName(by) +
                 (periods == 1 ? "" : "s") + " without runs …";
      }),
      chartTitle([](PeriodKind by) {
          return std::string("Distance per ") + PeriodKindName(by) + " (km)";
      }) {}

std::vector<std::string> TotalsLines(std::span<const PeriodTotals> periods, PeriodKind by,
                                     const TotalsWords& words, int barWidth) {
    std::int64_t most = 0;
    std::size_t labelWidth = 0, runsWidth = 0, wordWidth = 0, kmWidth = 0, timeWidth = 0;
    for (const std::int64_t count : kPluralSamples) {
        wordWidth = std::max(wordWidth, CellWidth(words.runs(count)));
    }
    for (const PeriodTotals& p : periods) {
        if (p.foldedPeriods > 0) {
            continue;
        }
        most = std::max(most, p.distanceMm);
        labelWidth = std::max(labelWidth, p.label.size());
        runsWidth = std::max(runsWidth, std::to_string(p.runs).size());
        wordWidth = std::max(wordWidth, CellWidth(words.runs(p.runs)));
        kmWidth = std::max(kmWidth, FormatKm(p.distanceMm, 2).size());
        timeWidth = std::max(timeWidth, FormatHms(p.durationMs).size());
    }
    const std::int64_t scale = std::int64_t{barWidth} * 8;
    // Scaled down first where distance times cells would not fit.
    const std::int64_t shrink = most / (std::numeric_limits<std::int64_t>::max() / (scale + 1)) + 1;
    std::vector<std::string> lines;
    lines.reserve(periods.size());
    for (const PeriodTotals& p : periods) {
        if (p.foldedPeriods > 0) {
            lines.push_back(words.withoutRuns(p.foldedPeriods, by));
            continue;
        }
        std::string line = p.label + std::string(labelWidth - p.label.size(), ' ') + "  " +
                           PadLeft(std::to_string(p.runs), runsWidth) + " " +
                           PadRight(words.runs(p.runs), wordWidth) + "  " +
                           PadLeft(FormatKm(p.distanceMm, 2), kmWidth) + " " + words.unit + "  " +
                           PadLeft(FormatHms(p.durationMs), timeWidth);
        const std::int64_t eighths =
            most > 0 ? (p.distanceMm / shrink * scale + most / shrink / 2) / (most / shrink) : 0;
        if (eighths > 0) {
            line += "  ";
            for (std::int64_t i = 0; i < eighths / 8; ++i) {
                line += "█";
            }
            line += kPartialBlocks[eighths % 8];
        }
        lines.push_back(std::move(line));
    }
    return lines;
}

std::string ChartSvg(std::span<const PeriodTotals> periods, PeriodKind by,
                     const TotalsWords& words) {
    constexpr int kTitleHeight = 32;
    const ChartLayout layout = LayOutChart(periods, {320, 320, 1.0});  // room for the title
    const std::string width = std::to_string(layout.width);
    const std::string height = std::to_string(layout.height + kTitleHeight);
    std::string svg =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" +
        width + "\" height=\"" + height + "\" viewBox=\"0 0 " + width + " " + height +
        "\"\n"
        "     font-family=\"'Noto Sans', 'DejaVu Sans', 'WenQuanYi Micro Hei', 'Noto Sans CJK SC',"
        " 'Microsoft YaHei', sans-serif\" font-size=\"" +
        std::to_string(layout.fontPx) + "\">\n";
    std::string title;
    AppendMarkupEscaped(title, words.chartTitle(by), /*forXml=*/true);
    svg += "  <title>" + title + "</title>\n";
    svg += "  <rect width=\"100%\" height=\"100%\" fill=\"#ffffff\"/>\n";
    svg += "  <text x=\"12\" y=\"22\" font-size=\"16\" fill=\"#222222\">" + title + "</text>\n";
    svg += "  <g transform=\"translate(0 " + std::to_string(kTitleHeight) + ")\">\n";
    svg += "    <line x1=\"0\" y1=\"" + std::to_string(layout.axisY) + "\" x2=\"" + width +
           "\" y2=\"" + std::to_string(layout.axisY) + "\" stroke=\"#888888\"/>\n";
    for (const ChartBar& bar : layout.bars) {
        if (bar.foldedPeriods > 0) {
            // A break in the axis, with the stretch it stands for as its tooltip.
            const int x = bar.label.x;
            std::string gap;
            AppendMarkupEscaped(gap, words.withoutRuns(bar.foldedPeriods, by), /*forXml=*/true);
            svg += "    <g stroke=\"#888888\"><title>" + gap + "</title><path d=\"M" +
                   std::to_string(x - 6) + " " + std::to_string(layout.axisY + 6) +
                   "l6 -12m0 12l6 -12\"/></g>\n";
            svg += "    <text x=\"" + std::to_string(x) + "\" y=\"" + std::to_string(bar.label.y) +
                   "\" text-anchor=\"middle\" fill=\"#888888\">" + bar.label.text + "</text>\n";
            continue;
        }
        svg += "    <rect x=\"" + std::to_string(bar.bar.x) + "\" y=\"" +
               std::to_string(bar.bar.y) + "\" width=\"" + std::to_string(bar.bar.width) +
               "\" height=\"" + std::to_string(bar.bar.height) + "\" fill=\"#3b7dd8\"/>\n";
        for (const ChartText* text : {&bar.value, &bar.label}) {
            svg += "    <text x=\"" + std::to_string(text->x) + "\" y=\"" +
                   std::to_string(text->y) + "\" text-anchor=\"middle\" fill=\"#222222\">" +
                   text->text + "</text>\n";
        }
    }
    svg += "  </g>\n</svg>\n";
    return svg;
}

}  // namespace strivo
