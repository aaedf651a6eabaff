// bench_window_store CONFIG.INI: what the window does with the runs stored
// beside a settings file, without a display: 显示本机保存的跑步记录 (every
// stored run made a row, in the runner's order, into the table the list
// reads), the statistics dialog's totals (every period, one pass), and the
// list's reading of the last row. Prints each one's wall time and the
// process's peak resident memory, as the kernel counts it.
#include <sys/resource.h>

#include <chrono>
#include <cstdio>

#include "io/RunText.h"
#include "jobs/Stats.h"
#include "jobs/StoredRuns.h"
#include "model/RunTable.h"
#include "settings/Settings.h"

namespace {

double Since(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

double PeakMebibytes() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: bench_window_store CONFIG.INI\n");
        return 2;
    }
    const std::filesystem::path settingsFile = argv[1];
    const strivo::jobs::Workspace where =
        strivo::jobs::ForSettingsFile(settingsFile, strivo::LoadSettings(settingsFile), {});

    auto start = std::chrono::steady_clock::now();
    strivo::RunList::Builder rows;
    long long count = 0;
    const auto read = strivo::jobs::EachStoredRun(
        where, false, strivo::jobs::StoredOrder::ByStart, [](const auto&) {},
        [&](const strivo::StoredRun& run) {
            rows.Add(strivo::jobs::RunOf(run));
            ++count;
        });
    strivo::RunTable table;
    table.Replace(rows.Finish());
    std::printf("stored runs shown: %lld rows, %.3f s, peak %.1f MiB\n", count, Since(start),
                PeakMebibytes());

    start = std::chrono::steady_clock::now();
    const auto stats = strivo::jobs::StatsEveryPeriod(where);
    std::printf("statistics, every period: %zu weeks, %.3f s, peak %.1f MiB\n",
                stats ? stats->totals[0].periods.size() : 0, Since(start), PeakMebibytes());

    start = std::chrono::steady_clock::now();
    std::size_t bytes = 0;
    const std::size_t last = table.RowCount() - 1;
    for (std::size_t row = last > 40 ? last - 40 : 0; row <= last; ++row) {
        const std::optional<strivo::Run> run = table.RunAt(row);
        for (std::size_t column = 0; column < strivo::kRunColumnCount && run; ++column) {
            bytes += strivo::RunCell(*run, row + 1, column).size();
        }
    }
    std::printf("the last 40 rows read as the list paints them: %.6f s (%zu bytes)\n", Since(start),
                bytes);
    return read && stats ? 0 : 1;
}
