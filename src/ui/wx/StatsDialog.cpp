#include "ui/wx/StatsDialog.h"

#include <wx/choice.h>
#include <wx/dcclient.h>
#include <wx/scrolwin.h>
#include <wx/sizer.h>
#include <wx/stattext.h>

#include <algorithm>
#include <utility>

#include "ui/wx/WxText.h"

namespace strivo {
namespace {

class DcCanvas : public ChartCanvas {
public:
    explicit DcCanvas(wxDC& dc) : m_dc(dc) {}
    void FillRect(const ChartRect& rect, ChartColour colour) override {
        m_dc.SetPen(*wxTRANSPARENT_PEN);
        m_dc.SetBrush(wxBrush(Colour(colour)));
        m_dc.DrawRectangle(rect.x, rect.y, rect.width, rect.height);
    }
    void Line(int x1, int y1, int x2, int y2, ChartColour colour) override {
        m_dc.SetPen(wxPen(Colour(colour)));
        m_dc.DrawLine(x1, y1, x2, y2);
    }
    void Text(const ChartText& text, int fontPx, ChartColour colour) override {
        wxFont font = m_dc.GetFont();
        font.SetPixelSize({0, fontPx});
        m_dc.SetFont(font);
        m_dc.SetTextForeground(Colour(colour));
        wxCoord width = 0, height = 0, descent = 0;
        const wxString ascii = wxString::FromUTF8(text.text);
        m_dc.GetTextExtent(ascii, &width, &height, &descent);
        m_dc.DrawText(ascii, text.x - width / 2, text.y - (height - descent));
    }

private:
    static wxColour Colour(ChartColour c) { return {c.red, c.green, c.blue}; }
    wxDC& m_dc;
};

// The bars, scrolled sideways when they do not fit.
class ChartPanel : public wxScrolledCanvas {
public:
    ChartPanel(wxWindow* parent, StatsChart& chart) : wxScrolledCanvas(parent), m_chart(chart) {
        SetBackgroundColour(*wxWHITE);
        ShowScrollbars(wxSHOW_SB_ALWAYS, wxSHOW_SB_NEVER);
        Bind(wxEVT_PAINT, [this](wxPaintEvent&) {
            wxPaintDC dc(this);
            DoPrepareDC(dc);
            dc.SetFont(GetFont());
            DcCanvas canvas(dc);
            const int from = CalcUnscrolledPosition({0, 0}).x;
            m_chart.Paint(canvas, from, from + GetClientSize().x);
        });
        Bind(wxEVT_SIZE, [this](wxSizeEvent& event) {
            LayOut();
            event.Skip();
        });
        // GTK's wheel scrolls up and down only, which this chart does not.
        Bind(wxEVT_MOUSEWHEEL, [this](wxMouseEvent& event) {
            m_wheel += event.GetWheelRotation();
            const int notches = m_wheel / std::max(event.GetWheelDelta(), 1);
            m_wheel -= notches * event.GetWheelDelta();
            const bool sideways = event.GetWheelAxis() == wxMOUSE_WHEEL_HORIZONTAL;
            ScrollTo(m_chart.WheeledTo(ViewX(), sideways ? notches : -notches));
        });
    }

    // The content x at the view's left edge.
    int ViewX() const { return CalcUnscrolledPosition({0, 0}).x; }
    void ScrollTo(int x) {
        const int step = FromDIP(8);
        Scroll((x + step - 1) / step, -1);  // at the end, all of the last bar
    }

    void LayOut() {
        const wxSize size = GetClientSize();
        m_chart.Resize({size.x, size.y, GetDPIScaleFactor()});
        const int step = FromDIP(8);
        SetScrollRate(step, 0);
        SetVirtualSize(m_chart.layout().width, size.y);
        if (!m_laidOut) {  // the latest periods first in sight
            Scroll(m_chart.layout().width / step, 0);
            m_laidOut = size.x > 0;
        }
        Refresh();
    }

private:
    StatsChart& m_chart;
    bool m_laidOut = false;
    int m_wheel = 0;  // rotation short of a notch
};

}  // namespace

StatsDialog::StatsDialog(wxWindow* parent, StatsChart& chart)
    : wxDialog(parent, wxID_ANY, ToWx(StatsChart::Title()), wxDefaultPosition, wxDefaultSize,
               wxDEFAULT_DIALOG_STYLE | wxRESIZE_BORDER) {
    auto* period = new wxChoice(this, wxID_ANY);
    for (const std::string& choice : StatsChart::PeriodChoices()) {
        period->Append(ToWx(choice));
    }
    period->SetSelection(static_cast<int>(chart.period()));
    auto* line = new wxStaticText(this, wxID_ANY, ToWx(chart.SummaryLine()));
    auto* panel = new ChartPanel(this, chart);
    period->Bind(wxEVT_CHOICE, [&chart, period, line, panel](wxCommandEvent&) {
        chart.SetPeriod(static_cast<PeriodKind>(period->GetSelection()));
        line->SetLabel(ToWx(chart.SummaryLine()));
        panel->LayOut();
    });
    panel->Bind(wxEVT_LEFT_DOWN, [&chart, line, panel](wxMouseEvent& event) {
        const wxPoint at = panel->CalcUnscrolledPosition(event.GetPosition());
        chart.Click(at.x, at.y);
        line->SetLabel(ToWx(chart.SummaryLine()));
        panel->Refresh();
    });

    // Escape closes it, as it does the Windows dialog; it has no Cancel button
    // for wx to press. The keys that scroll the chart do so wherever the
    // focus is: up and down are left to the choice of period.
    Bind(wxEVT_CHAR_HOOK, [this, &chart, panel](wxKeyEvent& event) {
        static constexpr std::pair<int, ChartScroll> kKeys[] = {
            {WXK_LEFT, ChartScroll::Left},        {WXK_RIGHT, ChartScroll::Right},
            {WXK_PAGEUP, ChartScroll::PageLeft},  {WXK_PAGEDOWN, ChartScroll::PageRight},
            {WXK_HOME, ChartScroll::Home},        {WXK_END, ChartScroll::End},
            {WXK_NUMPAD_LEFT, ChartScroll::Left}, {WXK_NUMPAD_RIGHT, ChartScroll::Right},
            {WXK_NUMPAD_HOME, ChartScroll::Home}, {WXK_NUMPAD_END, ChartScroll::End}};
        if (event.GetKeyCode() == WXK_ESCAPE) {
            Close();
            return;
        }
        for (const auto& [key, how] : kKeys) {
            if (event.GetKeyCode() == key && event.GetModifiers() == wxMOD_NONE) {
                panel->ScrollTo(chart.ScrolledTo(panel->ViewX(), how));
                return;
            }
        }
        event.Skip();
    });

    auto* sizer = new wxBoxSizer(wxVERTICAL);
    const int gap = FromDIP(8);
    sizer->Add(period, 0, wxALL, gap);
    sizer->Add(line, 0, wxLEFT | wxRIGHT | wxEXPAND, gap);
    sizer->Add(panel, 1, wxALL | wxEXPAND, gap);
    SetSizer(sizer);
    SetSize(FromDIP(wxSize(640, 380)));
    Centre();
}

}  // namespace strivo
