#include "site/SiteWorker.h"

#include <gtest/gtest.h>

#include "../support/Cp936Literal.h"
#include "../support/RecordingSink.h"
#include "sim/CommunitySite.h"
#include "site/RunLogForm.h"
#include "text/TextHelpers.h"

namespace strivo {
namespace {

using test::Gbk;

RunRow Row(int n) {
    return {std::to_string(n),
            "2010-04-20 06:30:" + std::to_string(10 + n),
            "5.0123",
            Gbk("0小时25分10秒"),
            "350",
            "2010-04-20 08:00:00",
            std::to_string(800 + n)};
}

class SiteWorkerTest : public ::testing::Test {
protected:
    SiteWorkerTest() : m_site(sim::DemoSiteAccount()) { m_site.Start(); }

    int RunJob(test::RecordingSink& sink, std::string user, std::string password) {
        WorkerJob job;
        job.owner = &sink;
        job.userName = std::move(user);
        job.password = std::move(password);
        job.runTable = m_table;
        WebSessionConfig config;
        config.cookies = m_cookies;
        SiteWorker worker(job, {"127.0.0.1", m_site.port()}, config);
        const int result = worker.RunJob(job);
        m_formHash = worker.formHash();
        return result;
    }

    int RunDemoJob(test::RecordingSink& sink) {
        return RunJob(sink, m_site.account().user, m_site.account().password);
    }

    void FillTable(int rows) {
        std::vector<RunRow> table;
        for (int i = 1; i <= rows; ++i) {
            table.push_back(Row(i));
        }
        m_table->Replace(std::move(table));
    }

