#include "app/cli/CliWords.h"
#include "app/cli/Commands.h"
#include "app/cli/TerminalTable.h"
#include "jobs/StoredRuns.h"
#include "model/ProblemWords.h"
#include "text/Catalog.h"
#include "text/TextHelpers.h"

namespace strivo::cli {
namespace {

// A run's post for the site user: "posted DATE", "unknown since DATE",
// "failed DATE: why", or nothing.
std::string PostText(const jobs::PostStates& posts, const std::string& runId) {
    const auto post = posts.find(runId);
    if (post == posts.end()) {
        return {};
    }
    const PostRecord& record = post->second;
    switch (record.state) {
        case PostState::Confirmed:
            return Fill(Tr("posted {0}"), LocalDate(record.outcomeAt));
        case PostState::Sending:
        case PostState::Unknown:
            return Fill(Tr("unknown since {0}"), LocalDate(record.intentAt));
        case PostState::Excluded:
            return Tr("not to be posted");
        case PostState::Failed:
            return Fill(Tr("failed {0}: {1}"), LocalDate(record.outcomeAt),
                        ForTerminalUtf8(Describe(ProblemFromKey(record.reason))));
    }
    return {};
}

}  // namespace

// The stored runs of the account, oldest first, each with its post's state
// for the site user.
int Runs(CliContext& cli) {
    const Result<jobs::StoredRunList> read =
        jobs::ReadStoredRuns(cli.where(), /*withPosts=*/true, /*ordered=*/true);
    if (!read) {
        return cli.StoreFailure(read.problem(), N_("{0}; nothing was changed, try again later"));
    }
    if (read->runs.empty()) {
        cli.SayNothingStored();
        // An empty TCX file says as much to another service.
        const int status = cli.SaveTcx();
        return status != kExitDone ? status : SaveFit(cli);
    }
    cli.SayRunsStored(read->runs.size());
    for (const StoredRun& run : read->runs) {
        const std::string state = PostText(read->posts, run.runId);
        cli.Out() << RunLine(run.startTime, run.distance,
                             FormatDuration(std::string_view(run.duration)), run.runId)
                  << (run.source.empty() ? "" : "  " + Fill(Tr("imported ({0})"), run.source))
                  << (state.empty() ? "" : "  " + state) << "\n";
    }
    if (const int status = cli.SaveCsv(jobs::RowsOfStoredRuns(read->runs)); status != kExitDone) {
        return status;
    }
    if (const int status = cli.SaveTcx(); status != kExitDone) {
        return status;
    }
    return SaveFit(cli);
}

}  // namespace strivo::cli
