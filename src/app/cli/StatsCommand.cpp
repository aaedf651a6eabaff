#include "app/cli/Commands.h"
#include "history/TotalsText.h"
#include "jobs/Stats.h"
#include "text/Catalog.h"

namespace strivo::cli {

// The distance per period of the stored runs, and with --svg its chart.
int Stats(CliContext& cli) {
    const CliOptions& options = cli.options();
    const Result<jobs::StoredTotals> stats = jobs::Stats(cli.where(), options.by);
    if (!stats) {
        return cli.StoreFailure(stats.problem(), N_("{0}; nothing was changed, try again later"));
    }
    if (stats->runs == 0) {
        cli.SayNothingStored();
        return kExitDone;
    }
    const RunTotals& totals = stats->totals;
    cli.SayRunsStored(stats->runs);
    for (const std::string& line : TotalsLines(totals.periods, totals.by)) {
        cli.Out() << line << "\n";
    }
    const auto counted = static_cast<unsigned long>(totals.all.runs);
    cli.Out() << Fill(TrN("In all: {0} run, {1} km, {2}", "In all: {0} runs, {1} km, {2}", counted),
                      totals.all.runs, FormatKm(totals.all.distanceMm, 2),
                      FormatHms(totals.all.durationMs))
              << "\n";
    cli.NameProblems(totals.problems);
    if (options.svg) {
        if (const int status = cli.SaveDocument(*options.svg, ChartSvg(totals.periods, totals.by));
            status != kExitDone) {
            return status;
        }
        if (!CliContext::ToStandardOutput(options.svg) && !options.quiet) {
            cli.env().err << Fill(Tr("Saved the chart to {0}"), Utf8Path(*options.svg)) << "\n";
        }
    }
    return kExitDone;
}

}  // namespace strivo::cli
