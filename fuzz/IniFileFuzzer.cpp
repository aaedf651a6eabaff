// IniFile's read and write on any file a user could have edited by hand.
// Input lines: section, key, value, another section, another key; the rest of
// the input is the file.
#include <algorithm>

#include "FuzzSupport.h"
#include "settings/IniFile.h"
#include "text/CodePage.h"

namespace {

using strivo::IniFile;
using strivo::fuzz::Printable;

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

std::string_view Trim(std::string_view text) {
    while (!text.empty() && IsBlank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && IsBlank(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

std::string Folded(std::string_view text) {
    std::string folded(Trim(text));
    for (char& c : folded) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return folded;
}

// A name the settings could use: no blanks around it, nothing that would make
// its line a comment, a header or a value, and no double-byte character left
// without its trail byte.
bool IsUsableName(std::string_view name) {
    if (name.empty() || Trim(name) != name ||
        name.find_first_of("=\r\n") != std::string_view::npos || name.front() == ';' ||
        name.front() == '[') {
        return false;
    }
    for (std::size_t pos = 0; pos < name.size(); pos += strivo::Cp936CharLength(name, pos)) {
        if (strivo::Cp936CharLength(name, pos) == 1 &&
            strivo::IsCp936LeadByte(static_cast<unsigned char>(name[pos]))) {
            return false;
        }
    }
    return true;
}

// A value that reads back as written: the reader trims blanks, takes off one
// pair of surrounding quotes and fills a 100-byte buffer.
bool IsReadableValue(std::string_view value) {
    const bool quoted = value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
                        value.back() == value.front();
    return value.size() <= 99 && Trim(value) == value && !quoted &&
           value.find_first_of("\r\n") == std::string_view::npos;
}

// Lines with their line ends.
std::vector<std::string_view> Lines(std::string_view text) {
    std::vector<std::string_view> lines;
    while (!text.empty()) {
        const std::size_t end = std::min(text.find('\n'), text.size() - 1) + 1;
        lines.push_back(text.substr(0, end));
        text.remove_prefix(end);
    }
    return lines;
}

std::string_view LineEnd(std::string_view line) {
    if (line.ends_with("\r\n")) {
        return "\r\n";
    }
    if (line.ends_with("\n")) {
        return "\n";
    }
    return "";
}

// The changed key line keeps every byte but one stretch, where the value (or,
// on a key line without "=", "=" and the value) now stands.
bool IsValueReplaced(std::string_view before, std::string_view after, std::string_view value) {
    std::size_t common = 0;
    while (common < before.size() && common < after.size() && before[common] == after[common]) {
        ++common;
    }
    std::size_t commonEnd = 0;
    while (commonEnd < before.size() && commonEnd < after.size() &&
           before[before.size() - 1 - commonEnd] == after[after.size() - 1 - commonEnd]) {
        ++commonEnd;
    }
    const std::string withEquals = "=" + std::string(value);
    for (const std::string_view inserted : {value, std::string_view(withEquals)}) {
        if (inserted.size() > after.size()) {
            continue;
        }
        const std::size_t kept = after.size() - inserted.size();
        for (std::size_t head = kept - std::min(kept, commonEnd); head <= std::min(kept, common);
             ++head) {
            if (after.substr(head, inserted.size()) == inserted && kept <= before.size()) {
                return true;
            }
        }
    }
    return false;
}

// Every line but the changed one is still there, in order; a last line without
// line end may have got one; at most a header and a key line are new.
template <typename Context>
void CheckLinesKept(std::string_view before, std::string_view after, std::string_view value,
                    const Context& context) {
    const auto old = Lines(before);
    const auto now = Lines(after);
    std::size_t prefix = 0;
    while (prefix < old.size() && prefix < now.size() && old[prefix] == now[prefix]) {
        ++prefix;
    }
    std::size_t suffix = 0;
    while (suffix < old.size() - prefix && suffix < now.size() - prefix &&
           old[old.size() - 1 - suffix] == now[now.size() - 1 - suffix]) {
        ++suffix;
    }
    const std::size_t oldChanged = old.size() - prefix - suffix;
    const std::size_t nowChanged = now.size() - prefix - suffix;
    FUZZ_CHECK(oldChanged <= 1 && nowChanged <= 3, context());
    for (std::size_t i = prefix; i < prefix + nowChanged; ++i) {
        FUZZ_CHECK(!LineEnd(now[i]).empty() || i + 1 == now.size(), context());
    }
    if (oldChanged == 1) {
        const std::string_view line = old[prefix];
        const std::string_view first = now[prefix];
        const bool endAdded =
            LineEnd(line).empty() && first.starts_with(line) &&
            (first.substr(line.size()) == "\n" || first.substr(line.size()) == "\r\n");
        if (!endAdded) {
            FUZZ_CHECK(nowChanged == 1 && IsValueReplaced(line, first, value), context());
        }
    }
}

std::string ReadFrom(std::string_view content, std::string_view section, std::string_view key,
                     std::string_view defaultValue = {}, std::size_t bufferSize = 100) {
    return IniFile(std::string(content)).Read(section, key, defaultValue, bufferSize);
}

std::string WriteTo(std::string_view content, std::string_view section, std::string_view key,
                    std::string_view value) {
    IniFile ini{std::string(content)};
    ini.Write(section, key, value);
    return ini.content();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto parts = strivo::fuzz::Split(strivo::fuzz::AsText(data, size), '\n', 6);
    const std::string_view section = parts[0], key = parts[1], value = parts[2];
    const std::string_view otherSection = parts[3], otherKey = parts[4], content = parts[5];

    // Any names and values, usable or not, must neither crash nor overrun.
    const std::string written = WriteTo(content, section, key, value);
    const auto context = [&] {
        return "section=" + Printable(section) + " key=" + Printable(key) +
               " value=" + Printable(value) + "\nbefore=" + Printable(content, 600) +
               "\nafter=" + Printable(written, 600);
    };
    FUZZ_CHECK(ReadFrom(content, otherSection, otherKey).size() <= 99, context());

    if (!IsUsableName(section) || !IsUsableName(key) || !IsReadableValue(value)) {
        return 0;
    }
    constexpr std::string_view kMissing = "\x01missing";
    FUZZ_CHECK(ReadFrom(written, section, key, kMissing) == value, context());
    FUZZ_CHECK(WriteTo(written, section, key, value) == written, context());
    CheckLinesKept(content, written, value, context);

    const bool sameKey = Folded(section) == Folded(otherSection) && Folded(key) == Folded(otherKey);
    if (!sameKey) {
        FUZZ_CHECK(ReadFrom(written, otherSection, otherKey, kMissing, 4096) ==
                       ReadFrom(content, otherSection, otherKey, kMissing, 4096),
                   context() + "\nother section=" + Printable(otherSection) +
                       " other key=" + Printable(otherKey));
    }
    return 0;
}
