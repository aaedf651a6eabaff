#include "schedule/TaskDefinition.h"

#include <gtest/gtest.h>

namespace strivo {
namespace {

std::filesystem::path Path(std::string_view utf8) {
    return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

std::string Text(const std::filesystem::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

const SyncCommand kCommand{
    Path("C:\\Program Files\\Strivo\\strivo-cli.exe"),
    Path("C:\\Users\\L\xc7\x90 W\xc4\x9bi\\AppData\\Roaming\\Strivo\\config.ini")};

TEST(TaskDefinition, DailyAndHourlyTasksRunTheSyncAndReadBackAsTheyWereMade) {
    const struct {
        SyncSchedule schedule;
        const char* start;
        const char* interval;
    } cases[] = {
        {kDefaultDaily, "2020-01-01T06:30:00", ""},
        {SyncSchedule{SyncSchedule::Every::Daily, 23, 5}, "2020-01-01T23:05:00", ""},
        {kHourly, "2020-01-01T00:00:00", "PT1H"},
    };
    for (const auto& c : cases) {
        const Result<TaskDefinition> task = TaskFor(c.schedule, kCommand);
        ASSERT_TRUE(task);
        EXPECT_EQ(task->startBoundary, c.start);
        EXPECT_EQ(task->repetitionInterval, c.interval);
        EXPECT_EQ(
            task->arguments,
            "sync --quiet --config \"C:\\Users\\L\xc7\x90 W\xc4\x9bi\\AppData\\Roaming\\Strivo\\"
            "config.ini\"");

        const InstalledSchedule read = ScheduleFromTask(*task);
        EXPECT_EQ(read.state, InstalledSchedule::State::Installed);
        EXPECT_EQ(read.schedule, c.schedule);
        ASSERT_TRUE(read.command);
        EXPECT_EQ(Text(read.command->program), Text(kCommand.program));
        EXPECT_EQ(Text(read.command->config), Text(kCommand.config));
    }
}

TEST(TaskDefinition, PathsTheTaskSchedulerWouldMisreadAreRefused) {
    for (const char* config : {"config.ini", "C:config.ini", "\\config.ini",
                               "C:\\Users\\%USERNAME%\\config.ini", "C:\\a\tb\\config.ini"}) {
        const Result<TaskDefinition> task =
            TaskFor(kDefaultDaily, {kCommand.program, Path(config)});
        ASSERT_FALSE(task) << config;
        EXPECT_EQ(task.problem().code, ProblemCode::ScheduleUnusablePath);
        EXPECT_EQ(task.problem().Value(0), config);
    }
    EXPECT_TRUE(TaskFor(kHourly, {kCommand.program, Path("\\\\nas\\home\\config.ini")}));
    EXPECT_TRUE(TaskFor(kHourly, {kCommand.program, Path("d:/runs/config.ini")}));
}

TEST(TaskDefinition, ATaskEditedOrWrittenByOthersIsNotReadAsOurs) {
    const TaskDefinition ours = *TaskFor(kDefaultDaily, kCommand);
    TaskDefinition other = ours;
    other.author = "DOMAIN\\someone";
    EXPECT_EQ(ScheduleFromTask(other).state, InstalledSchedule::State::Foreign);

    const struct {
        const char* start;
        const char* interval;
        const char* arguments;
    } edited[] = {
        {"2020-01-01T06:30:15", "", "sync --config C:\\c.ini"},      // seconds we never set
        {"2020-01-01T00:15:00", "PT1H", "sync --config C:\\c.ini"},  // hourly at a quarter past
        {"2020-01-01T06:30:00", "", "sync --quiet"},                 // no settings file
    };
    for (const auto& e : edited) {
        TaskDefinition task = ours;
        task.startBoundary = e.start;
        task.repetitionInterval = e.interval;
        task.arguments = e.arguments;
        EXPECT_EQ(ScheduleFromTask(task).state, InstalledSchedule::State::Unrecognised)
            << e.start << " " << e.interval << " " << e.arguments;
    }
}

// The rules as Microsoft's C runtime documents them, with its own examples.
TEST(WindowsCommandLine, ArgumentsSplitAsTheCRuntimeSplitsThem) {
    const struct {
        const char* line;
        std::vector<std::string> arguments;
    } cases[] = {
        {R"("a b c" d e)", {"a b c", "d", "e"}},
        {R"("ab\"c" "\\" d)", {"ab\"c", "\\", "d"}},
        {R"(a\\\b d"e f"g h)", {"a\\\\\\b", "de fg", "h"}},
        {R"(a\\\"b c d)", {"a\\\"b", "c", "d"}},
        {R"(a\\\\"b c" d e)", {"a\\\\b c", "d", "e"}},
        {R"(  lead   "" trail  )", {"lead", "", "trail"}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(WindowsArguments(c.line), c.arguments) << c.line;
    }
    const std::vector<std::string> awkward = {
        "plain", "with space",    "", "trailing\\", "C:\\folder with space\\",
        "a\"b",  "\\\\nas\\a b\\"};
    std::string line;
    for (const std::string& argument : awkward) {
        line += (line.empty() ? "" : " ") + WindowsQuoted(argument);
    }
    EXPECT_EQ(WindowsArguments(line), awkward) << line;
    EXPECT_EQ(WindowsQuoted("C:\\Strivo\\config.ini"), "C:\\Strivo\\config.ini");
}

}  // namespace
}  // namespace strivo
