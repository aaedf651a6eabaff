// FileIdentityPosix.cpp: the POSIX implementation of io/FileIdentity.h.
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

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

std::optional<FileOwner> OwnerOf(const std::filesystem::path& path) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0) {
        return std::nullopt;
    }
    FileOwner owner;
    owner.ours = info.st_uid == ::geteuid();
    if (!owner.ours) {
        owner.name = std::to_string(info.st_uid);
        passwd entry{};
        passwd* found = nullptr;
        char buffer[1024];
        if (::getpwuid_r(info.st_uid, &entry, buffer, sizeof buffer, &found) == 0 && found) {
            owner.name = found->pw_name;
        }
    }
    owner.writableByOthers = (info.st_mode & (S_IWGRP | S_IWOTH)) != 0;
    return owner;
}

std::error_code CreateOwnerOnly(const std::filesystem::path& path) {
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NONBLOCK, 0600);
    if (fd < 0) {
        return errno == EEXIST ? std::error_code()
                               : std::error_code(errno, std::generic_category());
    }
    ::close(fd);
    return {};
}

}  // namespace strivo
