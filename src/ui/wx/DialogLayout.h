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

// Moves `label` up or down so that its text sits level with `field`'s.
void LevelWith(wxWindow* label, const wxWindow* field);

// Draws a thin sunken frame around a static control, as wxBORDER_STATIC does
// where the platform draws it.
void DrawFrame(wxWindow* control);

// Once `dialog` shows (modal: call before ShowModal), shrinks it to the
// screen's work area where it would be larger; GTK's file chooser otherwise
// keeps its buttons off a small screen.
void FitOnScreenWhenShown(wxWindow* dialog);

// A rectangle in pixels of the dialog's font.
wxRect ToPixels(const wxWindow* dialog, const DialogRect& rect);

// Tightens GTK's padding of entries and buttons so that controls fit the
// rectangles they were designed for (once per process; does nothing elsewhere).
void UseCompactControls();

}  // namespace strivo
