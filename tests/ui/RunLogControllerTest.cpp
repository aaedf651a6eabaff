// The run log's controller over a fake window: what it shows of a store
// holding runs of every state, and what its menus, keys, drops and a run in
// full do to them.

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>

#include "../support/Cp936Literal.h"
#include "../support/SentRuns.h"
#include "../support/TempFolder.h"
#include "jobs/Settle.h"
#include "jobs/StoreAccess.h"
#include "text/CodePage.h"
#include "ui/RunLogController.h"

namespace strivo {
namespace {

using namespace std::chrono_literals;
using test::Cp936;

// The window, recording what it was told; a posted call waits for Pump.
class FakeRunLog : public RunLogSurface {
public:
    void SetTitle(const std::string& text) override { title = Cp936ToUtf8(text); }
    void SetColumns(const std::vector<RunLogColumn>& shown) override { columns = shown; }
    void ShowRows(std::size_t count) override {
        rows = count;
        selected.clear();
    }
    void RefreshRows() override {}
    void SetSortMark(std::size_t column, bool ascending) override {
        sortMark = {column, ascending};
    }
    std::vector<std::size_t> SelectedRows() override { return selected; }
    void SelectRows(const std::vector<std::size_t>& chosen) override { selected = chosen; }
    void SelectAllRows() override {
        selected.clear();
        for (std::size_t row = 0; row < rows; ++row) {
            selected.push_back(row);
        }
    }
    void SetChoices(RunLogFilter filter, const RunLogChoices& shown) override {
        choices[static_cast<int>(filter)] = shown;
    }
    void SetStrip(const std::vector<std::string>& figures) override { strip = figures; }
    void SetFooter(const std::string& text) override { footer = Cp936ToUtf8(text); }
    void SetStatus(const std::string& text) override { status = Cp936ToUtf8(text); }
    std::optional<std::size_t> ShowContextMenu(const std::vector<MenuItem>& items) override {
        menu = items;
        return menuChoice;
    }
    void ShowImportResults(const RunLogImportResults& shown) override { results = shown; }
    std::optional<int> ShowRun(const RunLogRunView& shown) override {
        run = shown;
        return runChoice;
    }
    void ShowMessage(const std::string& text) override { messages.push_back(Cp936ToUtf8(text)); }
    bool Confirm(const std::string& text) override {
        questions.push_back(Cp936ToUtf8(text));
        return answer;
    }
    std::vector<std::filesystem::path> ChooseRunFiles() override { return {}; }
    std::optional<std::filesystem::path> ChooseRunFolder() override { return std::nullopt; }
    std::optional<ChosenFile> ChooseCsvFile() override { return file; }
    std::optional<ChosenFile> ChooseTcxFile() override { return file; }
    std::optional<ChosenFile> ChooseFitFolder() override { return file; }
    WindowPlace Place() override { return place; }
    void SetPlace(const WindowPlace& shown) override { place = shown; }
    void Raise() override { ++raised; }
    void Post(std::function<void()> call) override {
        const std::lock_guard lock(m_mutex);
        m_posted.push_back(std::move(call));
        m_wake.notify_all();
    }
    void CloseWindow() override { ++closes; }

    bool PumpUntil(const std::function<bool()>& done) {
        const auto until = std::chrono::steady_clock::now() + 10s;
        while (!done() && std::chrono::steady_clock::now() < until) {
            std::unique_lock lock(m_mutex);
            if (m_wake.wait_for(lock, 5ms, [&] { return !m_posted.empty(); })) {
                auto call = std::move(m_posted.front());
                m_posted.pop_front();
                lock.unlock();
                call();
            }
        }
        return done();
    }

