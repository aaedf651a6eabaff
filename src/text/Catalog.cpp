#include "text/Catalog.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cstring>
#include <optional>

namespace strivo {
namespace {

std::atomic<const MessageCatalog*> g_catalog{nullptr};

const CatalogMessage* Find(const MessageCatalog* catalog, const char* english) {
    if (catalog == nullptr) {
        return nullptr;
    }
    // A few hundred sentences at most, each looked up once per line printed.
    for (const CatalogMessage& message : catalog->messages) {
        if (std::strcmp(message.english, english) == 0) {
            return &message;
        }
    }
    return nullptr;
}

bool IsC(std::string_view locale) {
    return locale == "C" || locale == "POSIX" || locale.starts_with("C.");
}

}  // namespace

std::vector<std::string> LanguagesFromEnvironment(
    const std::function<const char*(const char*)>& getenv) {
    std::string_view locale;
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        if (const char* value = getenv(name); value != nullptr && value[0] != '\0') {
            locale = value;
            break;
        }
    }
    if (locale.empty() || IsC(locale)) {
        return {};
    }
    std::vector<std::string> languages;
    if (const char* list = getenv("LANGUAGE"); list != nullptr) {
        std::string_view rest = list;
        while (!rest.empty()) {
            const std::size_t colon = std::min(rest.find(':'), rest.size());
            if (colon > 0) {
                languages.emplace_back(rest.substr(0, colon));
            }
            rest.remove_prefix(std::min(colon + 1, rest.size()));
        }
    }
    if (languages.empty()) {
        languages.emplace_back(locale);
    }
    return languages;
}

void UseLanguages(const std::vector<std::string>& languages) {
    g_catalog = nullptr;
    for (const std::string& name : languages) {
        if (IsC(name)) {
            return;
        }
        // language[_territory][.codeset][@modifier]: the catalogs are named
        // language_territory or language.
        const std::string bare = name.substr(0, name.find_first_of(".@"));
        for (const std::string& candidate : {bare, bare.substr(0, bare.find('_'))}) {
            for (const MessageCatalog& catalog : BuiltInCatalogs()) {
                if (candidate == catalog.language) {
                    g_catalog = &catalog;
                    return;
                }
            }
        }
    }
}

const MessageCatalog* CatalogInUse() {
    return g_catalog;
}

const MessageCatalog* ChineseCatalog() {
    static const MessageCatalog* const chinese = [] {
        for (const MessageCatalog& catalog : BuiltInCatalogs()) {
            if (std::string_view(catalog.language) == "zh_CN") {
                return &catalog;
            }
        }
        return static_cast<const MessageCatalog*>(nullptr);
    }();
    return chinese;
}

const char* Tr(const char* english) {
    return TrIn(g_catalog, english);
}

const char* TrIn(const MessageCatalog* catalog, const char* english) {
    const CatalogMessage* message = Find(catalog, english);
    return message != nullptr ? message->forms[0] : english;
}

const char* TrN(const char* one, const char* many, unsigned long count) {
    return TrNIn(g_catalog, one, many, count);
}

const char* TrNIn(const MessageCatalog* catalog, const char* one, const char* many,
                  unsigned long count) {
    const CatalogMessage* message = Find(catalog, one);
    if (message == nullptr || message->englishPlural == nullptr) {
        return count == 1 ? one : many;
    }
    // gettext's rule for an index the catalog does not have.
    const unsigned long form = catalog->plural(count);
    return message->forms[form < catalog->formCount ? form : 0];
}

std::string FillIn(std::string_view pattern, const std::vector<std::string>& values) {
    std::string text;
    for (std::size_t pos = 0; pos < pattern.size(); ++pos) {
        const std::size_t index =
            pos + 2 < pattern.size() && pattern[pos] == '{' && pattern[pos + 2] == '}'
                ? static_cast<std::size_t>(pattern[pos + 1] - '0')
                : values.size();
        if (index < values.size()) {
            text += values[index];
            pos += 2;
        } else {
            text += pattern[pos];
        }
    }
    return text;
}

}  // namespace strivo
