#include "app/cli/CliWords.h"
#include "app/cli/Commands.h"
#include "app/cli/TerminalTable.h"
#include "history/RunTotals.h"
#include "io/RunText.h"
#include "io/TimeText.h"
#include "jobs/RunLog.h"
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

// The stored runs of the account, oldest first, each with its pace and its
// post's state for the site user; printed as they are read, so a million runs
// are never held (but for --csv, whose rows are the file's). --from, --to and
// --state list some of them, and the files take those alone.
int Runs(CliContext& cli) {
    const CliOptions& options = cli.options();
    const bool csv = options.csv.has_value();
    const jobs::RunLogFilter filter{
        .state = options.state, .fromDay = options.fromDay, .toDay = options.toDay};
    const bool filtered = filter.state || filter.fromDay || filter.toDay;
    RunList::Builder rows;
    long long number = 0;
    std::size_t listed = 0, stored = 0;
    std::vector<std::string> listedIds;  // for --tcx and --fit, where filtered
    jobs::PostStates posts;              // known before the first run
    std::ostream& out = cli.Out();
    std::string pace;
    const Result<jobs::StoredRunsFound> read = jobs::EachStoredRun(
        cli.where(), /*withPosts=*/true, jobs::StoredOrder::ByStart,
        [&](const jobs::StoredRunsFound& found) {
            posts = found.posts;
            stored = found.count;
            if (found.count == 0) {
                cli.SayNothingStored();
            } else {
                cli.SayRunsStored(found.count);
            }
        },
        [&](const StoredRun& run) {
            const auto post = posts.find(run.runId);
            const jobs::RunValues values = jobs::ValuesOf(run);
            if (filtered &&
                !filter.Matches(values,
                                jobs::StateOf(post == posts.end() ? nullptr : &post->second))) {
                return;
            }
            ++listed;
            pace = values.paceMsPerKm ? FormatPace(*values.paceMsPerKm) + "/km" : "";
            const std::string state = PostText(posts, run.runId);
            // A run read from a file has no texts of its own: they are made
            // from its values (copied only then: a million lines of the service's).
            const StoredTexts made = run.source.empty() ? StoredTexts() : TextsOf(run);
            const bool sent = run.source.empty();
            out << RunLine(sent ? run.startTime : made.startTime,
                           sent ? run.distance : made.distance,
                           FormatDuration(std::string_view(sent ? run.duration : made.duration)),
                           run.runId, &pace);
            if (!run.source.empty()) {
                out << "  " << Fill(Tr("imported ({0})"), run.source);
            }
            if (!state.empty()) {
                out << "  " << state;
            }
            out << '\n';
            if (csv) {
                rows.Add(jobs::RunOf(run));
                ++number;
            }
            if (filtered && (options.tcx || options.fit)) {
                listedIds.push_back(run.runId);
            }
        },
        csv ? jobs::StoredFields::All : jobs::StoredFields::Lines);
    if (!read) {
        return cli.StoreFailure(read.problem(), N_("{0}; nothing was changed, try again later"));
    }
    if (filtered && stored > 0) {
        out << Fill(Tr("{0} of them listed."), listed) << '\n';
    }
    if (number > 0) {
        if (const int status = cli.SaveCsv(rows.Finish()); status != kExitDone) {
            return status;
        }
    }
    const auto only =
        filtered ? std::optional<std::span<const std::string>>(listedIds) : std::nullopt;
    if (const int status = cli.SaveTcx(only); status != kExitDone) {
        return status;
    }
    return SaveFit(cli, only);
}

}  // namespace strivo::cli
