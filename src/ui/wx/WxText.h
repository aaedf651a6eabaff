#pragma once

#include <wx/string.h>

#include <string>
#include <string_view>

#include "text/CodePage.h"

namespace strivo {

// The widgets speak Unicode; everything behind them is CP936.
inline wxString ToWx(std::string_view cp936) {
    return wxString::FromUTF8(Cp936ToUtf8(cp936));
}

// A field's text as the system's code page holds it: characters CP936 lacks
// become "?", as they would in an ANSI edit control.
inline std::string FromWx(const wxString& text) {
    const wxScopedCharBuffer utf8 = text.ToUTF8();
    return Utf8ToCp936(std::string_view(utf8.data(), utf8.length()));
}

// A UTF-8 literal for the widgets.
inline wxString Utf8(const char* text) {
    return wxString::FromUTF8(text);
}

}  // namespace strivo
