// A download and a sync against the stand-ins, byte for byte on the wire.
#include <gtest/gtest.h>

#include "../support/Cp936Literal.h"
#include "../support/RecordingSink.h"
#include "../support/StandInServices.h"
#include "runservice/RunServiceWorker.h"
#include "site/PostedRuns.h"
#include "site/SiteWorker.h"

namespace strivo {
namespace {

using test::Cp936;

sim::Accounts OneRun() {
    sim::Accounts accounts = sim::DemoAccounts();
    accounts.service.runs = {{"77", "standard", "2010-04-18T07:05:11+08:00", 5.0321, 1834000,
                              "2010-04-18T01:10:42+00:00", 356}};
    return accounts;
}

RunRow Row(int n) {
    return {{std::to_string(n), "2010-04-20 06:30:" + std::to_string(10 + n), "5.0123",
             Cp936("0小时25分10秒"), "350", "2010-04-20 08:00:00", std::to_string(800 + n)},
            1510000};
}

class JobsTest : public ::testing::Test {
protected:
    std::string Download(Settings settings) {
        test::RecordingSink sink;
        sink.onReport = [&](const ProgressReport& report) {
            if (report.message == WM_SUMMARY_READY) {
                m_rowsAtSummary = m_table->RowCount();
                m_summary = report.summary;
            }
        };
        StartDownload(settings, m_services.config(), sink, m_table).join();
        m_reports = sink.reports();
        return sink.Trace();
    }

    // Syncs rows 1 to `rows`, or `table`, with the test's record of posted runs.
    std::string Sync(Settings settings, int rows, std::vector<RunRow> table = {}) {
        for (int i = 1; i <= rows; ++i) {
            table.push_back(Row(i));
        }
        m_table->Replace(std::move(table));
        test::RecordingSink sink;
        StartSync(settings, m_services.config(), sink, m_table, {m_record}).join();
        m_reports = sink.reports();
        return sink.Trace(true);
    }

    // The RunIDs of the run log, in the order posted.
    std::string SiteIds() {
        std::string ids;
        for (const auto& entry : m_services.site.entries()) {
            ids += entry.Field("nikerunid") + " ";
        }
        return ids;
    }

    test::TempFolder m_folder;
    test::StandInServices m_services{OneRun()};
    std::shared_ptr<RunTable> m_table = std::make_shared<RunTable>();
    std::shared_ptr<PostedRuns> m_record = std::make_shared<PostedRuns>(m_folder / "posted.txt");
    std::vector<ProgressReport> m_reports;
    std::size_t m_rowsAtSummary = 99;
    std::string m_summary;
};

TEST_F(JobsTest, DownloadSignsInEncodedAndFillsAnEmptiedTable) {
    m_table->Append({RunRow{{"old"}}});  // left from an earlier download
    EXPECT_EQ(Download(m_services.settings()), "1026:0 1027:0 1028:0") << m_reports[0].cause.reason;
    EXPECT_EQ(m_rowsAtSummary, 0u) << "the table is emptied before the summary";
    EXPECT_EQ(m_summary,
              Cp936("晨跑的小李，您已完成 5.0321 KM，用时 0小时30分34秒，消耗 356 千卡。"));
    ASSERT_EQ(m_table->RowCount(), 1u);  // the row's cells: RunListTest
    EXPECT_EQ(m_table->Snapshot()[0].durationMs, 1834000);
    const auto requests = m_services.service.requests();
    EXPECT_EQ(requests[0].query, "login=demo.runner%40strivo.example&password=spring%20run%26go");
    for (const auto& request : requests) {  // the cookie never travels in clear
        EXPECT_TRUE(request.secure && request.remotePort == requests[0].remotePort) << request.path;
    }
}

TEST_F(JobsTest, FailedSignInsStopAtOnceAndSayWhy) {
    Settings wrong = m_services.settings();
    wrong.servicePassword = "wrong";
    EXPECT_EQ(Download(wrong), "1026:-1");
    EXPECT_EQ(m_reports[0].cause.failure, Failure::Refused);
    EXPECT_EQ(m_services.service.requests().size(), 1u) << "nothing asked after a failed sign-in";

    wrong = m_services.settings();
    wrong.sitePassword = "wrong";
    EXPECT_EQ(Sync(wrong, 2), "1029:-1");
    EXPECT_EQ(m_reports[0].cause.failure, Failure::Refused);
    EXPECT_TRUE(m_services.site.entries().empty());

    // Extra CAs that cannot be read keep the run service's session shut: a failed
    // sign-in, no request. They are the run service's: the site still signs in.
    m_services.service.ClearRequests();
    Settings noCa = m_services.settings();
    noCa.serviceCaFile = "/nonexistent/ca.pem";
    EXPECT_EQ(Download(noCa), "1026:-1");
    EXPECT_EQ(m_reports[0].cause.reason,
              "cannot read the certificate file /nonexistent/ca.pem: No such file or directory");
    EXPECT_EQ(m_reports[0].cause.failure, Failure::CertificateFile);
    EXPECT_EQ(Sync(noCa, 2), "1029:0 1031:0 1031:0 1030:0");
    EXPECT_TRUE(m_services.service.requests().empty());
}

TEST_F(JobsTest, SyncPostsEveryRowInOrderByteForByte) {
    EXPECT_EQ(Sync(m_services.settings(), 3), "1029:0 1031:0 1031:0 1031:0 1030:0");
    EXPECT_EQ(m_reports[2].processed, 2);
    EXPECT_EQ(m_reports[2].total, 3);
    const auto requests = m_services.site.requests();
    ASSERT_GE(requests.size(), 3u);
    EXPECT_EQ(requests[0].path, "/index.php");  // nobody signed in: no sign-out
    EXPECT_EQ(requests[1].query, "action=login");
    const std::string token = m_services.site.sessions().back().token;
    EXPECT_EQ(requests[2].body, "formhash=" + token +
                                    "&cookietime=2592000&loginfield=username&questionid=0"
                                    "&username=%C0%EE%95%5c%DAS&password=run+log%261&answer=");
    const auto entries = m_services.site.entries();
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[0].rawBody,
              "formhash=" + token +
                  "&dtevent=2010-04-20+06%3a30%3a11&typeevent=1&weather=1&tempor=1"
                  "&distance=5.0123&tchour=0&tcminute=25&tcsecond=10&addr=&nikerunid=801"
                  "&descrip=Nike%2b%CD%AC%B2%BD");
    EXPECT_EQ(entries[2].Field("nikerunid"), "803");

