#pragma once

#include <filesystem>

#include "model/Result.h"

namespace strivo {

// strivo.db beside the settings file, symbolic links resolved, so syncing
// through a link and through the real path use one store.
std::filesystem::path StorePathFor(const std::filesystem::path& settingsPath);
// strivo.db.lock beside the store.
std::filesystem::path StoreLockPathFor(const std::filesystem::path& storePath);

namespace store_detail {
// What a path is where strivo.db (or its lock, or an older record) should be
// a regular file, looked at without opening it (a FIFO would block): a
// FileKind key, or null when it is a regular file or missing.
const char* NotARegularFile(const std::filesystem::path& path);
// Refuses (StoreNotOwned, StoreWritableByOthers) a file of the store that
// exists and belongs to another user, or that others may write: they could
// delete the record of posts, and a sync would post every run again. As
// ssh treats its keys; on Windows, where the folder's rights decide, nothing.
Outcome CheckOwner(const std::filesystem::path& path);
}  // namespace store_detail

}  // namespace strivo
