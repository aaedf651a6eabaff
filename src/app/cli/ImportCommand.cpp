#include <algorithm>

#include "app/cli/CliProgress.h"
#include "app/cli/Commands.h"
#include "app/cli/TerminalTable.h"
#include "jobs/Import.h"
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
            env.err << ForTerminalUtf8(Describe(duplicated[i])) << "\n";
        }
        if (duplicated.size() > kNamed) {
            env.err << Fill(Tr("… and {0} more runs already stored"), duplicated.size() - kNamed)
                    << "\n";
        }
    }
    cli.Out() << Fill(Tr("Imported {0} runs from {1} files: {2} already stored, {3} files "
                         "unreadable, {4} activities of other sports skipped."),
                      tally->imported, tally->files, tally->duplicates, tally->unreadable,
                      tally->otherSports)
              << "\n";
    if (tally->imported > 0 && !options.post && !options.quiet) {
        cli.Out() << Tr("They are kept off the run log: release the ones to post with "
                        "'strivo-cli settle --repost RUNID...'.")
                  << "\n";
    }
    if (interrupt != 0 || tally->stopped) {
        return kExitInterrupted;
    }
    return tally->ok() ? kExitDone : kExitFailed;
}

}  // namespace strivo::cli
