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

std::filesystem::path FinalPath(const std::filesystem::path& path) {
    std::error_code error;
    std::filesystem::path final = std::filesystem::weakly_canonical(path, error);
    if (error || final.empty()) {
        final = std::filesystem::absolute(path, error);
    }
    return final;
}

}  // namespace strivo
