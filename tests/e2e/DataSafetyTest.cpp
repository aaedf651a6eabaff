// A process killed in the middle of a save leaves the old file or the new
// one, never a mix and never an empty file.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>
#include <random>

#include "../support/TempFolder.h"
#include "export/CsvExport.h"
#include "settings/Settings.h"

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

}  // namespace
}  // namespace strivo
