#include "text/CodePage.h"

#include <windows.h>

#include "text/Utf8Sequence.h"

// The Windows converters do the table work; the replacement rules are ours,
// because theirs differ between Windows versions (and Wine) in exactly the
// cases CodePage.h pins down: how much of a bad sequence one "?" stands for,
// best-fit substitutes, and the user-defined areas mapped to private use.
namespace strivo {
namespace {

constexpr UINT kCp936 = 936;

// CP936's user-defined areas decode to U+E000..U+F8FF on Windows; glibc leaves
// them unassigned, and so do we, so that both builds write the same bytes.
constexpr bool IsPrivateUse(unsigned codePoint) {
    return codePoint >= 0xE000 && codePoint <= 0xF8FF;
}

unsigned DecodeUtf8(std::string_view sequence) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(sequence[i]); };
    switch (sequence.size()) {
        case 1:
            return byte(0);
        case 2:
            return (byte(0) & 0x1Fu) << 6 | (byte(1) & 0x3Fu);
        case 3:
            return (byte(0) & 0x0Fu) << 12 | (byte(1) & 0x3Fu) << 6 | (byte(2) & 0x3Fu);
        default:
            return (byte(0) & 0x07u) << 18 | (byte(1) & 0x3Fu) << 12 | (byte(2) & 0x3Fu) << 6 |
                   (byte(3) & 0x3Fu);
    }
}

std::string NarrowFromWide(UINT codePage, DWORD flags, const std::wstring& wide) {
    if (wide.empty()) {
        return {};
    }
    // The default character only applies to code pages other than UTF-8.
    const char* defaultChar = codePage == CP_UTF8 ? nullptr : "?";
    const int wideLength = static_cast<int>(wide.size());
    const int length = WideCharToMultiByte(codePage, flags, wide.data(), wideLength, nullptr, 0,
                                           defaultChar, nullptr);
    std::string out(static_cast<std::size_t>(length), '\0');
    WideCharToMultiByte(codePage, flags, wide.data(), wideLength, out.data(), length, defaultChar,
                        nullptr);
    return out;
}

}  // namespace

std::string Utf8ToCp936(std::string_view utf8) {
    // One UTF-16 unit per character, "?" already in place of what CP936 can
    // never hold, so that the converter's own "?" stands for one character too.
    std::wstring wide;
    wide.reserve(utf8.size());
    for (std::size_t pos = 0; pos < utf8.size();) {
        std::size_t badLength = 0;
        const std::size_t length = detail::Utf8SequenceLength(utf8.substr(pos), &badLength);
        if (length == 0) {
            wide.push_back(L'?');
            pos += badLength;
            continue;
        }
        const unsigned codePoint = DecodeUtf8(utf8.substr(pos, length));
        // CP936 has nothing outside the Basic Multilingual Plane: emoji and the
        // tag characters of flags become one "?", not one per surrogate.
        const bool representable = codePoint <= 0xFFFF && !IsPrivateUse(codePoint);
        wide.push_back(representable ? static_cast<wchar_t>(codePoint) : L'?');
        pos += length;
    }
    // No best-fit substitutes: "À" must become "?", not "à".
    return NarrowFromWide(kCp936, WC_NO_BEST_FIT_CHARS, wide);
}

std::string Cp936ToUtf8(std::string_view cp936) {
    std::wstring wide;
    wide.reserve(cp936.size());
    for (std::size_t pos = 0; pos < cp936.size();) {
        const auto byte = static_cast<unsigned char>(cp936[pos]);
        if (byte < 0x80) {
            wide.push_back(static_cast<wchar_t>(byte));
            ++pos;
            continue;
        }
        // One character at a time: on a bad byte the converter would decide
        // itself how many bytes to swallow.
        const std::size_t length = Cp936CharLength(cp936, pos);
        wchar_t character = 0;
        const int converted = MultiByteToWideChar(kCp936, MB_ERR_INVALID_CHARS, cp936.data() + pos,
                                                  static_cast<int>(length), &character, 1);
        wide.push_back(converted == 1 && !IsPrivateUse(character) ? character : L'?');
        pos += length;
    }
    return NarrowFromWide(CP_UTF8, 0, wide);
}

}  // namespace strivo
