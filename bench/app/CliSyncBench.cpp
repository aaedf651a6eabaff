// A whole sync of 1,000 runs: `strivo-cli sync --all` against a shell
// pipeline of curl commands making the same requests to the same stand-ins
// (bench/support/CurlSyncPipeline.h). Rounds alternate between the two;
// medians and their ratio are printed.
// Strivo flushes its record of posted runs to disk after each post, which
// curl has no counterpart for: the rounds keep that record in memory-backed
// /dev/shm, and one more sync with the record on disk shows what the flushes
// cost on this machine.
// First, the same sync in this process, with the workers strivo-cli runs and a
// fresh store on disk, counts the store's commits: the download's, and the
// posting's for N posts (at most N + 3: the import of older records, the
// start, one per post joining its intent with the outcome before it, and the
// last outcome).
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "../support/CurlSyncPipeline.h"
#include "../support/StandInProcess.h"
#include "jobs/Download.h"
#include "jobs/Sync.h"
#include "model/RunTable.h"
#include "runservice/RunList.h"
#include "site/RunLogForm.h"
#include "store/RunStore.h"
#include "text/TextHelpers.h"

namespace {

using strivo::bench::Median;
using strivo::bench::Output;
using strivo::bench::RunChild;

constexpr int kRuns = 1000;
constexpr int kRounds = 5;
constexpr double kTarget = 0.6;

// Hears nothing: the counts come from the jobs' results.
class NoReports : public strivo::ProgressSink {
public:
    void Post(strivo::ProgressReport) override {}
};

struct Commits {
    std::uint64_t download = 0, sync = 0;
    int posted = 0;
};

// A download and a sync into a new strivo.db beside `settingsFile`, as
// strivo-cli sync makes them.
Commits CountCommits(const std::filesystem::path& settingsFile) {
    strivo::WebSessionConfig config;
    config.cookies = strivo::MakeCookieStore();
    const strivo::jobs::Workspace where =
        strivo::jobs::ForSettingsFile(settingsFile, strivo::ReadSettings(settingsFile), config);
    const auto commits = [] { return strivo::RunStore::CommitsInProcess(); };
    NoReports sink;
    strivo::RunTable table;
    Commits counted;
    const std::uint64_t opened = commits();
    (void)strivo::jobs::Download(where, table, sink);
    counted.download = commits() - opened;
    const strivo::SyncTally tally = strivo::jobs::Sync(where, table.Snapshot(), sink);
    counted.sync = commits() - opened - counted.download;
    counted.posted = tally.total - tally.notPosted;
    return counted;
}

}  // namespace

int main() {
    using Clock = std::chrono::steady_clock;
    const std::filesystem::path disk = std::filesystem::temp_directory_path();
    if (std::filesystem::is_directory("/dev/shm")) {
        ::setenv("TMPDIR", "/dev/shm", 1);
    }
    strivo::test::TempFolder folder;
    strivo::bench::StandInProcess standIns(kRuns, folder.path());
    const std::string script =
        strivo::bench::WriteCurlSyncPipeline(standIns.settings(), folder.path()).string();

    // On disk, where the commits cost what they cost a runner.
    {
        const std::string rounds = std::filesystem::temp_directory_path();
        ::setenv("TMPDIR", disk.c_str(), 1);
        strivo::test::TempFolder countFolder;
        ::setenv("TMPDIR", rounds.c_str(), 1);
        std::filesystem::copy_file(standIns.settingsFile(), countFolder / "config.ini");
        const Commits commits = CountCommits(countFolder / "config.ini");
        const std::uint64_t most = static_cast<std::uint64_t>(commits.posted) + 3;
        std::printf(
            "store commits of a sync of %d runs into a new store: download %llu; "
            "posting %llu for %d posts (at most %llu: %s)\n",
            kRuns, static_cast<unsigned long long>(commits.download),
            static_cast<unsigned long long>(commits.sync), commits.posted,
            static_cast<unsigned long long>(most), commits.sync <= most ? "ok" : "MORE");
    }

    std::vector<double> strivoSeconds, curlSeconds;
    for (int round = 0; round < kRounds; ++round) {
        const auto sync =
            RunChild(STRIVO_CLI, {"sync", "--all", "--config", standIns.settingsFile().string()});
        if (sync.status != 0) {
            std::fprintf(stderr, "strivo-cli sync failed (%d)\n", sync.status);
            return 1;
        }
        strivoSeconds.push_back(sync.seconds);

        const auto start = Clock::now();
        const std::string codes = Output("bash " + script);
        curlSeconds.push_back(std::chrono::duration<double>(Clock::now() - start).count());
        std::size_t posted = 0;
        for (std::size_t at = 0; (at = codes.find("200\n", at)) != std::string::npos; at += 4) {
            ++posted;
        }
        if (posted != kRuns) {
            std::fprintf(stderr, "the curl pipeline posted %zu of %d runs\n", posted, kRuns);
            return 1;
        }
    }
    ::setenv("TMPDIR", disk.c_str(), 1);
    strivo::test::TempFolder diskFolder;
    std::filesystem::copy_file(standIns.settingsFile(), diskFolder / "config.ini");
    const auto onDisk =
        RunChild(STRIVO_CLI, {"sync", "--all", "--config", (diskFolder / "config.ini").string()});

    const double strivoMedian = Median(strivoSeconds);
    const double curlMedian = Median(curlSeconds);
    std::printf("sync of %d runs, median of %d rounds\n", kRuns, kRounds);
    std::printf("strivo-cli sync:  %.3f s\n", strivoMedian);
    std::printf("curl pipeline:    %.3f s\n", curlMedian);
    std::printf("ratio strivo/curl: %.2f (target at most %.2f)\n", strivoMedian / curlMedian,
                kTarget);
    std::printf("strivo-cli sync with its record in %s: %.3f s\n", disk.c_str(), onDisk.seconds);
    return 0;
}
