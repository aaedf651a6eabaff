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

namespace {

// The reasons the lower libraries give, in their English words, with {0}, {1}
// where they put a host, a path, a number or another reason. Whole reasons
// are tried first; what matches none is split at "; ", ": " and " (" and its
// parts tried again, so that a host, a path or a library's own text stays.
constexpr std::array kReasons = {
    // The network.
    N_("cancelled"), N_("time-out"), N_("answer too large"), N_("status {0}"),
    N_("connection refused"), N_("cannot connect"), N_("unknown host"), N_("too many redirects"),
    N_("redirect refused"), N_("certificate not trusted"), N_("certificate for another host"),
    N_("TLS handshake failed"), N_("connection lost"), N_("bad URL"), N_("no session"),
    N_("extra certificates unusable"), N_("out of memory"), N_("network error"),
    N_("nothing moved for {0} s"), N_("not done within {0} s"),
    N_("fewer than {0} bytes in {1} s"), N_("libcurl cannot start"),
    N_("cannot read the certificate file {0}"), N_("read error"),
    N_("the certificate file {0} holds something else than PEM certificates"),
    N_("the built-in certificates are damaged"), N_("extra certificates"),
    N_("not used on Windows, which trusts only the authorities in its certificate store"),
    N_("import the authority there and remove cafile"),
    // The two services.
    N_("user name or password refused"), N_("the run service did not send a run list"),
    N_("the runs were not kept in the run store: {0}"),
    N_("the site signed the session out: it answered the post of run {0} with {1}"),
    N_("it and the runs after it are posted next time"), N_("its sign-in form"),
    N_("a redirect to its sign-in page"), N_("forbidden"),
    N_("the site redirected the post of run {0} ({1} to {2})"),
    N_("the run is held until you check the run log"),
    N_("the site answered {0} posts in a row with a server error, so the sync stopped"),
    N_("stopped"), N_("the sync ended before the answer"), N_("settled by the runner"),
    // The run store and files.
    N_("the in-memory store"), N_("{0} is {1}, not a regular file"), N_("left as it is"),
    N_("a symbolic link"), N_("a folder"), N_("a FIFO"), N_("a device"), N_("a socket"),
    N_("not a regular file"), N_("{0} is not a database of Strivo's"),
    N_("{0} is a database of another program"),
    N_("{0} was written by a newer Strivo (schema {1}, this one knows {2})"),
    N_("{0} is {1}, not a record of posted runs"), N_("skipped"),
    N_("{0} lines of {1} are not records of posted runs"), N_("{0} is held by another Strivo's sync"),
    N_("cannot lock {0}"), N_("cannot open {0}"), N_("cannot read {0}"), N_("cannot write {0}"),
    N_("cannot use {0}"), N_("cannot create {0}"), N_("cannot copy before migrating {0}"),
    N_("cannot create a file in the folder"), N_("cannot set permissions"), N_("cannot write"),
    N_("cannot flush to disk"), N_("cannot close"), N_("cannot follow the links of {0}"),
    N_("cannot replace the file"), N_("already exists"), N_("cannot create the file"),
    N_("cannot open"), N_("cannot read"), N_("in use by another Strivo"), N_("not open"),
    N_("read-only file"), N_("no descriptor left"),
    // Runs that a file or a total leaves out.
    N_("start \"{0}\" does not parse, left out"), N_("start \"{0}\" does not parse, not counted"),
    N_("{0} \"{1}\" does not parse, written as 0"),
    N_("{0} \"{1}\" is outside 0..65535, written as 0"),
    N_("starts in the same second as another run, Id moved to {0}"),
    N_("{0} not counted: does not parse"), N_("distance"), N_("duration"), N_("calories")};

// Matches `text` to `pattern` from `p` and `t` on; a {n} takes one or more
// bytes, never across "; " or ": ", which join reasons.
bool Match(std::string_view pattern, std::size_t p, std::string_view text, std::size_t t,
           std::array<std::string_view, 4>& values) {
    if (p == pattern.size()) {
        return t == text.size();
    }
    if (p + 2 < pattern.size() && pattern[p] == '{' && pattern[p + 2] == '}') {
        const auto index = static_cast<std::size_t>(pattern[p + 1] - '0');
        for (std::size_t end = t + 1; end <= text.size(); ++end) {
            if (end - t >= 2 && text[end - 1] == ' ' && (text[end - 2] == ';' || text[end - 2] == ':')) {
                return false;
            }
            if (Match(pattern, p + 3, text, end, values)) {
                values[index] = text.substr(t, end - t);
                return true;
            }
        }
        return false;
    }
    return t < text.size() && pattern[p] == text[t] && Match(pattern, p + 1, text, t + 1, values);
}

bool HasWords(std::string_view text) {
    for (std::size_t i = 0; i + 1 < text.size(); ++i) {
        const auto letter = [](char c) { return (c | 0x20) >= 'a' && (c | 0x20) <= 'z'; };
        if (letter(text[i]) && letter(text[i + 1]) && text.find(' ') != std::string_view::npos) {
            return true;
        }
    }
    return false;
}

std::string Translated(std::string_view text, int depth);

// "left<separator>right", each part in the user's words. A library's own
// text after a translated reason goes in brackets.
std::optional<std::string> Split(std::string_view text, std::string_view separator, int depth) {
    const std::size_t at = text.find(separator);
    if (at == std::string_view::npos || at == 0) {
        return std::nullopt;
    }
    const std::string_view left = text.substr(0, at);
    const std::string_view right = text.substr(at + separator.size());
    const std::string newLeft = Translated(left, depth);
    const std::string newRight = Translated(right, depth);
    if (separator == ": " && newLeft != left && newRight == right && HasWords(right)) {
        return newLeft + " (" + newRight + ")";
    }
    // Two reasons in the user's words are joined in theirs.
    if (separator == "; " && (newLeft != left || newRight != right)) {
        return newLeft + Tr("; ") + newRight;
    }
    return newLeft + std::string(separator) + newRight;
}

std::string Translated(std::string_view text, int depth) {
    if (text.empty() || depth > 8) {
        return std::string(text);
    }
    // A reason of its own before one with blanks to fill.
    for (const char* english : kReasons) {
        if (text == english) {
            return Tr(english);
        }
    }
    for (const char* english : kReasons) {
        std::array<std::string_view, 4> values{};
        if (Match(english, 0, text, 0, values)) {
            std::vector<std::string> filled;
            for (const std::string_view value : values) {
                filled.push_back(Translated(value, depth + 1));
            }
            return FillIn(Tr(english), filled);
        }
    }
    // Split at the first separator; " (" only where its bracket closes the text.
    const std::size_t semicolon = text.find("; ");
    const std::size_t colon = text.find(": ");
    const std::size_t open = text.back() == ')' ? text.find(" (") : std::string_view::npos;
    if (open < semicolon && open < colon) {
        // "cause (detail)": the detail is a library's, or a reason of ours.
        return Translated(text.substr(0, open), depth + 1) + " (" +
               Translated(text.substr(open + 2, text.size() - open - 3), depth + 1) + ")";
    }
    if (auto parts = Split(text, semicolon < colon ? "; " : ": ", depth + 1)) {
        return *parts;
    }
    return std::string(text);
}

}  // namespace

std::string TrReason(std::string_view english) {
    // Matching backtracks over the text; a reason that long carries a
    // server's bytes, not a sentence of ours, and stays as it is.
    constexpr std::size_t kLongest = 2048;
    if (g_catalog.load() == nullptr || english.size() > kLongest) {
        return std::string(english);
    }
    return Translated(english, 0);
}

}  // namespace strivo