    std::string title, footer, status;
    std::vector<RunLogColumn> columns;
    std::size_t rows = 0;
    std::pair<std::size_t, bool> sortMark;
    std::vector<std::size_t> selected;
    RunLogChoices choices[2];
    std::vector<std::string> strip;
    std::vector<MenuItem> menu;
    std::optional<std::size_t> menuChoice;
    std::optional<RunLogImportResults> results;
    std::optional<RunLogRunView> run;
    std::optional<int> runChoice;
    std::vector<std::string> messages, questions;
    bool answer = false;
    std::optional<ChosenFile> file;
    WindowPlace place{10, 20, 800, 600, false};
    int raised = 0, closes = 0;

private:
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<std::function<void()>> m_posted;
};

// A store beside a settings file, holding the run service's runs 101 to 105
// (posted, never posted, unknown, failed, kept off) and one run read from a
// GPX file, kept off the run log.
class RunLogControllerTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_settings.serviceUser = "runner";
        m_settings.siteUser = "poster";
        const jobs::Workspace where = Where();
        auto store = *jobs::OpenStore(where);
        const DownloadedRun runs[] = {
            {"101", "2010-03-07T06:48:38+08:00", "5.0", "1500000", "300", "2010-03-07T09:00:00Z"},
            {"102", "2011-01-01T00:30:00+08:00", "10.5", "3150000", "", ""},
            {"103", "2011-01-08T07:00:00+08:00", "12", "3480000", "800", ""},
            {"104", "2011-01-10T07:00:00+08:00", "3", "1080000", "200", ""},
            {"105", "2011-01-11T07:00:00+08:00", "4", "1200000", "200", ""},
        };
        const auto now = std::chrono::system_clock::now();
        ASSERT_TRUE(store->StoreRuns(ServiceKeyOf(m_settings), "runner", Runs(runs), now));
        const SiteKey site = SiteKeyOf(m_settings);
        ASSERT_TRUE(store->CommitIntent(site, "101", now));
        ASSERT_TRUE(store->RecordOutcome(site, {"101", PostResult::Confirmed, "", now}));
        ASSERT_TRUE(store->CommitIntent(site, "103", now));
        ASSERT_TRUE(store->RecordOutcome(site, {"103", PostResult::Unknown, "", now}));
        ASSERT_TRUE(store->CommitIntent(site, "104", now));
        ASSERT_TRUE(store->RecordOutcome(site, {"104", PostResult::Failed, "net-timed-out", now}));
        const strivo::Run file =
            FileRunAt(1306882800000, 8000, 2400000);  // 2011-06-01 07:00 +08:00
        ASSERT_TRUE(store->StoreFileRuns(ServiceKeyOf(m_settings), "runner", &site, "gpx",
                                         "/runs/a.gpx", std::vector{file}, now));
        store.reset();
        ASSERT_TRUE(jobs::Settle(where, {jobs::SettleMode::Skip, {"105"}}));
    }

    jobs::Workspace Where() const {
        return jobs::ForSettingsFile(m_folder.path() / "config.ini", m_settings, {});
    }

    void Open() {
        RunLogHost host;
        host.where = [this] { return Where(); };
        host.changed = [this] { ++m_changed; };
        host.closed = [this] { ++m_closed; };
        m_log = std::make_unique<RunLogController>(std::move(host));
        m_log->Start(m_window);
    }

    // The rows' `column` cells (UTF-8), or each row's first `columns` cells.
    std::string Column(std::size_t column) const {
        std::string cells;
        for (std::size_t row = 0; row < m_log->RowCount(); ++row) {
            cells += Cp936ToUtf8(m_log->Cell(row, column)) + "|";
        }
        return cells;
    }

    // Selects the rows whose 来源 tooltip (a RunID, or a file) ends in one of `runIds`.
    void Select(std::vector<std::string> runIds) {
        m_window.selected.clear();
        for (std::size_t row = 0; row < m_log->RowCount(); ++row) {
            const std::string tip = Cp936ToUtf8(m_log->ToolTip(row, kLogSource));
            for (const std::string& runId : runIds) {
                if (tip.ends_with(runId)) {
                    m_window.selected.push_back(row);
                }
            }
        }
    }

    // The menu bar's item named `text`, chosen.
    bool Choose(const std::string& text) {
        for (const Menu& menu : m_log->MenuBar()) {
            for (const MenuItem& item : menu.items) {
                if (Cp936ToUtf8(item.text) == text) {
                    m_log->OnMenu(item.id);
                    return item.enabled;
                }
            }
        }
        ADD_FAILURE() << "no item " << text;
        return false;
    }

    test::TempFolder m_folder;
    Settings m_settings;
    FakeRunLog m_window;
    std::unique_ptr<RunLogController> m_log;
    int m_changed = 0, m_closed = 0;
};

