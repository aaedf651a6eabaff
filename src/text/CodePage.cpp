#include "text/CodePage.h"

#include "text/Utf8Sequence.h"

// The platform-neutral part of the code-page module: double-byte stepping and
// the UTF-8 rules both converters follow.
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

namespace detail {

std::size_t Utf8SequenceLength(std::string_view text, std::size_t* badLength) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(0);
    *badLength = 1;
    if (lead < 0x80) {
        return 1;
    }
    std::size_t length;
    unsigned char low = 0x80, high = 0xBF;  // allowed range of the second byte
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0)
            low = 0xA0;  // no overlong forms
        if (lead == 0xED)
            high = 0x9F;  // no surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0)
            low = 0x90;
        if (lead == 0xF4)
            high = 0x8F;  // nothing above U+10FFFF
    } else {
        return 0;
    }
    for (std::size_t i = 1; i < length; ++i) {
        if (i >= text.size()) {
            *badLength = i;
            return 0;
        }
        const unsigned char c = byte(i);
        const bool ok = i == 1 ? (c >= low && c <= high) : (c >= 0x80 && c <= 0xBF);
        if (!ok) {
            *badLength = i;
            return 0;
        }
    }
    return length;
}

}  // namespace detail

bool IsUtf8(std::string_view text) {
    for (std::size_t pos = 0, ignored = 0; pos < text.size();) {
        const std::size_t length = detail::Utf8SequenceLength(text.substr(pos), &ignored);
        if (length == 0) {
            return false;
        }
        pos += length;
    }
    return true;
}

}  // namespace strivo
