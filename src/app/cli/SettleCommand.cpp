#include "app/cli/CliWords.h"
#include "app/cli/Commands.h"
#include "jobs/Settle.h"
#include "text/Catalog.h"
#include "text/CodePage.h"

namespace strivo::cli {

// What became of runs held back: the runner says, the store records it.
int Settle(CliContext& cli) {
    const CliOptions& options = cli.options();
    jobs::SettleRequest request{options.posted ? jobs::SettleMode::Posted
                                : options.skip ? jobs::SettleMode::Skip
                                               : jobs::SettleMode::Repost,
                                {},
                                options.held,
                                options.again,
                                options.imported};
    for (const std::string& runId : options.runIds) {
        request.runIds.push_back(Utf8ToCp936(runId));
    }
    const Result<jobs::Settled> settled = jobs::Settle(cli.where(), request);
    if (!settled) {
        return cli.StoreFailure(settled.problem(), N_("{0}; nothing was changed, try again later"));
    }
    const auto count = static_cast<unsigned long>(settled->changed);
    cli.Out() << Fill(options.posted ? TrN("Recorded {0} run as posted.",
                                           "Recorded {0} runs as posted.", count)
                      : options.skip ? TrN("Kept {0} run off the run log.",
                                           "Kept {0} runs off the run log.", count)
                                     : TrN("Released {0} run for the next sync.",
                                           "Released {0} runs for the next sync.", count),
                      settled->changed)
              << "\n";
    if (!settled->unknown.empty()) {
        cli.Error(Fill(Tr("not known to the store, nothing recorded: {0}"), Ids(settled->unknown)));
    }
    if (!settled->confirmed.empty()) {
        cli.Error(Fill(Tr("the run log already has these runs; posting them again puts each "
                          "there twice, so they were left as they are (add --again to post "
                          "them all the same): {0}"),
                       Ids(settled->confirmed)));
    }
    return settled->unknown.empty() && settled->confirmed.empty() ? kExitDone : kExitFailed;
}

}  // namespace strivo::cli
