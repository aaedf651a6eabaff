#pragma once

#include <wx/window.h>

namespace strivo {

// A rectangle in dialog units: x, y, width, height.
struct DialogRect {
    int x, y, width, height;
};

// Gives `dialog` the font its layout is drawn for: "宋体" 9 pt where installed,
// else a CJK font at the size whose dialog units come closest to the 6 x 13
// pixels per 4 x 8 units that layout was made with.
void UseDialogFont(wxWindow* dialog);

// Places `control` at `rect` (dialog units of its parent), never smaller than
// its best size.
void PlaceAt(wxWindow* control, const DialogRect& rect);

// A rectangle in pixels of the dialog's font.
wxRect ToPixels(const wxWindow* dialog, const DialogRect& rect);

// Tightens GTK's padding of entries and buttons so that controls fit the
// rectangles they were designed for (once per process; does nothing elsewhere).
void UseCompactControls();

}  // namespace strivo
