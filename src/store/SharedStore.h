#pragma once

#include <filesystem>
#include <memory>
#include <mutex>
#include <vector>

#include "store/RunStore.h"

namespace strivo {

// The run store of one window or one strivo-cli run, shared by its jobs and
// the window's thread: one connection, one caller at a time. It also knows
// the posted-runs.txt files of older versions that go with it.
class SharedStore {
public:
    // strivo.db beside `settingsPath` (symbolic links resolved), with the
    // records of older versions beside the path as given and beside the
    // resolved one. A store that cannot be opened keeps why.
    static std::shared_ptr<SharedStore> ForSettings(const std::filesystem::path& settingsPath);
    // A store in memory only (--demo): nothing is read or written on disk.
    static std::shared_ptr<SharedStore> InMemory();

    // None when the store is open; else why not, naming the path.
    const StoreResult& opened() const { return m_opened; }
    // strivo.db; empty for the store in memory.
    const std::filesystem::path& path() const { return m_path; }
    // posted-runs.txt of older versions to import, and to lock while a sync runs.
    const std::vector<std::filesystem::path>& olderRecords() const { return m_olderRecords; }

    // Runs `use` with the store, or with null when it could not be opened,
    // holding it for the call only.
    template <class Use>
    auto With(Use&& use) {
        std::lock_guard lock(m_mutex);
        return use(m_store.get());
    }

private:
    SharedStore() = default;

    std::mutex m_mutex;
    std::unique_ptr<RunStore> m_store;
    StoreResult m_opened;
    std::filesystem::path m_path;
    std::vector<std::filesystem::path> m_olderRecords;
};

}  // namespace strivo
