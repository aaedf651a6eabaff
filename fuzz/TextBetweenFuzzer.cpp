// TextBetween on any text and markers. Input: start marker, NUL, end marker,
// NUL, text (the text may hold NUL bytes itself).
#include "FuzzSupport.h"
#include "text/TextHelpers.h"

using strivo::fuzz::Printable;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto parts = strivo::fuzz::Split(strivo::fuzz::AsText(data, size), '\0', 3);
    const std::string_view start = parts[0], end = parts[1], text = parts[2];

    const std::string value = strivo::TextBetween(text, start, end);
    // Built only when a check fails.
    const auto context = [&] {
        return "start=" + Printable(start) + " end=" + Printable(end) + " text=" + Printable(text) +
               " value=" + Printable(value);
    };

    FUZZ_CHECK(text.find(value) != std::string_view::npos, context());

    const std::size_t at = text.find(start);
    if (at == std::string_view::npos) {
        FUZZ_CHECK(value.empty(), context());
        return 0;
    }
    // What follows the first start marker: the value, then the end marker,
    // which must not occur any earlier.
    const std::string_view after = text.substr(at + start.size());
    FUZZ_CHECK(after.substr(0, value.size()) == value, context());
    if (end.empty()) {
        FUZZ_CHECK(value.size() == after.size(), context());
        return 0;
    }
    const std::string valueAndEnd = value + std::string(end);
    if (!value.empty()) {
        FUZZ_CHECK(text.find(std::string(start) + valueAndEnd) != std::string_view::npos,
                   context());
    }
    if (after.substr(0, valueAndEnd.size()) == valueAndEnd) {
        FUZZ_CHECK(valueAndEnd.find(end) == value.size(), context());
    } else {
        // No end marker after the start: nothing, not the rest of the text.
        FUZZ_CHECK(value.empty() && after.find(end) == std::string_view::npos, context());
    }
    return 0;
}
