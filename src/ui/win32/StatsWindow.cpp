// The statistics dialog on Windows, as ui/wx/StatsDialog is on Linux.

// windows.h comes before every other Windows header.
#include <windows.h>

#include <optional>

#include "text/WideText.h"
#include "ui/ControlIds.h"
#include "ui/win32/StatsWindow.h"

namespace strivo {
namespace {

constexpr wchar_t kChartClass[] = L"StrivoChart";
constexpr int kScrollStep = 8;

COLORREF Rgb(ChartColour c) {
    return RGB(c.red, c.green, c.blue);
}

// Draws content pixels at `scrolled` pixels to the left.
class GdiCanvas : public ChartCanvas {
public:
    GdiCanvas(HDC dc, int scrolled, HFONT dialogFont) : m_dc(dc), m_dx(-scrolled) {
        GetObjectW(dialogFont, sizeof m_font, &m_font);
        SetBkMode(dc, TRANSPARENT);
        SetTextAlign(dc, TA_CENTER | TA_BASELINE);
    }
    void FillRect(const ChartRect& rect, ChartColour colour) override {
        const HBRUSH brush = CreateSolidBrush(Rgb(colour));
        const RECT r{rect.x + m_dx, rect.y, rect.x + m_dx + rect.width, rect.y + rect.height};
        ::FillRect(m_dc, &r, brush);
        DeleteObject(brush);
    }
    void Line(int x1, int y1, int x2, int y2, ChartColour colour) override {
        const HGDIOBJ before = SelectObject(m_dc, CreatePen(PS_SOLID, 1, Rgb(colour)));
        MoveToEx(m_dc, x1 + m_dx, y1, nullptr);
        LineTo(m_dc, x2 + m_dx, y2);
        DeleteObject(SelectObject(m_dc, before));
    }
    void Text(const ChartText& text, int fontPx, ChartColour colour) override {
        LOGFONTW font = m_font;
        font.lfHeight = -fontPx;
        const HGDIOBJ before = SelectObject(m_dc, CreateFontIndirectW(&font));
        SetTextColor(m_dc, Rgb(colour));
        const std::wstring wide = WideFrom(text.text, CP_UTF8);
        TextOutW(m_dc, text.x + m_dx, text.y, wide.c_str(), static_cast<int>(wide.size()));
        DeleteObject(SelectObject(m_dc, before));
    }

private:
    HDC m_dc;
    int m_dx;
    LOGFONTW m_font{};
};

StatsChart* ChartOf(HWND window) {
    return reinterpret_cast<StatsChart*>(GetWindowLongPtrW(window, GWLP_USERDATA));
}

int ScrollPos(HWND window) {
    return GetScrollPos(window, SB_HORZ);
}

void ScrollTo(HWND window, int pos) {
    SetScrollPos(window, SB_HORZ, pos, TRUE);
    InvalidateRect(window, nullptr, TRUE);
}

// The keys that scroll the chart, as the wx dialog has them.
std::optional<ChartScroll> ScrollOfKey(WPARAM key) {
    switch (key) {
        case VK_LEFT:
            return ChartScroll::Left;
        case VK_RIGHT:
            return ChartScroll::Right;
        case VK_PRIOR:
            return ChartScroll::PageLeft;
        case VK_NEXT:
            return ChartScroll::PageRight;
        case VK_HOME:
            return ChartScroll::Home;
        case VK_END:
            return ChartScroll::End;
        default:
            return std::nullopt;
    }
}

// Lays the chart out for the window's size and DPI; `toEnd` shows the latest periods.
void LayOut(HWND window, bool toEnd) {
    StatsChart* chart = ChartOf(window);
    RECT client{};
    GetClientRect(window, &client);
    const HDC dc = GetDC(window);
    const double scale = GetDeviceCaps(dc, LOGPIXELSY) / 96.0;
    ReleaseDC(window, dc);
    chart->Resize({client.right, client.bottom, scale});
    SCROLLINFO info{sizeof info, SIF_RANGE | SIF_PAGE | SIF_POS | SIF_DISABLENOSCROLL};
    info.nMax = chart->layout().width - 1;
    info.nPage = static_cast<UINT>(client.right);
    info.nPos = toEnd ? info.nMax : ScrollPos(window);
    SetScrollInfo(window, SB_HORZ, &info, TRUE);
    InvalidateRect(window, nullptr, TRUE);
}

LRESULT CALLBACK ChartProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    StatsChart* chart = ChartOf(window);
    if (chart == nullptr) {
        return DefWindowProcW(window, message, wParam, lParam);
    }
    switch (message) {
        case WM_SIZE:
            LayOut(window, false);
            return 0;
        case WM_PAINT: {
            PAINTSTRUCT paint;
            const HDC dc = BeginPaint(window, &paint);
            RECT client{};
            GetClientRect(window, &client);
            const int from = ScrollPos(window);
            GdiCanvas canvas(
                dc, from,
                reinterpret_cast<HFONT>(SendMessageW(GetParent(window), WM_GETFONT, 0, 0)));
            chart->Paint(canvas, from, from + client.right);
            EndPaint(window, &paint);
            return 0;
        }
        case WM_HSCROLL: {
            SCROLLINFO info{sizeof info, SIF_ALL};
            GetScrollInfo(window, SB_HORZ, &info);
            int pos = info.nPos;
            switch (LOWORD(wParam)) {
                case SB_LINELEFT:
                    pos -= kScrollStep;
                    break;
                case SB_LINERIGHT:
                    pos += kScrollStep;
                    break;
                case SB_PAGELEFT:
                    pos -= static_cast<int>(info.nPage);
                    break;
                case SB_PAGERIGHT:
                    pos += static_cast<int>(info.nPage);
                    break;
                case SB_THUMBTRACK:
                    pos = info.nTrackPos;
                    break;
                default:
                    break;
            }
            ScrollTo(window, pos);
            return 0;
        }
        // The chart takes the focus when the dialog opens and on a click, so
        // that the wheel and the keys reach it.
        case WM_GETDLGCODE:
            return DLGC_WANTARROWS;
        case WM_KEYDOWN:
            if (const std::optional<ChartScroll> how = ScrollOfKey(wParam)) {
                ScrollTo(window, chart->ScrolledTo(ScrollPos(window), *how));
                return 0;
            }
            return DefWindowProcW(window, message, wParam, lParam);
        case WM_MOUSEWHEEL:
        case WM_MOUSEHWHEEL: {
            // Down and to the right are towards the later periods.
            const int notches = GET_WHEEL_DELTA_WPARAM(wParam) / WHEEL_DELTA;
            ScrollTo(window, chart->WheeledTo(ScrollPos(window),
                                              message == WM_MOUSEHWHEEL ? notches : -notches));
            return 0;
        }
        case WM_LBUTTONDOWN:
            SetFocus(window);
            chart->Click(static_cast<short>(LOWORD(lParam)) + ScrollPos(window),
                         static_cast<short>(HIWORD(lParam)));
            InvalidateRect(window, nullptr, TRUE);
            SendMessageW(GetParent(window), WM_COMMAND, MAKEWPARAM(IDC_STATS_CHART, STN_CLICKED),
                         reinterpret_cast<LPARAM>(window));
            return 0;
        default:
            return DefWindowProcW(window, message, wParam, lParam);
    }
}

void ShowLine(HWND dialog, const StatsChart& chart) {
    SetDlgItemTextW(dialog, IDC_STATS_LINE, WideFrom(chart.SummaryLine(), 936).c_str());
}

INT_PTR CALLBACK StatsProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        auto* chart = reinterpret_cast<StatsChart*>(lParam);
        SetWindowLongPtrW(dialog, DWLP_USER, lParam);
        const HWND period = GetDlgItem(dialog, IDC_STATS_PERIOD);
        for (const std::string& choice : StatsChart::PeriodChoices()) {
            SendMessageW(period, CB_ADDSTRING, 0,
                         reinterpret_cast<LPARAM>(WideFrom(choice, 936).c_str()));
        }
        SendMessageW(period, CB_SETCURSEL, static_cast<WPARAM>(chart->period()), 0);
        ShowLine(dialog, *chart);
        const HWND chartWindow = GetDlgItem(dialog, IDC_STATS_CHART);
        SetWindowLongPtrW(chartWindow, GWLP_USERDATA, lParam);
        LayOut(chartWindow, true);
        SetFocus(chartWindow);
        return FALSE;  // the focus was set
    }
    auto* chart = reinterpret_cast<StatsChart*>(GetWindowLongPtrW(dialog, DWLP_USER));
    if (message != WM_COMMAND || chart == nullptr) {
        return FALSE;
    }
    switch (LOWORD(wParam)) {
        case IDC_STATS_PERIOD:
            if (HIWORD(wParam) == CBN_SELCHANGE) {
                chart->SetPeriod(static_cast<PeriodKind>(
                    SendMessageW(GetDlgItem(dialog, IDC_STATS_PERIOD), CB_GETCURSEL, 0, 0)));
                ShowLine(dialog, *chart);
                LayOut(GetDlgItem(dialog, IDC_STATS_CHART), true);
            }
            return TRUE;
        case IDC_STATS_CHART:
            ShowLine(dialog, *chart);
            return TRUE;
        case IDOK:
        case IDCANCEL:
            EndDialog(dialog, LOWORD(wParam));
            return TRUE;
        default:
            return FALSE;
    }
}

}  // namespace

void ShowStatsWindow(HWND owner, StatsChart& chart) {
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSW chartClass{};
    if (!GetClassInfoW(instance, kChartClass, &chartClass)) {
        chartClass.lpfnWndProc = &ChartProc;
        chartClass.hInstance = instance;
        chartClass.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
        chartClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
        chartClass.lpszClassName = kChartClass;
        RegisterClassW(&chartClass);
    }
    DialogBoxParamW(instance, MAKEINTRESOURCEW(IDD_STATS), owner, &StatsProc,
                    reinterpret_cast<LPARAM>(&chart));
}

}  // namespace strivo
