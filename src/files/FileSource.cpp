#include "files/FileSource.h"

#include <cerrno>
#include <cstring>
#include <type_traits>

#include "io/PathText.h"

namespace strivo {
namespace {

// The path's own characters on either system: narrow on POSIX, wide on Windows.
template <class Char>
std::FILE* OpenForReading(const Char* name) {
    if constexpr (std::is_same_v<Char, char>) {
        return std::fopen(name, "rb");
    } else {
        return _wfopen(name, L"rb");
    }
}

}  // namespace

FileSource::FileSource(const std::filesystem::path& path) : m_path(path) {
    errno = 0;
    m_file = OpenForReading(path.c_str());
    if (m_file == nullptr) {
        m_status = Problem(ProblemCode::FileCannotOpen, {PathText(path)}, std::strerror(errno));
    }
}

FileSource::~FileSource() {
    if (m_file != nullptr) {
        std::fclose(m_file);
    }
}

std::size_t FileSource::Read(char* into, std::size_t room) {
    if (m_file == nullptr || !m_status) {
        return 0;
    }
    errno = 0;
    const std::size_t got = std::fread(into, 1, room, m_file);
    if (got == 0 && std::ferror(m_file)) {
        m_status = Problem(ProblemCode::FileCannotRead, {PathText(m_path)}, std::strerror(errno));
    }
    return got;
}

}  // namespace strivo
