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

}  // namespace

// One line of the file, as positions into the content.
struct IniFile::Line {
    std::size_t begin = 0;
    std::size_t contentEnd = 0;  // before the line end ("\r\n" or "\n")
    std::size_t end = 0;         // after the line end
    LineKind kind = LineKind::Blank;
    std::string_view name;       // section or key name, trimmed
    std::size_t valueBegin = 0;  // key lines: where the value starts (after "=")
    bool hasEquals = false;
    std::size_t nameEnd = 0;  // key lines: end of the trimmed key
};

namespace {

using Line = IniFile::Line;

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
    const std::string_view trimmed = TrimBlanks(text);
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
        line.name = TrimBlanks(trimmed.substr(1, *close - 1));
        return line;
    }
    line.kind = LineKind::Key;
    const std::size_t offset = begin + static_cast<std::size_t>(trimmed.data() - text.data());
    const std::size_t equals = trimmed.find('=');  // "=" is never a trail byte
    const std::string_view key = TrimBlanks(trimmed.substr(0, equals));
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
    const std::string_view wantedSection = TrimBlanks(section);
    const std::string_view wantedKey = TrimBlanks(key);
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

IniFile::IniFile(std::string content)
    : m_content(std::move(content)), m_lines(ParseLines(m_content)) {}

IniFile::~IniFile() = default;
// The parsed lines point into the content: a copy parses its own.
IniFile::IniFile(const IniFile& other) : IniFile(other.m_content) {}

IniFile& IniFile::operator=(const IniFile& other) {
    if (this != &other) {
        m_content = other.m_content;
        m_lines = ParseLines(m_content);
    }
    return *this;
}

std::string IniFile::Read(std::string_view section, std::string_view key,
                          std::string_view defaultValue, std::size_t bufferSize) const {
    if (bufferSize == 0) {
        return {};
    }
    const Lookup found = Find(m_lines, section, key);
    std::string_view value = defaultValue;
    if (found.key) {
        const Line& line = m_lines[*found.key];
        const std::string_view content = m_content;
        value = line.hasEquals
                    ? TrimBlanks(content.substr(line.valueBegin, line.contentEnd - line.valueBegin))
                    : std::string_view{};
        if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
            value.back() == value.front()) {
            value = value.substr(1, value.size() - 2);
        }
    }
    return std::string(value.substr(0, bufferSize - 1));
}

void IniFile::Write(std::string_view section, std::string_view key, std::string_view value) {
    // A value never spans lines: a line break would end it and start a new key.
    value = value.substr(0, value.find_first_of("\r\n"));
    const Lookup found = Find(m_lines, section, key);
    const std::string_view eol = LineEnding(m_content);
    std::string& out = m_content;

    if (found.key) {
        const Line& line = m_lines[*found.key];
        if (line.hasEquals) {
            out.replace(line.valueBegin, line.contentEnd - line.valueBegin, value);
        } else {
            out.replace(line.nameEnd, line.contentEnd - line.nameEnd, "=" + std::string(value));
        }
    } else if (found.section) {
        const Line& after = m_lines[found.lastKey ? *found.lastKey : *found.section];
        std::string insert;
        if (out[after.end - 1] != '\n') {
            insert += eol;  // the last line of the file has no line end yet
        }
        insert += std::string(TrimBlanks(key)) + "=" + std::string(value);
        insert += eol;
        out.insert(after.end, insert);
    } else {
        if (!out.empty() && out.back() != '\n') {
            out += eol;
        }
        out += "[" + std::string(TrimBlanks(section)) + "]";
        out += eol;
        out += std::string(TrimBlanks(key)) + "=" + std::string(value);
        out += eol;
    }
    m_lines = ParseLines(m_content);
}

}  // namespace strivo
