#include <algorithm>

#include "app/cli/CliProgress.h"
#include "app/cli/CliWords.h"
#include "app/cli/Commands.h"
#include "jobs/Import.h"
#include "model/ImportWords.h"
#include "model/ProblemWords.h"
#include "text/Catalog.h"

namespace strivo::cli {
// Runs from files and folders into the store; each file that could not be
// read is named, and the exit status says whether any was.
int Import(CliContext& cli) {
    const CliOptions& options = cli.options();
    CliEnvironment& env = cli.env();
    CliProgress progress(env.err, env.stderrIsTerminal, options.quiet);
    Result<jobs::ImportTally> tally = jobs::ImportTally();
    const int interrupt = cli.RunStoppable([&](std::stop_token stop) {
        tally = jobs::Import(cli.where(), {options.paths, options.post}, progress, std::move(stop));
    });
    progress.Clear();
    if (!tally) {
        return cli.StoreFailure(tally.problem(), N_("{0}; nothing more was imported"));
    }
    for (const Problem& problem : tally->problems) {
        cli.Error(problem);
    }
    cli.PrintWarnings(tally->warnings);
    if (!options.quiet) {
        // A folder imported twice would name every run: the first few say enough.
        constexpr std::size_t kNamed = 20;
        const std::vector<Problem>& duplicated = tally->duplicated;
        for (std::size_t i = 0; i < std::min(kNamed, duplicated.size()); ++i) {
            env.err << Describe(duplicated[i]) << "\n";
        }
        if (const std::size_t more = duplicated.size() - std::min(kNamed, duplicated.size())) {
            env.err << Fill(TrN("… and {0} more run already stored",
                                "… and {0} more runs already stored", more),
                            more)
                    << "\n";
        }
        for (const Problem& file : tally->withoutActivity) {
            env.err << Describe(file) << "\n";
        }
    }
    cli.Out() << ImportSummary(CatalogInUse(), tally->counts()) << "\n";
    if (options.demo && !options.quiet) {
        // Nothing to settle afterwards: the demo's store is gone with the process.
        cli.Out() << Tr("The demo keeps nothing: its store lives in memory and is gone when "
                        "strivo-cli ends.")
                  << "\n";
    } else if (!tally->keptOff.empty() && !options.quiet) {
        cli.Out() << Fill(Tr("They are kept off the run log: release the ones to post with "
                             "'{0}', or every imported run with '{1}': {2}"),
                          cli.CommandLine("settle --repost KEY..."),
                          cli.CommandLine("settle --repost --imported"), Ids(tally->keptOff))
                  << "\n";
    }
    if (interrupt != 0 || tally->stopped) {
        return kExitInterrupted;
    }
    return tally->ok() ? kExitDone : kExitFailed;
}

}  // namespace strivo::cli
