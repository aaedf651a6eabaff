#include <windows.h>
// windows.h first.
#include <gtest/gtest.h>
#include <string>

#include "schedule/Scheduler.h"

namespace strivo {
namespace {

// Windows runs the Task Scheduler service always; Wine starts it when asked,
// and not at all while its service manager is still busy with a new prefix.
bool TaskSchedulerRuns() {
    SC_HANDLE manager = ::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT);
    SC_HANDLE service =
        manager ? ::OpenServiceW(manager, L"Schedule", SERVICE_START | SERVICE_QUERY_STATUS)
                : nullptr;
    bool running = false;
    const DWORD start = ::GetTickCount();
    while (service != nullptr && !running && ::GetTickCount() - start < 60000) {
        SERVICE_STATUS status{};
        running =
            ::QueryServiceStatus(service, &status) && status.dwCurrentState == SERVICE_RUNNING;
        if (!running && status.dwCurrentState == SERVICE_STOPPED) {
            ::StartServiceW(service, 0, nullptr);
        }
        if (!running) {
            ::Sleep(500);
        }
    }
    if (service)
        ::CloseServiceHandle(service);
    if (manager)
        ::CloseServiceHandle(manager);
    return running;
}

// Whether the Task Scheduler keeps a folder \Strivo (in its own folder on disk).
bool OurFolderExists() {
    wchar_t windows[MAX_PATH];
    ::GetWindowsDirectoryW(windows, MAX_PATH);
    return ::GetFileAttributesW((std::wstring(windows) + L"\\System32\\Tasks\\Strivo").c_str()) !=
           INVALID_FILE_ATTRIBUTES;
}

// What Wine's Task Scheduler (8.0) leaves out: a trigger's repetition, and
// counting a task's triggers and actions, so an hourly task cannot be made
// and no task read back there. Windows has them all.
bool NotInWine(const Problem& problem) {
    return problem.code == ProblemCode::ScheduleTaskScheduler && problem.Value(1) == "0x80004001";
}

TEST(SchedulerWin, TheTaskIsRegisteredReadBackAndDeletedWithItsFolder) {
    ASSERT_TRUE(TaskSchedulerRuns());
    const SyncCommand command{L"C:\\Program Files\\Strivo\\strivo-cli.exe",
                              L"C:\\Users\\Li Wei\\AppData\\Roaming\\Strivo\\config.ini"};
    ASSERT_TRUE(RemoveSchedule());

    for (const SyncSchedule& schedule : {kDefaultDaily, kHourly}) {
        const Result<InstallOutcome> installed = InstallSchedule(schedule, command);
        if (!installed && NotInWine(installed.problem())) {
            EXPECT_EQ(installed.problem().Value(0), "IDailyTrigger::get_Repetition");
            continue;
        }
        ASSERT_TRUE(installed) << installed.problem().Value(0) << " "
                               << installed.problem().Value(1);
        EXPECT_EQ(installed->written, std::vector<std::string>{"\\Strivo\\Sync"});

        const Result<InstalledSchedule> read = ReadInstalledSchedule();
        if (!read && NotInWine(read.problem())) {
            continue;
        }
        ASSERT_TRUE(read) << read.problem().Value(0) << " " << read.problem().Value(1);
        EXPECT_EQ(read->state, InstalledSchedule::State::Installed);
        EXPECT_EQ(read->schedule, schedule);
        ASSERT_TRUE(read->command);
        EXPECT_EQ(read->command->config, command.config);
    }

    const Result<RemoveOutcome> removed = RemoveSchedule();
    ASSERT_TRUE(removed) << removed.problem().Value(0) << " " << removed.problem().Value(1);
    EXPECT_EQ(removed->removed, std::vector<std::string>{"\\Strivo\\Sync"});
    const Result<InstalledSchedule> gone = ReadInstalledSchedule();
    ASSERT_TRUE(gone);
    EXPECT_EQ(gone->state, InstalledSchedule::State::None);
    EXPECT_FALSE(OurFolderExists());
    EXPECT_TRUE(RemoveSchedule()->removed.empty());
}

}  // namespace
}  // namespace strivo
