#pragma once

#include <string>
#include <string_view>

namespace strivo {

// Windows only: a text in `codePage` (65001 for UTF-8, 936) as UTF-16 and back,
// for the W functions of the Windows API. Bytes the code page cannot read, or
// characters it cannot hold, follow Windows' own replacement rules.
std::wstring WideFrom(std::string_view text, unsigned codePage);
std::string NarrowFrom(std::wstring_view wide, unsigned codePage);

}  // namespace strivo
