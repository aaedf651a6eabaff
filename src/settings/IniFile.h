#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace strivo {

// The content of one initialisation file, parsed once and read and written
// one key at a time under the rules of the Windows private-profile functions:
//   - section and key names are trimmed and matched without regard to ASCII case;
//   - the first matching section, and the first matching key in it, win;
//   - values are trimmed, and one pair of matching surrounding quotes is removed;
//   - a write replaces the value where it stands, adds a missing key after the
//     last key line of its section, adds a missing section at the end of the
//     file, and keeps every other byte as it was.
// Lines are CP936: a double-byte character whose trail byte is "[", "]" or a
// letter is never split or case-folded.
class IniFile {
public:
    explicit IniFile(std::string content = {});
    ~IniFile();
    IniFile(const IniFile&);
    IniFile& operator=(const IniFile&);

    const std::string& content() const { return m_content; }

    // The value, or `defaultValue` when the section or key is missing, cut to
    // bufferSize - 1 bytes as a read into a buffer of that size would be.
    std::string Read(std::string_view section, std::string_view key,
                     std::string_view defaultValue = {}, std::size_t bufferSize = 100) const;
    void Write(std::string_view section, std::string_view key, std::string_view value);

    struct Line;

private:
    std::string m_content;
    std::vector<Line> m_lines;
};

}  // namespace strivo
