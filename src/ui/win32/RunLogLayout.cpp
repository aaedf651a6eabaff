// windows.h comes before every other Windows header.
#include <windows.h>

#include <algorithm>
#include <utility>

#include "ui/win32/RunLogIds.h"
#include "ui/win32/RunLogLayout.h"
#include "ui/win32/WindowParts.h"

namespace strivo {
namespace {

// A place kept while other screens were there: it stays where it is when its
// caption stands on a screen now, and moves onto the nearest screen, no
// larger than it, when not.
void KeepOnScreen(RECT& rect) {
    const LONG captionY = rect.top + GetSystemMetrics(SM_CYCAPTION) / 2;
    const LONG inset = std::min<LONG>(40, (rect.right - rect.left) / 2);
    if (MonitorFromPoint({rect.left + inset, captionY}, MONITOR_DEFAULTTONULL) != nullptr &&
        MonitorFromPoint({rect.right - inset, captionY}, MONITOR_DEFAULTTONULL) != nullptr) {
        return;
    }
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    GetMonitorInfoW(MonitorFromRect(&rect, MONITOR_DEFAULTTONEAREST), &monitor);
    const RECT& area = monitor.rcWork;
    const LONG width = std::min(rect.right - rect.left, area.right - area.left);
    const LONG height = std::min(rect.bottom - rect.top, area.bottom - area.top);
    const LONG left = std::clamp(rect.left, area.left, area.right - width);
    const LONG top = std::clamp(rect.top, area.top, area.bottom - height);
    rect = {left, top, left + width, top + height};
}

}  // namespace

void RunLogLayout::SetFigures(const std::vector<std::string>& figures) {
    while (m_figures.size() > figures.size()) {
        DestroyWindow(m_figures.back());
        m_figures.pop_back();
    }
    const auto font = static_cast<WPARAM>(SendMessageW(m_window, WM_GETFONT, 0, 0));
    while (m_figures.size() < figures.size()) {
        const auto id = static_cast<INT_PTR>(IDC_LOG_FIRST_FIGURE + m_figures.size());
        m_figures.push_back(CreateWindowExW(0, L"STATIC", L"", WS_CHILD | WS_VISIBLE | SS_NOPREFIX,
                                            0, 0, 0, 0, m_window, reinterpret_cast<HMENU>(id),
                                            GetModuleHandleW(nullptr), nullptr));
        SendMessageW(m_figures.back(), WM_SETFONT, font, FALSE);
    }
    for (std::size_t i = 0; i < figures.size(); ++i) {
        SetWindowTextW(m_figures[i], Wide(figures[i]).c_str());
    }
}

void RunLogLayout::FitFilter(std::size_t filter, int widest) {
    // Beside the arrow that opens it.
    m_filterWidths[filter] =
        std::max<int>(DialogUnits(m_window, 50, 0).cx,
                      widest + GetSystemMetrics(SM_CXVSCROLL) + DialogUnits(m_window, 8, 0).cx);
}

void RunLogLayout::LayOut() {
    RECT client{};
    GetClientRect(m_window, &client);
    if (m_window == nullptr || client.right <= 0) {
        return;
    }
    const HWND status = GetDlgItem(m_window, IDC_LOG_STATUS);
    SendMessageW(status, WM_SIZE, 0, 0);  // the status bar takes its place at the foot
    RECT bar{};
    GetWindowRect(status, &bar);
    const SIZE margin = DialogUnits(m_window, kMargin, kMargin);
    const SIZE gap = DialogUnits(m_window, kGap, kGap);
    const int width = std::max<int>(0, client.right - 2 * margin.cx);
    const int filtersTop = margin.cy + LayOutStrip(margin.cx, margin.cy, width) + gap.cy;
    const int listTop = filtersTop + LayOutFilters(margin.cx, filtersTop) + gap.cy;
    const HWND footer = GetDlgItem(m_window, IDC_LOG_FOOTER);
    const int footerHeight = TextHeight(footer, WindowText(footer), width);
    const int footerTop = client.bottom - (bar.bottom - bar.top) - gap.cy - footerHeight;
    MoveWindow(footer, margin.cx, footerTop, width, footerHeight, TRUE);
    MoveWindow(GetDlgItem(m_window, IDC_LOG_LIST), margin.cx, listTop, width,
               std::max<int>(0, footerTop - gap.cy - listTop), TRUE);
}

int RunLogLayout::LayOutStrip(int left, int top, int width) {
    const SIZE gap = DialogUnits(m_window, 16, 3);  // beside a figure, and under a row of them
    int x = left, y = top, lineHeight = 0;
    for (const HWND figure : m_figures) {
        const std::wstring text = WindowText(figure);
        const int figureWidth = TextWidth(figure, text);
        const int figureHeight = TextHeight(figure, text, figureWidth + 1);
        if (x > left && x + figureWidth > left + width) {
            x = left;
            y += lineHeight + gap.cy;
        }
        MoveWindow(figure, x, y, figureWidth, figureHeight, TRUE);
        x += figureWidth + gap.cx;
        lineHeight = std::max(lineHeight, figureHeight);
    }
    return y + lineHeight - top;
}

int RunLogLayout::LayOutFilters(int left, int top) {
    RECT closed{};
    GetWindowRect(GetDlgItem(m_window, IDC_LOG_YEAR), &closed);
    const int height = closed.bottom - closed.top;
    const SIZE gap = DialogUnits(m_window, kGap, kGap);
    const int dropped = DialogUnits(m_window, 0, 150).cy;  // a list opened shows this much
    constexpr std::pair<int, int> kFilters[] = {{IDC_LOG_YEAR_LABEL, IDC_LOG_YEAR},
                                                {IDC_LOG_STATE_LABEL, IDC_LOG_STATE}};
    int x = left;
    for (std::size_t i = 0; i < 2; ++i) {
        const HWND label = GetDlgItem(m_window, kFilters[i].first);
        const int labelWidth = TextWidth(label, WindowText(label));
        const int line = TextHeight(label, L" ", labelWidth + 1);
        MoveWindow(label, x, top + (height - line) / 2, labelWidth, line, TRUE);
        x += labelWidth + gap.cx;
        const int listWidth = std::max<int>(m_filterWidths[i], DialogUnits(m_window, 50, 0).cx);
        MoveWindow(GetDlgItem(m_window, kFilters[i].second), x, top, listWidth, dropped, TRUE);
        x += listWidth + 3 * gap.cx;
    }
    return height;
}

WindowPlace PlaceOf(HWND window, bool hiddenMaximized) {
    WINDOWPLACEMENT placement{};
    placement.length = sizeof placement;
    GetWindowPlacement(window, &placement);
    const RECT& rect = placement.rcNormalPosition;
    const bool maximized = IsWindowVisible(window)
                               ? placement.showCmd == SW_SHOWMAXIMIZED ||
                                     (placement.showCmd == SW_SHOWMINIMIZED &&
                                      (placement.flags & WPF_RESTORETOMAXIMIZED) != 0)
                               : hiddenMaximized;
    return {rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top, maximized};
}

void PutInPlace(HWND window, const WindowPlace& place) {
    RECT rect{place.x, place.y, place.x + place.width, place.y + place.height};
    KeepOnScreen(rect);
    WINDOWPLACEMENT placement{};
    placement.length = sizeof placement;
    GetWindowPlacement(window, &placement);
    placement.flags = 0;
    placement.showCmd = !IsWindowVisible(window) ? SW_HIDE
                        : place.maximized        ? SW_SHOWMAXIMIZED
                                                 : SW_SHOWNORMAL;
    placement.rcNormalPosition = rect;
    SetWindowPlacement(window, &placement);
}

void CentreOver(HWND window, HWND over) {
    RECT middle{}, own{};
    GetWindowRect(over, &middle);
    GetWindowRect(window, &own);
    const LONG width = own.right - own.left, height = own.bottom - own.top;
    RECT rect{(middle.left + middle.right - width) / 2, (middle.top + middle.bottom - height) / 2};
    rect.right = rect.left + width;
    rect.bottom = rect.top + height;
    KeepOnScreen(rect);
    SetWindowPos(window, nullptr, rect.left, rect.top, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

}  // namespace strivo
