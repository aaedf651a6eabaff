#pragma once

#include <cstdio>
#include <filesystem>

#include "files/ByteSource.h"
#include "model/Result.h"

namespace strivo {

// The bytes of a file on disk, in the pieces the reader asks for.
class FileSource : public ByteSource {
public:
    explicit FileSource(const std::filesystem::path& path);
    ~FileSource() override;
    FileSource(const FileSource&) = delete;
    FileSource& operator=(const FileSource&) = delete;

    std::size_t Read(char* into, std::size_t room) override;
    // FileCannotOpen or FileCannotRead ({0} the path, `detail` the system's
    // words) once opening or a read failed; success before and after a clean end.
    const Outcome& Status() const { return m_status; }

private:
    std::filesystem::path m_path;
    std::FILE* m_file = nullptr;
    Outcome m_status;
};

}  // namespace strivo
