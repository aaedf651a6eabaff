#pragma once

// The "跑量统计…" dialog without a window: the stored runs' totals per week,
// month or year, the chart's layout, the chosen bar, the line above the chart,
// and the drawing as a few primitives, so that each front end only implements
// ChartCanvas over its own drawing calls (wx on Linux, GDI on Windows).

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "history/ChartModel.h"
#include "history/RunTotals.h"

namespace strivo {

struct ChartColour {
    unsigned char red = 0, green = 0, blue = 0;
};

// What a key or the mouse wheel asks of the chart.
enum class ChartScroll { Left, Right, PageLeft, PageRight, Home, End };

// What the chart is drawn on, in content pixels (before scrolling).
class ChartCanvas {
public:
    virtual ~ChartCanvas() = default;
    virtual void FillRect(const ChartRect& rect, ChartColour colour) = 0;
    virtual void Line(int x1, int y1, int x2, int y2, ChartColour colour) = 0;
    // `text` (UTF-8) centred on x, its baseline on y, `fontPx` pixels high.
    virtual void Text(const ChartText& text, int fontPx, ChartColour colour) = 0;
};

class StatsChart {
public:
    // The totals per week, month and year, in PeriodKind order.
    explicit StatsChart(std::array<RunTotals, 3> totals);

    // The dialog's title and the choice at the top (CP936), in PeriodKind order.
    static std::string Title();
    static std::vector<std::string> PeriodChoices();

    PeriodKind period() const { return m_totals.by; }
    void SetPeriod(PeriodKind by);
    // The chart's area changed (or its DPI: scale 2 at 192).
    void Resize(const ChartView& view);
    const ChartLayout& layout() const { return m_layout; }
    // A click at content (x, y): chooses the bar there, or none.
    void Click(int x, int y);
    std::optional<std::size_t> chosen() const { return m_chosen; }
    // The line above the chart (CP936).
    std::string SummaryLine() const;
    // Where the view's left edge goes, in content pixels, from `from`: a key
    // moves it a bar, a view's width or to either end; a notch of the wheel
    // (positive: towards the later periods) three bars. Never past the content.
    int ScrolledTo(int from, ChartScroll how) const;
    int WheeledTo(int from, int notches) const;
    // Draws the bars that meet content columns [fromX, toX).
    void Paint(ChartCanvas& canvas, int fromX, int toX) const;

private:
    std::array<RunTotals, 3> m_every;
    RunTotals m_totals;
    ChartView m_view;
    ChartLayout m_layout;
    std::optional<std::size_t> m_chosen;
};

}  // namespace strivo
