#include "settings/IniFile.h"

#include <optional>
#include <vector>

#include "text/CodePage.h"
#include "text/TextHelpers.h"

namespace strivo {
namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

std::string_view Trim(std::string_view text) {
    return TrimBlanks(text);
}

char FoldAscii(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

// Case-insensitive for ASCII; double-byte characters must match exactly.
bool NamesEqual(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t pos = 0; pos < a.size();) {
        const std::size_t length = Cp936CharLength(a, pos);
        if (length == 2) {
            if (a.substr(pos, 2) != b.substr(pos, 2)) {
                return false;
            }
        } else if (FoldAscii(a[pos]) != FoldAscii(b[pos])) {
            return false;
        }
        pos += length;
    }
    return true;
}

enum class LineKind { Blank, Comment, Section, Key, Other };

// One line of the file, as positions into the content.
struct Line {
    std::size_t begin = 0;
    std::size_t contentEnd = 0;  // before the line end ("\r\n" or "\n")
    std::size_t end = 0;         // after the line end
    LineKind kind = LineKind::Blank;
    std::string_view name;       // section or key name, trimmed
    std::size_t valueBegin = 0;  // key lines: where the value starts (after "=")
    bool hasEquals = false;
    std::size_t nameEnd = 0;  // key lines: end of the trimmed key
};

Line ParseLine(std::string_view content, std::size_t begin) {
    Line line;
    line.begin = begin;
    std::size_t newline = content.find('\n', begin);
    line.end = newline == std::string_view::npos ? content.size() : newline + 1;
    line.contentEnd = newline == std::string_view::npos ? content.size() : newline;
    if (line.contentEnd > begin && content[line.contentEnd - 1] == '\r') {
        --line.contentEnd;
    }
    const std::string_view text = content.substr(begin, line.contentEnd - begin);
    const std::string_view trimmed = Trim(text);
    if (trimmed.empty()) {
        return line;
    }
    if (trimmed.front() == ';') {
        line.kind = LineKind::Comment;
        return line;
    }
    if (trimmed.front() == '[') {
        // The section name ends at the last "]" that is a character of its own.
        std::optional<std::size_t> close;
        for (std::size_t pos = 1; pos < trimmed.size();) {
            const std::size_t length = Cp936CharLength(trimmed, pos);
            if (length == 1 && trimmed[pos] == ']') {
                close = pos;
            }
            pos += length;
        }
        if (!close) {
            line.kind = LineKind::Other;  // not a header; ignored like Windows does
            return line;
        }
        line.kind = LineKind::Section;
        line.name = Trim(trimmed.substr(1, *close - 1));
        return line;
    }
    line.kind = LineKind::Key;
    const std::size_t offset = begin + static_cast<std::size_t>(trimmed.data() - text.data());
    const std::size_t equals = trimmed.find('=');  // "=" is never a trail byte
    const std::string_view key = Trim(trimmed.substr(0, equals));
    line.name = key;
    line.nameEnd = offset + static_cast<std::size_t>(key.data() - trimmed.data()) + key.size();
    if (equals != std::string_view::npos) {
        line.hasEquals = true;
        std::size_t valueBegin = offset + equals + 1;
        while (valueBegin < line.contentEnd && IsBlank(content[valueBegin])) {
            ++valueBegin;
        }
        line.valueBegin = valueBegin;
    }
    return line;
}

std::vector<Line> ParseLines(std::string_view content) {
    std::vector<Line> lines;
    for (std::size_t pos = 0; pos < content.size();) {
        lines.push_back(ParseLine(content, pos));
        pos = lines.back().end;
    }
    return lines;
}

struct Lookup {
    std::optional<std::size_t> section;  // index of the section's header line
    std::optional<std::size_t> key;      // index of the key's line
    std::optional<std::size_t> lastKey;  // index of the section's last key line
};

Lookup Find(const std::vector<Line>& lines, std::string_view section, std::string_view key) {
    Lookup found;
    const std::string_view wantedSection = Trim(section);
    const std::string_view wantedKey = Trim(key);
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const Line& line = lines[i];
        if (line.kind == LineKind::Section) {
            if (found.section) {
                break;  // only the first matching section counts
            }
            if (NamesEqual(line.name, wantedSection)) {
                found.section = i;
            }
        } else if (found.section && line.kind == LineKind::Key) {
            found.lastKey = i;
            if (!found.key && NamesEqual(line.name, wantedKey)) {
                found.key = i;
            }
        }
    }
    return found;
}

