#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include "../support/TempFolder.h"
#include "ScopedEnvironment.h"
#include "schedule/Scheduler.h"
#include "schedule/SystemdUnits.h"

namespace strivo {
namespace {

namespace fs = std::filesystem;
using test::ReadFile;
using test::TempFolder;
using test::WriteFile;

// A systemctl that logs its arguments, links and unlinks the timer as
// enable and disable do, and fails the step named in $FAKE_FAIL.
constexpr const char* kFakeSystemctl = R"(#!/bin/sh
echo "$*" >> "$FAKE_LOG"
wants="$XDG_CONFIG_HOME/systemd/user/timers.target.wants"
case "$*" in
  *"$FAKE_FAIL"*) echo "Failed to $FAKE_FAIL: Access denied" >&2; exit 1 ;;
  "--user enable --now strivo-sync.timer")
    mkdir -p "$wants" && ln -sf ../strivo-sync.timer "$wants/strivo-sync.timer" ;;
  "--user disable --now strivo-sync.timer") rm -f "$wants/strivo-sync.timer" ;;
esac
)";

class SchedulerSystemd : public ::testing::Test {
protected:
    void SetUp() override {
        WriteFile(m_folder / "systemctl", kFakeSystemctl);
        fs::permissions(m_folder / "systemctl", fs::perms::owner_all);
        fs::create_directories(m_folder / "run" / "systemd");
        ListenAt(m_folder / "run" / "systemd" / "private");
        m_environment.Set("XDG_CONFIG_HOME", (m_folder / "config").c_str());
        m_environment.Set("XDG_RUNTIME_DIR", (m_folder / "run").c_str());
        m_environment.Set("PATH", (m_folder.path().string() + ":/usr/bin:/bin").c_str());
        m_environment.Set("FAKE_LOG", (m_folder / "log").c_str());
        m_environment.Set("FAKE_FAIL", "nothing asked for");
    }
    void TearDown() override { ::close(m_socket); }

