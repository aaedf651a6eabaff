#include "ui/wx/AppIcons.h"

#include <wx/image.h>
#include <wx/mstream.h>

#include <span>
#include <string>
#include <string_view>

namespace strivo::resources {
std::span<const unsigned char> EmbeddedFile(std::string_view name);
}

namespace strivo {

wxIcon AppIcon(int size) {
    const auto bytes = resources::EmbeddedFile("strivo-" + std::to_string(size) + ".png");
    wxMemoryInputStream stream(bytes.data(), bytes.size());
    wxImage image;
    if (!wxImage::FindHandler(wxBITMAP_TYPE_PNG)) {
        wxImage::AddHandler(new wxPNGHandler);
    }
    wxIcon icon;
    if (image.LoadFile(stream, wxBITMAP_TYPE_PNG)) {
        icon.CopyFromBitmap(wxBitmap(image));
    }
    return icon;
}

wxIconBundle AppIcons() {
    wxIconBundle bundle;
    for (const int size : {16, 32, 48}) {
        bundle.AddIcon(AppIcon(size));
    }
    return bundle;
}

}  // namespace strivo
