#pragma once

#include <compare>
#include <cstdint>
#include <filesystem>
#include <optional>

namespace strivo {

// What makes a file or folder the same one under any of its names: device
// and inode on POSIX (FileIdentityPosix.cpp), volume serial number and file
// index on Windows (FileIdentityWin.cpp). A walk through folders remembers
// the folders it entered, so a link back up the tree is not followed twice.
struct FileIdentity {
    std::uint64_t volume = 0;
    std::uint64_t file = 0;
    auto operator<=>(const FileIdentity&) const = default;
};

// The identity of what `path` names, after following links; empty when it
// cannot be reached.
std::optional<FileIdentity> IdentityOf(const std::filesystem::path& path);

// The absolute path of what `path` names, every symbolic link (and on
// Windows every junction) on the way resolved, as the system itself resolves
// it (GetFinalPathNameByHandleW on Windows); for a path that does not exist,
// its existing part resolved and the rest as given.
std::filesystem::path FinalPath(const std::filesystem::path& path);

}  // namespace strivo