    // The user manager's socket, as a stand-in: nothing connects to it.
    void ListenAt(const fs::path& path) {
        m_socket = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        ASSERT_LT(path.string().size(), sizeof address.sun_path);
        path.string().copy(address.sun_path, sizeof address.sun_path - 1);
        ASSERT_EQ(::bind(m_socket, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    }

    // The calls since the last look, one line each.
    std::string Calls() {
        std::string log = ReadFile(m_folder / "log");
        fs::remove(m_folder / "log");
        return log;
    }
    // Every file and link under the config folder.
    std::vector<std::string> FilesLeft() {
        std::vector<std::string> left;
        std::error_code error;
        for (const auto& entry : fs::recursive_directory_iterator(m_folder / "config", error)) {
            if (!entry.is_directory()) {
                left.push_back(entry.path().string());
            }
        }
        return left;
    }
    fs::path Unit(std::string_view name) const {
        return m_folder / "config" / "systemd" / "user" / name;
    }

    TempFolder m_folder;
    test::ScopedEnvironment m_environment;
    const SyncCommand m_command{"/usr/bin/strivo-cli", "/home/u/my runs/config.ini"};
    int m_socket = -1;
};

TEST_F(SchedulerSystemd, InstallsAndStartsTheTimerReplacesItAndOffLeavesNothingBehind) {
    Result<InstallOutcome> installed = InstallSchedule(kDefaultDaily, m_command);
    ASSERT_TRUE(installed) << installed.problem().detail;
    EXPECT_EQ(installed->kind, InstallOutcome::Kind::Installed);
    EXPECT_EQ(
        Calls(),
        "--user show-environment\n--user daemon-reload\n--user enable --now strivo-sync.timer\n");
    Result<InstalledSchedule> read = ReadInstalledSchedule();
    ASSERT_TRUE(read);
    EXPECT_EQ(read->state, InstalledSchedule::State::Installed);
    EXPECT_EQ(read->schedule, kDefaultDaily);
    ASSERT_TRUE(read->command);
    EXPECT_EQ(read->command->config, m_command.config);

    ASSERT_TRUE(InstallSchedule(kHourly, m_command));
    EXPECT_EQ(
        Calls(),
        "--user show-environment\n--user daemon-reload\n--user enable --now strivo-sync.timer\n"
        "--user restart strivo-sync.timer\n");
    EXPECT_EQ(ReadInstalledSchedule()->schedule, kHourly);

    Result<RemoveOutcome> removed = RemoveSchedule();
    ASSERT_TRUE(removed) << removed.problem().detail;
    EXPECT_EQ(removed->removed,
              (std::vector<std::string>{Unit("strivo-sync.timer"), Unit("strivo-sync.service")}));
    EXPECT_TRUE(removed->leftForeign.empty());
    EXPECT_EQ(Calls(),
              "--user show-environment\n--user disable --now strivo-sync.timer\n"
              "--user daemon-reload\n");
    EXPECT_EQ(FilesLeft(), std::vector<std::string>());
    EXPECT_EQ(ReadInstalledSchedule()->state, InstalledSchedule::State::None);

    removed = RemoveSchedule();
    ASSERT_TRUE(removed);
    EXPECT_TRUE(removed->removed.empty());
    EXPECT_EQ(Calls(), "") << "nothing of ours: no manager is asked";
}

TEST_F(SchedulerSystemd, UnitsOfOurNameThatStrivoDidNotWriteAreLeftAlone) {
    const std::string theirs = "[Timer]\nOnCalendar=weekly\n";
    fs::create_directories(Unit(""));
    WriteFile(Unit("strivo-sync.timer"), theirs);

    const Result<InstallOutcome> installed = InstallSchedule(kDefaultDaily, m_command);
    ASSERT_FALSE(installed);
    EXPECT_EQ(installed.problem().code, ProblemCode::ScheduleForeignEntry);
    EXPECT_EQ(installed.problem().Value(0), Unit("strivo-sync.timer"));
    EXPECT_EQ(ReadInstalledSchedule()->state, InstalledSchedule::State::Foreign);

    const Result<RemoveOutcome> removed = RemoveSchedule();
    ASSERT_TRUE(removed);
    EXPECT_TRUE(removed->removed.empty());
    EXPECT_EQ(removed->leftForeign, std::vector<std::string>{Unit("strivo-sync.timer")});
    EXPECT_EQ(ReadFile(Unit("strivo-sync.timer")), theirs);
    EXPECT_EQ(Calls().find("able"), std::string::npos)
        << "their timer is neither enabled nor disabled";
}

TEST_F(SchedulerSystemd, WithoutAUserManagerNothingIsWrittenAndTheCrontabLineIsGiven) {
    const char* none = "nothing asked for";
    const struct {
        const char* runtime;  // XDG_RUNTIME_DIR below the test folder, or null for none
        const char* path;     // PATH below the test folder: "." holds the fake systemctl
        const char* fail;
        NoUserManager why;
        const char* detail;
    } cases[] = {
        {nullptr, ".", none, NoUserManager::NoRuntimeFolder, ""},
        {"elsewhere", ".", none, NoUserManager::NoManagerSocket, ""},
        {"run", "empty", none, NoUserManager::NoSystemctl, "No such file or directory"},
        {"run", ".", "show-environment", NoUserManager::ManagerSilent,
         "Failed to show-environment: Access denied"},
    };
    fs::create_directories(m_folder / "empty");
    for (const auto& c : cases) {
        m_environment.Set("XDG_RUNTIME_DIR", c.runtime ? (m_folder / c.runtime).c_str() : nullptr);
        m_environment.Set("PATH", (m_folder / c.path).c_str());
        m_environment.Set("FAKE_FAIL", c.fail);
        const Result<InstallOutcome> installed = InstallSchedule(kDefaultDaily, m_command);
        ASSERT_TRUE(installed) << installed.problem().detail;
        EXPECT_EQ(installed->kind, InstallOutcome::Kind::CrontabInstead);
        EXPECT_EQ(installed->why, c.why);
        EXPECT_EQ(installed->whyDetail, c.detail);
        EXPECT_EQ(
            installed->crontabLine,
            "30 6 * * * '/usr/bin/strivo-cli' sync --quiet --config '/home/u/my runs/config.ini'");
        EXPECT_TRUE(installed->written.empty());
        EXPECT_FALSE(fs::exists(m_folder / "config"));
    }
}

TEST_F(SchedulerSystemd, FailuresNameTheStepAndKeepItsWords) {
    m_environment.Set("FAKE_FAIL", "daemon-reload");
    const Result<InstallOutcome> installed = InstallSchedule(kDefaultDaily, m_command);
    ASSERT_FALSE(installed);
    EXPECT_EQ(installed.problem().code, ProblemCode::ScheduleCommandFailed);
    EXPECT_EQ(installed.problem().values,
              (std::vector<std::string>{"systemctl --user daemon-reload", "1"}));
    EXPECT_EQ(installed.problem().detail, "Failed to daemon-reload: Access denied");

    const struct {
        SyncCommand command;
        const char* refused;
    } unusable[] = {
        {{m_command.program, "config.ini"}, "config.ini"},
        {{m_command.program, "/home/u/a\nb/config.ini"}, "/home/u/a\nb/config.ini"},
        {{"/home/u/a\\b/strivo-cli", m_command.config}, "/home/u/a\\b/strivo-cli"},
    };
    for (const auto& u : unusable) {
        const Result<InstallOutcome> refused = InstallSchedule(kHourly, u.command);
        ASSERT_FALSE(refused);
        EXPECT_EQ(refused.problem().code, ProblemCode::ScheduleUnusablePath);
        EXPECT_EQ(refused.problem().Value(0), u.refused);
    }
}

}  // namespace
}  // namespace strivo
