#include <benchmark/benchmark.h>

#include <string>

#include "jobs/RunTable.h"
#include "runservice/RunList.h"

namespace strivo {
namespace {

// A run list shaped like the service's, with `runs` runs.
std::string MakeRunList(int runs) {
    std::string body =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plusService>\n"
        "<status>success</status>\n<runList>\n";
    for (int i = 0; i < runs; ++i) {
        const std::string id = std::to_string(1100000000 + i);
        body += "<run id=\"" + id +
                "\" workoutType=\"standard\">\n"
                "<startTime>2010-04-18T07:05:11+08:00</startTime>\n"
                "<distance>5.0321</distance>\n<duration>1834000</duration>\n"
                "<syncTime>2010-04-18T01:10:42+00:00</syncTime>\n<calories>356</calories>\n"
                "<name><![CDATA[]]></name>\n<description/>\n<howFelt>2</howFelt>\n"
                "<weather>1</weather>\n<terrain>1</terrain>\n<equipmentType>ipod</equipmentType>\n"
                "</run>\n";
    }
    body += "</runList>\n</plusService>\n";
    return body;
}

void BM_FillRunTable(benchmark::State& state) {
    const int runs = static_cast<int>(state.range(0));
    const std::string body = MakeRunList(runs);
    for (auto _ : state) {
        state.PauseTiming();
        RunTable table;
        state.ResumeTiming();
        FillRunTable(table, body);
        benchmark::DoNotOptimize(table.RowCount());
        state.PauseTiming();
        table.Clear();  // freeing the rows is not part of the fill
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * runs);
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(body.size()));
    state.counters["ns_per_run"] =
        benchmark::Counter(static_cast<double>(state.iterations() * runs),
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_FillRunTable)
    ->Arg(100)
    ->Arg(1000)
    ->Arg(10000)
    ->Arg(100000)
    ->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace strivo

BENCHMARK_MAIN();
