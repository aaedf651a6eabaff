// A process killed in the middle of a save leaves the old file or the new
// one, never a mix and never an empty file; in the middle of a sync, at most
// the post in flight held back as unknown, never posted twice.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fcntl.h>

#include <cstdio>
#include <functional>
#include <random>
#include <set>

#include "../support/SentRuns.h"
#include "../support/StandInServices.h"
#include "export/CsvExport.h"
#include "settings/Settings.h"
#include "store/RunStore.h"
#include "store/StorePaths.h"

namespace strivo {
namespace {

// Kills a child that saves `versions` in turn, at random moments, many times;
// the file must always hold one of them whole.
void KillDuringSaves(const std::filesystem::path& path, const std::vector<std::string>& versions,
                     const std::function<void(int version)>& save) {
    std::mt19937 random(12345);
    std::uniform_int_distribution<int> pause(0, 3000);
    for (int round = 0; round < 150; ++round) {
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            for (int i = 0;; ++i) {
                save(i % 2);
            }
        }
        ::usleep(static_cast<useconds_t>(pause(random)));
        ::kill(child, SIGKILL);
        ::waitpid(child, nullptr, 0);
        const std::string content = test::ReadFile(path);
        EXPECT_TRUE(content == versions[0] || content == versions[1])
            << "round " << round << ": " << content.size() << " bytes";
    }
}

TEST(DataSafety, SettingsSurviveAKillDuringSave) {
    test::TempFolder folder;
    const auto path = folder / "config.ini";
    const std::string longName(3000, 'n');
    LoadSettings(path);
    ASSERT_TRUE(SaveSettings(path, longName, "b"));
    const std::string first = test::ReadFile(path);
    ASSERT_TRUE(SaveSettings(path, "a", longName));
    const std::string second = test::ReadFile(path);
    KillDuringSaves(path, {first, second}, [&](int version) {
        // The child is killed mid-save: what it returns is never read.
        if (version == 0) {
            (void)SaveSettings(path, longName, "b");
        } else {
            (void)SaveSettings(path, "a", longName);
        }
    });
}

TEST(DataSafety, CsvSurvivesAKillDuringExport) {
    test::TempFolder folder;
    const auto path = folder / "runs.csv";
    std::vector<strivo::Run> many(2000, TableRun("1", "2010-04-20 06:30:15", "5.0123", "", "350"));
    std::vector<strivo::Run> few(3, TableRun("2", "2011-01-01 00:00:00", "1", "", "1"));
    ASSERT_TRUE(ExportCsv(path, many));
    const std::string first = test::ReadFile(path);
    ASSERT_TRUE(ExportCsv(path, few));
    const std::string second = test::ReadFile(path);
    KillDuringSaves(path, {first, second},
                    [&](int version) { (void)ExportCsv(path, version == 0 ? many : few); });
}

// The CLI syncing 200 runs, killed at random moments, then once more to the
// end: no run reaches the site twice, and each one it lacks is held back until
// the runner settles it.
TEST(DataSafety, KilledSyncsPostNoRunTwiceAndHoldBackTheOneInFlight) {
    sim::Accounts accounts = sim::DemoAccounts();
    accounts.service.runs = sim::GenerateRuns(200, 5);
    test::StandInServices services(accounts);
    services.site.AddFault({.path = "/runlogger.php", .delay = std::chrono::milliseconds(1)});
    test::TempFolder folder;
    const std::string config = services.WriteSettingsFile(folder.path(), services.settings());
    const auto sync = [&] {
        const pid_t child = ::fork();
        if (child == 0) {
            const int null = ::open("/dev/null", O_WRONLY);
            ::dup2(null, 1);
            ::dup2(null, 2);
            ::execl(STRIVO_CLI, "strivo-cli", "sync", "--config", config.c_str(), nullptr);
            ::_exit(127);
        }
        return child;
    };
    std::mt19937 random(777);
    std::uniform_int_distribution<int> pause(0, 500000);
    for (int kill = 0; kill < 50; ++kill) {
        const pid_t child = sync();
        ::usleep(static_cast<useconds_t>(pause(random)));
        ::kill(child, SIGKILL);
        ::waitpid(child, nullptr, 0);
    }
    int status = -1;
    ::waitpid(sync(), &status, 0);
    ASSERT_EQ(status, 0);
    const auto siteIds = [&] {
        std::multiset<std::string> ids;
        for (const auto& entry : services.site.entries()) {
            ids.insert(entry.Field("nikerunid"));
        }
        return ids;
    };
    const std::multiset<std::string> posted = siteIds();
    // Each run the site lacks is one the store holds back; the runner checks
    // the run log and settles each held run either way.
    const auto store = std::move(*RunStore::Open(StorePathFor(config)));
    const SiteKey site = SiteKeyOf(services.settings());
    std::vector<std::string> missing, there;
    for (const auto& [runId, post] : *store->Posts(site)) {
        if (post.state != PostState::Confirmed) {
            EXPECT_EQ(post.state, PostState::Unknown) << runId;
            (posted.count(runId) == 0 ? missing : there).push_back(runId);
        } else {
            EXPECT_EQ(posted.count(runId), 1u) << runId;
        }
    }
    EXPECT_TRUE(store->SettleRepost(site, missing));
    EXPECT_TRUE(store->SettlePosted(site, there, std::chrono::system_clock::now()));
    ::waitpid(sync(), &status, 0);
    ASSERT_EQ(status, 0);
    const std::multiset<std::string> ids = siteIds();
    EXPECT_EQ(std::set<std::string>(ids.begin(), ids.end()).size(), 200u);
    EXPECT_EQ(ids.size(), 200u) << "a run on the site twice";
    std::printf("50 kills, %zu runs held back and on the site, %zu held back and not there\n",
                there.size(), missing.size());
}

}  // namespace
}  // namespace strivo
