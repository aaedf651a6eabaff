// The run store on disk: a downloaded list of 100,000 runs stored for the
// first time (target: under 1 s) and stored again unchanged (under 0.3 s),
// and a sync of 1,000 posts, counting its commits (at most N + 3).
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "io/RunText.h"
#include "store/RunStore.h"

namespace {

constexpr int kRuns = 100000;
const strivo::ServiceKey kService{"nikeplus.nike.com", 443};
const strivo::SiteKey kSite{"bbs.kelvora.example", 80, "runner"};

struct RunTexts {
    std::string id, start, distance, duration, calories, sync;
};

const std::vector<RunTexts>& Texts() {
    static const std::vector<RunTexts> texts = [] {
        std::vector<RunTexts> made;
        for (int i = 0; i < kRuns; ++i) {
            made.push_back({std::to_string(1100000000 + i), "2010-04-20T06:30:15+08:00",
                            std::to_string(3 + i % 17) + ".0123", std::to_string(1510000 + i),
                            std::to_string(200 + i % 300), "2010-04-20T08:00:00+08:00"});
        }
        return made;
    }();
    return texts;
}

std::vector<strivo::Run> Runs() {
    std::vector<strivo::Run> runs;
    for (const RunTexts& t : Texts()) {
        runs.push_back(
            strivo::ServiceRun(t.id, {t.start, t.distance, t.duration, t.calories, t.sync}));
    }
    return runs;
}

std::filesystem::path FreshFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "strivo-bench-XXXXXX").string();
    return ::mkdtemp(pattern.data());
}

std::unique_ptr<strivo::RunStore> OpenStore(const std::filesystem::path& folder) {
    auto store = strivo::RunStore::Open(folder / "strivo.db");
    if (!store) {
        std::abort();
    }
    return std::move(*store);
}

void StoreNewList(benchmark::State& state) {
    const auto runs = Runs();
    for (auto _ : state) {
        state.PauseTiming();
        const std::filesystem::path folder = FreshFolder();
        auto store = OpenStore(folder);
        state.ResumeTiming();
        if (!store->StoreRuns(kService, "runner", runs, std::chrono::system_clock::now())) {
            state.SkipWithError("store failed");
        }
        state.PauseTiming();
        store.reset();
        std::filesystem::remove_all(folder);
        state.ResumeTiming();
    }
    state.counters["runs"] = kRuns;
}
BENCHMARK(StoreNewList)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

void StoreSameListAgain(benchmark::State& state) {
    const auto runs = Runs();
    const std::filesystem::path folder = FreshFolder();
    auto store = OpenStore(folder);
    store->StoreRuns(kService, "runner", runs, std::chrono::system_clock::now());
    for (auto _ : state) {
        if (!store->StoreRuns(kService, "runner", runs, std::chrono::system_clock::now())) {
            state.SkipWithError("store failed");
        }
    }
    store.reset();
    std::filesystem::remove_all(folder);
}
BENCHMARK(StoreSameListAgain)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

// A sync as the site worker will drive it: begin, then one commit per post
// joining the outcome of the one before with the intent of the next.
void SyncCommits(benchmark::State& state) {
    constexpr int kPosts = 1000;
    for (auto _ : state) {
        state.PauseTiming();
        const std::filesystem::path folder = FreshFolder();
        auto store = OpenStore(folder);
        std::vector<std::filesystem::path> none;
        store->ImportPostedRuns(none);
        const std::uint64_t before = store->commits() - 1;  // the import's commit counts
        state.ResumeTiming();
        const auto now = std::chrono::system_clock::now();
        store->BeginSync(kSite, now);
        std::optional<strivo::PostOutcome> previous;
        for (int i = 0; i < kPosts; ++i) {
            const std::string runId = std::to_string(1100000000 + i);
            if (!store->RecordOutcomeAndIntent(kSite, previous, runId, now)) {
                state.SkipWithError("commit failed");
            }
            previous = strivo::PostOutcome{runId, strivo::PostResult::Confirmed, {}, now};
        }
        store->RecordOutcome(kSite, *previous);
        state.PauseTiming();
        state.counters["posts"] = kPosts;
        state.counters["commits"] = static_cast<double>(store->commits() - before);
        store.reset();
        std::filesystem::remove_all(folder);
        state.ResumeTiming();
    }
}
BENCHMARK(SyncCommits)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

}  // namespace

BENCHMARK_MAIN();
