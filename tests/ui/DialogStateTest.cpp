#include "ui/DialogState.h"

#include <gtest/gtest.h>

#include "../support/Cp936Literal.h"
#include "../support/SentRuns.h"
#include "history/RunFigures.h"
#include "ui/ListRows.h"
#include "ui/StatsChart.h"

namespace strivo {
namespace {

using test::Cp936;

ProgressReport Report(Step step, std::optional<Problem> problem = std::nullopt) {
    return ProgressReport{.step = step, .problem = std::move(problem)};
}

// The buttons after an event: sign-in, refresh, sync, export.
struct Buttons {
    bool serviceLogin, refresh, sync, exportButton;
};

void ExpectView(const DialogView& view, const char* status, Buttons buttons, const char* step) {
    EXPECT_EQ(view.status, Cp936(status)) << step;
    EXPECT_EQ(view.serviceSignInEnabled, buttons.serviceLogin) << step;
    EXPECT_EQ(view.refreshEnabled, buttons.refresh) << step;
    EXPECT_EQ(view.syncEnabled, buttons.sync) << step;
    EXPECT_EQ(view.exportEnabled, buttons.exportButton) << step;
}

TEST(DialogState, DownloadThenSyncStepByStep) {
    DialogState state;
    ExpectView(state.view(), "等待", {true, true, false, true}, "first shown");

    DialogUpdate update = state.OnServiceLogin("me@x", "pw");
    EXPECT_EQ(update.start, JobKind::Download);
    ExpectView(state.OnJobStarted(JobKind::Download).view, "正在登陆Nike+...",
               {false, false, false, true}, "service job started");
    ExpectView(state.OnReport(Report(Step::ServiceSignedIn)).view, "下载Nike+用户信息...",
               {false, false, false, true}, "signed in");

    ProgressReport summary = Report(Step::SummaryReady);
    summary.summary = Cp936("小明，您已完成 1 KM");
    update = state.OnReport(summary);
    ExpectView(update.view, "下载Nike+跑步数据...", {false, false, false, true}, "summary");
    EXPECT_EQ(update.view.summary, summary.summary);

    ExpectView(state.OnReport(Report(Step::RunsDownloaded)).view, "下载Nike+跑步数据成功结束...",
               {false, true, true, true}, "runs done: refresh and sync, not sign-in");

    EXPECT_EQ(state.OnSync("site", "pw").start, JobKind::Sync);
    ExpectView(state.OnJobStarted(JobKind::Sync).view, "正在登陆 KelvoraStrivo...",
               {false, true, false, true}, "site job started");
    ExpectView(state.OnReport(Report(Step::SiteSignedIn)).view, "正在同步Nike+跑步数据到Strivo...",
               {false, true, false, true}, "site signed in");

    ProgressReport progress = Report(Step::Posted);
    progress.processed = 3;
    progress.total = 24;
    ExpectView(state.OnReport(progress).view, "正在同步Nike+跑步数据到Strivo... 3/24",
               {false, true, false, true}, "progress");

    ProgressReport done = Report(Step::SyncDone);
    done.tally.total = 24;
    ExpectView(state.OnReport(done).view, "同步到Strivo成功！本次上传24条，之前已上传0条",
               {false, true, false, true}, "sync done: sync stays off");
    EXPECT_EQ(state.view().summary, summary.summary);

    state.OnServiceLogin("me@x", "pw");
    EXPECT_EQ(state.view().summary, "") << "a new download empties the summary at once";
    state.OnJobStarted(JobKind::Download);
    state.OnReport(Report(Step::ServiceSignedIn));
    ExpectView(state.OnReport(Report(Step::RunsDownloaded)).view, "下载Nike+跑步数据成功结束...",
               {false, true, true, true}, "refresh after sync enables sync again");
}

TEST(DialogState, FailuresBringBackTheButtonsThatRetry) {
    struct Case {
        Step step;
        ProblemCode code;
        const char* status;
        Buttons buttons;
    };
    // Starting from: a run-service job and a site job both running. The
    // reasons of network failures are in the fault matrix.
    const Case cases[] = {
        {Step::ServiceSignedIn,
         ProblemCode::SignInRefused,
         "登陆Nike+失败...（用户名或密码错误）",
         {true, false, false, true}},
        {Step::RunsDownloaded,
         ProblemCode::NoRunList,
         "下载Nike+跑步数据失败...（服务器返回的数据无法识别）",
         {true, true, false, true}},
        {Step::SiteSignedIn,
         ProblemCode::CertificateFileUnreadable,
         "登陆Kelvora论坛失败...（无法读取证书文件）",
         {false, false, true, true}},
        // A window message from outside says it failed, not why.
        {Step::ServiceSignedIn, ProblemCode::None, "登陆Nike+失败...", {true, false, false, true}},
    };
    for (const auto& c : cases) {
        DialogState state;
        state.OnJobStarted(JobKind::Download);
        state.OnJobStarted(JobKind::Sync);
        ExpectView(state.OnReport(Report(c.step, Problem(c.code))).view, c.status, c.buttons,
                   c.status);
    }
}

TEST(DialogState, SyncEndSaysWhatWasPostedAndWhatIsInDoubt) {
    // unconfirmed: sent now without a whole answer; held: unknown since an
    // earlier sync, not posted. Both wait for the runner to settle them.
    const struct {
        bool ok;
        int total, notPosted, alreadyPosted, withoutId, unconfirmed, held;
        ProblemCode failure;
        const char* status;
        int keptOff = 0;
    } cases[] = {
        {true, 3, 0, 21, 0, 0, 0, ProblemCode::None,
         "同步到Strivo成功！本次上传3条，之前已上传21条"},
        {true, 0, 0, 24, 0, 0, 0, ProblemCode::None,
         "同步到Strivo成功！没有新的跑步数据，之前已上传24条"},
        {true, 2, 0, 0, 1, 0, 0, ProblemCode::None,
         "同步到Strivo成功！本次上传2条，之前已上传0条，1条没有RunID"},
        {true, 3, 0, 19, 1, 0, 2, ProblemCode::None,
         "同步到Strivo成功！本次上传3条，之前已上传19条，2条结果未知，请在网站上核对后在列表中标记"
         "，"
         "1条没有RunID"},
        {true, 0, 0, 23, 0, 0, 1, ProblemCode::None,
         "同步到Strivo成功！没有新的跑步数据，之前已上传23条，1条结果未知，请在网站上核对后在列表中"
         "标记"},
        {false, 24, 3, 0, 0, 0, 0, ProblemCode::None, "同步到Strivo失败：3/24条未上传"},
        {false, 24, 3, 0, 0, 1, 0, ProblemCode::None,
         "同步到Strivo失败：3/24条未上传，其中1条结果未知，请在网站上核对后在列表中标记"},
        {false, 22, 3, 0, 0, 1, 2, ProblemCode::NetConnectionLost,
         "同步到Strivo失败：3/22条未上传，3条结果未知，请在网站上核对后在列表中标记（连接中断）"},
        {false, 24, 5, 0, 0, 0, 0, ProblemCode::SessionEndedSignInPage,
         "同步到Strivo失败：5/24条未上传（论坛登录已失效）"},
        {false, 24, 24, 0, 2, 0, 0, ProblemCode::StoreCannotWrite,
         "同步到Strivo失败：24/24条未上传（无法写入上传记录），2条没有RunID"},
        // Runs kept off the run log are counted after the rest, before the reason.
        {true, 10, 0, 14, 0, 0, 0, ProblemCode::None,
         "同步到Strivo成功！本次上传10条，之前已上传14条，另有4条不上传", 4},
        {true, 0, 0, 24, 0, 0, 0, ProblemCode::None,
         "同步到Strivo成功！没有新的跑步数据，之前已上传24条，另有4条不上传", 4},
        {false, 24, 1, 0, 0, 0, 0, ProblemCode::SessionEndedSignInPage,
         "同步到Strivo失败：1/24条未上传，另有4条不上传（论坛登录已失效）", 4},
        {false, 22, 3, 0, 1, 1, 2, ProblemCode::NetConnectionLost,
         "同步到Strivo失败：3/22条未上传，3条结果未知，请在网站上核对后在列表中标记，另有4条不上传"
         "（连接中断），1条没有RunID",
         4},
    };
    for (const auto& c : cases) {
        DialogState state;
        state.OnJobStarted(JobKind::Sync);
        ProgressReport done =
            Report(Step::SyncDone, c.ok ? std::nullopt : std::optional(Problem(c.failure)));
        SyncTally& tally = done.tally;
        tally.signedIn = true;
        tally.total = c.total;
        tally.notPosted = c.notPosted;
        tally.alreadyPosted = c.alreadyPosted;
        tally.withoutId = c.withoutId;
        tally.excluded = c.keptOff;
        tally.unconfirmedIds.resize(static_cast<std::size_t>(c.unconfirmed));
        tally.heldIds.resize(static_cast<std::size_t>(c.held));
        ExpectView(state.OnReport(done).view, c.status, {true, true, !c.ok, true},
                   c.status);  // a failed sync may be tried again
    }
    EXPECT_EQ(DialogState::SettleFailedMessage(Problem(ProblemCode::StoreInUse)),
              Cp936("标记失败（另一个Strivo正在同步）"));
}

// A sync that failed before it signed in never read what the store holds:
// it counts nothing, and says it posted nothing.
TEST(DialogState, SyncThatNeverSignedInSaysItPostedNothing) {
    const struct {
        ProblemCode failure;
        const char* status;
    } cases[] = {
        {ProblemCode::StoreInUse, "另一个Strivo正在同步，本次同步没有上传任何记录"},
        {ProblemCode::StoreCannotWrite,
         "同步到Strivo失败：本次同步没有上传任何记录（无法写入上传记录）"},
    };
    for (const auto& c : cases) {
        DialogState state;
        state.OnJobStarted(JobKind::Sync);
        ProgressReport done = Report(Step::SyncDone, Problem(c.failure));
        done.tally.total = done.tally.notPosted = 24;
        ExpectView(state.OnReport(done).view, c.status, {true, true, true, true}, c.status);
    }
}

// The rest of the list menu's words are checked through the controller.
TEST(DialogState, SettlingSaysWhatItFailedToDoAndNamesRunsToPostAgain) {
    DialogState state;
    const DialogUpdate failed = state.OnSettleFailed(Problem(ProblemCode::StoreInUse));
    EXPECT_EQ(failed.view.status, Cp936("标记失败（另一个Strivo正在同步）"));
    EXPECT_EQ(failed.message, failed.view.status);
    // Several confirmed runs: a few named, the rest counted.
    EXPECT_EQ(DialogState::RepostConfirmedQuestion({"11", "22", "33", "44"}),
              Cp936("跑步日志中已有其中4条跑步记录（11, 22, 33…），重新上传后日志中将各有两条。"
                    "仍要重新上传吗？"));
}

// An import ends with the CLI's sentence in Chinese, every count in it, where
// the runs it kept off wait, and a message naming the files not read and those without an activity.
TEST(DialogState, ImportEndSaysWhatTheCliSaysAndNamesTheFiles) {
    DialogState state;
    ProgressReport done = Report(Step::ImportDone);
    done.imported = {.files = 4,
                     .imported = 1,
                     .unreadable = 1,
                     .otherSports = 2,
                     .withoutActivity = 1,
                     .keptOff = 1};
    done.warnings = {Problem(ProblemCode::ImportNotARunFile, {"a.txt"}),
                     Problem(ProblemCode::ImportCourse, {"b.tcx"})};
    const DialogUpdate update = state.OnReport(done);
    EXPECT_EQ(
        update.view.status,
        Cp936("从4个文件导入1条记录：0条已有，1个文件无法读取，跳过2项其他运动，"
              "1个文件没有活动记录。其中1条暂不上传，可在“跑步记录 > 跑步日志…”中选中上传。"));
    ASSERT_TRUE(update.message);
    EXPECT_EQ(*update.message,
              Cp936("以下文件无法读取：\na.txt 不是 GPX、TCX、FIT 或 Strivo 导出的 CSV "
                    "文件\n\n以下文件中没有活动记录：\nb.tcx 是一条路线（供跟随"
                    "的课程），不是活动记录：没有可导入的内容"));

    // What was no run, and calories a file gave, under headings of their own.
    done.imported = {.files = 1, .duplicates = 1, .notRuns = 1, .caloriesFilled = 1};
    done.warnings = {
        Problem(ProblemCode::ImportNotARun, {"c.gpx", "2024-03-10 14:00:00"})
            .Because(Problem(ProblemCode::ActivityPace, {"2,655 km", "10 s"})),
        Problem(ProblemCode::ImportCaloriesFilled, {"d.fit", "2024-03-10 14:00:00", "k", "637"})};
    const DialogUpdate skipped = DialogState().OnReport(done);
    EXPECT_EQ(skipped.view.status,
              Cp936("从1个文件导入0条记录：1条已有，0个文件无法读取，跳过0项其他运动，"
                    "1项不是跑步，为1条已有记录补上了卡路里。"));
    EXPECT_EQ(skipped.message,
              Cp936("以下活动不是跑步，未导入：\nc.gpx：已跳过2024-03-10 14:00:00的活动："
                    "10 s跑2,655 km不是跑步\n\n以下已有记录从文件补上了卡路里：\nd.fit："
                    "2024-03-10 14:00:00的跑步记录（已存储为k）从此文件补上了637千卡"));
}

TEST(DialogState, EmptyFieldsAskForInputAndStartNothing) {
    struct Case {
        bool service;
        const char* user;
        const char* password;
        const char* message;
        DialogField focus;
    };
    const Case cases[] = {
        {true, "", "", "请输入Nike+登陆邮件地址或用户名。", DialogField::ServiceUser},
        {true, "", "pw", "请输入Nike+登陆邮件地址或用户名。", DialogField::ServiceUser},
        {true, "me", "", "请输入Nike+登陆密码。", DialogField::ServicePassword},
        {false, "", "", "请输入Kelvora论坛登陆用户名。", DialogField::SiteUser},
        {false, "me", "", "请输入Kelvora论坛登陆密码。", DialogField::SitePassword},
    };
    for (const auto& c : cases) {
        DialogState state;
        const DialogView before = state.view();
        const DialogUpdate update =
            c.service ? state.OnServiceLogin(c.user, c.password) : state.OnSync(c.user, c.password);
        EXPECT_EQ(update.start, JobKind::None) << c.message;
        EXPECT_EQ(update.message, Cp936(c.message));
        EXPECT_EQ(update.focus, c.focus) << c.message;
        EXPECT_EQ(update.view, before) << c.message;
    }
    DialogState state;
    EXPECT_EQ(state.OnServiceLogin(" ", " ").start, JobKind::Download) << "blanks are not empty";
}

TEST(DialogState, FailedExportSaysSoAndKeepsTheStatusLine) {
    DialogState state;
    EXPECT_FALSE(state.OnExportStarted().view.exportEnabled);
    const DialogUpdate update = state.OnExportFinished("/full/disk.csv", Problem());
    EXPECT_TRUE(update.view.exportEnabled);
    EXPECT_EQ(update.view.status, Cp936("等待"));
    EXPECT_EQ(update.message, Cp936("导出数据失败，文件没有保存：/full/disk.csv"));
    // A FIT export names the runs it left out, in the catalogue's words.
    const DialogUpdate fit = state.OnFitExported(
        1, "/fit", std::nullopt,
        {{"1901", Problem(ProblemCode::FitStartTooEarlyLeftOut, {"1901-03-01 07:00:00"})}});
    EXPECT_EQ(fit.view.status, Cp936("已导出1个FIT文件到/fit"));
    EXPECT_EQ(fit.message, Cp936("以下跑步记录未按原样导出：\n跑步记录 1901：开始时间“1901-03-01 "
                                 "07:00:00”早于 UTC 1998-07-03 21:24:16，FIT文件无法记录这么早的"
                                 "时间；已略去"));
}

// The list's columns in a list `available` pixels wide, a byte a pixel: the
// RunID column shows whole ids while there is room, and gives way to keep
// the state column whole, never narrower than its title.
TEST(ListRows, TheRunIdColumnGivesWayLastAndTheStateColumnStaysInSight) {
    const auto fit = [](const std::string& runId, int available) {
        auto table = std::make_shared<RunTable>();
        table->Replace({TableRun(runId, "2012-07-01 07:00:00", "5.0", "", "", "")});
        ListRows rows(table);
        rows.Update(1);
        const auto widths = rows.FitColumns(
            available, [](std::string_view text) { return static_cast<int>(text.size()); });
        int total = 0;
        for (const int width : widths) {
            total += width;
        }
        return std::pair{widths, total};
    };
    const auto [shortWidths, shortTotal] = fit("1100309028", 700);
    EXPECT_LE(shortTotal, 700);
    EXPECT_GE(shortWidths[kColumnRunId], 10 + 2) << "whole";
    const int stateTitle = static_cast<int>(Cp936("同步状态").size()) + 2;
    for (const int available : {700, 450}) {
        const auto [widths, total] = fit(std::string(300, '7'), available);
        EXPECT_EQ(total, available) << "the RunID cut to the room there is";
        EXPECT_GE(widths[kColumnPostState], stateTitle) << available;
    }
    EXPECT_EQ(fit(std::string(300, '7'), 100).first[kColumnRunId], 50) << "never below its own";
}

// Weeks are labelled by their first day, and named with their year above the
// chart; keys move the chart a bar, a view or to either end, the wheel three bars.
TEST(StatsChart, WeeksGoByTheirFirstDayAndKeysAndTheWheelScroll) {
    std::array<RunTotals, 3> totals;
    for (int week = 0; week < 10; ++week) {
        totals[0].periods.push_back({.label = "2010-W09",
                                     .runs = 1,
                                     .distanceMm = 5000000,
                                     .firstDay = DaysFromCivil(2010, 3, 1) + 7 * week});
    }
    StatsChart chart(totals);
    chart.Resize({200, 150, 1.0});
    const ChartLayout& layout = chart.layout();
    EXPECT_EQ(layout.bars[0].label.text, "3月1日");
    EXPECT_EQ(layout.bars[9].label.text, "5月3日");
    chart.Click(layout.bars[0].column.x + 1, 10);
    EXPECT_EQ(chart.SummaryLine().rfind(Cp936("2010年3月1日起的一周：1 次，5.00 公里"), 0), 0u)
        << Cp936ToUtf8(chart.SummaryLine());
    const int end = layout.width - 200, bar = layout.slot;
    const struct {
        int from;
        ChartScroll how;
        int to;
    } keys[] = {
        {0, ChartScroll::Right, bar},       {0, ChartScroll::Left, 0},
        {bar, ChartScroll::Left, 0},        {0, ChartScroll::PageRight, 200},
        {end, ChartScroll::PageRight, end}, {300, ChartScroll::PageLeft, 100},
        {300, ChartScroll::Home, 0},        {0, ChartScroll::End, end},
        {end - 1, ChartScroll::Right, end},
    };
    for (const auto& key : keys) {
        EXPECT_EQ(chart.ScrolledTo(key.from, key.how), key.to) << key.from << " " << key.to;
    }
    EXPECT_EQ(chart.WheeledTo(0, 1), 3 * bar);
    EXPECT_EQ(chart.WheeledTo(3 * bar, -2), 0);
    EXPECT_EQ(chart.WheeledTo(0, 1 << 30), end);
}

}  // namespace
}  // namespace strivo
