// FormEncode on any bytes. What it sends must stay inside the form alphabet
// and decode back to exactly what was given.
#include "FuzzSupport.h"
#include "text/TextHelpers.h"

namespace {

using strivo::fuzz::Printable;

int Hex(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

bool IsUpperHex(char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F');
}

bool IsLowerHex(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f');
}

bool StandsForItself(unsigned char byte) {
    return (byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z') ||
           (byte >= '0' && byte <= '9') ||
           std::string_view("'()*-._").find(byte) != std::string_view::npos;
}

bool IsReserved(unsigned char byte) {
    return byte != 0 &&
           std::string_view("\"<>%\\^[]`+$,@:;/!#?=&").find(byte) != std::string_view::npos;
}

// Decodes as a form reader does, and checks on the way that each byte took
// its one allowed form: itself, "+" for a blank, lowercase hex for the
// reserved characters, uppercase hex for the rest.
void CheckAndDecode(const std::string& encoded, const std::string& expected) {
    const auto context = [&] {
        return "encoded=" + Printable(encoded) + " expected=" + Printable(expected);
    };
    std::string decoded;
    for (std::size_t i = 0; i < encoded.size(); ++i) {
        const auto byte = static_cast<unsigned char>(encoded[i]);
        if (byte == '+') {
            decoded.push_back(' ');
        } else if (byte == '%') {
            FUZZ_CHECK(
                i + 2 < encoded.size() && Hex(encoded[i + 1]) >= 0 && Hex(encoded[i + 2]) >= 0,
                context());
            const auto value =
                static_cast<unsigned char>(Hex(encoded[i + 1]) * 16 + Hex(encoded[i + 2]));
            FUZZ_CHECK(!StandsForItself(value) && value != ' ', context());
            if (IsReserved(value)) {
                FUZZ_CHECK(IsLowerHex(encoded[i + 1]) && IsLowerHex(encoded[i + 2]), context());
            } else {
                FUZZ_CHECK(IsUpperHex(encoded[i + 1]) && IsUpperHex(encoded[i + 2]), context());
            }
            decoded.push_back(static_cast<char>(value));
            i += 2;
        } else {
            FUZZ_CHECK(StandsForItself(byte), context());
            decoded.push_back(static_cast<char>(byte));
        }
    }
    FUZZ_CHECK(decoded == expected, context() + " decoded=" + Printable(decoded));
    FUZZ_CHECK(encoded.size() <= 3 * expected.size(), context());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string input(strivo::fuzz::AsText(data, size));

    CheckAndDecode(strivo::FormEncode(input), input);
    return 0;
}
