// The history of 100,000 stored runs: the weekly totals behind `strivo-cli
// stats` (target: well under 1 s), their terminal lines and SVG, and the TCX
// file of every run, and the opening of the window's chart dialog.
#include <benchmark/benchmark.h>

#include <array>

#include <chrono>
#include <string>
#include <vector>

#include "history/ChartModel.h"
#include "history/TcxWriter.h"
#include "history/TotalsText.h"
#include "io/RunText.h"
#include "io/TimeText.h"
#include "store/RunStore.h"
#include "ui/StatsChart.h"

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
            // The bench reads the typed start.
            run.startTime = strivo::UtcTimeText(*run.startUtcMs);
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
        const auto lines = strivo::TotalsLines(totals.periods, totals.by);
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

// What "跑量统计…" does before the dialog shows (target: under 200 ms): the
// account's runs read from the store, their weekly totals, the layout at
// 192 DPI and the bars in sight drawn.
class CountingCanvas : public strivo::ChartCanvas {
public:
    void FillRect(const strivo::ChartRect&, strivo::ChartColour) override { ++shapes; }
    void Line(int, int, int, int, strivo::ChartColour) override { ++shapes; }
    void Text(const strivo::ChartText&, int, strivo::ChartColour) override { ++shapes; }
    int shapes = 0;
};

void ChartDialogOpens(benchmark::State& state) {
    const strivo::ServiceKey service{"nikeplus.nike.com", 443};
    const auto store = *strivo::RunStore::OpenInMemory("history-bench");
    {
        std::vector<strivo::Run> list;
        for (const strivo::StoredRun& run : Runs()) {
            list.push_back(strivo::ServiceRun(run.runId, {run.startTime, run.distance, run.duration,
                                                          run.calories, run.startTime}));
        }
        store->StoreRuns(service, "runner", list, std::chrono::system_clock::now());
    }
    for (auto _ : state) {
        // As the window opens it: every period's totals from one pass over the store.
        std::array<strivo::RunTotaller, 3> totallers = {
            strivo::RunTotaller(strivo::PeriodKind::Week),
            strivo::RunTotaller(strivo::PeriodKind::Month),
            strivo::RunTotaller(strivo::PeriodKind::Year)};
        (void)store->EachRun(
            service, "runner", strivo::RunStore::RunOrder::AsStored,
            [&](const strivo::StoredRun& run) {
                for (strivo::RunTotaller& totaller : totallers) {
                    totaller.Add(run);
                }
            },
            strivo::RunStore::RunFields::Figures);
        strivo::StatsChart chart(
            {totallers[0].Finish(), totallers[1].Finish(), totallers[2].Finish()});
        chart.Resize({1280, 720, 2.0});
        CountingCanvas canvas;
        chart.Paint(canvas, chart.layout().width - 1280, chart.layout().width);
        benchmark::DoNotOptimize(canvas.shapes);
        state.counters["bars"] = static_cast<double>(chart.layout().bars.size());
    }
}
BENCHMARK(ChartDialogOpens)->Unit(benchmark::kMillisecond);

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
