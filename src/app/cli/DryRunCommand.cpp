#include <algorithm>

#include "app/cli/CliWords.h"
#include "app/cli/Commands.h"
#include "app/cli/TerminalTable.h"
#include "io/RunText.h"
#include "jobs/DryRun.h"
#include "text/Catalog.h"

namespace strivo::cli {
namespace {

std::string ActionText(const PlannedRun& step) {
    switch (step.action) {
        case RunAction::Post:
            return Tr("post");
        case RunAction::AlreadyPosted:
            return Fill(Tr("skip (posted {0})"), LocalDate(step.since));
        case RunAction::Held:
            return Fill(Tr("held (unknown since {0})"), LocalDate(step.since));
        case RunAction::Twice:
            return Tr("skip (twice in the list)");
        case RunAction::Excluded:
            return Tr("skip (not to be posted)");
        case RunAction::WithoutId:
            break;
    }
    return Tr("skip (no RunID)");
}

}  // namespace

// What a sync would do with each downloaded run; nothing is posted.
int DryRun(CliContext& cli) {
    const RunList rows = cli.table().Snapshot();
    const Result<jobs::DryRunPlan> planned = jobs::DryRun(cli.where(), rows, cli.options().all);
    if (!planned) {
        cli.Error(planned.problem());
        return kExitFailed;
    }
    const std::vector<PlannedRun>* plan = &planned->plan;
    const auto posts = std::count_if(plan->begin(), plan->end(), [](const PlannedRun& run) {
        return run.action == RunAction::Post;
    });
    std::ostream& out = cli.Out();
    out << "\n"
        << Fill(TrN("Would post {0} of {1} run:", "Would post {0} of {1} runs:", plan->size()),
                posts, plan->size())
        << "\n";
    std::vector<std::string> actions;
    std::size_t width = 0;
    for (const PlannedRun& step : *plan) {
        actions.push_back(ActionText(step));
        width = std::max(width, Utf8Width(actions.back()));
    }
    for (std::size_t i = 0; i < plan->size(); ++i) {
        const Run& run = *(*plan)[i].run;
        const RunCells cells = CellsOf(run, i + 1);
        out << actions[i] << std::string(width + 2 - Utf8Width(actions[i]), ' ')
            << RunLine(cells[kColumnStartTime], cells[kColumnDistance], cells[kColumnDuration],
                       run.id())
            << "\n";
        if (cli.options().verbose && (*plan)[i].action == RunAction::Post) {
            // The site's token is known only once signed in.
            out << "    formhash=<formhash>"
                << ForTerminal(jobs::RunLogForm(run).substr(std::string_view("formhash=").size()))
                << "\n";
        }
    }
    return kExitDone;
}

}  // namespace strivo::cli
