// The history of 100,000 stored runs: the weekly totals behind `strivo-cli
// stats` (target: well under 1 s), their terminal lines and SVG, and the TCX
// file of every run.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "history/ChartModel.h"
#include "history/TcxWriter.h"
#include "history/TotalsText.h"

namespace {

constexpr int kRuns = 100000;

// One run every 2.6 hours from 2000 on, in three offsets: about 30 years.
const std::vector<strivo::StoredRun>& Runs() {
    static const std::vector<strivo::StoredRun> runs = [] {
        std::vector<strivo::StoredRun> made(kRuns);
        const std::int64_t from = 946684800000;  // 2000-01-01T00:00:00Z
        for (int i = 0; i < kRuns; ++i) {
            strivo::StoredRun& run = made[static_cast<std::size_t>(i)];
            run.runId = std::to_string(1100000000 + i);
            run.startUtcMs = from + std::int64_t{i} * 9360000;
            run.startOffsetMinutes = (i % 3 - 1) * 480;
            run.startTime = strivo::FormatUtc(*run.startUtcMs);  // the bench reads the typed start
            run.distance = std::to_string(3 + i % 17) + ".0123";
            run.duration = std::to_string(1510000 + i);
            run.calories = std::to_string(200 + i % 300);
        }
        return made;
    }();
    return runs;
}

void Totals(benchmark::State& state, strivo::PeriodKind by) {
    const auto& runs = Runs();
    for (auto _ : state) {
        const strivo::RunTotals totals = strivo::TotalRuns(runs, by);
        const auto lines = strivo::TotalsLines(totals.periods);
        benchmark::DoNotOptimize(lines.data());
        state.counters["periods"] = static_cast<double>(totals.periods.size());
    }
}
BENCHMARK_CAPTURE(Totals, Week, strivo::PeriodKind::Week)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Totals, Month, strivo::PeriodKind::Month)->Unit(benchmark::kMillisecond);

void TotalsAndSvg(benchmark::State& state) {
    const auto& runs = Runs();
    for (auto _ : state) {
        const strivo::RunTotals totals = strivo::TotalRuns(runs, strivo::PeriodKind::Week);
        const std::string svg = strivo::ChartSvg(totals.periods, totals.by);
        benchmark::DoNotOptimize(svg.data());
        state.counters["svg_bytes"] = static_cast<double>(svg.size());
    }
}
BENCHMARK(TotalsAndSvg)->Unit(benchmark::kMillisecond);

// What the chart dialog does when it opens: totals and the layout.
void ChartLayout(benchmark::State& state) {
    const auto& runs = Runs();
    for (auto _ : state) {
        const strivo::RunTotals totals = strivo::TotalRuns(runs, strivo::PeriodKind::Week);
        const auto layout = strivo::LayOutChart(totals.periods, {800, 400, 2.0});
        benchmark::DoNotOptimize(layout.bars.data());
    }
}
BENCHMARK(ChartLayout)->Unit(benchmark::kMillisecond);

void Tcx(benchmark::State& state) {
    const auto& runs = Runs();
    for (auto _ : state) {
        const strivo::TcxFile file = strivo::WriteTcx(runs);
        benchmark::DoNotOptimize(file.text.data());
        state.counters["tcx_MB"] = static_cast<double>(file.text.size()) / 1e6;
    }
}
BENCHMARK(Tcx)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
