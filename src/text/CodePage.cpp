#include "text/CodePage.h"

// The platform-neutral part of the code-page module: double-byte stepping.
namespace strivo {

std::size_t Cp936CharLength(std::string_view text, std::size_t pos) {
    if (pos + 1 < text.size() && IsCp936LeadByte(static_cast<unsigned char>(text[pos])) &&
        IsCp936TrailByte(static_cast<unsigned char>(text[pos + 1]))) {
        return 2;
    }
    return 1;
}

std::string_view Cp936Prefix(std::string_view text, std::size_t maxBytes) {
    if (text.size() <= maxBytes) {
        return text;
    }
    std::size_t pos = 0;
    while (pos < maxBytes) {
        const std::size_t length = Cp936CharLength(text, pos);
        if (pos + length > maxBytes) {
            break;
        }
        pos += length;
    }
    return text.substr(0, pos);
}

}  // namespace strivo
