#include "runservice/RunServiceWorker.h"

#include <gtest/gtest.h>

#include "../support/Cp936Literal.h"
#include "../support/RecordingSink.h"
#include "runservice/RunList.h"
#include "sim/RunService.h"
#include "text/TextHelpers.h"

namespace strivo {
namespace {

using test::Gbk;

constexpr const char* kAccountDataPath = "/nikeplus/v1/services/app/get_user_data.jsp";
constexpr const char* kRunListPath = "/nikeplus/v1/services/app/run_list.jsp";

class RunServiceWorkerTest : public ::testing::Test {
protected:
    RunServiceWorkerTest() : m_service(sim::DemoServiceAccount()) { m_service.Start(); }

    // Runs one job on this thread, as the worker's thread would.
    int RunJob(const std::string& user, const std::string& password, std::stop_token stop = {}) {
        WorkerJob job;
        job.owner = &m_sink;
        job.userName = user;
        job.password = password;
        job.runTable = m_table;
        WebSessionConfig config;
        config.caPem = m_service.certificatePem();
        config.cookies = MakeCookieStore();
        RunServiceWorker worker(job, {"127.0.0.1", m_service.httpsPort(), m_service.httpPort()},
                                config, stop);
        return worker.RunJob(job);
    }

    int RunDemoJob() { return RunJob(m_service.account().login, m_service.account().password); }

    sim::RunService m_service;
    test::RecordingSink m_sink;
    std::shared_ptr<RunTable> m_table = std::make_shared<RunTable>();
};

TEST_F(RunServiceWorkerTest, DemoAccountFillsTheTableWithItsRuns) {
    m_table->Append({RunRow{"old"}});  // left from an earlier download
    std::size_t rowsWhenSummaryArrived = 99;
    m_sink.onReport = [&](const ProgressReport& report) {
        if (report.message == WM_SUMMARY_READY) {
            rowsWhenSummaryArrived = m_table->RowCount();
        }
    };
    ASSERT_EQ(RunDemoJob(), 1);
    EXPECT_EQ(m_sink.Trace(), "1026:0 1027:0 1028:0");
    EXPECT_EQ(rowsWhenSummaryArrived, 0u) << "the worker empties the table before the summary";

    const std::vector<sim::Run>& runs = m_service.account().runs;
    const std::vector<RunRow> rows = m_table->Snapshot();
    ASSERT_EQ(rows.size(), runs.size());
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const RunRow expected = {std::to_string(i + 1),
                                 TrimTimestamp(runs[i].startTime),
                                 sim::FormatDistance(runs[i].distanceKm),
                                 FormatDuration(std::to_string(runs[i].durationMs)),
                                 std::to_string(runs[i].calories),
                                 TrimTimestamp(runs[i].syncTime),
                                 runs[i].id};
        EXPECT_EQ(rows[i], expected) << "row " << i;
    }

    const std::string summary = m_sink.reports()[1].summary;
    EXPECT_EQ(summary.find(Gbk("晨跑的小李，您已完成 ")), 0u) << summary;
}

TEST_F(RunServiceWorkerTest, WrongPasswordStopsAfterTheSignIn) {
    EXPECT_EQ(RunJob(m_service.account().login, "wrong"), 0);
    EXPECT_EQ(m_sink.Trace(), "1026:-1");
    EXPECT_EQ(m_service.requests().size(), 1u) << "no request after a failed sign-in";
    EXPECT_EQ(m_table->RowCount(), 0u);
}

TEST_F(RunServiceWorkerTest, CredentialsAreSentPercentEncoded) {
    RunDemoJob();
    const auto requests = m_service.requests();
    ASSERT_FALSE(requests.empty());
    EXPECT_EQ(requests[0].query, "login=" + PercentEncode(m_service.account().login) +
                                     "&password=" + PercentEncode(m_service.account().password));
    EXPECT_NE(requests[0].query.find("%20"), std::string::npos);
    EXPECT_NE(requests[0].query.find("%26"), std::string::npos);
}

TEST_F(RunServiceWorkerTest, FailedAccountDataStillGivesTheFramedSentence) {
    m_service.AddFault({.path = kAccountDataPath, .status = 500});
    EXPECT_EQ(RunDemoJob(), 1);
    EXPECT_EQ(m_sink.Trace(), "1026:0 1027:0 1028:0");
    EXPECT_EQ(m_sink.reports()[1].summary, Gbk("，您已完成  KM，用时 0小时0分0秒，消耗  千卡。"));
    EXPECT_EQ(m_table->RowCount(), m_service.account().runs.size());
}

TEST_F(RunServiceWorkerTest, RunListFailuresLeaveTheTableEmpty) {
    const sim::Fault faults[] = {
        {.path = kRunListPath, .status = 500},
        {.path = kRunListPath, .closeMidBody = true},
        {.path = kRunListPath, .status = 403},
    };
    for (const sim::Fault& fault : faults) {
        m_service.ClearFaults();
        m_service.AddFault(fault);
        test::RecordingSink sink;
        m_table->Append({RunRow{}});
        WorkerJob job;
        job.owner = &sink;
        job.userName = m_service.account().login;
        job.password = m_service.account().password;
        job.runTable = m_table;
        WebSessionConfig config;
        config.caPem = m_service.certificatePem();
        config.cookies = MakeCookieStore();
        RunServiceWorker worker(job, {"127.0.0.1", m_service.httpsPort(), m_service.httpPort()},
                                config);
        EXPECT_EQ(worker.RunJob(job), 0);
        EXPECT_EQ(sink.Trace(), "1026:0 1027:0 1028:-1");
        EXPECT_EQ(m_table->RowCount(), 0u);
    }
}

TEST_F(RunServiceWorkerTest, CutOffRunListKeepsTheCompleteRuns) {
    m_service.AddFault({.path = kRunListPath, .cutAfterBytes = 1500});
    EXPECT_EQ(RunDemoJob(), 1);
    EXPECT_GT(m_table->RowCount(), 0u);
    EXPECT_LT(m_table->RowCount(), m_service.account().runs.size());
    for (const RunRow& row : m_table->Snapshot()) {
        EXPECT_FALSE(row[kColumnRunId].empty());
    }
}

TEST_F(RunServiceWorkerTest, SessionThatCannotOpenIsAFailedSignIn) {
    std::stop_source stopped;
    stopped.request_stop();
    EXPECT_EQ(RunJob(m_service.account().login, m_service.account().password, stopped.get_token()),
              0);
    EXPECT_EQ(m_sink.Trace(), "1026:-1");
    EXPECT_TRUE(m_service.requests().empty());
}

}  // namespace
}  // namespace strivo
