#include <chrono>

#include "app/cli/CliProgress.h"
#include "app/cli/CliWords.h"
#include "app/cli/Commands.h"
#include "jobs/Manners.h"
#include "jobs/Sync.h"
#include "model/ProblemWords.h"
#include "text/Catalog.h"

namespace strivo::cli {
namespace {

// Runs an earlier sync sent with no outcome recorded are not posted again until the
// runner says what became of them.
void WarnHeld(CliContext& cli, const SyncTally& tally, bool advise = true) {
    if (tally.heldIds.empty()) {
        return;
    }
    // Said as the store knows them: an answer may have come that it could not record.
    cli.Error(Fill(TrN("warning: {0} run held back, sent earlier with no outcome recorded: {1}",
                       "warning: {0} runs held back, sent earlier with no outcome recorded: {1}",
                       tally.heldIds.size()),
                   tally.heldIds.size(), Ids(tally.heldIds)));
    if (advise) {
        cli.Error(cli.SettleAdvice());
    }
}

// The runs a sync did not post, one line for each way it left them.
void NameUnposted(CliContext& cli, const SyncTally& tally, bool withUnconfirmed) {
    const auto name = [&cli](const char* sentence, const std::vector<std::string>& runIds) {
        if (!runIds.empty()) {
            cli.Error(Fill(Tr(sentence), Ids(runIds)));
        }
    };
    name(N_("failed, the next sync posts them again: {0}"), tally.failedIds);
    if (withUnconfirmed) {
        name(N_("sent without an answer, held back: {0}"), tally.unconfirmedIds);
    }
    name(N_("not tried, the next sync posts them: {0}"), tally.untriedIds);
    name(N_("posted but not recorded, check the Kelvora run log: {0}"), tally.unrecordedIds);
}

// "; 4 kept off the run log", where runs are; `end` ends a sentence with it.
std::string KeptOff(const SyncTally& tally, bool end = false) {
    if (tally.excluded == 0) {
        return {};
    }
    const auto count = static_cast<unsigned long>(tally.excluded);
    return Fill(end ? TrN("; {0} kept off the run log.", "; {0} kept off the run log.", count)
                    : TrN("; {0} kept off the run log", "; {0} kept off the run log", count),
                tally.excluded);
}

int Interrupted(CliContext& cli, const SyncTally& tally) {
    const int posted = tally.total - tally.notPosted;
    std::string sentence =
        Fill(TrN("interrupted: {0} run posted", "interrupted: {0} runs posted", posted), posted) +
        KeptOff(tally);
    if (!tally.unconfirmedIds.empty()) {
        sentence += Fill(Tr("; outcome unknown: {0}"), Ids(tally.unconfirmedIds));
    }
    cli.Error(sentence);
    NameUnposted(cli, tally, /*withUnconfirmed=*/false);
    if (!tally.unconfirmedIds.empty()) {
        cli.Error(cli.SettleAdvice());
    }
    return kExitInterrupted;
}

int Failed(CliContext& cli, const SyncTally& tally) {
    // Counted from the lists, so that the counts add up whatever stopped the sync.
    const auto total = static_cast<unsigned long>(tally.total);
    const auto posted =
        static_cast<long long>(total - tally.failedIds.size() - tally.unconfirmedIds.size() -
                               tally.untriedIds.size() - tally.unrecordedIds.size());
    cli.Error(Problem(ProblemCode::SyncFailed).Because(*tally.problem));
    cli.Error(Fill(TrN("{0} of {1} run posted and recorded", "{0} of {1} runs posted and recorded",
                       total),
                   posted, tally.total) +
              KeptOff(tally));
    NameUnposted(cli, tally, /*withUnconfirmed=*/true);
    WarnHeld(cli, tally, /*advise=*/false);
    const bool toCheck = !tally.unconfirmedIds.empty() || !tally.heldIds.empty() ||
                         !tally.unrecordedIds.empty() ||
                         tally.problem->Root().code == ProblemCode::PostRedirected;
    cli.Error(toCheck ? cli.SettleAdvice() : cli.NextStep(*tally.problem, /*site=*/true));
    return kExitFailed;
}

// The counts with the runs kept off, which end the sentence in their place.
std::string CountsWithKeptOff(const SyncTally& tally, bool all) {
    const auto already = static_cast<unsigned long>(tally.alreadyPosted);
    std::string counts;
    if (tally.total > 0) {
        counts = Fill(TrN("Posted {0} run to the Kelvora run log",
                          "Posted {0} runs to the Kelvora run log", tally.total),
                      tally.total);
        counts += all ? Fill(TrN("; {0} posted before, posted again",
                                 "; {0} posted before, posted again", tally.postedAgain),
                             tally.postedAgain)
                      : Fill(TrN("; {0} was there already", "; {0} were there already", already),
                             tally.alreadyPosted);
    } else {
        counts =
            Fill(TrN("Nothing new to post: {0} run was on the Kelvora run log already",
                     "Nothing new to post: {0} runs were on the Kelvora run log already", already),
                 tally.alreadyPosted);
    }
    return counts + KeptOff(tally, /*end=*/true);
}

int Succeeded(CliContext& cli, const SyncTally& tally) {
    const bool all = cli.options().all;
    std::string result;
    if (tally.excluded > 0) {
        result = CountsWithKeptOff(tally, all);
    } else if (tally.total > 0) {
        result = Fill(TrN("Posted {0} run to the Kelvora run log",
                          "Posted {0} runs to the Kelvora run log", tally.total),
                      tally.total);
        result += all ? Fill(TrN("; {0} posted before, posted again.",
                                 "; {0} posted before, posted again.", tally.postedAgain),
                             tally.postedAgain)
                      : Fill(TrN("; {0} was there already.", "; {0} were there already.",
                                 tally.alreadyPosted),
                             tally.alreadyPosted);
    } else {
        result = Fill(TrN("Nothing new to post: {0} run was on the Kelvora run log already.",
                          "Nothing new to post: {0} runs were on the Kelvora run log already.",
                          tally.alreadyPosted),
                      tally.alreadyPosted);
    }
    std::ostream& out = cli.Out();
    if (!cli.options().quiet) {
        out << "\n";
    }
    out << result << "\n";
    out.flush();
    // Standard output closed early (`| head -1`): the outcome is still said.
    if (!out) {
        cli.env().err << result << "\n";
    }
    if (tally.withoutId > 0) {
        out << Fill(TrN("{0} row without a RunID was not posted.",
                        "{0} rows without a RunID were not posted.", tally.withoutId),
                    tally.withoutId)
            << "\n";
    }
    WarnHeld(cli, tally);
    return kExitDone;
}

}  // namespace

// The run log gets the runs it does not have yet; what came of each is said.
int Sync(CliContext& cli) {
    // A quiet sync says its outcome alone.
    const bool print = !cli.options().quiet;
    const auto started = std::chrono::system_clock::now();
    std::optional<Problem> why;
    if (const int status = cli.Download(print, &why); status != kExitDone) {
        if (why && !cli.options().dryRun) {
            if (const auto notKept = jobs::RecordSyncNotStarted(cli.where(), started, *why)) {
                cli.PrintWarnings({*notKept});
            }
        }
        return status;
    }
    if (const int status = cli.SaveCsv(cli.table().Snapshot()); status != kExitDone) {
        return status;
    }
    if (cli.options().dryRun) {
        return DryRun(cli);
    }
    CliEnvironment& env = cli.env();
    CliProgress progress(env.err, env.stderrIsTerminal, cli.options().quiet);
    progress.Status(Tr("signing in to Kelvora…"));
    SyncTally tally;
    // An interrupt lets the post in flight finish and be kept; no further
    // post starts.
    const int interrupt = cli.RunStoppable([&](std::stop_token stop) {
        tally = jobs::Sync(cli.where(), cli.table().Snapshot(), progress, std::move(stop),
                           {.postAll = cli.options().all, .stoppedBy = [&env] {
                                return env.interrupts ? env.interrupts->CaughtKey() : std::string();
                            }});
    });
    progress.EndLine();
    cli.PrintWarnings(tally.warnings);
    if (tally.problem && tally.problem->Root().code == ProblemCode::StoreInUse) {
        cli.Error(
            Fill(Tr("{0}; nothing was posted, try again later"), Describe(tally.problem->Root())));
        return kExitInUse;
    }
    if (tally.problem && jobs::IsPause(*tally.problem)) {
        cli.Error(Fill(Tr("{0}; nothing was sent, try again later"), Describe(*tally.problem)));
        return kExitInUse;
    }
    if (interrupt != 0 || tally.stopped) {
        return Interrupted(cli, tally);
    }
    if (tally.problem && tally.problem->code == ProblemCode::SiteSignInFailed) {
        cli.Error(*tally.problem);
        cli.Error(cli.NextStep(*tally.problem, /*site=*/true));
        return kExitFailed;
    }
    return tally.ok() ? Succeeded(cli, tally) : Failed(cli, tally);
}

}  // namespace strivo::cli
