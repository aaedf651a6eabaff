// Both workers against the stand-ins at once, as the window runs them: the
// thread checker build runs these to prove they share nothing unguarded.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "../support/RecordingSink.h"
#include "runservice/RunServiceWorker.h"
#include "sim/CommunitySite.h"
#include "sim/RunService.h"
#include "site/SiteWorker.h"

namespace strivo {
namespace {

using namespace std::chrono_literals;

enum class JobKind { RunService, Site };

class ConcurrencyTest : public ::testing::Test {
protected:
    ConcurrencyTest() {
        sim::ServiceAccount account = sim::DemoServiceAccount();
        account.runs = sim::GenerateRuns(300, 11);
        m_service = std::make_unique<sim::RunService>(account);
        m_service->Start();
        m_site.Start();
    }

    WebSessionConfig Config() const {
        WebSessionConfig config;
        config.caPem = m_service->certificatePem();
        config.cookies = m_cookies;
        return config;
    }

    // Starts a job on its own thread, as the window does.
    std::jthread Start(JobKind kind, test::RecordingSink& sink) {
        return std::jthread([this, kind, &sink](std::stop_token stop) {
            auto job = std::make_unique<WorkerJob>();
            job->owner = &sink;
            job->runTable = m_table;
            if (kind == JobKind::RunService) {
                job->userName = m_service->account().login;
                job->password = m_service->account().password;
                RunServiceWorker worker(
                    *job, {"127.0.0.1", m_service->httpsPort(), m_service->httpPort()}, Config(),
                    stop);
                RunServiceThreadProc(std::move(job));
            } else {
                job->userName = m_site.account().user;
                job->password = m_site.account().password;
                SiteWorker worker(*job, {"127.0.0.1", m_site.port()}, Config(), stop);
                SiteThreadProc(std::move(job));
            }
        });
    }

    std::unique_ptr<sim::RunService> m_service;
    sim::CommunitySite m_site{sim::DemoSiteAccount()};
    std::shared_ptr<CookieStore> m_cookies = MakeCookieStore();
    std::shared_ptr<RunTable> m_table = std::make_shared<RunTable>();
};

TEST_F(ConcurrencyTest, RefreshDuringASyncNeverPostsAHalfTable) {
    {
        test::RecordingSink download;
        Start(JobKind::RunService, download).join();
        ASSERT_EQ(download.Trace(), "1026:0 1027:0 1028:0");
    }
    ASSERT_EQ(m_table->RowCount(), 300u);
    m_site.AddFault({.path = "/runlogger.php", .delay = 2ms});  // the sync outlasts the refresh

    // A list reading the table the whole time, as the window's view does.
    std::atomic<bool> done = false;
    std::thread list([&] {
        while (!done) {
            const std::size_t count = m_table->RowCount();
            for (std::size_t row = 0; row < count; row += 37) {
                m_table->Cell(row, kColumnRunId);
            }
        }
    });

    // The refresh starts once the sync has begun posting, and empties and
    // refills the table under it.
    test::RecordingSink sync, refresh;
    std::atomic<bool> posting = false;
    sync.onReport = [&](const ProgressReport& report) {
        if (report.message == WM_SYNC_PROGRESS) {
            posting = true;
            posting.notify_one();
        }
    };
    std::jthread syncThread = Start(JobKind::Site, sync);
    posting.wait(false);
    std::jthread refreshThread = Start(JobKind::RunService, refresh);
    syncThread.join();
    refreshThread.join();
    done = true;
    list.join();

    EXPECT_EQ(refresh.Trace(), "1026:0 1027:0 1028:0");
    EXPECT_EQ(sync.Trace(), "1029:0 1030:0");
    EXPECT_EQ(m_table->RowCount(), 300u);
    // The sync worked on one snapshot: every run once, in order, none empty.
    const auto entries = m_site.entries();
    ASSERT_EQ(entries.size(), 300u);
    for (std::size_t i = 0; i < entries.size(); ++i) {
        EXPECT_EQ(entries[i].Field("nikerunid"), m_service->account().runs[i].id);
    }
}

TEST_F(ConcurrencyTest, CancellingEachStageEndsTheJobPromptly) {
    // Every answer is slow, so each stage is in flight when the stop comes.
    m_service->AddFault({.path = "*", .delay = 300ms});
    m_site.AddFault({.path = "*", .delay = 300ms});
    struct Case {
        JobKind kind;
        int reportsBeforeStop;  // 0: stop during the first request
    };
    const Case cases[] = {{JobKind::RunService, 0},
                          {JobKind::RunService, 1},
                          {JobKind::RunService, 2},
                          {JobKind::Site, 0},
                          {JobKind::Site, 1}};
    for (const auto& c : cases) {
        if (c.kind == JobKind::Site && m_table->RowCount() == 0) {
            m_table->Replace(std::vector<RunRow>(20, RunRow{"1", "2010-01-01 00:00:00"}));
        }
        test::RecordingSink sink;
        std::atomic<int> reports = 0;
        sink.onReport = [&](const ProgressReport&) { ++reports; };
        std::jthread worker = Start(c.kind, sink);
        while (reports < c.reportsBeforeStop) {
            std::this_thread::sleep_for(5ms);
        }
        std::this_thread::sleep_for(100ms);
        const auto stopped = std::chrono::steady_clock::now();
        worker.request_stop();
        worker.join();
        EXPECT_LT(std::chrono::steady_clock::now() - stopped, 1s)
            << "kind " << static_cast<int>(c.kind) << " after " << c.reportsBeforeStop;
        // A cancelled job always ends with a report that brings the buttons back.
        const auto all = sink.reports();
        ASSERT_FALSE(all.empty());
        const ProgressReport& last = all.back();
        const bool endsService =
            last.message == WM_RUNS_DONE ||
            (last.message == WM_SERVICE_LOGIN_DONE && !Succeeded(last.outcome));
        const bool endsSite = last.message == WM_SYNC_DONE ||
                              (last.message == WM_SITE_LOGIN_DONE && !Succeeded(last.outcome));
        EXPECT_TRUE(c.kind == JobKind::RunService ? endsService : endsSite) << sink.Trace(true);
    }
}

}  // namespace
}  // namespace strivo
