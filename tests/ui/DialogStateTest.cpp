#include "ui/DialogState.h"

#include <gtest/gtest.h>

#include "../support/Cp936Literal.h"

namespace strivo {
namespace {

using test::Cp936;

ProgressReport Report(ProgressMessage message, long outcome = kOutcomeSuccess) {
    return ProgressReport{.message = message, .outcome = outcome};
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
    ExpectView(state.OnReport(Report(WM_SERVICE_LOGIN_DONE)).view, "下载Nike+用户信息...",
               {false, false, false, true}, "signed in");

    ProgressReport summary = Report(WM_SUMMARY_READY);
    summary.summary = Cp936("小明，您已完成 1 KM");
    update = state.OnReport(summary);
    ExpectView(update.view, "下载Nike+跑步数据...", {false, false, false, true}, "summary");
    EXPECT_EQ(update.view.summary, summary.summary);

    ExpectView(state.OnReport(Report(WM_RUNS_DONE)).view, "下载Nike+跑步数据成功结束...",
               {false, true, true, true}, "runs done: refresh and sync, not sign-in");

    EXPECT_EQ(state.OnSync("site", "pw").start, JobKind::Sync);
    ExpectView(state.OnJobStarted(JobKind::Sync).view, "正在登陆 KelvoraStrivo...",
               {false, true, false, true}, "site job started");
    ExpectView(state.OnReport(Report(WM_SITE_LOGIN_DONE)).view, "正在同步Nike+跑步数据到Strivo...",
               {false, true, false, true}, "site signed in");

    ProgressReport progress = Report(WM_SYNC_PROGRESS);
    progress.processed = 3;
    progress.total = 24;
    ExpectView(state.OnReport(progress).view, "正在同步Nike+跑步数据到Strivo... 3/24",
               {false, true, false, true}, "progress");

    ProgressReport done = Report(WM_SYNC_DONE);
    done.total = 24;
    ExpectView(state.OnReport(done).view, "同步到Strivo成功！本次上传24条，之前已上传0条",
               {false, true, false, true}, "sync done: sync stays off");
    EXPECT_EQ(state.view().summary, summary.summary);

    state.OnServiceLogin("me@x", "pw");
    EXPECT_EQ(state.view().summary, "") << "a new download empties the summary at once";
    state.OnJobStarted(JobKind::Download);
    state.OnReport(Report(WM_SERVICE_LOGIN_DONE));
    ExpectView(state.OnReport(Report(WM_RUNS_DONE)).view, "下载Nike+跑步数据成功结束...",
               {false, true, true, true}, "refresh after sync enables sync again");
}

TEST(DialogState, FailuresBringBackTheButtonsThatRetry) {
    struct Case {
        ProgressMessage message;
        long outcome;
        Failure failure;
        const char* status;
        Buttons buttons;
    };
    // Starting from: a run-service job and a site job both running.
    // Any non-zero outcome is a failure; -1 is in the fault matrix, with the
    // reasons of network failures.
    const Case cases[] = {
        {WM_SERVICE_LOGIN_DONE,
         1,
         Failure::Refused,
         "登陆Nike+失败...（用户名或密码错误）",
         {true, false, false, true}},
        {WM_RUNS_DONE,
         42,
         Failure::BadAnswer,
         "下载Nike+跑步数据失败...（服务器返回的数据无法识别）",
         {true, true, false, true}},
        {WM_SITE_LOGIN_DONE,
         kOutcomeFailure,
         Failure::CertificateFile,
         "登陆Kelvora论坛失败...（无法读取证书文件）",
         {false, false, true, true}},
    };
    for (const auto& c : cases) {
        DialogState state;
        state.OnJobStarted(JobKind::Download);
        state.OnJobStarted(JobKind::Sync);
        ProgressReport report = Report(c.message, c.outcome);
        report.cause.failure = c.failure;
        ExpectView(state.OnReport(report).view, c.status, c.buttons, c.status);
    }
}

TEST(DialogState, SyncEndSaysWhatWasPostedAndWhatIsInDoubt) {
    // unconfirmed: sent now without a whole answer; held: unknown since an
    // earlier sync, not posted. Both wait for the runner to settle them.
    const struct {
        long outcome;
        int total, notPosted, alreadyPosted, withoutId, unconfirmed, held;
        Failure failure;
        const char* status;
    } cases[] = {
        {0, 3, 0, 21, 0, 0, 0, Failure::None, "同步到Strivo成功！本次上传3条，之前已上传21条"},
        {0, 0, 0, 24, 0, 0, 0, Failure::None, "同步到Strivo成功！没有新的跑步数据，之前已上传24条"},
        {0, 2, 0, 0, 1, 0, 0, Failure::None,
         "同步到Strivo成功！本次上传2条，之前已上传0条，1条没有RunID"},
        {0, 3, 0, 19, 1, 0, 2, Failure::None,
         "同步到Strivo成功！本次上传3条，之前已上传19条，2条结果未知，请在网站上核对后在列表中标记"
         "，"
         "1条没有RunID"},
        {0, 0, 0, 23, 0, 0, 1, Failure::None,
         "同步到Strivo成功！没有新的跑步数据，之前已上传23条，1条结果未知，请在网站上核对后在列表中"
         "标记"},
        {-1, 24, 3, 0, 0, 0, 0, Failure::None, "同步到Strivo失败：3/24条未上传"},
        {-1, 24, 3, 0, 0, 1, 0, Failure::None,
         "同步到Strivo失败：3/24条未上传，其中1条结果未知，请在网站上核对后在列表中标记"},
        {-1, 22, 3, 0, 0, 1, 2, Failure::ConnectionLost,
         "同步到Strivo失败：3/22条未上传，3条结果未知，请在网站上核对后在列表中标记（连接中断）"},
        {-1, 24, 5, 0, 0, 0, 0, Failure::SessionEnded,
         "同步到Strivo失败：5/24条未上传（论坛登录已失效）"},
        {-1, 24, 24, 0, 2, 0, 0, Failure::Store,
         "同步到Strivo失败：24/24条未上传（无法写入上传记录），2条没有RunID"},
    };
    for (const auto& c : cases) {
        DialogState state;
        state.OnJobStarted(JobKind::Sync);
        ProgressReport done = Report(WM_SYNC_DONE, c.outcome);
        done.total = c.total;
        done.notPosted = c.notPosted;
        done.alreadyPosted = c.alreadyPosted;
        done.withoutId = c.withoutId;
        done.unconfirmedIds.resize(static_cast<std::size_t>(c.unconfirmed));
        done.heldIds.resize(static_cast<std::size_t>(c.held));
        done.cause.failure = c.failure;
        ExpectView(state.OnReport(done).view, c.status, {true, true, c.outcome != 0, true},
                   c.status);  // a failed sync may be tried again
    }
    EXPECT_EQ(DialogState::SettleFailedMessage(Failure::StoreInUse),
              Cp936("标记失败（另一个Strivo正在同步）"));
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
    const DialogUpdate update = state.OnExportFinished(false, "/full/disk.csv");
    EXPECT_TRUE(update.view.exportEnabled);
    EXPECT_EQ(update.view.status, Cp936("等待"));
    EXPECT_EQ(update.message, Cp936("导出数据失败，文件没有保存：/full/disk.csv"));
}

}  // namespace
}  // namespace strivo
