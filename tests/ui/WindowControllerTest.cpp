// The window's logic through a fake surface, without a display; fake jobs
// stand in for the workers, so no network is needed.
#include "ui/WindowController.h"

#include <gtest/gtest.h>

#include <chrono>
#include <ctime>

#include "../support/SentRuns.h"
#include "FakeWindow.h"
#include "model/ProblemWords.h"
#include "store/StorePaths.h"
#include "text/CodePage.h"
#include "ui/DialogState.h"
#include "ui/StatusLine.h"

namespace strivo {
namespace {

using namespace std::chrono_literals;
using test::Cp936;
using test::FakeJobs;
using test::FakeSurface;
using test::Window;

class WindowControllerTest : public ::testing::Test, protected Window {};

TEST_F(WindowControllerTest, DownloadThenSyncRunOnWorkersWithTheFieldsTexts) {
    Open();
    EXPECT_EQ(Status(), Cp936("等待"));
    EXPECT_FALSE(m_surface.enabled[IDC_SYNC]);
    EXPECT_EQ(m_surface.focus, IDC_SERVICE_LOGIN);

    FillFields();
    m_controller->OnServiceLogin();
    EXPECT_FALSE(m_surface.enabled[IDC_SERVICE_LOGIN]) << "disabled while the job runs";
    ASSERT_TRUE(WaitForStatus("下载Nike+跑步数据成功结束...")) << Status();
    EXPECT_EQ(m_jobs.lastSettings.serviceUser, "runner");
    EXPECT_EQ(m_jobs.lastSettings.servicePassword, "pw");
    EXPECT_TRUE(m_surface.PumpUntil([&] { return m_surface.rowCount == 2; }));
    EXPECT_TRUE(m_surface.enabled[IDC_SYNC]);

    m_controller->OnSync();
    ASSERT_TRUE(WaitForStatus("同步到Strivo成功！本次上传2条，之前已上传0条")) << Status();
    EXPECT_EQ(m_jobs.lastSettings.siteUser, "poster");
    EXPECT_EQ(m_jobs.lastSyncStore, StorePathFor(m_folder / "config.ini"))
        << "the sync keeps what it posts beside the settings";
    EXPECT_TRUE(m_surface.messages.empty());

    // 同步记录… shows the store's record of syncs, why one failed included.
    jobs::Workspace where{.settingsPath = m_folder / "config.ini"};
    const Problem paused(ProblemCode::HostPaused, {"bbs:80", "2031-01-01 10:00"});
    ASSERT_TRUE((*jobs::OpenStore(where))
                    ->RecordSync({.by = SyncBy::Schedule,
                                  .end = SyncEnd::Failed,
                                  .reason = ProblemKey(paused),
                                  .posted = 1}));
    ChooseFromMenuBar("同步记录…");
    ASSERT_EQ(m_surface.messages.size(), 1u);
    EXPECT_EQ(Cp936ToUtf8(m_surface.messages[0]).substr(16),
              "  由定时任务发起  失败：上传 1，失败 0，暂缓 0，未尝试 0（服务器要求等到 2031-01-01 "
              "10:00）");
}

TEST_F(WindowControllerTest, EmptyFieldsEmptyTableAndNoThreadStartNothing) {
    Open();
    m_controller->OnServiceLogin();
    m_controller->OnExport();
    EXPECT_EQ(m_surface.messages,
              (std::vector<std::string>{Cp936("请输入Nike+登陆邮件地址或用户名。"),
                                        Cp936("没有任何需要导出的数据！")}));
    EXPECT_EQ(m_surface.focus, IDC_SERVICE_USER);

    FillFields();
    m_jobs.failThreadStart = true;
    m_controller->OnServiceLogin();
    EXPECT_EQ(m_surface.appMessages, std::vector<std::string>{"Cannot Start New Thread"});
    EXPECT_TRUE(m_surface.enabled[IDC_SERVICE_LOGIN]);
    EXPECT_TRUE(m_surface.enabled[IDC_REFRESH]);
    EXPECT_EQ(Status(), Cp936("等待"));
    EXPECT_EQ(m_jobs.started, 0);
}

// The window stays up and working until the job has ended, then the user
// names are saved and it closes, once; nothing touches it afterwards.
TEST(WindowController, ClosingStopsTheJobAndClosesWhenItHasEnded) {
    for (const JobKind kind : {JobKind::None, JobKind::Download, JobKind::Sync}) {
        SCOPED_TRACE(static_cast<int>(kind));
        Window window;
        FakeSurface& surface = window.m_surface;
        FakeJobs& jobs = window.m_jobs;
        WindowController& controller = window.Open();
        window.FillFields();
        if (kind == JobKind::Sync) {
            controller.OnServiceLogin();
            ASSERT_TRUE(window.WaitForStatus("下载Nike+跑步数据成功结束..."));
        }
        jobs.hold = true;
        if (kind == JobKind::Download) {
            controller.OnServiceLogin();
        } else if (kind == JobKind::Sync) {
            controller.OnSync();
        }
        ASSERT_TRUE(surface.PumpUntil([&] { return jobs.running == (kind != JobKind::None); }));
        const int started = jobs.started;

        controller.Close();
        if (kind != JobKind::None) {
            ASSERT_TRUE(surface.PumpUntil([&] { return jobs.stopSeen.load(); }));
            surface.Pump(100ms);
            EXPECT_EQ(surface.closes, 0) << "closed before the job ended";
            controller.OnServiceLogin();
            EXPECT_EQ(jobs.started, started) << "no job starts while closing";
            jobs.Release();
            ASSERT_TRUE(surface.PumpUntil([&] { return surface.closes > 0; }));
        }
        EXPECT_EQ(surface.closes, 1);
        controller.Close();
        surface.Pump(50ms);
        EXPECT_EQ(surface.closes, 1) << "closing twice closes once";
        EXPECT_EQ(surface.postsAfterClose, 0);
        // The user names the fields held at the last press are saved.
        EXPECT_NE(test::ReadFile(window.m_folder / "config.ini")
                      .find(kind == JobKind::None ? "user=\r" : "user=runner\r"),
                  std::string::npos);
    }
}

TEST_F(WindowControllerTest, DestroyingTheControllerStopsAndJoinsItsJobs) {
    Open();
    FillFields();
    m_jobs.hold = true;
    m_controller->OnServiceLogin();
    ASSERT_TRUE(m_surface.PumpUntil([&] { return m_jobs.running.load(); }));
    m_jobs.Release();  // a job that ends once stopped
    m_controller.reset();
    EXPECT_FALSE(m_jobs.running);
    EXPECT_TRUE(m_jobs.stopSeen);
}

// While a sync runs each row shows what the store holds as each post ends:
// runs confirmed before and now read 已上传, the post in flight 正在上传, and
// 结果未知 only a run whose outcome nobody knows.
TEST_F(WindowControllerTest, StateColumnFollowsEachPostWhileTheSyncRuns) {
    Open();
    FillFields();
    const RunList rows = {TableRun("111"), TableRun("222"), TableRun("333"), TableRun("444"),
                          TableRun("555")};
    m_controller->table()->Replace(rows);
    const auto column = [&] { return StateColumn(rows); };
    m_jobs.posts = {{"111", PostResult::Confirmed}, {"555", PostResult::Unknown}};
    m_controller->OnSync();
    ASSERT_TRUE(WaitForStatus("同步到Strivo成功！本次上传5条，之前已上传0条")) << Status();
    EXPECT_EQ(column(), Cp936("已上传|未上传|未上传|未上传|结果未知|"));
    m_surface.Pump(50ms);  // the job's thread ends

    // A post that never went out leaves its run as it was.
    m_jobs.posts = {
        {"222", PostResult::Confirmed}, {"333", PostResult::NotSent}, {"444", PostResult::Failed}};
    m_jobs.holdInFlight = 2;
    m_controller->OnSync();
    EXPECT_TRUE(m_surface.PumpUntil([&] {
        return column() == Cp936("已上传|已上传|未上传|正在上传|结果未知|");
    })) << column();
    EXPECT_EQ(Status(), Cp936("正在同步Nike+跑步数据到Strivo... 2/3"));
    m_jobs.Release();
    ASSERT_TRUE(WaitForStatus("同步到Strivo成功！本次上传5条，之前已上传0条")) << Status();
    EXPECT_EQ(column(), Cp936("已上传|已上传|未上传|上传失败|结果未知|"));
}

TEST(StatusLine, TheMiddleGivesWayAndTheStartTheReasonAndTheFileNameStay) {
    const std::string failed =
        Cp936("同步到Strivo失败：22/24条未上传，其中1条结果未知，请在网站上核对（连接中断）");
    const std::string exported =
        Cp936("成功导出数据到 /home/") + std::string(40, 'a') + "/runs.csv";
    const auto fit = [](const std::string& status, std::optional<std::size_t> pathAt,
                        std::size_t width) {
        return FitStatusLine(status, pathAt,
                             [&](const std::string& text) { return text.size() <= width; });
    };
    EXPECT_EQ(fit(failed, std::nullopt, 200), failed);
    EXPECT_EQ(fit(failed, std::nullopt, 40), Cp936("同步到Striv…请在网站上核对（连接中断）"));
    EXPECT_EQ(fit(failed, std::nullopt, 10), Cp936("同步…断）"));  // the reason alone is too wide
    EXPECT_EQ(fit(exported, exported.size() - 55, 40),
              Cp936("成功导出数据到 /home/a…aaaaaaa/runs.csv"));

    // A sync's end gives up its advice first, then the runs kept off; the
    // counts, the state and the reason stay.
    DialogState state;
    ProgressReport done{.step = Step::SyncDone, .problem = Problem(ProblemCode::NetConnectionLost)};
    done.tally.signedIn = true;
    done.tally.total = 24;
    done.tally.notPosted = 11;
    done.tally.unconfirmedIds.resize(1);
    done.tally.excluded = 4;
    state.OnReport(done);
    const std::string whole = state.view().status;
    for (const char* shown :
         {"同步到Strivo失败：11/"
          "24条未上传，其中1条结果未知，请在网站上核对后在列表中标记，另有4条不"
          "上传（连接中断）",
          "同步到Strivo失败：11/24条未上传，其中1条结果未知，另有4条不上传（连接中断）",
          "同步到Strivo失败：11/24条未上传，其中1条结果未知（连接中断）"}) {
        const std::size_t width = Cp936(shown).size();
        EXPECT_EQ(
            FitStatusLine(
                whole, std::nullopt, [&](const std::string& text) { return text.size() <= width; },
                state.StatusGivesWay()),
            Cp936(shown));
    }
}

TEST_F(WindowControllerTest, ExportWritesTheTableOrSaysWhyNot) {
    struct Case {
        const char* name;
        std::optional<std::string> file;  // in the test's folder; nullopt: cancelled
        bool written;
    };
    const Case cases[] = {
        {"written", "runs.csv", true},
        {"cannot write", "missing/runs.csv", false},
        {"chooser cancelled", std::nullopt, false},
    };
    Open(Settings{});
    m_controller->table()->Replace({TableRun("111", "2012-07-01", "5.00", "", "", "")});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        m_surface.messages.clear();
        m_surface.chosen.reset();
        if (c.file) {
            const auto path = m_folder / *c.file;
            m_surface.chosen = ChosenFile{path, path.string()};
        }
        m_controller->OnExport();
        EXPECT_TRUE(m_surface.enabled[IDC_EXPORT]);
        if (c.written) {
            EXPECT_EQ(Status(), Cp936("成功导出数据到 ") + m_surface.chosen->text);
            EXPECT_TRUE(m_surface.messages.empty());
            EXPECT_NE(test::ReadFile(m_surface.chosen->path).find("2012-07-01"), std::string::npos);
        } else {
            EXPECT_EQ(Status(), Cp936("等待"));
            // The message names the file, then why, as strivo-cli says it.
            ASSERT_EQ(m_surface.messages.size(), c.file ? 1u : 0u);
            if (c.file) {
                EXPECT_EQ(m_surface.messages[0].substr(0, m_surface.messages[0].find('\n')),
                          Cp936("导出数据失败，文件没有保存：") + m_surface.chosen->text);
                EXPECT_NE(m_surface.messages[0].find(Cp936("无法写入 ")), std::string::npos);
            }
        }
        m_surface.texts[IDC_STATUS] = Cp936("等待");
    }
}

// The list's menu fills the table from the store, with no job: the rows a
// download makes of the same texts, by UTC start and then first seen; CSV,
// TCX and sync take them as downloaded rows.
TEST_F(WindowControllerTest, StoredRunsFillTheTableOfflineAndExportAndSyncAsDownloaded) {
    {
        auto opened = RunStore::Open(StorePathFor(m_folder / "config.ini"));
        ASSERT_TRUE(opened);
        std::unique_ptr<RunStore> store = std::move(*opened);
        const DownloadedRun a{"222", "2010-04-18T07:05:11+08:00", "5.0321", "1834000",
                              "321", "2010-04-18T02:00:00Z"};
        const DownloadedRun b{"111", "2010-04-17T23:05:11Z", "2.5", "600000", "99", ""};
        const DownloadedRun c{"333", "2010-04-10T08:00:00-05:00", "3.1", "abc", "200", ""};
        const DownloadedRun first[] = {a, c}, later[] = {b, a, c};
        const StoreTime t = std::chrono::system_clock::now();
        ASSERT_TRUE(store->StoreRuns(ServiceKeyOf(Settings{}), "runner", Runs(first), t - 1h));
        ASSERT_TRUE(store->StoreRuns(ServiceKeyOf(Settings{}), "runner", Runs(later), t));
    }
    Open();
    EXPECT_EQ(m_surface.rowCount, 0u) << "start-up shows an empty table";
    FillFields();
    ChooseFromMenuBar("显示本机保存的跑步记录");
    EXPECT_TRUE(m_surface.PumpUntil([&] { return m_surface.rowCount == 3; }));
    EXPECT_EQ(m_jobs.started, 0) << "nothing is sent";
    EXPECT_EQ(
        m_surface.texts[IDC_SUMMARY].rfind(Cp936("本机保存的跑步记录 3 条，最近一次下载于 20"), 0),
        0u);
    EXPECT_EQ(Status(), Cp936("已显示本机保存的跑步记录3条"));
    EXPECT_EQ(m_controller->RowTip(1),
              Cp936("开始时间：2010-04-18T07:05:11+08:00\n同步时间：2010-04-18T02:00:00Z"
                    "（跑步者当地时间 2010-04-18T10:00:00+08:00）\nRunID：222"));

    const auto path = m_folder / "runs.csv";
    m_surface.chosen = ChosenFile{path, path.string()};
    m_controller->OnExport();
    EXPECT_EQ(test::ReadFile(path),
              Cp936("1,2010-04-10 08:00:00,3.1,0小时0分0秒,200,\r\n"
                    "2,2010-04-18 07:05:11,5.0321,0小时30分34秒,321,2010-04-18 02:00:00\r\n"
                    "3,2010-04-17 23:05:11,2.5,0小时10分0秒,99,\r\n"));
    const auto tcx = m_folder / "runs.tcx";
    m_surface.chosen = ChosenFile{tcx, tcx.string()};
    ChooseFromMenuBar("导出TCX…");
    EXPECT_EQ(Status(), Cp936("成功导出数据到 ") + tcx.string());
    const std::string file = test::ReadFile(tcx);
    EXPECT_NE(file.find("<Id>2010-04-17T23:05:11Z</Id>"), std::string::npos) << file;
    EXPECT_NE(file.find("<Id>2010-04-17T23:05:12Z</Id>"), std::string::npos) << "unique Ids";

    ChooseFromMenuBar("跑量统计…");
    EXPECT_EQ(m_surface.statsLine,
              Cp936("2010年4月5日起的一周：1 次，3.10 公里，0:00:00，200 卡路里"));
    EXPECT_EQ(Status(), Cp936("已显示3条跑步记录的跑量统计"));

    ASSERT_TRUE(m_surface.enabled[IDC_SYNC]);
    m_controller->OnSync();
    ASSERT_TRUE(WaitForStatus("同步到Strivo成功！本次上传3条，之前已上传0条")) << Status();
}

// A run from a file was never downloaded and has no calories: the line
// above the table keeps the last download's time, the chart counts the run
// without calories rather than as 0, and a RunID's controls are shown masked.
TEST_F(WindowControllerTest, AnImportedRunLeavesTheLastDownloadAndUnknownCaloriesAlone) {
    const StoreTime downloaded = std::chrono::system_clock::now() - 49h;
    {
        auto opened = RunStore::Open(StorePathFor(m_folder / "config.ini"));
        ASSERT_TRUE(opened);
        const DownloadedRun a{
            "\x1b]0;x\x07", "2010-04-05T07:00:00+08:00", "5", "1834000", "200", ""};
        ASSERT_TRUE((*opened)->StoreRuns(ServiceKeyOf(Settings{}), "runner", Runs(std::span(&a, 1)),
                                         downloaded));
        const strivo::Run run = FileRunAt(1270512000000, 3000, 600000);
        ASSERT_TRUE((*opened)->StoreFileRuns(ServiceKeyOf(Settings{}), "runner", nullptr, "gpx",
                                             "a.gpx", {&run, 1}, std::chrono::system_clock::now()));
    }
    Open();
    FillFields();
    ChooseFromMenuBar("显示本机保存的跑步记录");
    ASSERT_TRUE(m_surface.PumpUntil([&] { return m_surface.rowCount == 2; }));
    const std::time_t time = std::chrono::system_clock::to_time_t(downloaded);
    char minute[32];
    std::strftime(minute, sizeof minute, "%Y-%m-%d %H:%M", std::localtime(&time));
    EXPECT_EQ(m_surface.texts[IDC_SUMMARY],
              Cp936("本机保存的跑步记录 2 条，最近一次下载于 ") + minute);
    EXPECT_EQ(m_controller->list().Cell(0, kColumnRunId), "?]0;x?");
    ChooseFromMenuBar("跑量统计…");
    EXPECT_EQ(
        m_surface.statsLine,
        Cp936("2010年4月5日起的一周：2 次，8.00 公里，0:40:34，200 卡路里（1 次没有卡路里数据）"));
}

// A store that cannot be read fails the TCX export: no file, no word of
// success, and the reason strivo-cli gives.
TEST_F(WindowControllerTest, TcxExportFromAnUnusableStoreWritesNothingAndSaysWhy) {
    std::filesystem::create_directory(StorePathFor(m_folder / "config.ini"));
    Open();
    m_controller->table()->Replace({TableRun("111", "2012-07-01", "5.00", "", "", "")});
    const auto tcx = m_folder / "runs.tcx";
    m_surface.chosen = ChosenFile{tcx, tcx.string()};
    ChooseFromMenuBar("导出TCX…");
    EXPECT_FALSE(std::filesystem::exists(tcx));
    EXPECT_EQ(Status().find(Cp936("成功")), std::string::npos) << Status();
    const Problem why(ProblemCode::StoreNotRegular,
                      {StorePathFor(m_folder / "config.ini").string(), kKindFolder});
    ASSERT_EQ(m_surface.messages.size(), 1u);
    EXPECT_NE(m_surface.messages[0].find(Utf8ToCp936(DescribeIn(ChineseCatalog(), why))),
              std::string::npos);
}

TEST_F(WindowControllerTest, SettingsProblemsAreShownAndNoJobStarts) {
    Settings settings;
    settings.problems.push_back(
        Problem(ProblemCode::SettingsNotAPort, {"[nike+] https_port", "99999"}));
    settings.problems.push_back(
        Problem(ProblemCode::SettingsCaFileNotUsed, {"[nike+] cafile", "ca.pem"}));
    Open(settings);
    EXPECT_TRUE(m_surface.messages.empty()) << "shown once the window shows, not before";
    ASSERT_TRUE(m_surface.PumpUntil([&] { return m_surface.messages.size() == 1; }));
    const std::string message = m_surface.messages[0];
    EXPECT_NE(message.find("99999"), std::string::npos) << message;
    EXPECT_NE(message.find("[nike+] cafile=ca.pem" + Cp936("：Windows 不使用 cafile")),
              std::string::npos);
    EXPECT_NE(message.find("config.ini"), std::string::npos) << "names the file: " << message;

    FillFields();
    m_controller->OnServiceLogin();
    m_controller->OnSync();
    EXPECT_EQ(m_surface.messages, std::vector<std::string>(3, message));
    EXPECT_EQ(m_jobs.started, 0);
}

TEST_F(WindowControllerTest, VisitSiteOpensTheSiteOrSaysWhereItIs) {
    Settings settings;
    settings.siteHost = "bbs.example";
    Open(settings);
    m_controller->OnVisitSite();
    EXPECT_EQ(m_surface.openedUrl, SiteUrl(settings, ""));
    EXPECT_EQ(Status(), Cp936("等待"));

    m_surface.haveBrowser = false;
    m_controller->OnVisitSite();
    EXPECT_EQ(Status(), Cp936("无法启动浏览器，请手动访问 ") + SiteUrl(settings, ""));
}

}  // namespace
}  // namespace strivo
