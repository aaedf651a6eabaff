// bench_run_log CONFIG.INI: the run log over the runs stored beside a
// settings file, without a display: its opening (every run read with its
// post, sorted, counted and summed, the strip's figures), a sort by each
// column of figures, each filter, and the rows a list paints. Prints each
// one's wall time and the process's peak resident memory.
#include <sys/resource.h>

#include <chrono>
#include <cstdio>

#include "settings/Settings.h"
#include "ui/RunLogController.h"

namespace {

double Since(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

double PeakMebibytes() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

// A window that shows nothing, with its first row selected as a runner's would be.
class Headless : public strivo::RunLogSurface {
public:
    void SetTitle(const std::string&) override {}
    void SetColumns(const std::vector<strivo::RunLogColumn>&) override {}
    void ShowRows(std::size_t count) override { rows = count; }
    void RefreshRows() override {}
    void SetSortMark(std::size_t, bool) override {}
    std::vector<std::size_t> SelectedRows() override { return {0}; }
    void SelectRows(const std::vector<std::size_t>&) override {}
    void SelectAllRows() override {}
    void SetChoices(strivo::RunLogFilter, const strivo::RunLogChoices&) override {}
    void SetStrip(const std::vector<std::string>&) override {}
    void SetFooter(const std::string& text) override { footer = text; }
    void SetStatus(const std::string&) override {}
    std::optional<std::size_t> ShowContextMenu(const std::vector<strivo::MenuItem>&) override {
        return std::nullopt;
    }
    void ShowImportResults(const strivo::RunLogImportResults&) override {}
    std::optional<int> ShowRun(const strivo::RunLogRunView&) override { return std::nullopt; }
    void ShowMessage(const std::string&) override {}
    bool Confirm(const std::string&) override { return false; }
    std::vector<std::filesystem::path> ChooseRunFiles() override { return {}; }
    std::optional<std::filesystem::path> ChooseRunFolder() override { return std::nullopt; }
    std::optional<strivo::ChosenFile> ChooseCsvFile() override { return std::nullopt; }
    std::optional<strivo::ChosenFile> ChooseTcxFile() override { return std::nullopt; }
    std::optional<strivo::ChosenFile> ChooseFitFolder() override { return std::nullopt; }
    strivo::WindowPlace Place() override { return {}; }
    void SetPlace(const strivo::WindowPlace&) override {}
    void Raise() override {}
    void Post(std::function<void()>) override {}
    void CloseWindow() override {}

    std::size_t rows = 0;
    std::string footer;
};

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: bench_run_log CONFIG.INI\n");
        return 2;
    }
    const std::filesystem::path settingsFile = argv[1];
    const strivo::Settings settings = strivo::LoadSettings(settingsFile);
    strivo::RunLogHost host;
    host.where = [&] { return strivo::jobs::ForSettingsFile(settingsFile, settings, {}); };
    host.keepPlace = false;
    strivo::RunLogController log(std::move(host));
    Headless window;

    auto start = std::chrono::steady_clock::now();
    log.Start(window);
    std::printf("run log opened: %zu rows, %.3f s, peak %.1f MiB\n", window.rows, Since(start),
                PeakMebibytes());

    double slowestSort = 0;
    for (const std::size_t column :
         {strivo::kLogDistance, strivo::kLogPace, strivo::kLogState, strivo::kLogDate}) {
        start = std::chrono::steady_clock::now();
        log.OnHeaderClicked(column);
        slowestSort = std::max(slowestSort, Since(start));
    }
    std::printf("the slowest sort by a column: %.3f s\n", slowestSort);

    double slowestFilter = 0;
    const std::pair<strivo::RunLogFilter, std::size_t> filters[] = {
        {strivo::RunLogFilter::State, 2},
        {strivo::RunLogFilter::State, 0},
        {strivo::RunLogFilter::Year, 1},
        {strivo::RunLogFilter::Year, 0}};
    for (const auto& [filter, choice] : filters) {
        start = std::chrono::steady_clock::now();
        log.OnChoice(filter, choice);
        slowestFilter = std::max(slowestFilter, Since(start));
    }
    std::printf("the slowest filter: %.3f s\n", slowestFilter);

    start = std::chrono::steady_clock::now();
    std::size_t bytes = 0;
    for (std::size_t row = 0; row < std::min<std::size_t>(40, log.RowCount()); ++row) {
        for (std::size_t column = 0; column < strivo::kLogColumnCount; ++column) {
            bytes += log.Cell(row, column).size() + log.ToolTip(row, column).size();
        }
    }
    std::printf("40 rows painted: %.6f s (%zu bytes), peak %.1f MiB\n", Since(start), bytes,
                PeakMebibytes());
    if (window.rows == 0) {
        std::fprintf(stderr, "no runs shown: %s\n", window.footer.c_str());
    }
    return window.rows > 0 ? 0 : 1;
}
