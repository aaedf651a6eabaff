#include "app/cli/CliWords.h"
#include "app/cli/Commands.h"
#include "jobs/Remove.h"
#include "text/Catalog.h"
#include "text/CodePage.h"

namespace strivo::cli {

// Takes back imported runs never posted; every other run is named with why
// it stays.
int Remove(CliContext& cli) {
    std::vector<std::string> keys;
    for (const std::string& key : cli.options().runIds) {
        keys.push_back(Utf8ToCp936(key));
    }
    const Result<jobs::Removed> removed = jobs::RemoveRuns(cli.where(), keys);
    if (!removed) {
        return cli.StoreFailure(removed.problem(), N_("{0}; nothing was changed, try again later"));
    }
    const auto count = static_cast<unsigned long>(removed->removed.size());
    cli.Out() << Fill(TrN("Removed {0} imported run.", "Removed {0} imported runs.", count), count)
              << "\n";
    std::vector<std::string> refused[3];
    for (const auto& [key, why] : removed->refused) {
        refused[static_cast<int>(why)].push_back(key);
    }
    constexpr const char* kWhy[] = {
        N_("not stored for this Nike+ user, nothing removed: {0}"),
        N_("runs of the Nike+ service stay, as the next download brings them back: {0}"),
        N_("runs posted to the run log, or sent there once, stay: {0}"),
    };
    for (int i = 0; i < 3; ++i) {
        if (!refused[i].empty()) {
            cli.Error(Fill(Tr(kWhy[i]), Ids(refused[i])));
        }
    }
    return removed->refused.empty() ? kExitDone : kExitFailed;
}

}  // namespace strivo::cli
