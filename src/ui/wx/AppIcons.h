#pragma once

#include <wx/iconbndl.h>

namespace strivo {

// The application icon at 16, 32 and 48 pixels, from the executable itself.
wxIconBundle AppIcons();
wxIcon AppIcon(int size);

}  // namespace strivo
