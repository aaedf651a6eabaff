#include "store/SyncLock.h"

#include <string>
#include <unordered_set>

#include "store/StorePaths.h"

namespace strivo {
namespace {

// Another sync holds `path`, or it cannot be locked at all.
Problem Refused(const std::filesystem::path& path, const Problem& locked) {
    if (locked.code == ProblemCode::FileInUse) {
        return Problem(ProblemCode::StoreInUse, {PathText(path)});
    }
    return Problem(ProblemCode::StoreCannotLock, {PathText(path)}, locked.detail);
}

}  // namespace

Outcome SyncLock::Acquire(const std::filesystem::path& storePath,
                          std::span<const std::filesystem::path> olderRecords) {
    Release();
    if (storePath.empty()) {
        m_held = true;
        return {};
    }
    using std::filesystem::perms;
    const std::filesystem::path lockPath = StoreLockPathFor(storePath);
    if (const char* kind = store_detail::NotARegularFile(lockPath)) {
        return Problem(ProblemCode::StoreNotRegular, {PathText(lockPath), kind});
    }
    if (Outcome owned = store_detail::CheckOwner(lockPath); !owned) {
        return owned;
    }
    if (Outcome locked = m_lock.Lock(lockPath, perms::owner_read | perms::owner_write, true);
        !locked) {
        return Refused(lockPath, locked.problem());
    }
    std::unordered_set<std::string> seen;  // one lock per file, whatever its names
    for (const std::filesystem::path& record : olderRecords) {
        std::error_code error;
        if (!std::filesystem::is_regular_file(record, error) ||
            !seen.insert(PathText(std::filesystem::weakly_canonical(record, error))).second) {
            continue;  // missing, not a record any version could have used, or locked already
        }
        auto lock = std::make_unique<FileLock>();
        Outcome locked = lock->Lock(record, perms::owner_read | perms::owner_write, false);
        if (!locked && locked.problem().code == ProblemCode::FileInUse) {
            Release();
            return Refused(record, locked.problem());
        }
        if (locked) {
            m_older.push_back(std::move(lock));
        }
    }
    m_held = true;
    return {};
}

void SyncLock::Release() {
    m_older.clear();
    m_lock.Unlock();
    m_held = false;
}

}  // namespace strivo
