#include "history/TotalsText.h"

#include <algorithm>

#include "history/ChartModel.h"

namespace strivo {
namespace {

std::string PadLeft(const std::string& text, std::size_t width) {
    return std::string(width > text.size() ? width - text.size() : 0, ' ') + text;
}

// The eighths of a cell, from one to seven.
constexpr const char* kPartialBlocks[] = {"", "▏", "▎", "▍", "▌", "▋", "▊", "▉"};

}  // namespace

std::vector<std::string> TotalsLines(std::span<const PeriodTotals> periods, int barWidth) {
    std::int64_t most = 0;
    std::size_t labelWidth = 0, runsWidth = 0, kmWidth = 0, timeWidth = 0;
    for (const PeriodTotals& p : periods) {
        most = std::max(most, p.distanceMm);
        labelWidth = std::max(labelWidth, p.label.size());
        runsWidth = std::max(runsWidth, std::to_string(p.runs).size());
        kmWidth = std::max(kmWidth, FormatKm(p.distanceMm, 2).size());
        timeWidth = std::max(timeWidth, FormatHms(p.durationMs).size());
    }
    std::vector<std::string> lines;
    lines.reserve(periods.size());
    for (const PeriodTotals& p : periods) {
        std::string line = p.label + std::string(labelWidth - p.label.size(), ' ') + "  " +
                           PadLeft(std::to_string(p.runs), runsWidth) +
                           (p.runs == 1 ? " run   " : " runs  ") +
                           PadLeft(FormatKm(p.distanceMm, 2), kmWidth) + " km  " +
                           PadLeft(FormatHms(p.durationMs), timeWidth);
        const std::int64_t eighths = most > 0 ? (p.distanceMm * barWidth * 8 + most / 2) / most : 0;
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

std::string ChartSvg(std::span<const PeriodTotals> periods, PeriodKind by) {
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
    const std::string title = std::string("Distance per ") + PeriodKindName(by) + " (km)";
    svg += "  <title>" + title + "</title>\n";
    svg += "  <rect width=\"100%\" height=\"100%\" fill=\"#ffffff\"/>\n";
    svg += "  <text x=\"12\" y=\"22\" font-size=\"16\" fill=\"#222222\">" + title + "</text>\n";
    svg += "  <g transform=\"translate(0 " + std::to_string(kTitleHeight) + ")\">\n";
    svg += "    <line x1=\"0\" y1=\"" + std::to_string(layout.axisY) + "\" x2=\"" + width +
           "\" y2=\"" + std::to_string(layout.axisY) + "\" stroke=\"#888888\"/>\n";
    for (const ChartBar& bar : layout.bars) {
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