TEST_F(RunLogControllerTest, OpensWithEveryRunNewestFirstItsFiguresAndCounts) {
    Open();
    EXPECT_EQ(m_window.title, "跑步日志 - runner");
    ASSERT_EQ(m_window.columns.size(), kLogColumnCount);
    EXPECT_EQ(Cp936ToUtf8(m_window.columns[kLogPace].title), "配速");
    EXPECT_EQ(Column(kLogDate),
              "2011-06-01 周三 07:00|2011-01-11 周二 07:00|2011-01-10 周一 07:00|"
              "2011-01-08 周六 07:00|2011-01-01 周六 00:30|2010-03-07 周日 06:48|");
    EXPECT_EQ(Column(kLogDistance), "8.00 km|4.00 km|3.00 km|12.00 km|10.50 km|5.00 km|");
    EXPECT_EQ(Column(kLogDuration), "0:40:00|0:20:00|0:18:00|0:58:00|0:52:30|0:25:00|");
    EXPECT_EQ(Column(kLogPace), "5:00/km|5:00/km|6:00/km|4:50/km|5:00/km|5:00/km|");
    EXPECT_EQ(Column(kLogCalories), "—|200|200|800|—|300|");
    EXPECT_EQ(Column(kLogSource), "GPX|Nike+|Nike+|Nike+|Nike+|Nike+|");
    EXPECT_EQ(Column(kLogState), "不上传|不上传|失败（连接超时）|结果未知|未上传|已上传|");
    EXPECT_EQ(Cp936ToUtf8(m_log->ToolTip(0, kLogSource)), "/runs/a.gpx");
    EXPECT_EQ(Cp936ToUtf8(m_log->ToolTip(1, kLogSource)), "RunID：105");
    EXPECT_NE(Cp936ToUtf8(m_log->ToolTip(2, kLogState)).find("超时"), std::string::npos);
    EXPECT_EQ(m_window.footer,
              "显示6条：已上传1 · 未上传1 · 不上传2 · 结果未知1 · 失败1；共42.5公里，3:33:30");
    std::string strip = "|";
    for (const std::string& figure : m_window.strip) {
        strip += Cp936ToUtf8(figure) + "|";
    }
    EXPECT_NE(strip.find("|最长：12.00公里（2011-01-08）|5公里以上最快配速：4:50/km（2011-01-08）|"
                         "10公里以上最快配速：4:50/km（2011-01-08）|最佳一周：2011-01-03起，"
                         "12.0公里，1次|"),
              std::string::npos)
        << strip;
    EXPECT_EQ(m_window.choices[0].texts.size(), 3u) << "全部年份, 2011, 2010";
    EXPECT_EQ(m_window.raised, 1);
}

TEST_F(RunLogControllerTest, HeadersSortAndFiltersChooseAndTheFooterCountsWhatIsShown) {
    Open();
    const struct {
        std::function<void()> act;
        std::string distances, footer;
    } cases[] = {
        {[&] { m_log->OnHeaderClicked(kLogDistance); },
         "3.00 km|4.00 km|5.00 km|8.00 km|10.50 km|12.00 km|", ""},
        {[&] { m_log->OnHeaderClicked(kLogDistance); },
         "12.00 km|10.50 km|8.00 km|5.00 km|4.00 km|3.00 km|", ""},
        {[&] { m_log->OnHeaderClicked(kLogPace); },
         "12.00 km|5.00 km|10.50 km|4.00 km|8.00 km|3.00 km|", ""},
        {[&] { m_log->OnChoice(RunLogFilter::Year, 1); },
         "12.00 km|10.50 km|4.00 km|8.00 km|3.00 km|",
         "显示5条：未上传1 · 不上传2 · 结果未知1 · 失败1；共37.5公里，3:08:30"},
        {[&] { m_log->OnChoice(RunLogFilter::State, 3); }, "4.00 km|8.00 km|",
         "显示2条：不上传2；共12.0公里，1:00:00"},
        {[&] { m_log->OnChoice(RunLogFilter::Year, 2); }, "", "显示0条"},
    };
    for (const auto& [act, distances, footer] : cases) {
        act();
        EXPECT_EQ(Column(kLogDistance), distances);
        if (!footer.empty()) {
            EXPECT_EQ(m_window.footer, footer);
        }
    }
    EXPECT_EQ(m_window.sortMark, (std::pair<std::size_t, bool>{kLogPace, true}));
}

