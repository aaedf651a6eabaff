// A download and a sync against the stand-ins, byte for byte on the wire.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <csignal>
#include <thread>

#include "../support/Cp936Literal.h"
#include "../support/RecordingSink.h"
#include "../support/SentRuns.h"
#include "../support/StandInServices.h"
#include "jobs/Download.h"
#include "jobs/Export.h"
#include "jobs/StoredRuns.h"
#include "jobs/Sync.h"
#include "model/ProblemWords.h"
#include "store/RunStore.h"
#include "store/SyncLock.h"
#include "text/TextHelpers.h"

namespace strivo {
namespace {

using namespace std::chrono_literals;
using test::Cp936;

sim::Accounts OneRun() {
    sim::Accounts accounts = sim::DemoAccounts();
    accounts.service.runs = {{"77", "standard", "2010-04-18T07:05:11+08:00", 5.0321, 1834000,
                              "2010-04-18T01:10:42+00:00", 356}};
    return accounts;
}

strivo::Run Row(int n) {
    return TableRun(std::to_string(800 + n), "2010-04-20 06:30:" + std::to_string(10 + n), "5.0123",
                    "1510000", "350", "2010-04-20 08:00:00");
}

// A problem's words in English.
std::string Words(const std::optional<Problem>& problem) {
    return problem ? DescribeIn(nullptr, *problem) : std::string();
}

class JobsTest : public ::testing::Test {
protected:
    // The test's workspace with `settings`.
    jobs::Workspace Where(Settings settings) {
        jobs::Workspace where = m_where;
        where.settings = std::move(settings);
        where.session = m_services.config();
        return where;
    }

    std::string Download(Settings settings) {
        test::RecordingSink sink;
        sink.onReport = [&](const ProgressReport& report) {
            if (report.step == Step::SummaryReady) {
                m_rowsAtSummary = m_table->RowCount();
                m_summary = report.summary;
            }
        };
        (void)jobs::Download(Where(std::move(settings)), *m_table, sink);
        m_reports = sink.reports();
        return sink.Trace();
    }

    // Syncs rows 1 to `rows`, or `table`, with the test's store.
    std::string Sync(Settings settings, int rows, std::vector<strivo::Run> table = {},
                     jobs::SyncOptions options = {}) {
        for (int i = 1; i <= rows; ++i) {
            table.push_back(Row(i));
        }
        m_table->Replace(std::move(table));
        test::RecordingSink sink;
        m_tally = jobs::Sync(Where(std::move(settings)), m_table->Snapshot(), sink, {}, options);
        m_reports = sink.reports();
        return sink.Trace(true);
    }

    // The state of each post the store holds, "801:confirmed 802:unknown ...".
    std::string PostStates() {
        const auto posts = jobs::ReadPostStates(Where(m_services.settings()));
        EXPECT_TRUE(posts) << Words(posts ? std::nullopt : std::optional(posts.problem()));
        std::map<std::string, std::string> sorted;
        for (const auto& [runId, post] : *posts) {
            sorted[runId] = PostStateName(post.state);
        }
        std::string states;
        for (const auto& [runId, state] : sorted) {
            states += runId + ":" + state + " ";
        }
        return states;
    }

    // The RunIDs of the run log from entry `from` on, in the order posted.
    std::string SiteIds(std::size_t from = 0) {
        std::string ids;
        const auto entries = m_services.site.entries();
        for (std::size_t i = from; i < entries.size(); ++i) {
            ids += entries[i].Field("nikerunid") + " ";
        }
        return ids;
    }

