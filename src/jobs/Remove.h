#pragma once

#include <span>
#include <string>
#include <utility>
#include <vector>

#include "jobs/Workspace.h"
#include "model/Result.h"

namespace strivo::jobs {

// Takes back runs read from files (`strivo-cli remove`, the run log's
// 删除所选): only those of the account in the settings that were never
// posted (no post, or kept off the run log and never sent). A run of the run
// service is refused, as the next download brings it back; so is a run sent
// once, or one the store does not hold. Under the store's sync lock, as it
// changes posts: another sync refuses it (StoreInUse).
enum class RemoveRefused {
    NotStored,       // the account holds no run by that key
    FromRunService,  // a run of the run service
    Posted,          // sent at least once, or settled, for some site user
};
struct Removed {
    std::vector<std::string> removed;  // keys (CP936), in the order asked
    std::vector<std::pair<std::string, RemoveRefused>> refused;
};
Result<Removed> RemoveRuns(const Workspace& where, std::span<const std::string> keys);

}  // namespace strivo::jobs
