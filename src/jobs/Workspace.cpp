#include "jobs/Workspace.h"

#include <atomic>
#include <system_error>

#include "jobs/StoreAccess.h"
#include "store/StorePaths.h"

namespace strivo::jobs {

std::filesystem::path Workspace::StorePath() const {
    return InMemory() ? std::filesystem::path() : StorePathFor(settingsPath);
}

std::vector<std::filesystem::path> Workspace::OlderRecords() const {
    if (InMemory()) {
        return {};
    }
    // Older versions kept their record beside the settings path as given,
    // a symbolic link's folder included; this one keeps its store beside the
    // file the link names. Both records are this user's history.
    const std::filesystem::path given = settingsPath.parent_path() / "posted-runs.txt";
    const std::filesystem::path resolved = StorePath().parent_path() / "posted-runs.txt";
    std::vector<std::filesystem::path> records{given};
    std::error_code error;
    if (std::filesystem::weakly_canonical(given, error) != resolved) {
        records.push_back(resolved);
    }
    return records;
}

bool Workspace::StoreExists() const {
    std::error_code error;
    return InMemory() || std::filesystem::exists(StorePath(), error) || error;
}

Workspace ForSettingsFile(const std::filesystem::path& settingsPath, Settings settings,
                          WebSessionConfig session) {
    return Workspace{std::move(settings), std::move(session), settingsPath, {}, {}};
}

Result<Workspace> InMemory(Settings settings, WebSessionConfig session) {
    static std::atomic<unsigned> next{0};
    Workspace where{
        std::move(settings), std::move(session), {}, "strivo-demo-" + std::to_string(++next), {}};
    // The store in memory lives while a connection to it is open.
    Result<std::unique_ptr<RunStore>> anchor = OpenStore(where);
    if (!anchor) {
        return anchor.problem();
    }
    where.keepAlive = std::shared_ptr<const RunStore>(std::move(*anchor));
    return where;
}

Result<std::unique_ptr<RunStore>> OpenStore(const Workspace& where) {
    return where.InMemory() ? RunStore::OpenInMemory(where.memoryStore)
                            : RunStore::Open(where.StorePath());
}

}  // namespace strivo::jobs