    test::TempFolder m_folder;
    test::StandInServices m_services{OneRun()};
    std::shared_ptr<RunTable> m_table = std::make_shared<RunTable>();
    jobs::Workspace m_where = jobs::ForSettingsFile(m_folder / "config.ini", {}, {});
    std::vector<ProgressReport> m_reports;
    SyncTally m_tally;
    std::size_t m_rowsAtSummary = 99;
    std::string m_summary;
};

TEST_F(JobsTest, DownloadSignsInEncodedAndFillsAnEmptiedTable) {
    m_table->Append({TableRun("")});  // left from an earlier download
    EXPECT_EQ(Download(m_services.settings()), "1026:0 1027:0 1028:0")
        << Words(m_reports[0].problem);
    EXPECT_EQ(m_rowsAtSummary, 0u) << "the table is emptied before the summary";
    EXPECT_EQ(m_summary,
              Cp936("晨跑的小李，您已完成 5.0321 KM，用时 0小时30分34秒，消耗 356 千卡。"));
    ASSERT_EQ(m_table->RowCount(), 1u);  // the row's cells: RunListTest
    EXPECT_EQ(m_table->Snapshot()[0].durationMs(), 1834000);
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
    EXPECT_EQ(m_reports[0].problem->code, ProblemCode::SignInRefused);
    EXPECT_EQ(m_services.service.requests().size(), 1u) << "nothing asked after a failed sign-in";

    wrong = m_services.settings();
    wrong.sitePassword = "wrong";
    EXPECT_EQ(Sync(wrong, 2), "1029:-1");
    EXPECT_EQ(m_reports[0].problem->code, ProblemCode::SignInRefused);
    EXPECT_TRUE(m_services.site.entries().empty());

    // Extra CAs that cannot be read keep the run service's session shut: a failed
    // sign-in, no request. They are the run service's: the site still signs in.
    m_services.service.ClearRequests();
    Settings noCa = m_services.settings();
    noCa.serviceCaFile = "/nonexistent/ca.pem";
    EXPECT_EQ(Download(noCa), "1026:-1");
    EXPECT_EQ(Words(m_reports[0].problem),
              "cannot read the certificate file /nonexistent/ca.pem: No such file or directory");
    EXPECT_EQ(Sync(noCa, 2), "1029:0 1031:0 1031:0 1030:0");
    EXPECT_TRUE(m_services.service.requests().empty());
}

TEST_F(JobsTest, SyncPostsEveryRowInOrderByteForByte) {
    EXPECT_EQ(Sync(m_services.settings(), 3), "1029:0 1031:0 1031:0 1031:0 1030:0");
    EXPECT_EQ(m_reports[4].step, Step::Posted);
    EXPECT_EQ(m_reports[4].processed, 2);
    EXPECT_EQ(m_reports[4].total, 3);
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
    const SyncTally& done = m_reports.back().tally;
    EXPECT_EQ(done.notPosted, 1);
    EXPECT_EQ(done.total, 5);
    EXPECT_EQ(done.problem->code, ProblemCode::NetStatus);
    EXPECT_EQ(done.problem->Value(1), "500");
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
    EXPECT_EQ(m_tally.failedIds, (std::vector<std::string>{"802", "804"}));
    // The retry posts exactly the two that failed.
    EXPECT_EQ(Sync(m_services.settings(), 5), "1029:0 1031:0 1031:0 1030:0");
    EXPECT_EQ(m_tally.alreadyPosted, 3);
    // Nothing new: nothing is posted, and the report says so.
    EXPECT_EQ(Sync(m_services.settings(), 5), "1029:0 1030:0");
    EXPECT_EQ(m_tally.total, 0);
    EXPECT_EQ(m_tally.alreadyPosted, 5);
    // A run twice in the list goes once; a row without a RunID never.
    EXPECT_EQ(Sync(m_services.settings(), 0, {Row(6), Row(6), TableRun(""), Row(8)}),
              "1029:0 1031:0 1031:0 1030:0");
    EXPECT_EQ(m_tally.withoutId, 1);
    EXPECT_EQ(SiteIds(), "801 803 805 802 804 806 808 ");
    // Kept on disk: each job opens the store afresh.
    EXPECT_EQ(PostStates(),
              "801:confirmed 802:confirmed 803:confirmed 804:confirmed 805:confirmed "
              "806:confirmed 808:confirmed ");
    // --all posts them again, and says so; one durable write per post.
    const auto before = RunStore::CommitsInProcess();
    EXPECT_EQ(Sync(m_services.settings(), 5, {}, {.postAll = true}).substr(42), "1030:0");
    EXPECT_EQ(m_tally.postedAgain, 5);
    EXPECT_EQ(m_tally.alreadyPosted, 0);
    EXPECT_LE(RunStore::CommitsInProcess() - before, 5u + 3u);
}

TEST_F(JobsTest, APostWithoutAnAnswerIsHeldBackUntilSettled) {
    m_services.site.AddFault({.path = "/runlogger.php", .onRequest = 2, .drop = true});
    EXPECT_EQ(Sync(m_services.settings(), 3), "1029:0 1031:0 1031:0 1030:-1");
    EXPECT_EQ(m_tally.unconfirmedIds, std::vector<std::string>{"802"});
    EXPECT_EQ(m_tally.untriedIds, std::vector<std::string>{"803"});
    EXPECT_EQ(SiteIds(), "801 802 ");
    // Held back, not posted again; the one never tried goes now.
    EXPECT_EQ(Sync(m_services.settings(), 3), "1029:0 1031:0 1030:0");
    EXPECT_EQ(m_tally.heldIds, std::vector<std::string>{"802"});
    EXPECT_EQ(SiteIds(), "801 802 803 ");
    EXPECT_EQ(PostStates(), "801:confirmed 802:unknown 803:confirmed ");
}

TEST_F(JobsTest, ASignedOutSessionFailsThePostAndTheNextSyncPostsItAndTheRest) {
    const sim::Fault signedOut[] = {
        {.path = "/runlogger.php", .onRequest = 2, .status = 403},
        {.path = "/runlogger.php", .onRequest = 2, .location = "/logging.php?action=login"},
        {.path = "/runlogger.php", .onRequest = 2, .signInPage = true},
    };
    for (const sim::Fault& fault : signedOut) {
        const std::size_t before = m_services.site.entries().size();
        m_where = *jobs::InMemory({}, {});
        m_services.site.AddFault(fault);
        EXPECT_EQ(Sync(m_services.settings(), 4), "1029:0 1031:0 1031:0 1030:-1");
        const SyncTally& done = m_tally;
        EXPECT_TRUE(CodeName(done.problem->code).starts_with("session-ended"))
            << Words(done.problem);
        EXPECT_NE(Words(done.problem).find("signed the session out"), std::string::npos);
        EXPECT_EQ(done.failedIds, std::vector<std::string>{"802"});
        EXPECT_EQ(done.untriedIds, (std::vector<std::string>{"803", "804"}));
        EXPECT_EQ(PostStates(), "801:confirmed 802:failed ");
        EXPECT_EQ(Sync(m_services.settings(), 4).substr(7), "1031:0 1031:0 1031:0 1030:0");
        EXPECT_EQ(SiteIds(before), "801 802 803 804 ");
    }
}

TEST_F(JobsTest, AnyOtherRedirectOfAPostHoldsTheRunAsUnknown) {
    m_services.site.AddFault({.path = "/runlogger.php",
                              .onRequest = 2,
                              .status = 307,
                              .location = "/runlogger.php?view=1"});
    EXPECT_EQ(Sync(m_services.settings(), 3), "1029:0 1031:0 1031:0 1030:-1");
    EXPECT_EQ(m_tally.problem->code, ProblemCode::PostRedirected);
    EXPECT_NE(Words(m_tally.problem).find("307 to /runlogger.php?view=1)"), std::string::npos)
        << Words(m_tally.problem);
    EXPECT_EQ(m_tally.unconfirmedIds, std::vector<std::string>{"802"});
    Sync(m_services.settings(), 3);
    EXPECT_EQ(m_tally.heldIds, std::vector<std::string>{"802"});
    EXPECT_EQ(SiteIds(), "801 803 ");
}

TEST_F(JobsTest, AStopLetsThePostInFlightFinishForAWhileAndKeepsItsOutcome) {
    const struct {
        std::chrono::milliseconds grace;
        const char* states;
    } cases[] = {
        {10s, "801:confirmed 802:confirmed "},  // answered in time: confirmed
        {100ms, "801:confirmed 802:unknown "},  // cut off: it may be on the site
    };
    for (const auto& c : cases) {
        m_where = *jobs::InMemory({}, {});
        m_services.site.AddFault({.path = "/runlogger.php", .onRequest = 2, .delay = 1500ms});
        for (int i = 1; i <= 4; ++i) {
            m_table->Append({Row(i)});
        }
        std::stop_source stop;
        std::jthread stopper;
        test::RecordingSink sink;
        sink.onReport = [&](const ProgressReport& report) {
            if (report.step == Step::Posted && report.processed == 1) {
                stopper = std::jthread([&] {
                    std::this_thread::sleep_for(300ms);
                    stop.request_stop();
                });
            }
        };
        const SyncTally done = jobs::Sync(Where(m_services.settings()), m_table->Snapshot(), sink,
                                          stop.get_token(), {.finishPostInFlight = c.grace});
        EXPECT_TRUE(done.stopped);
        EXPECT_EQ(done.untriedIds, (std::vector<std::string>{"803", "804"}));
        EXPECT_EQ(PostStates(), c.states);
        m_table->Clear();
    }
}

TEST_F(JobsTest, AStoreThatCannotBeUsedOrIsInUseStopsTheSyncBeforeAnyPost) {
    SyncLock otherSync;  // a window, or another strivo-cli
    ASSERT_TRUE(otherSync.Acquire(m_where.StorePath()));
    EXPECT_EQ(Sync(m_services.settings(), 2), "1030:-1");
    EXPECT_EQ(m_tally.problem->code, ProblemCode::StoreInUse);
    EXPECT_EQ(m_tally.untriedIds, (std::vector<std::string>{"801", "802"}));
    otherSync.Release();

    std::filesystem::create_directories(m_folder / "fifo");
    ASSERT_EQ(::mkfifo((m_folder / "fifo" / "strivo.db").c_str(), 0600), 0);
    std::filesystem::create_directories(m_folder / "folder" / "strivo.db");
    for (const char* folder : {"missing", "fifo", "folder"}) {
        m_where = jobs::ForSettingsFile(m_folder / folder / "config.ini", {}, {});
        EXPECT_EQ(Sync(m_services.settings(), 2), "1030:-1");
        EXPECT_NE(Words(m_tally.problem).find(std::string(folder) + "/strivo.db"),
                  std::string::npos)
            << Words(m_tally.problem);
        EXPECT_TRUE(CodeName(m_tally.problem->code).starts_with("store-"));
    }
    EXPECT_TRUE(m_services.site.requests().empty());
}

TEST_F(JobsTest, ALinkedConfigAndItsTargetShareOneStoreAndTheOlderRecordsBesideBoth) {
    const auto real = m_folder / "real";
    const auto linked = m_folder / "linked";
    std::filesystem::create_directories(real);
    std::filesystem::create_directories(linked);
    test::WriteFile(real / "config.ini", "");
    std::filesystem::create_symlink(real / "config.ini", linked / "config.ini");
    // Older versions kept their record beside the path they were given.
    const Settings settings = m_services.settings();
    const auto recordLine = [&](const char* runId) {
        return PercentEncode(settings.siteHost + ":" + std::to_string(settings.sitePort)) + " " +
               PercentEncode(settings.siteUser) + " " + runId + " 2026-01-02T03:04:05Z\n";
    };
    test::WriteFile(linked / "posted-runs.txt", recordLine("801") + "not a record\n");
    test::WriteFile(real / "posted-runs.txt", recordLine("802"));

    m_where = jobs::ForSettingsFile(linked / "config.ini", {}, {});
    Sync(settings, 4);
    EXPECT_EQ(m_reports.front().warnings.size(), 1u) << "one warning for the bad line";
    EXPECT_EQ(m_tally.alreadyPosted, 2);
    m_table->Append({Row(5)});
    m_where = jobs::ForSettingsFile(real / "config.ini", {}, {});
    Sync(settings, 5);
    EXPECT_EQ(m_tally.alreadyPosted, 4);
    EXPECT_EQ(SiteIds(), "803 804 805 ");

    // An export under any name of the store, its companions or the settings is refused.
    const auto store = real / "strivo.db";
    std::filesystem::create_hard_link(store, m_folder / "hard.csv");
    const auto size = std::filesystem::file_size(store);
    for (const auto& file :
         {m_folder / "hard.csv", real / "." / "strivo.db-wal", real / "strivo.db.lock",
          linked / "config.ini", linked / ".." / "real" / "strivo.db-shm"}) {
        const Outcome written = jobs::ExportCsv(m_where, m_table->Snapshot(), {file});
        EXPECT_EQ(written ? ProblemCode::None : written.problem().code,
                  ProblemCode::ExportOntoOwnFile)
            << file;
    }
    EXPECT_EQ(std::filesystem::file_size(store), size);
    EXPECT_TRUE(jobs::ExportCsv(m_where, m_table->Snapshot(), {real / "runs.csv"}));
}

TEST_F(JobsTest, AWholeRunListIsKeptAsSentAndACutOneNotAtAll) {
    const auto stored = [&] {
        return jobs::ReadStoredRuns(Where(m_services.settings()), false, false)->runs;
    };
    m_services.service.AddFault(
        {.path = "/nikeplus/v1/services/app/run_list.jsp", .onRequest = 1, .cutAfterBytes = 300});
    Download(m_services.settings());
    EXPECT_TRUE(stored().empty());
    EXPECT_EQ(Download(m_services.settings()), "1026:0 1027:0 1028:0");
    const std::vector<StoredRun> runs = stored();
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0].startTime, "2010-04-18T07:05:11+08:00");
    EXPECT_EQ(runs[0].syncTime, "2010-04-18T01:10:42+00:00");
    EXPECT_EQ(runs[0].durationMs, 1834000);
    // A store that cannot be used does not fail the download: the user is told.
    m_where = jobs::ForSettingsFile(m_folder / "missing" / "config.ini", {}, {});
    EXPECT_EQ(Download(m_services.settings()), "1026:0 1027:0 1028:0");
    ASSERT_EQ(m_reports.back().warnings.size(), 1u);
    EXPECT_NE(Words(m_reports.back().warnings[0]).find("missing/strivo.db"), std::string::npos);
}

