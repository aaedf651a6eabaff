// A run list of 100 to 100,000 runs on its way into the run table. The
// download path (the body line reader fed in the pieces libcurl hands over,
// the parse and the table fill) is set beside the least any reader of the
// body could do: one memchr scan for the runs' starts. After the figures it
// prints, per run count, how many times that scan the path takes.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <string>

#include "model/RunTable.h"
#include "net/BodyLineReader.h"
#include "runservice/RunList.h"

namespace strivo {
namespace {

constexpr std::size_t kCurlPiece = 16384;  // CURL_MAX_WRITE_SIZE

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

void CountRuns(benchmark::State& state, int runs, std::size_t bodyBytes) {
    state.SetItemsProcessed(state.iterations() * runs);
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(bodyBytes));
    state.counters["ns_per_run"] =
        benchmark::Counter(static_cast<double>(state.iterations() * runs),
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

// The anchor: memchr for each "<", then a look at whether "<run id=" starts there.
void BM_ScanForRuns(benchmark::State& state) {
    const int runs = static_cast<int>(state.range(0));
    const std::string body = MakeRunList(runs);
    constexpr std::string_view kStart = "<run id=";
    for (auto _ : state) {
        std::size_t found = 0;
        const char* at = body.data();
        const char* const end = body.data() + body.size();
        while ((at = static_cast<const char*>(std::memchr(at, '<', end - at))) != nullptr) {
            if (static_cast<std::size_t>(end - at) >= kStart.size() &&
                std::memcmp(at, kStart.data(), kStart.size()) == 0) {
                ++found;
            }
            ++at;
        }
        benchmark::DoNotOptimize(found);
    }
    CountRuns(state, runs, body.size());
}

// Times `fill` filling a fresh table from the run list of `state.range(0)`
// runs, making and dropping the table included: pausing the timer would
// cost more than a fill of 100 runs.
template <typename Fill>
void TimeFill(benchmark::State& state, Fill fill) {
    const int runs = static_cast<int>(state.range(0));
    const std::string body = MakeRunList(runs);
    for (auto _ : state) {
        RunTable table;
        fill(table, body);
        benchmark::DoNotOptimize(table.RowCount());
    }
    CountRuns(state, runs, body.size());
}

// What a download does with the body as it arrives: each piece's text goes
// from the line reader to the run list reader, the rows into the table.
void BM_DownloadPath(benchmark::State& state) {
    TimeFill(state, [](RunTable& table, std::string_view body) {
        RunListReader runList;
        BodyLineReader reader([&runList](std::string_view text) { runList.Feed(text); });
        for (std::size_t at = 0; at < body.size(); at += kCurlPiece) {
            reader.Append(body.substr(at, kCurlPiece));
        }
        benchmark::DoNotOptimize(runList.SaysSuccess());
        table.Append(runList.Finish());
    });
}

void BM_FillRunTable(benchmark::State& state) {
    TimeFill(state, [](RunTable& table, std::string_view body) { FillRunTable(table, body); });
}

// What printing, exporting or posting costs before its first row: a snapshot
// of the table the run list filled.
void BM_Snapshot(benchmark::State& state) {
    RunTable table;
    FillRunTable(table, MakeRunList(static_cast<int>(state.range(0))));
    for (auto _ : state) {
        benchmark::DoNotOptimize(table.Snapshot());
    }
}

// Medians of five runs of half a second: the machine may be busy with builds.
#define RUN_COUNTS                      \
    Arg(100)                            \
        ->Arg(1000)                     \
        ->Arg(10000)                    \
        ->Arg(100000)                   \
        ->Unit(benchmark::kMillisecond) \
        ->MinTime(0.5)                  \
        ->Repetitions(5)                \
        ->ReportAggregatesOnly(true)
BENCHMARK(BM_ScanForRuns)->RUN_COUNTS;
BENCHMARK(BM_DownloadPath)->RUN_COUNTS;
BENCHMARK(BM_FillRunTable)->RUN_COUNTS;
BENCHMARK(BM_Snapshot)->Arg(100000)->Unit(benchmark::kMicrosecond);

// Prints as usual and keeps each median's time per run for the closing lines.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            const auto counter = run.counters.find("ns_per_run");
            if (run.aggregate_name == "median" && counter != run.counters.end()) {
                m_nsPerRun[run.run_name.function_name + "/" + run.run_name.args] =
                    counter->second.value * 1e9;  // seconds per run
            }
        }
    }

    void PrintRatios() const {
        std::printf("\n%8s  %14s  %14s  %8s  (target: at most 2, flat in the run count)\n", "runs",
                    "scan ns/run", "path ns/run", "path/scan");
        for (const char* runs : {"100", "1000", "10000", "100000"}) {
            const auto scan = m_nsPerRun.find(std::string("BM_ScanForRuns/") + runs);
            const auto path = m_nsPerRun.find(std::string("BM_DownloadPath/") + runs);
            if (scan != m_nsPerRun.end() && path != m_nsPerRun.end()) {
                std::printf("%8s  %14.1f  %14.1f  %8.2f\n", runs, scan->second, path->second,
                            path->second / scan->second);
            }
        }
    }

private:
    std::map<std::string, double> m_nsPerRun;
};

}  // namespace
}  // namespace strivo

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    strivo::RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.PrintRatios();
    benchmark::Shutdown();
    return 0;
}
