#include "store/StorePaths.h"

#include <system_error>

#include "io/FileIdentity.h"
#include "io/PathText.h"
#include "model/Problem.h"

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
    const std::optional<FileOwner> owner = OwnerOf(path);
    if (!owner) {
        return {};  // missing; anything else, opening it says
    }
    if (!owner->ours) {
        return Problem(ProblemCode::StoreNotOwned, {PathText(path), owner->name});
    }
    if (owner->writableByOthers) {
        return Problem(ProblemCode::StoreWritableByOthers, {PathText(path)});
    }
    return {};
}

}  // namespace store_detail
}  // namespace strivo