// A zero byte cuts the rest of its line from the run list, as older
// versions read it: the run is lost, and named.
TEST_F(JobsTest, ARunWhoseRunIdHoldsAZeroByteIsNamed) {
    sim::Accounts accounts = OneRun();
    accounts.service.runs.insert(accounts.service.runs.begin(), accounts.service.runs[0]);
    accounts.service.runs[0].id = std::string("76\0x", 4);
    test::StandInServices services(accounts);
    jobs::Workspace where = Where(services.settings());
    where.session = services.config();
    test::RecordingSink sink;
    const Result<jobs::Downloaded> downloaded = jobs::Download(where, *m_table, sink);
    ASSERT_TRUE(downloaded) << Words(downloaded.problem());
    ASSERT_EQ(downloaded->warnings.size(), 1u);
    EXPECT_EQ(Words(downloaded->warnings[0]),
              "the RunID of run 76 holds a zero byte, which cuts the rest of its line from the "
              "run list: the run is left out");
    EXPECT_EQ(m_table->Snapshot()[1].id(), "77") << "the next run is whole";
}

// Every write to a file fails while it lives, as on a full disk; reads go on.
class NoWritesToFiles {
public:
    NoWritesToFiles() {
        ::getrlimit(RLIMIT_FSIZE, &m_before);
        ::signal(SIGXFSZ, SIG_IGN);
        const rlimit none{0, m_before.rlim_max};
        ::setrlimit(RLIMIT_FSIZE, &none);
    }
    ~NoWritesToFiles() { ::setrlimit(RLIMIT_FSIZE, &m_before); }
    NoWritesToFiles(const NoWritesToFiles&) = delete;
    NoWritesToFiles& operator=(const NoWritesToFiles&) = delete;

private:
    rlimit m_before{};
};

