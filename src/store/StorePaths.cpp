#include "store/StorePaths.h"

#include <system_error>

#include "io/FileIdentity.h"
#include "io/PathText.h"
#include "model/Problem.h"

#ifndef _WIN32
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace strivo {

std::filesystem::path StorePathFor(const std::filesystem::path& settingsPath) {
    return FinalPath(settingsPath).parent_path() / "strivo.db";
}

std::filesystem::path StoreLockPathFor(const std::filesystem::path& storePath) {
    std::filesystem::path lock = storePath;
    lock += ".lock";
    return lock;
}

namespace store_detail {

const char* NotARegularFile(const std::filesystem::path& path) {
    std::error_code error;
    switch (std::filesystem::symlink_status(path, error).type()) {
        case std::filesystem::file_type::not_found:
        case std::filesystem::file_type::regular:
        case std::filesystem::file_type::none:  // cannot be looked at: opening it says why
            return nullptr;
        case std::filesystem::file_type::symlink:
            return kKindSymlink;
        case std::filesystem::file_type::directory:
            return kKindFolder;
        case std::filesystem::file_type::fifo:
            return kKindFifo;
        case std::filesystem::file_type::block:
        case std::filesystem::file_type::character:
            return kKindDevice;
        case std::filesystem::file_type::socket:
            return kKindSocket;
        default:
            return kKindOther;
    }
}

Outcome CheckOwner(const std::filesystem::path& path) {
#ifndef _WIN32
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0) {
        return {};  // missing; anything else, opening it says
    }
    if (info.st_uid != ::geteuid()) {
        std::string owner = std::to_string(info.st_uid);
        passwd entry{};
        passwd* found = nullptr;
        char buffer[1024];
        if (::getpwuid_r(info.st_uid, &entry, buffer, sizeof buffer, &found) == 0 && found) {
            owner = found->pw_name;
        }
        return Problem(ProblemCode::StoreNotOwned, {PathText(path), owner});
    }
    if ((info.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
        return Problem(ProblemCode::StoreWritableByOthers, {PathText(path)});
    }
#else
    (void)path;
#endif
    return {};
}

}  // namespace store_detail
}  // namespace strivo