TEST_F(RunLogControllerTest, FollowsTheNikeUserFieldAndAsksForItWhenEmpty) {
    m_settings.serviceUser.clear();
    Open();
    EXPECT_EQ(m_window.rows, 0u);
    EXPECT_EQ(m_window.footer, "请在主窗口输入 Nike+ 用户名，以查看其跑步记录");
    EXPECT_FALSE(Choose("导入跑步文件…"));
    m_settings.serviceUser = "runner";
    m_log->OnFieldsChanged();
    EXPECT_EQ(m_window.rows, 6u);
    EXPECT_EQ(m_window.title, "跑步日志 - runner");
}

TEST_F(RunLogControllerTest, SelectionActionsSettleTheRunsTheyChangeThroughTheJobs) {
    Open();
    const auto offered = [&] {
        std::string shown;
        m_window.menuChoice.reset();
        m_log->OnContextMenu();
        for (const MenuItem& item : m_window.menu) {
            shown += item.text.empty() ? "| " : item.enabled ? "on " : "off ";
        }
        return shown;
    };
    EXPECT_EQ(offered(), "off off off | off off off | off | off ");
    Select({"105"});
    EXPECT_EQ(offered(), "on off on | on on on | on | on ") << "kept off";
    // 上传所选 releases a run kept off, and asks before a run the site has.
    Select({"105", "101", "103"});
    EXPECT_TRUE(Choose("上传所选"));
    ASSERT_EQ(m_window.questions.size(), 1u);
    EXPECT_EQ(m_window.status, "未做任何更改");
    m_window.answer = true;
    EXPECT_TRUE(Choose("上传所选"));
    EXPECT_EQ(m_window.status, "下次同步将上传 3 条跑步记录");
    EXPECT_EQ(Column(kLogState), "不上传|未上传|失败（连接超时）|未上传|未上传|未上传|");
    EXPECT_EQ(m_window.selected, (std::vector<std::size_t>{1, 3, 5})) << "the selection stays";
    EXPECT_EQ(m_changed, 1);
    Select({"102", "104"});
    EXPECT_TRUE(Choose("不上传所选"));
    EXPECT_EQ(Column(kLogState), "不上传|未上传|不上传|未上传|不上传|未上传|");
    EXPECT_TRUE(Choose("标记为已上传"));
    EXPECT_EQ(Column(kLogState), "不上传|未上传|已上传|未上传|已上传|未上传|");
    EXPECT_EQ(m_window.status, "2 条跑步记录已标记为已上传");
    // 删除所选 takes back the imported run alone, after a question, and names the rest.
    Select({"104", "a.gpx"});
    m_window.answer = false;
    EXPECT_TRUE(m_log->OnKey(RunLogKey::Delete));
    EXPECT_EQ(m_window.rows, 6u);
    m_window.answer = true;
    EXPECT_TRUE(m_log->OnKey(RunLogKey::Delete));
    EXPECT_EQ(m_window.rows, 5u);
    EXPECT_EQ(m_window.status, "已删除 1 条导入的跑步记录。");
    EXPECT_EQ(m_window.messages,
              std::vector<std::string>{"Nike+ 服务的跑步记录不能删除，下次下载会再次取回：104"});
}

TEST_F(RunLogControllerTest, ExportsTheSelectedRunsAsTheJobsWriteThem) {
    Open();
    Select({"101", "103"});
    const auto csv = m_folder.path() / "chosen.csv";
    m_window.file = ChosenFile{csv, "chosen.csv"};
    EXPECT_TRUE(Choose("导出所选为CSV…"));
    EXPECT_EQ(m_window.status, "已将 2 条跑步记录导出到 chosen.csv");
    const std::string written = test::ReadFile(csv);
    EXPECT_NE(written.find("2010-03-07"), std::string::npos);
    EXPECT_NE(written.find("2011-01-08"), std::string::npos);
    EXPECT_EQ(written.find("2011-01-01"), std::string::npos);
    m_window.file = ChosenFile{m_folder.path() / "fit", "fit"};
    EXPECT_TRUE(Choose("导出所选为FIT…"));
    EXPECT_EQ(m_window.status, "已导出2个FIT文件到fit");
}

