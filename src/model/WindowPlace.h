#pragma once

namespace strivo {

// Where a window stands on screen, in pixels, as it was last left: its
// normal size and place, and whether it was maximised over them.
struct WindowPlace {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    bool maximized = false;

    bool operator==(const WindowPlace&) const = default;
};

}  // namespace strivo