    // The site session is still open: the next sync signs it out first.
    m_services.site.ClearRequests();
    EXPECT_EQ(Sync(m_services.settings(), 0), "1029:0 1030:0");
    const auto again = m_services.site.requests();
    ASSERT_EQ(again.size(), 4u);
    EXPECT_EQ(again[1].query, "action=logout&formhash=" + token);
}

TEST_F(JobsTest, RefusedPostIsCountedAndTheRestArrive) {
    m_services.site.AddFault({.path = "/runlogger.php", .onRequest = 3, .status = 500});
    EXPECT_EQ(Sync(m_services.settings(), 5).substr(42), "1030:-1");
    const ProgressReport& done = m_reports.back();
    EXPECT_EQ(done.notPosted, 1);
    EXPECT_EQ(done.total, 5);
    EXPECT_EQ(done.cause.failure, Failure::ServerError);
    EXPECT_EQ(done.cause.status, 500);
    EXPECT_EQ(m_services.site.entries().size(), 4u);
}

TEST_F(JobsTest, SignInFormWithoutMarkersIsStillPostedWithEmptyValues) {
    m_services.site.AddFault({.path = "/logging.php?action=login", .cutAfterBytes = 10});
    EXPECT_EQ(Sync(m_services.settings(), 1), "1029:-1");
    EXPECT_EQ(m_services.site.requests().back().body.rfind(
                  "formhash=&cookietime=&loginfield=username&questionid=0&username=", 0),
              0u);
}

TEST_F(JobsTest, EachRunReachesTheSiteOnceWhateverTheRetries) {
    m_services.site.AddFault({.path = "/runlogger.php", .onRequest = 2, .status = 500});
    m_services.site.AddFault({.path = "/runlogger.php", .onRequest = 4, .status = 500});
    EXPECT_EQ(Sync(m_services.settings(), 5).substr(42), "1030:-1");
    EXPECT_EQ(m_reports.back().failedIds, (std::vector<std::string>{"802", "804"}));
    // The retry posts exactly the two that failed.
    EXPECT_EQ(Sync(m_services.settings(), 5), "1029:0 1031:0 1031:0 1030:0");
    EXPECT_EQ(m_reports.back().alreadyPosted, 3);
    // Nothing new: nothing is posted, and the report says so.
    EXPECT_EQ(Sync(m_services.settings(), 5), "1029:0 1030:0");
    EXPECT_EQ(m_reports.back().total, 0);
    EXPECT_EQ(m_reports.back().alreadyPosted, 5);
    // A run twice in the list goes once; a row without a RunID never.
    EXPECT_EQ(Sync(m_services.settings(), 0, {Row(6), Row(6), RunRow{{"7"}}, Row(8)}),
              "1029:0 1031:0 1031:0 1030:0");
    EXPECT_EQ(m_reports.back().withoutId, 1);
    EXPECT_EQ(SiteIds(), "801 803 805 802 804 806 808 ");
    // Recorded on disk: a record read afresh knows every run.
    PostedRuns reread(m_record->file());
    ASSERT_TRUE(reread.Load());
    EXPECT_TRUE(reread.PostedOn(m_services.settings(), "808"));
    EXPECT_FALSE(reread.PostedOn(m_services.settings(), "809"));
}

TEST_F(JobsTest, APostWithoutAnAnswerIsNeverSentAgainWithinTheSync) {
    m_services.site.AddFault({.path = "/runlogger.php", .onRequest = 2, .drop = true});
    EXPECT_EQ(Sync(m_services.settings(), 3), "1029:0 1031:0 1031:0 1030:-1");
    EXPECT_EQ(m_reports.back().unconfirmedIds, std::vector<std::string>{"802"});
    EXPECT_EQ(m_reports.back().failedIds, std::vector<std::string>{"803"});
    EXPECT_EQ(SiteIds(), "801 802 ");
    // Not recorded: the next sync posts it again, with the one never tried.
    Sync(m_services.settings(), 3);
    EXPECT_EQ(SiteIds(), "801 802 802 803 ");
}

TEST_F(JobsTest, ARecordThatCannotBeWrittenOrIsInUseStopsTheSyncBeforeAnyPost) {
    PostedRuns otherSync(m_record->file());  // a window, or another strivo-cli
    ASSERT_TRUE(otherSync.Open());
    EXPECT_EQ(Sync(m_services.settings(), 2), "1030:-1");
    EXPECT_EQ(m_reports.back().cause.failure, Failure::StoreInUse);

    m_record = std::make_shared<PostedRuns>(m_folder / "missing" / "posted.txt");
    EXPECT_EQ(Sync(m_services.settings(), 2), "1030:-1");
    EXPECT_NE(m_reports.back().cause.reason.find("missing/posted.txt"), std::string::npos);
    EXPECT_EQ(m_reports.back().cause.failure, Failure::Store);
    EXPECT_TRUE(m_services.site.requests().empty());
}

}  // namespace
}  // namespace strivo