    sim::CommunitySite m_site;
    std::shared_ptr<CookieStore> m_cookies = MakeCookieStore();
    std::shared_ptr<RunTable> m_table = std::make_shared<RunTable>();
    std::string m_formHash;
};

TEST_F(SiteWorkerTest, PostsEveryRowInOrderByteForByte) {
    FillTable(3);
    test::RecordingSink sink;
    EXPECT_EQ(RunDemoJob(sink), 1);
    EXPECT_EQ(sink.Trace(true), "1029:0 1031:0 1031:0 1031:0 1030:0");
    const auto reports = sink.reports();
    EXPECT_EQ(reports[2].count, 2);
    EXPECT_EQ(reports[2].total, 3);

    std::string description = RunLogDescription();
    FormEncode(description);
    const auto entries = m_site.entries();
    ASSERT_EQ(entries.size(), 3u);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(entries[static_cast<std::size_t>(i)].rawBody,
                  BuildRunLogBody(m_formHash, Row(i + 1), description));
    }
    EXPECT_EQ(entries[0].rawBody,
              "formhash=" + m_formHash +
                  "&dtevent=2010-04-20+06%3a30%3a11&typeevent=1&weather=1&tempor=1"
                  "&distance=5.0123&tchour=0&tcminute=25&tcsecond=10&addr=&nikerunid=801"
                  "&descrip=Nike%2b%CD%AC%B2%BD");
}

TEST_F(SiteWorkerTest, SignsOutAStillOpenSessionFirst) {
    test::RecordingSink first;
    RunDemoJob(first);
    const auto firstRequests = m_site.requests();
    ASSERT_EQ(firstRequests.size(), 3u) << "home page, sign-in form, sign-in post";
    EXPECT_EQ(firstRequests[0].path, "/index.php");
    EXPECT_EQ(firstRequests[1].query, "action=login");
    EXPECT_EQ(firstRequests[2].method, "POST");

    m_site.ClearRequests();
    const std::string token = m_formHash;
    test::RecordingSink second;
    RunDemoJob(second);
    const auto requests = m_site.requests();
    ASSERT_EQ(requests.size(), 4u);
    EXPECT_EQ(requests[1].path, "/logging.php");
    EXPECT_EQ(requests[1].query, "action=logout&formhash=" + token);
    EXPECT_EQ(second.Trace(), "1029:0 1030:0");
}

TEST_F(SiteWorkerTest, UserNameAndPasswordAreFormEncoded) {
    test::RecordingSink sink;
    EXPECT_EQ(RunDemoJob(sink), 1);
    const auto requests = m_site.requests();
    ASSERT_EQ(requests.size(), 3u);
    std::string user = m_site.account().user;
    std::string password = m_site.account().password;
    EXPECT_EQ(requests[2].body,
              BuildSignInBody(m_formHash, "2592000", FormEncode(user), FormEncode(password)));
    EXPECT_NE(requests[2].body.find("&password=run+log%261&"), std::string::npos)
        << requests[2].body;
}

TEST(SiteWorkerNames, ChineseUserNameWithBlankAndAmpersandSignsIn) {
    sim::CommunitySite site(sim::SiteAccount{Gbk("跑 者&1"), Gbk("密 码&")});
    site.Start();
    test::RecordingSink sink;
    WorkerJob job{&sink, nullptr, Gbk("跑 者&1"), Gbk("密 码&"), std::make_shared<RunTable>()};
    WebSessionConfig config;
    config.cookies = MakeCookieStore();
    EXPECT_EQ(SiteWorker(job, {"127.0.0.1", site.port()}, config).RunJob(job), 1);
    EXPECT_EQ(sink.Trace(), "1029:0 1030:0");
    const auto requests = site.requests();
    ASSERT_EQ(requests.size(), 3u);
    EXPECT_NE(requests[2].body.find("&username=%C5%DC+%D5%DF%261&password=%C3%DC+%C2%EB%26&"),
              std::string::npos)
        << requests[2].body;
}

TEST_F(SiteWorkerTest, FailedSignInPostsNothing) {
    struct Case {
        const char* name;
        std::optional<sim::Fault> fault;
        std::string password;
    };
    const Case cases[] = {
        {"wrong password", std::nullopt, "wrong"},
        {"sign-in post answered 500",
         sim::Fault{.path = "/logging.php?action=login&loginsubmit=true", .status = 500}, ""},
        {"form without token or cookie time",
         sim::Fault{.path = "/logging.php?action=login", .cutAfterBytes = 10}, ""},
    };
    FillTable(2);
    for (const auto& c : cases) {
        m_site.ClearFaults();
        m_site.ClearRequests();
        if (c.fault) {
            m_site.AddFault(*c.fault);
        }
        m_cookies = MakeCookieStore();
        test::RecordingSink sink;
        EXPECT_EQ(RunJob(sink, m_site.account().user,
                         c.password.empty() ? m_site.account().password : c.password),
                  0)
            << c.name;
        EXPECT_EQ(sink.Trace(), "1029:-1") << c.name;
        EXPECT_TRUE(m_site.entries().empty()) << c.name;
    }
    // The form without markers was still posted, with both values empty.
    const auto requests = m_site.requests();
    ASSERT_EQ(requests.size(), 3u);
    EXPECT_EQ(requests[2].body.rfind(
                  "formhash=&cookietime=&loginfield=username&questionid=0&username=", 0),
              0u);
}

TEST_F(SiteWorkerTest, EmptyTablePostsNothing) {
    test::RecordingSink sink;
    EXPECT_EQ(RunDemoJob(sink), 1);
    EXPECT_EQ(sink.Trace(true), "1029:0 1030:0");
    EXPECT_TRUE(m_site.entries().empty());
}

TEST_F(SiteWorkerTest, RefusedPostIsCountedAndTheRestArrive) {
    FillTable(5);
    m_site.AddFault({.path = "/runlogger.php", .onRequest = 3, .status = 500});
    test::RecordingSink sink;
    EXPECT_EQ(RunDemoJob(sink), 0);
    const ProgressReport done = sink.reports().back();
    EXPECT_EQ(done.message, WM_SYNC_DONE);
    EXPECT_EQ(done.outcome, kOutcomeFailure);
    EXPECT_EQ(done.count, 1);
    EXPECT_EQ(done.total, 5);
    const auto entries = m_site.entries();
    ASSERT_EQ(entries.size(), 4u);
    EXPECT_EQ(entries[2].Field("nikerunid"), "804");
}

TEST_F(SiteWorkerTest, SiteGoingAwayMidSyncIsAFailureNotAHang) {
    FillTable(50);
    m_site.AddFault({.path = "/runlogger.php", .delay = std::chrono::milliseconds(5)});
    test::RecordingSink sink;
    sink.onReport = [&](const ProgressReport& report) {
        if (report.message == WM_SYNC_PROGRESS && report.count == 10) {
            m_site.Stop();
        }
    };
    EXPECT_EQ(RunDemoJob(sink), 0);
    const ProgressReport done = sink.reports().back();
    EXPECT_EQ(done.message, WM_SYNC_DONE);
    EXPECT_EQ(done.outcome, kOutcomeFailure);
    EXPECT_EQ(done.count, 40);
}

}  // namespace
}  // namespace strivo
