// Both jobs against the stand-ins at once, as the window runs them: the
// thread checker build runs this to prove they share nothing unguarded.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "../support/RecordingSink.h"
#include "../support/StandInServices.h"
#include "jobs/Download.h"
#include "jobs/Sync.h"

namespace strivo {
namespace {

using namespace std::chrono_literals;

class ConcurrencyTest : public ::testing::Test {
protected:
    static sim::Accounts ManyRuns() {
        sim::Accounts accounts = sim::DemoAccounts();
        accounts.service.runs = sim::GenerateRuns(300, 11);
        return accounts;
    }

    std::jthread Download(test::RecordingSink& sink) {
        return std::jthread([this, &sink] { (void)jobs::Download(m_where, *m_table, sink); });
    }

    test::StandInServices m_services{ManyRuns()};
    jobs::Workspace m_where = *jobs::InMemory(m_services.settings(), m_services.config());
    std::shared_ptr<RunTable> m_table = std::make_shared<RunTable>();
};

TEST_F(ConcurrencyTest, RefreshDuringASyncNeverPostsAHalfTable) {
    {
        test::RecordingSink download;
        Download(download).join();
        ASSERT_EQ(download.Trace(), "1026:0 1027:0 1028:0");
    }
    ASSERT_EQ(m_table->RowCount(), 300u);
    m_services.site.AddFault(
        {.path = "/runlogger.php", .delay = 2ms});  // the sync outlasts the refresh

    // A list reading the table the whole time, as the window's view does.
    std::atomic<bool> done = false;
    std::thread list([&] {
        while (!done) {
            const std::size_t count = m_table->RowCount();
            for (std::size_t row = 0; row < count; row += 37) {
                (void)m_table->RunAt(row);  // read only to race the refresh
            }
        }
    });

    // The refresh starts once the sync has begun posting, and empties and
    // refills the table under it.
    test::RecordingSink sync, refresh;
    std::atomic<bool> posting = false;
    sync.onReport = [&](const ProgressReport& report) {
        if (report.step == Step::Posted) {
            posting = true;
            posting.notify_one();
        }
    };
    std::jthread syncThread(
        [this, &sync, rows = m_table->Snapshot()] { jobs::Sync(m_where, rows, sync); });
    posting.wait(false);
    std::jthread refreshThread = Download(refresh);
    syncThread.join();
    refreshThread.join();
    done = true;
    list.join();

    EXPECT_EQ(refresh.Trace(), "1026:0 1027:0 1028:0");
    EXPECT_EQ(sync.Trace(), "1029:0 1030:0");
    EXPECT_EQ(m_table->RowCount(), 300u);
    // The sync worked on one snapshot: every run once, in order, none empty.
    const auto entries = m_services.site.entries();
    ASSERT_EQ(entries.size(), 300u);
    for (std::size_t i = 0; i < entries.size(); ++i) {
        EXPECT_EQ(entries[i].Field("nikerunid"), m_services.serviceAccount().runs[i].id);
    }
}

}  // namespace
}  // namespace strivo
