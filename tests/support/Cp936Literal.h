#pragma once

#include <string>

#include "text/CodePage.h"

namespace strivo::test {

// Tests write Chinese text in UTF-8 source; the system works on CP936 bytes.
inline std::string Cp936(const char* utf8) {
    return Utf8ToCp936(utf8);
}

}  // namespace strivo::test
