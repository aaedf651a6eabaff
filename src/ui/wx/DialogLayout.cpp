#include "ui/wx/DialogLayout.h"

#include <wx/display.h>
#include <wx/font.h>
#include <wx/fontenum.h>

#include <cstdlib>

#ifdef __WXGTK__
#include <gtk/gtk.h>
#endif

#include "ui/wx/WxText.h"

namespace strivo {
namespace {

// Windows' dialog units for the layout's font: 6 x 13 pixels per 4 x 8 units.
constexpr int kCharWidth = 6;
constexpr int kCharHeight = 13;

int Distance(wxWindow* window, const wxFont& font) {
    window->SetFont(font);
    return std::abs(window->GetCharWidth() - kCharWidth) * 2 +
           std::abs(window->GetCharHeight() - kCharHeight);
}

}  // namespace

void UseDialogFont(wxWindow* dialog) {
    for (const char* face : {"宋体", "SimSun"}) {
        if (wxFontEnumerator::IsValidFacename(Utf8(face))) {
            dialog->SetFont(wxFontInfo(9).FaceName(Utf8(face)));
            return;
        }
    }
    wxString face;
    for (const char* candidate :
         {"WenQuanYi Micro Hei", "Noto Sans CJK SC", "Noto Sans SC", "Droid Sans Fallback"}) {
        if (wxFontEnumerator::IsValidFacename(candidate)) {
            face = candidate;
            break;
        }
    }
    wxFont best;
    int bestDistance = 1 << 30;
    for (int points = 6; points <= 14; ++points) {
        wxFontInfo info(points);
        if (!face.empty()) {
            info.FaceName(face);
        }
        const wxFont font(info);
        const int distance = Distance(dialog, font);
        if (distance < bestDistance) {
            bestDistance = distance;
            best = font;
        }
    }
    dialog->SetFont(best);
}

wxRect ToPixels(const wxWindow* dialog, const DialogRect& rect) {
    const wxPoint position = dialog->ConvertDialogToPixels(wxPoint(rect.x, rect.y));
    const wxSize size = dialog->ConvertDialogToPixels(wxSize(rect.width, rect.height));
    return wxRect(position, size);
}

void PlaceAt(wxWindow* control, const DialogRect& rect) {
    wxRect pixels = ToPixels(control->GetParent(), rect);
    const wxSize best = control->GetBestSize();
    pixels.width = std::max(pixels.width, best.x);
    pixels.height = std::max(pixels.height, best.y);
    control->SetSize(pixels);
}

void LevelWith(wxWindow* label, const wxWindow* field) {
    const wxRect box = field->GetRect();
    label->Move(label->GetPosition().x, box.y + (box.height - label->GetSize().y) / 2);
}

void DrawFrame(wxWindow* control) {
#ifdef __WXGTK__
    gtk_style_context_add_class(gtk_widget_get_style_context(control->GetHandle()),
                                "strivo-framed");
#else
    (void)control;  // wxBORDER_STATIC draws it
#endif
}

void FitOnScreenWhenShown(wxWindow* dialog) {
    dialog->CallAfter([dialog] {
        const wxRect area = wxDisplay(dialog).GetClientArea();
        const auto fit = [&](int width, int height) {
            return wxSize(std::min(width, area.width * 9 / 10),
                          std::min(height, area.height * 9 / 10));
        };
#ifdef __WXGTK__
        // A native dialog's size is known only on the GTK side.
        GtkWindow* window = GTK_WINDOW(dialog->GetHandle());
        int width = 0;
        int height = 0;
        gtk_window_get_size(window, &width, &height);
        const wxSize size = fit(width, height);
        gtk_window_resize(window, size.x, size.y);
#else
        dialog->SetSize(fit(dialog->GetSize().x, dialog->GetSize().y));
#endif
    });
}

void UseCompactControls() {
#ifdef __WXGTK__
    static bool done = false;
    if (done) {
        return;
    }
    done = true;
    GtkCssProvider* provider = gtk_css_provider_new();
    gtk_css_provider_load_from_data(
        provider,
        "entry { min-height: 0; padding-top: 1px; padding-bottom: 1px; }\n"
        "button { min-height: 0; padding: 1px 6px; }\n"
        // A group box's title stands clear of the frame's corner.
        "frame > label { margin-left: 6px; margin-right: 3px; }\n"
        ".strivo-framed { border: 1px solid @borders; padding: 0 2px; }\n",
        -1, nullptr);
    gtk_style_context_add_provider_for_screen(gdk_screen_get_default(),
                                              GTK_STYLE_PROVIDER(provider),
                                              GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
    g_object_unref(provider);
#endif
}

}  // namespace strivo
