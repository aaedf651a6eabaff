#pragma once

// The one catalogue of the program's words, compiled into it from po/*.po
// (cmake/CompileCatalogs.cmake), so that a copied or installed program keeps
// them. strivo-cli speaks the user's language: until main picks one (and in
// the unit tests) it stays English. The window speaks Chinese whatever the
// locale: its words come from the zh_CN catalogue always (Zh).

#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace strivo {

// One translated sentence: its English forms and the translated forms, as
// many as the catalog's plural rule has.
struct CatalogMessage {
    const char* english;
    const char* englishPlural;  // null for a sentence without plural forms
    const char* forms[6];
};

struct MessageCatalog {
    const char* language;  // "zh_CN": the .po file's name
    unsigned long formCount;
    unsigned long (*plural)(unsigned long n);  // the header's Plural-Forms
    std::span<const CatalogMessage> messages;
};

// The catalogs compiled in (made at build time).
std::span<const MessageCatalog> BuiltInCatalogs();

// The languages gettext would try for messages, in order, from the
// environment: LANGUAGE's list, unless the locale that LC_ALL, LC_MESSAGES
// or LANG names (the first one set) is C, else that locale.
std::vector<std::string> LanguagesFromEnvironment(
    const std::function<const char*(const char*)>& getenv);

// Translates from now on into the first of `languages` ("zh_CN.UTF-8",
// "zh_CN", "zh") that a catalog answers to; "C", or none, keeps English.
// Called before any thread that translates starts.
void UseLanguages(const std::vector<std::string>& languages);

// The catalogue in use (null: English), and the window's.
const MessageCatalog* CatalogInUse();
const MessageCatalog* ChineseCatalog();

// The translation of an English sentence, in the catalogue in use or in `catalog`.
const char* Tr(const char* english);
const char* TrIn(const MessageCatalog* catalog, const char* english);

// The translation of the form that goes with `count`.
const char* TrN(const char* one, const char* many, unsigned long count);
const char* TrNIn(const MessageCatalog* catalog, const char* one, const char* many,
                  unsigned long count);

// A window text (UTF-8), in Chinese whatever the locale.
inline const char* Zh(const char* english) {
    return TrIn(ChineseCatalog(), english);
}

// Marks a sentence for the catalogs where it cannot be translated yet (a
// table built before main); Tr translates it where it is used.
constexpr const char* N_(const char* english) {
    return english;
}

// `pattern` with {0}, {1}, ... replaced by the values, so that a translation
// can put them in its own order.
std::string FillIn(std::string_view pattern, const std::vector<std::string>& values);

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
