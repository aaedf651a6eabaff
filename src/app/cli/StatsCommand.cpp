#include "app/cli/Commands.h"
#include "history/TotalsText.h"
#include "jobs/Stats.h"
#include "text/Catalog.h"

namespace strivo::cli {
namespace {

// The words of the totals and the chart, in the user's language.
TotalsWords Words() {
    TotalsWords words;
    words.runs = [](std::int64_t count) {
        return std::string(TrN("run", "runs", static_cast<unsigned long>(count)));
    };
    words.unit = Tr("km");
    words.withoutRuns = [](std::int64_t periods, PeriodKind by) {
        const auto count = static_cast<unsigned long>(periods);
        const char* sentence =
            by == PeriodKind::Week
                ? TrN("… {0} week without runs …", "… {0} weeks without runs …", count)
            : by == PeriodKind::Month
                ? TrN("… {0} month without runs …", "… {0} months without runs …", count)
                : TrN("… {0} year without runs …", "… {0} years without runs …", count);
        return Fill(sentence, GroupedCount(periods));
    };
    words.chartTitle = [](PeriodKind by) {
        return std::string(by == PeriodKind::Week    ? Tr("Distance per week (km)")
                           : by == PeriodKind::Month ? Tr("Distance per month (km)")
                                                     : Tr("Distance per year (km)"));
    };
    return words;
}

}  // namespace

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
    const TotalsWords words = Words();
    for (const std::string& line : TotalsLines(totals.periods, totals.by, words)) {
        cli.Out() << line << "\n";
    }
    const auto counted = static_cast<unsigned long>(totals.all.runs);
    cli.Out() << Fill(TrN("In all: {0} run, {1} km, {2}", "In all: {0} runs, {1} km, {2}", counted),
                      totals.all.runs, FormatKm(totals.all.distanceMm, 2),
                      FormatHms(totals.all.durationMs));
    // Unknown, not 0: said once, not a warning a run.
    if (const auto without = static_cast<unsigned long>(totals.all.withoutCalories)) {
        cli.Out() << Fill(
            TrN("; {0} run without a calorie count", "; {0} runs without a calorie count", without),
            without);
    }
    cli.Out() << "\n";
    cli.NameProblems(totals.problems);
    if (options.svg) {
        if (const int status =
                cli.SaveDocument(*options.svg, ChartSvg(totals.periods, totals.by, words));
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
