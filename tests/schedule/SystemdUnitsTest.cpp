#include "schedule/SystemdUnits.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>

#include "../support/TempFolder.h"
#include "schedule/ChildProcess.h"

namespace strivo {
namespace {

using test::TempFolder;

const SyncSchedule kDaily2305{SyncSchedule::Every::Daily, 23, 5};

TEST(SystemdUnits, TheTimerRunsTheServiceDailyOrHourlyAndCatchesUp) {
    EXPECT_EQ(TimerUnitText(kDefaultDaily),
              "# Written by strivo-cli schedule; strivo-cli schedule off removes it.\n"
              "[Unit]\n"
              "Description=Strivo: sync new runs to the run log, daily at 06:30\n"
              "\n"
              "[Timer]\n"
              "OnCalendar=*-*-* 06:30:00\n"
              "Persistent=true\n"
              "RandomizedDelaySec=5min\n"
              "Unit=strivo-sync.service\n"
              "\n"
              "[Install]\n"
              "WantedBy=timers.target\n");
    EXPECT_NE(TimerUnitText(kHourly).find("\nRandomizedDelaySec=2min\n"), std::string::npos);
}

// Paths as systemd and cron each need them quoted, and read back.
TEST(SystemdUnits, AwkwardPathsAreQuotedForSystemdAndCronAndReadBack) {
    const struct {
        SyncSchedule schedule;
        SyncCommand command;
        const char* execStart;
        const char* onCalendar;
        const char* crontab;
    } cases[] = {
        {kDefaultDaily,
         {"/usr/bin/strivo-cli", "/home/u/.config/strivo/config.ini"},
         R"(ExecStart="/usr/bin/strivo-cli" sync --quiet --config "/home/u/.config/strivo/config.ini")",
         "OnCalendar=*-*-* 06:30:00",
         R"(30 6 * * * '/usr/bin/strivo-cli' sync --quiet --config '/home/u/.config/strivo/config.ini')"},
        {kHourly,
         {"/opt/My Apps/strivo-cli", "/home/u/100% runs/config.ini"},
         R"(ExecStart="/opt/My Apps/strivo-cli" sync --quiet --config "/home/u/100%% runs/config.ini")",
         "OnCalendar=hourly",
         R"(0 * * * * '/opt/My Apps/strivo-cli' sync --quiet --config '/home/u/100'\%' runs/config.ini')"},
        {kDaily2305,
         {"/home/u/$HOME/strivo-cli", R"(/home/u/it's "q" \ b/config.ini)"},
         R"(ExecStart=:"/home/u/$HOME/strivo-cli" sync --quiet --config "/home/u/it's \"q\" \\ b/config.ini")",
         "OnCalendar=*-*-* 23:05:00",
         R"(5 23 * * * '/home/u/$HOME/strivo-cli' sync --quiet --config '/home/u/it'\''s "q" \ b/config.ini')"},
    };
    for (const auto& c : cases) {
        const std::string service = ServiceUnitText(c.command);
        const std::string timer = TimerUnitText(c.schedule);
        EXPECT_NE(service.find(std::string("\n") + c.execStart + "\n"), std::string::npos)
            << service;
        EXPECT_NE(timer.find(std::string("\n") + c.onCalendar + "\n"), std::string::npos) << timer;
        EXPECT_EQ(CrontabLine(c.schedule, c.command), c.crontab);

        EXPECT_TRUE(WrittenByStrivo(service) && WrittenByStrivo(timer));
        const auto command = CommandFromService(service);
        ASSERT_TRUE(command) << service;
        EXPECT_EQ(command->program, c.command.program);
        EXPECT_EQ(command->config, c.command.config);
        EXPECT_EQ(ScheduleFromTimer(timer), c.schedule);
    }
}

// What sh makes of a crontab line's command, once cron has taken out its
// escapes: cron turns "\%" into "%" and ends the command at a bare "%".
std::vector<std::string> WordsShellSees(const std::string& crontabLine) {
    std::string command;
    std::size_t fieldsLeft = 5;
    std::size_t i = 0;
    for (; fieldsLeft > 0 && i < crontabLine.size(); ++i) {
        fieldsLeft -= crontabLine[i] == ' ' ? 1 : 0;
    }
    for (; i < crontabLine.size(); ++i) {
        if (crontabLine[i] == '\\' && i + 1 < crontabLine.size() && crontabLine[i + 1] == '%') {
            command += '%';
            ++i;
        } else if (crontabLine[i] == '%') {
            break;
        } else {
            command += crontabLine[i];
        }
    }
    ::setenv("STRIVO_CRON_COMMAND", command.c_str(), 1);
    FILE* shell = ::popen(R"(sh -c 'eval "set -- $STRIVO_CRON_COMMAND"; printf "%s\n" "$@"')", "r");
    std::string output;
    char buffer[512];
    for (std::size_t got; (got = std::fread(buffer, 1, sizeof buffer, shell)) > 0;) {
        output.append(buffer, got);
    }
    ::pclose(shell);
    std::vector<std::string> words;
    for (std::size_t start = 0, end; (end = output.find('\n', start)) != std::string::npos;
         start = end + 1) {
        words.push_back(output.substr(start, end - start));
    }
    return words;
}

TEST(SystemdUnits, TheCrontabLineGivesTheShellEachPathAsOneWord) {
    for (const char* config :
         {"/home/u/config.ini", "/home/u/100% runs/config.ini",
          R"(/home/u/it's "q" \ b\%c/config.ini)", "/home/u/$(id) `x`/c.ini"}) {
        const SyncCommand command{"/opt/a b/strivo-cli", config};
        EXPECT_EQ(WordsShellSees(CrontabLine(kHourly, command)),
                  (std::vector<std::string>{"/opt/a b/strivo-cli", "sync", "--quiet", "--config",
                                            config}))
            << CrontabLine(kHourly, command);
    }
}

TEST(SystemdUnits, UnitsEditedIntoSomethingElseAreNotReadAsASchedule) {
    const std::string marker(kUnitMarker);
    EXPECT_FALSE(WrittenByStrivo("[Unit]\n" + marker + "\n"));
    for (const char* calendar :
         {"OnCalendar=Mon *-*-* 06:30:00\n", "OnCalendar=daily\nOnCalendar=hourly\n"}) {
        EXPECT_FALSE(ScheduleFromTimer(marker + "\n[Timer]\n" + calendar)) << calendar;
    }
    for (const char* exec : {"ExecStart=/usr/bin/strivo-cli sync --config %h/config.ini\n",
                             "ExecStart=/usr/bin/strivo-cli sync --config $CONFIG\n",
                             "ExecStart=\"/usr/bin/strivo-cli sync --config /c.ini\n"}) {
        EXPECT_FALSE(CommandFromService(marker + "\n[Service]\n" + exec)) << exec;
    }
}

// systemd's own reading of the units, offline: quoting, specifiers and the
// calendar, and that ExecStart names the program by its real path.
TEST(SystemdUnits, SystemdAnalyzeVerifiesTheUnits) {
    TempFolder folder;
    const auto programFolder = folder / "bin 100% $HOME";
    std::filesystem::create_directories(programFolder);
    const auto program = programFolder / "strivo-cli";
    std::filesystem::copy_file("/bin/true", program);
    for (const SyncSchedule& schedule : {kDefaultDaily, kHourly, kDaily2305}) {
        test::WriteFile(folder / "strivo-sync.service",
                        ServiceUnitText({program, folder / R"(it's "q" \ 100% $x.ini)"}));
        test::WriteFile(folder / "strivo-sync.timer", TimerUnitText(schedule));
        const ChildExit verified =
            RunChild({"systemd-analyze", "verify", (folder / "strivo-sync.service").string(),
                      (folder / "strivo-sync.timer").string()});
        ASSERT_EQ(verified.startError, 0) << "systemd-analyze (package systemd) is needed";
        EXPECT_TRUE(verified.Succeeded()) << verified.errorOutput;
    }
    std::filesystem::remove(program);
    const ChildExit missing =
        RunChild({"systemd-analyze", "verify", (folder / "strivo-sync.service").string()});
    EXPECT_FALSE(missing.Succeeded()) << "verify checks the program exists";
}

}  // namespace
}  // namespace strivo
