#pragma once

// strivo-cli's sentences in the user's language, from the catalogs of the
// text domain "strivo-cli" through the C library's gettext. Without libintl
// (the MinGW build) and in a process that did not bind the domain (the unit
// tests) they stay English.

#include <string>
#include <string_view>
#include <vector>

#if STRIVO_GETTEXT
#include <libintl.h>
#endif

namespace strivo {

inline constexpr const char* kTextDomain = "strivo-cli";

// The translation of an English sentence.
inline const char* Tr(const char* english) {
#if STRIVO_GETTEXT
    return ::dgettext(kTextDomain, english);
#else
    return english;
#endif
}

// The translation of the form that goes with `count`.
inline const char* TrN(const char* one, const char* many, unsigned long count) {
#if STRIVO_GETTEXT
    return ::dngettext(kTextDomain, one, many, count);
#else
    return count == 1 ? one : many;
#endif
}

// Marks a sentence for the catalogs where it cannot be translated yet (a
// table built before main); Tr translates it where it is used.
constexpr const char* N_(const char* english) {
    return english;
}

// `pattern` with {0}, {1}, ... replaced by the values, so that a translation
// can put them in its own order.
std::string FillIn(std::string_view pattern, const std::vector<std::string>& values);

// A reason a lower library gave in English, in the user's words: hosts,
// paths, numbers and a library's own text stay as they are.
std::string TrReason(std::string_view english);

inline std::string AsText(std::string_view text) {
    return std::string(text);
}
inline std::string AsText(long long number) {
    return std::to_string(number);
}

template <typename... Values>
std::string Fill(std::string_view pattern, const Values&... values) {
    return FillIn(pattern, {AsText(values)...});
}

}  // namespace strivo
