// FileIdentityPosix.cpp: the POSIX implementation of io/FileIdentity.h.
#include <sys/stat.h>

#include "io/FileIdentity.h"

namespace strivo {

std::optional<FileIdentity> IdentityOf(const std::filesystem::path& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        return std::nullopt;
    }
    return FileIdentity{static_cast<std::uint64_t>(info.st_dev),
                        static_cast<std::uint64_t>(info.st_ino)};
}

}  // namespace strivo
