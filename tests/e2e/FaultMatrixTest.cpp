// What happens when each stage of a download or a sync meets each kind of
// network failure. The table below is the documentation: the reports the
// worker sends, the status line the window then shows, which buttons let the
// user try again, and whether runs reached the site.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <set>

#include "../support/Cp936Literal.h"
#include "../support/RecordingSink.h"
#include "../support/StandInServices.h"
#include "jobs/Download.h"
#include "jobs/Sync.h"
#include "ui/DialogState.h"

namespace strivo {
namespace {

using namespace std::chrono_literals;
using test::Cp936;

enum class Stage { ServiceSignIn, AccountData, RunList, SiteSignIn, RunLogPosts };
// How the network fails a stage (strivo::Failure is what the user is then told).
enum class NetFault {
    Status500,
    Status403,
    ClosedMidBody,
    NoAnswer,    // the answer never comes: the stall limit ends it
    Dripping,    // the answer comes a byte at a time: the minimum rate ends it
    TooLarge,    // a body over the size limit
    ServerGone,  // nothing listens any more
    Untrusted,   // a certificate nobody vouches for (secure requests only)
    WrongName,   // a trusted certificate for another host
    RedirectLoop,
    Dropped,     // the request is read and handled, the connection closed without an answer
    SignedOut,   // a redirect to the sign-in page (run-log posts only)
    SignInPage,  // a 200 page that is the sign-in form (run-log posts only)
};

struct Row {
    Stage stage;
    NetFault fault;
    const char* reports;         // messages:outcomes, as the worker sent them
    const char* status;          // the window's status line afterwards,
    const char* reason;          // and the reason it gives after it
    bool signIn, refresh, sync;  // buttons enabled afterwards
};

constexpr const char* kServiceFailed = "1026:-1";
constexpr const char* kSummaryFailedButRuns = "1026:0 1027:0 1028:0";
constexpr const char* kRunsFailed = "1026:0 1027:0 1028:-1";
constexpr const char* kSiteFailed = "1029:-1";
constexpr const char* kPostsFailed = "1029:0 1030:-1";
constexpr const char* kUnconfirmed =
    "同步到Strivo失败：24/24条未上传，其中1条结果未知，请在网站上核对后在列表中标记";

// clang-format off
const Row kMatrix[] = {
    // A failed sign-in: nothing more is asked; only the sign-in button returns.
    {Stage::ServiceSignIn, NetFault::Status500,     kServiceFailed, "登陆Nike+失败...", "服务器错误 500", true, false, false},
    {Stage::ServiceSignIn, NetFault::Status403,     kServiceFailed, "登陆Nike+失败...", "服务器错误 403", true, false, false},
    {Stage::ServiceSignIn, NetFault::ClosedMidBody, kServiceFailed, "登陆Nike+失败...", "连接中断", true, false, false},
    {Stage::ServiceSignIn, NetFault::NoAnswer,      kServiceFailed, "登陆Nike+失败...", "连接超时", true, false, false},
    {Stage::ServiceSignIn, NetFault::Dripping,      kServiceFailed, "登陆Nike+失败...", "连接超时", true, false, false},
    {Stage::ServiceSignIn, NetFault::TooLarge,      kServiceFailed, "登陆Nike+失败...", "服务器返回的数据过大", true, false, false},
    {Stage::ServiceSignIn, NetFault::ServerGone,    kServiceFailed, "登陆Nike+失败...", "无法连接服务器", true, false, false},
    {Stage::ServiceSignIn, NetFault::Untrusted,     kServiceFailed, "登陆Nike+失败...", "服务器证书不可信", true, false, false},
    {Stage::ServiceSignIn, NetFault::WrongName,     kServiceFailed, "登陆Nike+失败...", "服务器证书与地址不符", true, false, false},
    {Stage::ServiceSignIn, NetFault::RedirectLoop,  kServiceFailed, "登陆Nike+失败...", "服务器重定向出错", true, false, false},
    // Account data that does not arrive leaves the summary's values empty; the
    // runs still come, unless the server went with it.
    {Stage::AccountData, NetFault::Status500,     kSummaryFailedButRuns, "下载Nike+跑步数据成功结束...", "", false, true, true},
    {Stage::AccountData, NetFault::Status403,     kSummaryFailedButRuns, "下载Nike+跑步数据成功结束...", "", false, true, true},
    {Stage::AccountData, NetFault::ClosedMidBody, kSummaryFailedButRuns, "下载Nike+跑步数据成功结束...", "", false, true, true},
    {Stage::AccountData, NetFault::NoAnswer,      kSummaryFailedButRuns, "下载Nike+跑步数据成功结束...", "", false, true, true},
    {Stage::AccountData, NetFault::TooLarge,      kSummaryFailedButRuns, "下载Nike+跑步数据成功结束...", "", false, true, true},
    {Stage::AccountData, NetFault::ServerGone,    kRunsFailed, "下载Nike+跑步数据失败...", "无法连接服务器", true, true, false},
    {Stage::AccountData, NetFault::RedirectLoop,  kSummaryFailedButRuns, "下载Nike+跑步数据成功结束...", "", false, true, true},
    // A run list that does not arrive whole leaves the table empty.
    {Stage::RunList, NetFault::Status500,     kRunsFailed, "下载Nike+跑步数据失败...", "服务器错误 500", true, true, false},
    {Stage::RunList, NetFault::Status403,     kRunsFailed, "下载Nike+跑步数据失败...", "服务器错误 403", true, true, false},
    {Stage::RunList, NetFault::ClosedMidBody, kRunsFailed, "下载Nike+跑步数据失败...", "连接中断", true, true, false},
    {Stage::RunList, NetFault::NoAnswer,      kRunsFailed, "下载Nike+跑步数据失败...", "连接超时", true, true, false},
    {Stage::RunList, NetFault::Dripping,      kRunsFailed, "下载Nike+跑步数据失败...", "连接超时", true, true, false},
    {Stage::RunList, NetFault::TooLarge,      kRunsFailed, "下载Nike+跑步数据失败...", "服务器返回的数据过大", true, true, false},
    {Stage::RunList, NetFault::ServerGone,    kRunsFailed, "下载Nike+跑步数据失败...", "无法连接服务器", true, true, false},
    {Stage::RunList, NetFault::RedirectLoop,  kRunsFailed, "下载Nike+跑步数据失败...", "服务器重定向出错", true, true, false},
    // A failed site sign-in posts nothing; sync comes back.
    {Stage::SiteSignIn, NetFault::Status500,     kSiteFailed, "登陆Kelvora论坛失败...", "服务器错误 500", false, true, true},
    {Stage::SiteSignIn, NetFault::Status403,     kSiteFailed, "登陆Kelvora论坛失败...", "服务器错误 403", false, true, true},
    {Stage::SiteSignIn, NetFault::ClosedMidBody, kSiteFailed, "登陆Kelvora论坛失败...", "连接中断", false, true, true},
    {Stage::SiteSignIn, NetFault::NoAnswer,      kSiteFailed, "登陆Kelvora论坛失败...", "连接超时", false, true, true},
    {Stage::SiteSignIn, NetFault::TooLarge,      kSiteFailed, "登陆Kelvora论坛失败...", "服务器返回的数据过大", false, true, true},
    {Stage::SiteSignIn, NetFault::ServerGone,    kSiteFailed, "登陆Kelvora论坛失败...", "无法连接服务器", false, true, true},
    {Stage::SiteSignIn, NetFault::RedirectLoop,  kSiteFailed, "登陆Kelvora论坛失败...", "服务器重定向出错", false, true, true},
    // Posts that fail are counted and said; sync comes back to try again. A
    // post without a whole answer, or redirected, may be on the site: the
    // sync stops there and holds it. Three server errors in a row, or a
    // session the site ended, stop the sync too.
    {Stage::RunLogPosts, NetFault::Status500,     kPostsFailed, "同步到Strivo失败：24/24条未上传", "服务器错误 500", false, true, true},
    {Stage::RunLogPosts, NetFault::Status403,     kPostsFailed, "同步到Strivo失败：24/24条未上传", "论坛登录已失效", false, true, true},
    {Stage::RunLogPosts, NetFault::SignedOut,     kPostsFailed, "同步到Strivo失败：24/24条未上传", "论坛登录已失效", false, true, true},
    {Stage::RunLogPosts, NetFault::SignInPage,    kPostsFailed, "同步到Strivo失败：24/24条未上传", "论坛登录已失效", false, true, true},
    {Stage::RunLogPosts, NetFault::ClosedMidBody, kPostsFailed, kUnconfirmed, "连接中断", false, true, true},
    {Stage::RunLogPosts, NetFault::NoAnswer,      kPostsFailed, kUnconfirmed, "连接超时", false, true, true},
    {Stage::RunLogPosts, NetFault::Dripping,      kPostsFailed, kUnconfirmed, "连接超时", false, true, true},
    {Stage::RunLogPosts, NetFault::TooLarge,      kPostsFailed, kUnconfirmed, "服务器返回的数据过大", false, true, true},
    {Stage::RunLogPosts, NetFault::ServerGone,    kPostsFailed, "同步到Strivo失败：24/24条未上传", "无法连接服务器", false, true, true},
    {Stage::RunLogPosts, NetFault::RedirectLoop,  kPostsFailed, kUnconfirmed, "论坛返回了重定向", false, true, true},
    {Stage::RunLogPosts, NetFault::Dropped,       kPostsFailed, kUnconfirmed, "连接中断", false, true, true},
};
// clang-format on

constexpr auto kStallLimit = 2s;  // room for slow builds (thread checker) under load
constexpr std::size_t kBodyLimit = 64 * 1024;

// The request each stage fails at, by Stage.
const char* const kPaths[] = {"/nikeplus/v1/services/widget/generate_pin.jsp",
                              "/nikeplus/v1/services/app/get_user_data.jsp",
                              "/nikeplus/v1/services/app/run_list.jsp",
                              "/logging.php?action=login&loginsubmit=true", "/runlogger.php"};

sim::Fault FaultFor(Stage stage, NetFault broken) {
    sim::Fault fault{.path = kPaths[static_cast<int>(stage)]};
    fault.status = broken == NetFault::Status500 ? 500 : broken == NetFault::Status403 ? 403 : 0;
    fault.closeMidBody = broken == NetFault::ClosedMidBody;
    fault.delay = broken == NetFault::NoAnswer ? 8s : 0s;
    fault.bodySize = broken == NetFault::TooLarge ? 4 * kBodyLimit : 0;
    fault.redirectLoop = broken == NetFault::RedirectLoop;
    fault.drop = broken == NetFault::Dropped;
    fault.drip = broken == NetFault::Dripping ? 200ms : 0ms;
    fault.location = broken == NetFault::SignedOut ? "/logging.php?action=login" : "";
    fault.signInPage = broken == NetFault::SignInPage;
    return fault;
}

// A port on which nothing listens.
int ClosedPort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    socklen_t length = sizeof address;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    ::close(fd);
    return ntohs(address.sin_port);
}

std::string Describe(const Row& row) {
    static const char* const stages[] = {"ServiceSignIn", "AccountData", "RunList", "SiteSignIn",
                                         "RunLogPosts"};
    static const char* const failures[] = {
        "Status500", "Status403",  "ClosedMidBody", "NoAnswer",  "Dripping",
        "TooLarge",  "ServerGone", "Untrusted",     "WrongName", "RedirectLoop",
        "Dropped",   "SignedOut",  "SignInPage"};
    return std::string(stages[static_cast<int>(row.stage)]) + "_" +
           failures[static_cast<int>(row.fault)];
}

void PrintTo(const Row& row, std::ostream* out) {
    *out << Describe(row);
}

class FaultMatrixTest : public ::testing::TestWithParam<Row> {};

TEST_P(FaultMatrixTest, EndsInTimeWithTheRightReportAndButtons) {
    const Row& row = GetParam();
    sim::StandInsOptions options;
    if (row.fault == NetFault::WrongName) {
        options.service.certificateNames = {"strivo-test.invalid"};
    }
    test::StandInServices services(sim::DemoAccounts(), options);
    sim::RunService& service = services.service;
    sim::Site& site = services.site;
    Settings settings = services.settings();
    WebSessionConfig config = services.config();
    config.stallLimit = kStallLimit;
    if (row.fault == NetFault::Dripping) {
        config.rateWindow = 1s;  // elsewhere a loaded machine could seem to drip
    }
    config.maxBodyBytes = kBodyLimit;
    auto table = std::make_shared<RunTable>();
    DialogState dialog;
    const bool siteStage = row.stage == Stage::SiteSignIn || row.stage == Stage::RunLogPosts;

    if (siteStage) {
        // A good download first, so that there are runs to post.
        test::RecordingSink download;
        dialog.OnJobStarted(JobKind::Download);
        (void)jobs::Download(*jobs::InMemory(settings, config), *table, download);
        for (const auto& report : download.reports()) {
            dialog.OnReport(report);
        }
        ASSERT_EQ(table->RowCount(), 24u);
    }

    test::RecordingSink sink;
    if (row.fault == NetFault::ServerGone) {
        switch (row.stage) {
            case Stage::ServiceSignIn:
                settings.serviceHttpsPort = ClosedPort();
                break;
            case Stage::AccountData:
                sink.onReport = [&](const ProgressReport& report) {
                    if (report.step == Step::ServiceSignedIn)
                        service.Stop();
                };
                break;
            case Stage::SiteSignIn:
                settings.sitePort = ClosedPort();
                break;
            case Stage::RunList:
                sink.onReport = [&](const ProgressReport& report) {
                    if (report.step == Step::SummaryReady)
                        service.Stop();
                };
                break;
            case Stage::RunLogPosts:
                sink.onReport = [&](const ProgressReport& report) {
                    if (report.step == Step::SiteSignedIn)
                        site.Stop();
                };
                break;
        }
    } else if (row.fault == NetFault::Untrusted) {
        config.caPem.clear();
    } else if (siteStage) {
        site.AddFault(FaultFor(row.stage, row.fault));
    } else {
        service.AddFault(FaultFor(row.stage, row.fault));
    }

    const auto started = std::chrono::steady_clock::now();
    dialog.OnJobStarted(siteStage ? JobKind::Sync : JobKind::Download);
    const jobs::Workspace where = *jobs::InMemory(settings, config);
    if (siteStage) {
        jobs::Sync(where, table->Snapshot(), sink);
    } else {
        (void)jobs::Download(where, *table, sink);
    }
    EXPECT_LT(std::chrono::steady_clock::now() - started, 15s);

    EXPECT_EQ(sink.Trace(), row.reports);
    for (const auto& report : sink.reports()) {
        dialog.OnReport(report);
    }
    const std::string reason = *row.reason ? "（" + std::string(row.reason) + "）" : "";
    EXPECT_EQ(dialog.view().status, Cp936((row.status + reason).c_str()));
    EXPECT_EQ(dialog.view().serviceSignInEnabled, row.signIn);
    EXPECT_EQ(dialog.view().refreshEnabled, row.refresh);
    EXPECT_EQ(dialog.view().syncEnabled, row.sync);

    if (std::string_view(row.reports) == kRunsFailed) {
        EXPECT_EQ(table->RowCount(), 0u) << "no partial run list shown";
    }
    if (std::string_view(row.reports) == kSummaryFailedButRuns) {
        EXPECT_EQ(table->RowCount(), 24u);
        EXPECT_EQ(dialog.view().summary, Cp936("，您已完成  KM，用时 0小时0分0秒，消耗  千卡。"));
    }
    // Nothing is ever posted twice, and a failed sign-in posts nothing.
    std::set<std::string> ids;
    for (const auto& entry : site.entries()) {
        EXPECT_TRUE(ids.insert(entry.Field("nikerunid")).second);
    }
    if (row.stage == Stage::SiteSignIn) {
        EXPECT_TRUE(ids.empty());
    }
}

INSTANTIATE_TEST_SUITE_P(EveryStageAndFailure, FaultMatrixTest, ::testing::ValuesIn(kMatrix),
                         [](const ::testing::TestParamInfo<Row>& info) {
                             return Describe(info.param);
                         });

}  // namespace
}  // namespace strivo