TEST_F(RunLogControllerTest, ARunInFullShowsItsValuesAndPostsAndActsOnItAlone) {
    Open();
    m_window.runChoice = m_log->MenuBar()[1].items[2].id;  // 标记为已上传
    m_log->OnRowActivated(2);                              // 104, failed
    ASSERT_TRUE(m_window.run);
    std::string fields;
    for (const RunLogField& field : m_window.run->fields) {
        fields += Cp936ToUtf8(field.label) + "=" + Cp936ToUtf8(field.value) + "|";
    }
    EXPECT_NE(fields.find("开始时间（原文）=2011-01-10T07:00:00+08:00|"), std::string::npos);
    EXPECT_NE(fields.find("RunID=104|"), std::string::npos);
    ASSERT_EQ(m_window.run->posts.size(), 1u);
    EXPECT_EQ(Cp936ToUtf8(m_window.run->posts[0][1]), "失败");
    EXPECT_NE(Cp936ToUtf8(m_window.run->posts[0][4]).find("超时"), std::string::npos);
    EXPECT_EQ(Cp936ToUtf8(m_log->Cell(2, kLogState)), "已上传") << "its action, on it alone";
    EXPECT_EQ(Column(kLogState), "不上传|不上传|已上传|结果未知|未上传|已上传|");
}

TEST_F(RunLogControllerTest, ADropImportsOnAThreadAndSaysWhatEachFileGave) {
    Open();
    const auto gpx = m_folder.path() / "one.gpx";
    test::WriteFile(gpx,
                    "<gpx><trk><trkseg><trkpt lat=\"31\" lon=\"121\"><time>2024-03-10T06:00:00Z"
                    "</time></trkpt><trkpt lat=\"31.01\" lon=\"121\"><time>2024-03-10T06:05:"
                    "00Z</time></trkpt></trkseg></trk></gpx>");
    test::WriteFile(m_folder.path() / "cut.fit", "....");
    std::filesystem::copy_file(gpx, m_folder.path() / "two.gpx");
    m_log->OnFilesDropped({gpx, m_folder.path() / "cut.fit", m_folder.path() / "two.gpx"});
    EXPECT_FALSE(m_log->MenuEnabled(m_log->MenuBar()[0].items[0].id)) << "while it runs";
    m_log->OnFilesDropped({gpx});
    EXPECT_EQ(m_window.status, "正在导入：请在导入结束后再拖入这些文件");
    ASSERT_TRUE(m_window.PumpUntil([&] { return m_window.results.has_value(); }));
    ASSERT_EQ(m_window.results->files.size(), 3u);
    const auto line = [&](std::size_t i) { return Cp936ToUtf8(m_window.results->files[i].result); };
    EXPECT_EQ(line(0), "1条记录");
    EXPECT_TRUE(m_window.results->files[0].ok);
    EXPECT_EQ(line(1).rfind("无法读取：", 0), 0u) << line(1);
    EXPECT_FALSE(m_window.results->files[1].ok);
    EXPECT_EQ(line(2).rfind("与已保存的 file-", 0), 0u) << line(2);
    EXPECT_EQ(m_window.rows, 7u);
    EXPECT_EQ(Cp936ToUtf8(m_log->Cell(0, kLogState)), "不上传") << "kept off, as imports are";
    EXPECT_EQ(m_changed, 1);

    // Closed while an import runs, the window goes once it has ended.
    m_window.results.reset();
    m_log->OnFilesDropped({gpx});
    m_log->Close();
    EXPECT_EQ(m_window.closes, 0);
    ASSERT_TRUE(m_window.PumpUntil([&] { return m_window.closes == 1; }));
    EXPECT_EQ(m_closed, 1);
    EXPECT_FALSE(m_window.results) << "no dialog over a closing window";
}

TEST_F(RunLogControllerTest, ItsPlaceIsKeptInTheStoreButNotUnderTheDemo) {
    Open();
    m_window.place = {30, 40, 900, 700, true};
    EXPECT_TRUE(Choose("关闭"));
    EXPECT_EQ(m_window.closes, 1);
    EXPECT_EQ(m_closed, 1);
    m_window.place = {};
    Open();
    EXPECT_EQ(m_window.place, (WindowPlace{30, 40, 900, 700, true}));
    m_log->Close();
    // The demo's window opens where the front end puts it.
    RunLogHost demo;
    demo.where = [this] { return Where(); };
    demo.keepPlace = false;
    m_log = std::make_unique<RunLogController>(std::move(demo));
    m_window.place = {};
    m_log->Start(m_window);
    EXPECT_EQ(m_window.place, WindowPlace{});
}

}  // namespace
}  // namespace strivo
