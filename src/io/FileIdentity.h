#pragma once

#include <compare>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <system_error>

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

// Who may change what a path names, the path itself looked at (a link is not
// followed): whether this process's user owns it, and whether its group or
// anyone else may write it.
struct FileOwner {
    bool ours = true;
    std::string name;  // the owner's user name, or number without one; empty when ours
    bool writableByOthers = false;
};

// The owner of `path`; empty when nothing is there or it cannot be looked
// at. Windows keeps who may write a file in its access list, which this does
// not read: there every file counts as the user's own, written by no one else.
std::optional<FileOwner> OwnerOf(const std::filesystem::path& path);

// Creates an empty file at `path` that only its owner may read and write,
// unless something is there already, which is left as it is. A FIFO put in
// its place meanwhile is not waited on. On Windows, where a new file takes
// its folder's access list, nothing is done.
std::error_code CreateOwnerOnly(const std::filesystem::path& path);

}  // namespace strivo
