#pragma once

#include <filesystem>
#include <memory>
#include <span>
#include <vector>

#include "io/AtomicFile.h"
#include "model/Result.h"

namespace strivo {

// One sync at a time per store, in any process: an exclusive lock on
// strivo.db.lock beside the store (never on strivo.db itself), and on every
// existing posted-runs.txt as older versions lock it, so an older strivo-cli
// cannot sync at the same time. Refused at once (StoreInUse) while another
// holds either. Held until Release or destruction.
class SyncLock {
public:
    // An empty `storePath` (a store in memory) takes no lock.
    Outcome Acquire(const std::filesystem::path& storePath,
                    std::span<const std::filesystem::path> olderRecords = {});
    void Release();
    bool held() const { return m_held; }

private:
    FileLock m_lock;
    std::vector<std::unique_ptr<FileLock>> m_older;
    bool m_held = false;
};

}  // namespace strivo
