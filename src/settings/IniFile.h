#pragma once

#include <cstddef>
#include <filesystem>
#include <initializer_list>
#include <string>
#include <string_view>

#include "io/AtomicFile.h"

namespace strivo {

// One key to write: section, key, value.
struct IniChange {
    std::string_view section;
    std::string_view key;
    std::string_view value;
};

// One initialisation file, read and written one key at a time under the rules
// of the Windows private-profile functions:
//   - section and key names are trimmed and matched without regard to ASCII case;
//   - the first matching section, and the first matching key in it, win;
//   - values are trimmed, and one pair of matching surrounding quotes is removed;
//   - a write replaces the value where it stands, adds a missing key after the
//     last key line of its section, adds a missing section at the end of the
//     file, creates a missing file, and keeps every other byte as it was.
// Lines are CP936: a double-byte character whose trail byte is "[", "]" or a
// letter is never split or case-folded.
class IniFile {
public:
    explicit IniFile(std::filesystem::path path) : m_path(std::move(path)) {}

    const std::filesystem::path& path() const { return m_path; }

    // The value, or `defaultValue` when the file, section or key is missing, cut
    // to bufferSize - 1 bytes as a read into a buffer of that size would be.
    std::string Read(std::string_view section, std::string_view key,
                     std::string_view defaultValue = {}, std::size_t bufferSize = 100) const;

    // Writes through a temporary file renamed over the original, so a failure
    // leaves the file as it was. A file that exists but cannot be read is left
    // alone and the write fails.
    FileResult Write(std::string_view section, std::string_view key, std::string_view value) const;
    // Several keys in one replacement of the file: all of them or none.
    FileResult Write(std::initializer_list<IniChange> changes) const;

    // The same rules on file contents in memory.
    static std::string ReadFrom(std::string_view content, std::string_view section,
                                std::string_view key, std::string_view defaultValue = {},
                                std::size_t bufferSize = 100);
    static std::string WriteTo(std::string_view content, std::string_view section,
                               std::string_view key, std::string_view value);

private:
    std::filesystem::path m_path;
};

}  // namespace strivo
