#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "model/WindowPlace.h"

namespace strivo {

// The run log's controls laid out by hand as its window is sized: the
// strip's figures in rows that wrap, the two filters in a row, each label
// beside its list, the list, and the footer over the status bar.
class RunLogLayout {
public:
    explicit RunLogLayout(HWND window) : m_window(window) {}

    // A label per figure, so that a narrow window wraps between figures only.
    void SetFigures(const std::vector<std::string>& figures);
    // The `filter`th list is as wide as its widest choice, `widest` pixels.
    void FitFilter(std::size_t filter, int widest);
    void LayOut();

private:
    // The height each takes from `top`.
    int LayOutStrip(int left, int top, int width);
    int LayOutFilters(int left, int top);

    HWND m_window;
    std::vector<HWND> m_figures;
    int m_filterWidths[2]{};
};

// Where a window stands, its normal place and whether it is maximised
// (`hiddenMaximized` while it is hidden).
WindowPlace PlaceOf(HWND window, bool hiddenMaximized);
// Puts a window at `place`, kept on the screens there are now; a hidden
// window stays hidden.
void PutInPlace(HWND window, const WindowPlace& place);
// Puts `window` over the middle of `over`, on a screen.
void CentreOver(HWND window, HWND over);

}  // namespace strivo