// A service that asks to be left alone is remembered whatever the job was
// doing, the run list's write open included; what the store cannot keep, the
// words say, and promise nothing a later run will not know.
TEST_F(JobsTest, WhatTheStoreCannotKeepIsSaidNotPromised) {
    const std::string pin = "/nikeplus/v1/services/widget/generate_pin.jsp";
    const std::string list = "/nikeplus/v1/services/app/run_list.jsp";
    Settings wrong = m_services.settings();
    wrong.servicePassword = "wrong";
    const auto download = [&](const Settings& settings) {
        test::RecordingSink sink;
        return jobs::Download(Where(settings), *m_table, sink);
    };
    const struct {
        std::string path;  // answered 429 with Retry-After
        bool refused, writes;
        ProblemCode code;
        const char* words;
    } cases[] = {
        {pin, false, true, ProblemCode::HostPaused, "nothing is sent to it before then"},
        {list, false, true, ProblemCode::HostPaused, "nothing is sent to it before then"},
        {list, false, false, ProblemCode::HostPauseNotKept,
         "but the store could not keep this (cannot write"},
        {"", true, false, ProblemCode::ServiceSignInFailed,
         "user name or password refused; the store could not keep this refusal"},
    };
    for (const auto& c : cases) {
        test::TempFolder folder;
        m_where = jobs::ForSettingsFile(folder / "config.ini", {}, {});
        ASSERT_TRUE(download(m_services.settings()));
        if (!c.path.empty()) {
            m_services.service.AddFault(
                {.path = c.path, .onRequest = 1, .status = 429, .retryAfter = "120"});
        }
        std::optional<Problem> why;
        {
            // An open connection keeps the store's files as they are: only writes fail.
            auto held = RunStore::Open(m_where.StorePath());
            std::optional<NoWritesToFiles> full;
            if (!c.writes) {
                full.emplace();
            }
            const auto done = download(c.refused ? wrong : m_services.settings());
            why = done ? std::nullopt : std::optional(done.problem());
        }
        ASSERT_TRUE(why) << c.words;
        EXPECT_EQ(why->code, c.code) << Words(why);
        EXPECT_NE(Words(why).find(c.words), std::string::npos) << Words(why);
        m_services.service.ClearRequests();
        const auto again = download(m_services.settings());
        EXPECT_EQ(again ? ProblemCode::None : again.problem().code,
                  c.writes ? ProblemCode::HostPaused : ProblemCode::None)
            << c.words;
        EXPECT_EQ(m_services.service.requests().empty(), c.writes) << c.words;
    }

    // A refusal the store cannot forget, a sync it cannot record: said as warnings.
    test::TempFolder folder;
    m_where = jobs::ForSettingsFile(folder / "config.ini", {}, {});
    ASSERT_FALSE(download(wrong));
    auto held = RunStore::Open(m_where.StorePath());
    const NoWritesToFiles full;
    const auto signedIn = download(m_services.settings());
    ASSERT_TRUE(signedIn);
    ASSERT_FALSE(signedIn->warnings.empty());
    EXPECT_EQ(signedIn->warnings[0].code, ProblemCode::RefusalNotForgotten);
    Sync(m_services.settings(), 1);
    ASSERT_FALSE(m_tally.warnings.empty());
    EXPECT_EQ(m_tally.warnings.back().code, ProblemCode::SyncNotRecorded);
    EXPECT_EQ(m_reports.back().warnings.size(), m_tally.warnings.size()) << "the window hears it";
    const auto notRecorded =
        jobs::RecordSyncNotStarted(Where(m_services.settings()), {}, Problem(ProblemCode::None));
    EXPECT_EQ(notRecorded ? notRecorded->code : ProblemCode::None, ProblemCode::SyncNotRecorded);
}

}  // namespace
}  // namespace strivo
