// BodyLineReader, whose plain bytes go eight at a time, against a model that
// takes one byte at a time by the same rules. Input: one byte for how many
// piece sizes follow (at most 7), the sizes (the body arrives in pieces of
// those sizes, cycled), then the body.
#include <string>

#include "FuzzSupport.h"
#include "net/BodyLineReader.h"

namespace {

using strivo::BodyLineReader;

// CRs dropped; reads of at most kReadLimit bytes ending after a LF; a zero
// byte ends the text taken from its read; LF written as CR LF.
std::string Model(std::string_view body) {
    std::string out;
    std::size_t length = 0;  // CR-free bytes of the current read
    bool cut = false;
    for (const char byte : body) {
        if (byte == '\r') {
            continue;
        }
        ++length;
        if (!cut) {
            if (byte == '\0') {
                cut = true;
            } else {
                out += byte == '\n' ? std::string_view("\r\n") : std::string_view(&byte, 1);
            }
        }
        if (byte == '\n' || length == BodyLineReader::kReadLimit) {
            length = 0;
            cut = false;
        }
    }
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view input = strivo::fuzz::AsText(data, size);
    if (input.empty()) {
        return 0;
    }
    const std::size_t count =
        std::min<std::size_t>(static_cast<unsigned char>(input[0]) % 8, input.size() - 1);
    const std::string_view sizes = input.substr(1, count);
    const std::string_view body = input.substr(1 + count);

    std::string sunk;
    BodyLineReader reader([&](std::string_view text) { sunk += text; });
    std::size_t at = 0;
    for (std::size_t i = 0; at < body.size(); ++i) {
        const std::size_t piece =
            sizes.empty() ? body.size() : static_cast<unsigned char>(sizes[i % sizes.size()]) + 1;
        reader.Append(body.substr(at, piece));
        at += std::min(piece, body.size() - at);
    }
    const std::string expected = Model(body);
    FUZZ_CHECK(sunk == expected, "body=" + strivo::fuzz::Printable(body) +
                                     "\ngot=" + strivo::fuzz::Printable(sunk) +
                                     "\nwant=" + strivo::fuzz::Printable(expected));
    return 0;
}
