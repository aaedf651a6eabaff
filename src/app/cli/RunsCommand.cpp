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
                        DescribeReason(record.reason));
    }
    return {};
}

}  // namespace

// The stored runs of the account, oldest first, each with its post's state
// for the site user; printed as they are read, so a million runs are never
// held (but for --csv, whose rows are the file's).
int Runs(CliContext& cli) {
    const bool csv = cli.options().csv.has_value();
    RunRows::Builder rows;
    long long number = 0;
    jobs::PostStates posts;  // known before the first run
    std::ostream& out = cli.Out();
    const Result<jobs::StoredRunsFound> read = jobs::EachStoredRun(
        cli.where(), /*withPosts=*/true, jobs::StoredOrder::ByStart,
        [&](const jobs::StoredRunsFound& found) {
            posts = found.posts;
            if (found.count == 0) {
                cli.SayNothingStored();
            } else {
                cli.SayRunsStored(found.count);
            }
        },
        [&](const StoredRun& run) {
            const std::string state = PostText(posts, run.runId);
            out << RunLine(run.startTime, run.distance,
                           FormatDuration(std::string_view(run.duration)), run.runId);
            if (!run.source.empty()) {
                out << "  " << Fill(Tr("imported ({0})"), run.source);
            }
            if (!state.empty()) {
                out << "  " << state;
            }
            out << '\n';
            if (csv) {
                jobs::AddStoredRunRow(rows, run, ++number);
            }
        },
        csv ? jobs::StoredFields::All : jobs::StoredFields::Lines);
    if (!read) {
        return cli.StoreFailure(read.problem(), N_("{0}; nothing was changed, try again later"));
    }
    if (number > 0) {
        if (const int status = cli.SaveCsv(rows.Finish()); status != kExitDone) {
            return status;
        }
    }
    if (const int status = cli.SaveTcx(); status != kExitDone) {
        return status;
    }
    return SaveFit(cli);
}

}  // namespace strivo::cli
