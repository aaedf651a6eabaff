#pragma once

#include <cstddef>
#include <string_view>

// UTF-8 scanning shared by the iconv and the Windows converters, so that both
// builds replace the same bytes. Not for use outside src/text.
namespace strivo::detail {

// Length of the well-formed UTF-8 sequence at the start of `text` (not empty),
// or 0 when it is not well formed. When it is not, `*badLength` receives the
// length of the maximal subpart to replace by one U+FFFD (at least 1).
std::size_t Utf8SequenceLength(std::string_view text, std::size_t* badLength);

}  // namespace strivo::detail