std::string_view LineEnding(std::string_view content) {
    const std::size_t newline = content.find('\n');
    if (newline != std::string_view::npos && (newline == 0 || content[newline - 1] != '\r')) {
        return "\n";
    }
    return "\r\n";
}

}  // namespace

std::string IniFile::ReadFrom(std::string_view content, std::string_view section,
                              std::string_view key, std::string_view defaultValue,
                              std::size_t bufferSize) {
    if (bufferSize == 0) {
        return {};
    }
    const std::vector<Line> lines = ParseLines(content);
    const Lookup found = Find(lines, section, key);
    std::string_view value = defaultValue;
    if (found.key) {
        const Line& line = lines[*found.key];
        value = line.hasEquals
                    ? Trim(content.substr(line.valueBegin, line.contentEnd - line.valueBegin))
                    : std::string_view{};
        if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
            value.back() == value.front()) {
            value = value.substr(1, value.size() - 2);
        }
    }
    return std::string(value.substr(0, bufferSize - 1));
}

std::string IniFile::WriteTo(std::string_view content, std::string_view section,
                             std::string_view key, std::string_view value) {
    // A value never spans lines: a line break would end it and start a new key.
    value = value.substr(0, value.find_first_of("\r\n"));
    const std::vector<Line> lines = ParseLines(content);
    const Lookup found = Find(lines, section, key);
    const std::string_view eol = LineEnding(content);
    std::string out(content);

    if (found.key) {
        const Line& line = lines[*found.key];
        if (line.hasEquals) {
            out.replace(line.valueBegin, line.contentEnd - line.valueBegin, value);
        } else {
            out.replace(line.nameEnd, line.contentEnd - line.nameEnd, "=" + std::string(value));
        }
        return out;
    }

    std::string keyLine = std::string(Trim(key)) + "=" + std::string(value);
    if (found.section) {
        const Line& after = lines[found.lastKey ? *found.lastKey : *found.section];
        std::string insert;
        if (content[after.end - 1] != '\n') {
            insert += eol;  // the last line of the file has no line end yet
        }
        insert += keyLine;
        insert += eol;
        out.insert(after.end, insert);
        return out;
    }

    if (!out.empty() && out.back() != '\n') {
        out += eol;
    }
    out += "[" + std::string(Trim(section)) + "]";
    out += eol;
    out += keyLine;
    out += eol;
    return out;
}

std::string IniFile::Read(std::string_view section, std::string_view key,
                          std::string_view defaultValue, std::size_t bufferSize) const {
    const FileContent file = ReadWholeFile(m_path);
    return ReadFrom(file.ok ? std::string_view(file.bytes) : std::string_view{}, section, key,
                    defaultValue, bufferSize);
}

FileResult IniFile::Write(std::string_view section, std::string_view key,
                          std::string_view value) const {
    return Write({IniChange{section, key, value}});
}

FileResult IniFile::Write(std::initializer_list<IniChange> changes) const {
    const FileContent file = ReadWholeFile(m_path);
    if (file.exists && !file.ok) {
        return {false, "cannot read " + m_path.string()};
    }
    std::string content = file.bytes;
    for (const IniChange& change : changes) {
        content = WriteTo(content, change.section, change.key, change.value);
    }
    return WriteFileAtomically(
        m_path, content, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
}

}  // namespace strivo
