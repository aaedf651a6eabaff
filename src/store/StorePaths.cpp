#include "store/StorePaths.h"

#include <system_error>

#include "model/Problem.h"

namespace strivo {

std::filesystem::path StorePathFor(const std::filesystem::path& settingsPath) {
    std::error_code error;
    std::filesystem::path resolved = std::filesystem::weakly_canonical(settingsPath, error);
    if (error || resolved.empty()) {
        resolved = std::filesystem::absolute(settingsPath, error);
    }
    return resolved.parent_path() / "strivo.db";
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

}  // namespace store_detail
}  // namespace strivo
