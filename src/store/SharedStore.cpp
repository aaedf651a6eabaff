#include "store/SharedStore.h"

namespace strivo {

std::shared_ptr<SharedStore> SharedStore::ForSettings(const std::filesystem::path& settingsPath) {
    std::shared_ptr<SharedStore> shared(new SharedStore);
    shared->m_path = StorePathFor(settingsPath);
    shared->m_opened = RunStore::Open(shared->m_path, &shared->m_store);
    // Older versions kept their record beside the settings path as given,
    // a symbolic link's folder included; this one keeps its store beside the
    // file the link names. Both records are this user's history.
    const std::filesystem::path given = settingsPath.parent_path() / "posted-runs.txt";
    const std::filesystem::path resolved = shared->m_path.parent_path() / "posted-runs.txt";
    shared->m_olderRecords.push_back(given);
    std::error_code error;
    if (std::filesystem::weakly_canonical(given, error) != resolved) {
        shared->m_olderRecords.push_back(resolved);
    }
    return shared;
}

std::shared_ptr<SharedStore> SharedStore::InMemory() {
    std::shared_ptr<SharedStore> shared(new SharedStore);
    shared->m_store = RunStore::OpenInMemory();
    return shared;
}

}  // namespace strivo
