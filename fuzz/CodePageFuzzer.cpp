// The CP936 and UTF-8 conversions on any bytes, read both ways. What must hold:
//   - every character in becomes exactly one character out ("?" for what
//     cannot be converted), so nothing after a bad byte is lost;
//   - Cp936ToUtf8 writes well-formed UTF-8;
//   - Utf8ToCp936 writes CP936 that decodes without new "?", and is stable:
//     decoding and encoding it again gives the same bytes;
//   - text that came from CP936 survives the way to CP936 and back;
//   - Cp936Prefix cuts between characters, as late as the limit allows.
// A text decoded from CP936 need not come back as the same bytes: two CP936
// codes may stand for one character.
#include <algorithm>

#include "FuzzSupport.h"
#include "text/CodePage.h"

namespace {

using strivo::fuzz::Printable;

// Byte length of the CP936 character at `pos`: a lead byte and a trail byte,
// or one byte.
std::size_t Cp936Length(std::string_view text, std::size_t pos) {
    const auto lead = static_cast<unsigned char>(text[pos]);
    if (pos + 1 < text.size() && lead >= 0x81 && lead <= 0xFE) {
        const auto trail = static_cast<unsigned char>(text[pos + 1]);
        if (trail >= 0x40 && trail <= 0xFE && trail != 0x7F) {
            return 2;
        }
    }
    return 1;
}

std::size_t Cp936Characters(std::string_view text) {
    std::size_t count = 0;
    for (std::size_t pos = 0; pos < text.size(); pos += Cp936Length(text, pos)) {
        ++count;
    }
    return count;
}

struct Utf8Scan {
    std::size_t characters = 0;  // code points plus ill-formed pieces
    bool wellFormed = true;
};

// Unicode's table of well-formed byte sequences; an ill-formed piece is the
// longest start of a well-formed sequence (at least one byte), as one U+FFFD
// replaces it.
Utf8Scan ScanUtf8(std::string_view text) {
    struct Form {
        unsigned char leadLow, leadHigh, secondLow, secondHigh;
        std::size_t length;
    };
    static constexpr Form kForms[] = {
        {0x00, 0x7F, 0, 0, 1},       {0xC2, 0xDF, 0x80, 0xBF, 2}, {0xE0, 0xE0, 0xA0, 0xBF, 3},
        {0xE1, 0xEC, 0x80, 0xBF, 3}, {0xED, 0xED, 0x80, 0x9F, 3}, {0xEE, 0xEF, 0x80, 0xBF, 3},
        {0xF0, 0xF0, 0x90, 0xBF, 4}, {0xF1, 0xF3, 0x80, 0xBF, 4}, {0xF4, 0xF4, 0x80, 0x8F, 4},
    };
    Utf8Scan scan;
    std::size_t pos = 0;
    while (pos < text.size()) {
        const auto lead = static_cast<unsigned char>(text[pos]);
        const Form* form = nullptr;
        for (const Form& candidate : kForms) {
            if (lead >= candidate.leadLow && lead <= candidate.leadHigh) {
                form = &candidate;
            }
        }
        ++scan.characters;
        if (form == nullptr) {
            scan.wellFormed = false;
            ++pos;
            continue;
        }
        std::size_t taken = 1;
        while (taken < form->length && pos + taken < text.size()) {
            const auto byte = static_cast<unsigned char>(text[pos + taken]);
            const bool fits = taken == 1 ? byte >= form->secondLow && byte <= form->secondHigh
                                         : byte >= 0x80 && byte <= 0xBF;
            if (!fits) {
                break;
            }
            ++taken;
        }
        if (taken < form->length) {
            scan.wellFormed = false;
        }
        pos += taken;
    }
    return scan;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using strivo::Cp936ToUtf8;
    using strivo::Utf8ToCp936;
    const std::string_view input = strivo::fuzz::AsText(data, size);

    // The input as CP936.
    const std::string decoded = Cp936ToUtf8(input);
    const Utf8Scan decodedScan = ScanUtf8(decoded);
    const auto decodedContext = [&] {
        return "cp936=" + Printable(input) + " utf8=" + Printable(decoded);
    };
    FUZZ_CHECK(decodedScan.wellFormed, decodedContext());
    FUZZ_CHECK(decodedScan.characters == Cp936Characters(input), decodedContext());
    const std::string reencoded = Utf8ToCp936(decoded);
    FUZZ_CHECK(Cp936ToUtf8(reencoded) == decoded,
               decodedContext() + " back to cp936=" + Printable(reencoded));

    // The input as UTF-8.
    const std::string encoded = Utf8ToCp936(input);
    const auto encodedContext = [&] {
        return "utf8=" + Printable(input) + " cp936=" + Printable(encoded);
    };
    FUZZ_CHECK(Cp936Characters(encoded) == ScanUtf8(input).characters, encodedContext());
    const std::string encodedRead = Cp936ToUtf8(encoded);
    FUZZ_CHECK(std::count(encodedRead.begin(), encodedRead.end(), '?') ==
                   std::count(encoded.begin(), encoded.end(), '?'),
               encodedContext() + " read back=" + Printable(encodedRead));
    FUZZ_CHECK(Utf8ToCp936(encodedRead) == encoded,
               encodedContext() + " read back=" + Printable(encodedRead));

    // Cutting at a limit taken from the input's first byte.
    const std::size_t limit = input.empty() ? 0 : static_cast<unsigned char>(input[0]) % 64;
    const std::string_view prefix = strivo::Cp936Prefix(input, limit);
    const auto prefixContext = [&] {
        return "text=" + Printable(input) + " limit=" + std::to_string(limit) +
               " prefix=" + Printable(prefix);
    };
    FUZZ_CHECK(prefix.data() == input.data() && prefix.size() <= limit, prefixContext());
    if (input.size() <= limit) {
        FUZZ_CHECK(prefix.size() == input.size(), prefixContext());
    } else {
        std::size_t boundary = 0;
        while (boundary < prefix.size()) {
            boundary += Cp936Length(input, boundary);
        }
        FUZZ_CHECK(boundary == prefix.size(), prefixContext());
        FUZZ_CHECK(prefix.size() + Cp936Length(input, prefix.size()) > limit, prefixContext());
    }
    return 0;
}
