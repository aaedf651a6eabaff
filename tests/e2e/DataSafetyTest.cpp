// A process killed in the middle of a save leaves the old file or the new
// one, never a mix and never an empty file; in the middle of a sync, at most
// the post in flight unrecorded.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fcntl.h>

#include <cstdio>
#include <functional>
#include <random>
#include <set>

#include "../support/StandInServices.h"
#include "export/CsvExport.h"
#include "settings/Settings.h"
#include "site/PostedRuns.h"

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
        if (version == 0) {
            SaveSettings(path, longName, "b");
        } else {
            SaveSettings(path, "a", longName);
        }
    });
}

TEST(DataSafety, CsvSurvivesAKillDuringExport) {
    test::TempFolder folder;
    const auto path = folder / "runs.csv";
    std::vector<RunRow> many(2000, RunRow{"1", "2010-04-20 06:30:15", "5.0123", "x", "350", "y"});
    std::vector<RunRow> few(3, RunRow{"2", "2011-01-01 00:00:00", "1", "z", "1", "w"});
    ASSERT_TRUE(ExportCsv(path, many));
    const std::string first = test::ReadFile(path);
    ASSERT_TRUE(ExportCsv(path, few));
    const std::string second = test::ReadFile(path);
    KillDuringSaves(path, {first, second},
                    [&](int version) { ExportCsv(path, version == 0 ? many : few); });
}

// The CLI syncing 200 runs, killed at random moments, then once more to the
// end: every run reaches the site, and a run is there twice only where a kill
// fell between its post and its record.
TEST(DataSafety, KilledSyncsPostEveryRunAndRepeatOnlyTheOneInFlight) {
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
    // Each post the site keeps without a record line: a kill between the two.
    const std::string record = test::ReadFile(PostedRunsPathFor(config));
    const auto recorded = std::count(record.begin(), record.end(), '\n') - 1;  // the heading
    const auto inFlight = static_cast<long>(services.site.entries().size()) - recorded;
    int status = -1;
    ::waitpid(sync(), &status, 0);
    ASSERT_EQ(status, 0);
    std::set<std::string> ids;
    for (const auto& entry : services.site.entries()) {
        ids.insert(entry.Field("nikerunid"));
    }
    const auto twice = static_cast<long>(services.site.entries().size() - ids.size());
    EXPECT_EQ(ids.size(), 200u);
    EXPECT_LE(twice, inFlight);
    std::printf("50 kills, %ld between a post and its record, %ld runs on the site twice\n",
                inFlight, twice);
}

}  // namespace
}  // namespace strivo
