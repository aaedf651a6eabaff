#include "app/Cli.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <sstream>

#include "../support/SentRuns.h"
#include "../support/StandInServices.h"
#include "app/cli/CliWords.h"
#include "app/cli/TerminalTable.h"
#include "model/ProblemWords.h"
#include "store/RunStore.h"
#include "store/StorePaths.h"
#include "store/SyncLock.h"
#include "text/Catalog.h"
#include "text/CodePage.h"

namespace strivo {
namespace {

class CliTest : public ::testing::Test {
protected:
    // A settings file pointing at the stand-ins; empty passwords leave the key out.
    std::filesystem::path WriteConfig(const std::string& servicePassword,
                                      const std::string& sitePassword) {
        Settings settings = m_services.settings();
        settings.servicePassword = servicePassword;
        settings.sitePassword = sitePassword;
        return m_services.WriteSettingsFile(m_folder.path(), settings);
    }

    std::filesystem::path WriteDemoConfig() {
        return WriteConfig(m_services.settings().servicePassword,
                           m_services.settings().sitePassword);
    }

    int Run(std::vector<std::string> args, std::map<std::string, std::string> environment = {}) {
        m_out.str({});
        m_err.str({});
        CliEnvironment env{
            m_out,
            m_err,
            [environment](std::string_view name) -> std::optional<std::string> {
                const auto found = environment.find(std::string(name));
                if (found == environment.end())
                    return std::nullopt;
                return found->second;
            },
            [](std::string_view) -> std::optional<std::string> { return std::nullopt; },
            m_folder / "default.ini",
            {}};
        env.sessionConfig.cookies = MakeCookieStore();
        env.program = "/usr/bin/strivo-cli";
        env.stdoutIsTerminal = m_stdoutTerminal;
        env.interrupts = m_interrupts;
        return RunCli(args, env);
    }

    test::TempFolder m_folder;
    test::StandInServices m_services;
    sim::RunService& m_service = m_services.service;
    sim::Site& m_site = m_services.site;
    std::ostringstream m_out, m_err;
    bool m_stdoutTerminal = false;
    Interrupts* m_interrupts = nullptr;
};

// The terminal hangs up as soon as a sync arms its interrupts.
class HangUpAtOnce : public Interrupts {
public:
    void Arm(std::function<void()> stop) override { stop(); }
    int Disarm() override { return 1; }
    std::string CaughtKey() const override { return kStopBySighup; }
};

TEST_F(CliTest, DownloadPrintsSummaryAndTableAndWritesCsv) {
    const auto csv = m_folder / "runs.csv";
    EXPECT_EQ(Run({"download", "--config=" + WriteDemoConfig().string(), "--csv=" + csv.string()}),
              0)
        << m_err.str();
    const std::string out = m_out.str();
    EXPECT_EQ(out.rfind("晨跑的小李，您已完成 ", 0), 0u) << out;
    EXPECT_NE(out.find("序号  跑步时间"), std::string::npos);
    const std::string file = test::ReadFile(csv);
    EXPECT_EQ(std::count(file.begin(), file.end(), '\n'), 24);
    EXPECT_EQ(file.rfind("1,2010-", 0), 0u);
    EXPECT_TRUE(m_site.requests().empty()) << "download never touches the site";
    // "-": standard output carries the CSV alone.
    EXPECT_EQ(Run({"download", "--config", WriteDemoConfig().string(), "--csv", "-"}), 0);
    EXPECT_EQ(m_out.str(), file);
    EXPECT_NE(m_err.str().find("序号  跑步时间"), std::string::npos);
    // On a terminal it is shown as text.
    m_stdoutTerminal = true;
    EXPECT_EQ(Run({"download", "--config", WriteDemoConfig().string(), "--csv", "-"}), 0);
    EXPECT_EQ(m_out.str(), ForTerminalLines(Cp936ToUtf8(file)));
}

// The table is printed while the store commits the list: once, after the
// summary, and the list is kept all the same.
TEST_F(CliTest, DownloadPrintsTheTableOnceWhileTheListIsKept) {
    const std::string config = WriteDemoConfig().string();
    ASSERT_EQ(Run({"download", "--config", config}), 0) << m_err.str();
    const std::string out = m_out.str();
    EXPECT_EQ(out.rfind("晨跑的小李，您已完成 ", 0), 0u) << out;
    const std::size_t title = out.find("序号  跑步时间");
    ASSERT_NE(title, std::string::npos);
    EXPECT_EQ(std::count(out.begin() + static_cast<std::ptrdiff_t>(title), out.end(), '\n'), 25);
    ASSERT_EQ(Run({"runs", "--config", config}), 0) << m_err.str();
    EXPECT_EQ(m_out.str().rfind("24 runs stored", 0), 0u) << m_out.str();
}

TEST(ForTerminal, NoControlCharacterFromTheNetworkReachesTheTerminal) {
    EXPECT_EQ(ForTerminal("a\x1b]0;x\x07"
                          "b\x7f\r\n\xC5\xDC"),
              "a?]0;x?b???跑");
    EXPECT_EQ(ForTerminal("a\x1b[2J\tb\x7f"), "a?[2J?b?");  // ASCII alone: masked in place
    EXPECT_EQ(RunLine("\x1b[2J", "1", "\xC5\xDC\x07", "7\x1b", nullptr).find('\x1b'),
              std::string::npos);
    EXPECT_EQ(ForTerminalLines("a\r\n\x1b[2J\rb\n"), "a\r\n?[2J?b\n");
    std::ostringstream written;
    WriteRunTable(written, {TableRun("7", "\x1b[2J", "", "", "", "")});
    const std::string table = written.str();
    EXPECT_EQ(table.find('\x1b'), std::string::npos);

    // One wide cell widens no other row: the table stays within twice its body.
    const std::string wide(1 << 20, 'x');
    std::vector<strivo::Run> rows(5000, TableRun(""));
    rows[0] = TableRun(wide, "", "", "", "", "");
    written.str({});
    WriteRunTable(written, RunList(rows));
    EXPECT_LT(written.str().size(), 2u << 20);
    EXPECT_NE(written.str().find("xxx…\n"), std::string::npos) << "a cut cell ends in …";

    // Rows that come one at a time make the same table, by way of a file.
    rows[7] = TableRun("a\nb", "2010-03-03", "5.1", "", "12", "");
    written.str({});
    WriteRunTable(written, RunList(rows));
    RunTableWriter streamed;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        streamed.Add(rows[i], static_cast<std::int64_t>(i + 1));
    }
    std::ostringstream printed;
    ASSERT_TRUE(streamed.Write(printed));
    EXPECT_EQ(printed.str(), written.str());
}

// The language follows the variables as gettext reads them; plural forms
// follow the catalog's rule.
TEST(Translate, LanguageFollowsTheEnvironmentAsGettextReadsIt) {
    using Environment = std::map<std::string, std::string>;
    const std::pair<Environment, bool> cases[] = {
        {{{"LANG", "zh_CN.UTF-8"}}, true},
        {{{"LC_MESSAGES", "zh_CN.GB18030"}, {"LANG", "en_US.UTF-8"}}, true},
        {{{"LC_ALL", ""}, {"LC_MESSAGES", "zh_CN"}, {"LANG", "C"}}, true},
        {{{"LC_ALL", "C"}, {"LANGUAGE", "zh_CN"}, {"LANG", "zh_CN.UTF-8"}}, false},
        {{{"LANGUAGE", "zh_CN"}}, false},
        {{{"LANGUAGE", "fr:zh_CN"}, {"LANG", "en_US.UTF-8"}}, true},
        {{{"LANGUAGE", "C:zh_CN"}, {"LANG", "zh_CN.UTF-8"}}, false},
        {{{"LANGUAGE", "en_US"}, {"LANG", "zh_CN.UTF-8"}}, false},
        {{{"LANG", "zh_TW.UTF-8"}}, false},
    };
    for (const auto& [environment, chinese] : cases) {
        UseLanguages(LanguagesFromEnvironment([&](const char* name) -> const char* {
            const auto found = environment.find(name);
            return found == environment.end() ? nullptr : found->second.c_str();
        }));
        EXPECT_STREQ(Tr("this build has no demo services"),
                     chinese ? "此版本不含演示服务" : "this build has no demo services");
        EXPECT_STREQ(TrN("Saved {0} run to {1}", "Saved {0} runs to {1}", 2),
                     chinese ? "已将 {0} 条跑步记录保存到 {1}" : "Saved {0} runs to {1}");
    }
    UseLanguages({});
}

TEST_F(CliTest, SyncWithPasswordsFromTheEnvironmentOverTheFileLeavesEveryRunOnTheSite) {
    EXPECT_EQ(Run({"sync", "--config", WriteConfig("not-it", "not-it").string()},
                  {{"STRIVO_NIKE_PASSWORD", m_service.account().password},
                   {"STRIVO_SITE_PASSWORD", "run log&1"}}),
              0)
        << m_err.str();
    EXPECT_EQ(m_site.entries().size(), 24u);
    EXPECT_NE(m_err.str().find("\nposting 23/24\nposting 24/24\n"), std::string::npos);
    EXPECT_NE(m_out.str().find("Posted 24 runs"), std::string::npos);
    EXPECT_EQ(Run({"download", "--demo"}, {{"STRIVO_NIKE_PASSWORD", "not-it"}}), 0)
        << "the demo keeps its own accounts";
}

TEST_F(CliTest, SyncFollowsTheStoreUnlessAll) {
    const std::string config = WriteDemoConfig().string();
    const std::string third = m_service.account().runs[2].id;
    m_site.AddFault({.path = "/runlogger.php", .onRequest = 3, .status = 500});
    EXPECT_EQ(Run({"sync", "--config", config}), 1);
    EXPECT_NE(m_err.str().find(": status 500\nstrivo-cli: 23 of 24 runs posted and recorded\n"
                               "strivo-cli: failed, the next sync posts them again: " +
                               third + "\nstrivo-cli: try again later\n"),
              std::string::npos)
        << m_err.str();
    // No site password is needed for a dry run; --verbose adds the form.
    EXPECT_EQ(Run({"sync", "--dry-run", "--verbose", "--config",
                   WriteConfig(m_service.account().password, "").string()}),
              0)
        << m_err.str();
    const std::string plan = m_out.str();
    EXPECT_NE(plan.find("Would post 1 of 24 runs:"), std::string::npos) << plan;
    EXPECT_NE(plan.find("\nskip (posted 20"), std::string::npos);
    EXPECT_NE(plan.find("\npost                      2010-03-15 18:52:56  3.2044 km    "
                        "0小时15分47秒   " +
                        third + "\n    formhash=<formhash>&dtevent=2010-03-15+18%3a52%3a56&"),
              std::string::npos)
        << plan;
    WriteDemoConfig();
    EXPECT_EQ(Run({"sync", "--config", config}), 0);
    EXPECT_EQ(Run({"sync", "--config", config}), 0);
    EXPECT_NE(m_out.str().find("Nothing new to post: 24 runs"), std::string::npos);
    EXPECT_EQ(m_site.entries().size(), 24u);
    EXPECT_EQ(Run({"sync", "--all", "--config", config}), 0);
    EXPECT_NE(m_out.str().find("Posted 24 runs to the Kelvora run log; 24 posted before, posted "
                               "again."),
              std::string::npos)
        << m_out.str();
    EXPECT_EQ(m_site.entries().size(), 48u);
}

// A sync's summary counts the runs kept off the run log, in either language.
TEST_F(CliTest, SyncSummariesCountTheRunsKeptOff) {
    const std::string config = WriteDemoConfig().string();
    ASSERT_EQ(Run({"download", "--config", config}), 0);
    ASSERT_EQ(Run({"settle", "--skip", m_service.account().runs[0].id, "--config", config}), 0);
    EXPECT_EQ(Run({"sync", "--quiet", "--config", config}), 0) << m_err.str();
    EXPECT_EQ(m_out.str(),
              "Posted 23 runs to the Kelvora run log; 0 were there already; 1 kept off the run "
              "log.\n");
    UseLanguages({"zh_CN"});
    EXPECT_EQ(Run({"sync", "--quiet", "--config", config}), 0) << m_err.str();
    UseLanguages({});
    EXPECT_EQ(m_out.str(),
              "没有需要上传的新记录：Kelvora 跑步日志中已有 23 条，另有 1 条不上传。\n");
}

TEST_F(CliTest, ThreeServerErrorsInARowStopTheSyncAndNameTheRunsLeft) {
    m_site.AddFault({.path = "/runlogger.php", .status = 503});
    EXPECT_EQ(Run({"sync", "--quiet", "--config", WriteDemoConfig().string()}), 1);
    const auto posts = std::ranges::count_if(
        m_site.requests(), [](const auto& request) { return request.path == "/runlogger.php"; });
    EXPECT_EQ(posts, 3) << "not 24";
    // At most 20 RunIDs are named, the rest counted.
    std::string left;
    for (std::size_t i = 3; i < 23; ++i) {
        left += (left.empty() ? "" : " ") + m_service.account().runs[i].id;
    }
    left += " … and 1 more";
    const std::string err = m_err.str();
    EXPECT_NE(err.find("3 posts in a row with a server error, so the sync stopped\n"),
              std::string::npos)
        << err;
    EXPECT_NE(err.find("not tried, the next sync posts them: " + left + "\n"), std::string::npos)
        << err;
    EXPECT_TRUE(m_out.str().empty()) << "--quiet: " << m_out.str();
}

// A service that asks to be left alone hears nothing until then; a password
// refused once is not sent again by runs without a terminal until it changes.
TEST_F(CliTest, AskedToWaitOrRefusedTheServicesHearNothingMore) {
    const auto count = [](const auto& requests, std::string_view query) {
        return std::ranges::count_if(requests, [&](const auto& r) { return r.query == query; });
    };
    m_service.AddFault({.path = "/nikeplus/v1/services/widget/generate_pin.jsp",
                        .onRequest = 1,
                        .status = 429,
                        .retryAfter = "120"});
    const std::string config = WriteDemoConfig().string();
    for (const char* command : {"sync", "download", "sync"}) {
        EXPECT_EQ(Run({command, "--quiet", "--config", config}), 75) << command;
        EXPECT_NE(m_err.str().find("asked to be left alone until "), std::string::npos)
            << m_err.str();
    }
    EXPECT_EQ(m_service.requests().size(), 1u) << "one answer asked for 120 s of quiet";

    test::TempFolder other;
    Settings settings = m_services.settings();
    settings.sitePassword = "wrong";
    const std::string wrong = m_services.WriteSettingsFile(other.path(), settings).string();
    const std::string_view signIn = "action=login&loginsubmit=true";
    for (int run = 0; run < 5; ++run) {
        EXPECT_EQ(Run({"sync", "--quiet", "--config", wrong}), 1);
    }
    EXPECT_NE(m_err.str().find("refused the password of"), std::string::npos) << m_err.str();
    EXPECT_EQ(count(m_site.requests(), signIn), 1) << "one sign-in across five runs";
    m_site.AddFault({.path = "/runlogger.php",
                     .onRequest = 2,
                     .status = 503,
                     .retryAfter = "Fri, 31 Dec 2100 23:59:59 GMT"});
    const std::string right =
        m_services.WriteSettingsFile(other.path(), m_services.settings()).string();
    EXPECT_EQ(Run({"sync", "--quiet", "--config", right}), 75) << m_err.str();
    EXPECT_EQ(count(m_site.requests(), signIn), 2) << "a changed password is tried";
    EXPECT_EQ(m_site.entries().size(), 1u) << "the 503 stopped the sync";
    const std::size_t asked = m_site.requests().size();
    EXPECT_EQ(Run({"sync", "--quiet", "--config", right}), 75);
    EXPECT_EQ(m_site.requests().size(), asked);
}

// After each way a scheduled sync can end, status says what needs the runner,
// in either language, and its exit status tells monitoring.
TEST_F(CliTest, StatusSaysWhatNeedsTheRunnerAfterEachOutcome) {
    ::setenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/bus", 1);  // no notice shown
    const std::string pin = "/nikeplus/v1/services/widget/generate_pin.jsp";
    const std::string first = m_service.account().runs[0].id;
    HangUpAtOnce hangUp;
    const struct {
        sim::Fault fault;
        bool wrongPassword;
        int status;
        const char* english;
        const char* chinese;
        bool skipFirst = false, hangsUp = false;
    } cases[] = {
        // clang-format off
        {{}, false, 0, "by the schedule: done\n", "由定时任务发起：完成\n"},
        {{.path = "/runlogger.php", .onRequest = 1, .drop = true}, false, 1,
         "Held back: 1 run, sent without an answer: ", "暂缓：1 条跑步记录已发出但没有回应："},
        // A post with no outcome is held back, not failed.
        {{.path = "/runlogger.php", .onRequest = 1, .drop = true}, false, 1,
         "posted 0, failed 0, held back 1, not tried 23\n", "已上传 0，失败 0，暂缓 1，未尝试 23\n"},
        {{.path = "/runlogger.php", .onRequest = 1, .status = 500}, false, 1,
         "by the schedule: failed\n", "由定时任务发起：失败\n"},
        {{.path = pin, .onRequest = 1, .status = 429, .retryAfter = "120"}, false, 1,
         "asked to be left alone until ", "要求在 "},
        {{}, true, 1, "Kelvora refused the password of ", "Kelvora 于 "},
        // Runs kept off are the runner's choice: named, with the way back, and no alarm.
        {{}, false, 0, "Not on the run log yet: 0 stored runs\nKept off the run log: 1 stored run: ",
         "尚未上传到跑步日志：本机保存的 0 条跑步记录\n暂不上传到跑步日志：本机保存的 1 条跑步记录：",
         true},
        {{}, false, 0, "  release the ones to post with 'strivo-cli settle --repost RUNID... --config ",
         "  要上传的请用“strivo-cli settle --repost RUNID... --config ", true},
        // A hang-up stops the sync and names itself.
        {{}, false, 0, "by the schedule: stopped\n  interrupted by SIGHUP (its terminal closed)\n",
         "由定时任务发起：已停止\n  因SIGHUP（终端已关闭）而中断\n", false, true},
        // clang-format on
    };
    for (const auto& c : cases) {
        test::TempFolder folder;
        Settings settings = m_services.settings();
        settings.sitePassword = c.wrongPassword ? "wrong" : settings.sitePassword;
        const std::string config = m_services.WriteSettingsFile(folder.path(), settings).string();
        if (!c.fault.path.empty()) {
            c.fault.path == pin ? m_service.AddFault(c.fault) : m_site.AddFault(c.fault);
        }
        if (c.skipFirst) {
            ASSERT_EQ(Run({"download", "--config", config}), 0);
            ASSERT_EQ(Run({"settle", "--skip", first, "--config", config}), 0);
        }
        m_interrupts = c.hangsUp ? &hangUp : nullptr;
        Run({"sync", "--quiet", "--config", config});
        m_interrupts = nullptr;
        for (bool chinese : {false, true}) {
            UseLanguages(chinese ? std::vector<std::string>{"zh_CN"} : std::vector<std::string>{});
            EXPECT_EQ(Run({"status", "--config", config}), c.status) << c.english;
            EXPECT_NE(m_out.str().find(chinese ? c.chinese : c.english), std::string::npos)
                << m_out.str() << m_err.str();
        }
        UseLanguages({});
    }
    ::unsetenv("DBUS_SESSION_BUS_ADDRESS");
}

// A schedule needs passwords it can read without a terminal; where no user
// manager runs, it installs nothing and gives the crontab line instead.
TEST_F(CliTest, ScheduleWantsPasswordsAndFallsBackToACrontabLine) {
    const char* saved = std::getenv("XDG_RUNTIME_DIR");
    const std::string runtime = saved ? saved : "";
    ::setenv("XDG_RUNTIME_DIR", m_folder.path().c_str(), 1);  // no systemd/private in it
    const std::string noSitePassword = WriteConfig(m_service.account().password, "").string();
    EXPECT_EQ(Run({"schedule", "daily", "--config", noSitePassword}), 2);
    EXPECT_NE(m_err.str().find("put [kelvora] pwd in the settings file\n"), std::string::npos)
        << m_err.str();
    // A variable of this shell never reaches a scheduled run.
    for (bool chinese : {false, true}) {
        UseLanguages(chinese ? std::vector<std::string>{"zh_CN"} : std::vector<std::string>{});
        EXPECT_EQ(Run({"schedule", "daily", "7:30", "--config", noSitePassword},
                      {{"STRIVO_SITE_PASSWORD", "x"}, {"STRIVO_NIKE_PASSWORD", "y"}}),
                  2);
        EXPECT_NE(m_err.str().find(chinese ? "当前 shell 的环境不是计划同步的环境，"
                                             "STRIVO_SITE_PASSWORD 传不到计划同步：请在设置文件"
                                             "中填写 [kelvora] pwd"
                                           : "this shell's environment is not the schedule's, "
                                             "so STRIVO_SITE_PASSWORD would not reach a scheduled "
                                             "sync: put [kelvora] pwd in the settings file"),
                  std::string::npos)
            << m_err.str();
    }
    UseLanguages({});
    EXPECT_EQ(Run({"schedule", "daily", "7:30", "--config", WriteDemoConfig().string()}), 1);
    EXPECT_EQ(m_out.str().rfind("30 7 * * * ", 0), 0u) << m_out.str();
    EXPECT_EQ(Run({"schedule", "hourly", "--config", WriteDemoConfig().string()}), 1);
    EXPECT_EQ(m_out.str(), "0 * * * * '/usr/bin/strivo-cli' sync --quiet --config '" +
                               (m_folder / "config.ini").string() + "'\n");
    EXPECT_NE(m_err.str().find("nothing was installed"), std::string::npos);
    // A path systemd would not load is refused, with the line cron takes as it is.
    const auto latin1 = m_folder / "caf\xe9";
    std::filesystem::create_directories(latin1);
    const std::string config = m_services.WriteSettingsFile(latin1, m_services.settings()).string();
    EXPECT_EQ(Run({"schedule", "daily", "--config", config}), 2);
    EXPECT_EQ(m_out.str(),
              "30 6 * * * '/usr/bin/strivo-cli' sync --quiet --config '" + config + "'\n");
    EXPECT_NE(m_err.str().find("is not valid UTF-8, and systemd does not load such a unit"),
              std::string::npos)
        << m_err.str();
    saved ? ::setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1) : ::unsetenv("XDG_RUNTIME_DIR");
}

TEST_F(CliTest, SettleDecidesWhatTheNextSyncPosts) {
    const std::string config = "--config=" + WriteDemoConfig().string();
    ASSERT_EQ(Run({"download", config}), 0) << m_err.str();
    // Ids the store does not hold are recorded as nothing, counted as nothing, and named cut.
    std::vector<std::string> posted = {
        "settle", "--posted", config, "9999", "", "a\nb", std::string(100000, '7')};
    for (const auto& run : m_service.account().runs) {
        posted.push_back(run.id);
    }
    EXPECT_EQ(Run(posted), 1) << m_err.str();
    EXPECT_NE(m_out.str().find("Recorded 24 runs as posted."), std::string::npos) << m_out.str();
    EXPECT_NE(m_err.str().find("nothing recorded: 9999 \"\" a?b " + std::string(40, '7') + "…\n"),
              std::string::npos)
        << m_err.str();
    EXPECT_EQ(Run({"sync", config}), 0) << m_err.str();
    EXPECT_TRUE(m_site.entries().empty());

    // A confirmed run is reposted only when asked again; 9999 was never recorded.
    const std::string third = m_service.account().runs[2].id;
    EXPECT_EQ(Run({"settle", "--repost", third, config}), 1);
    EXPECT_NE(m_out.str().find("Released 0 runs"), std::string::npos);
    EXPECT_NE(m_err.str().find("(add --again to post them all the same): " + third + "\n"),
              std::string::npos)
        << m_err.str();
    EXPECT_EQ(Run({"settle", "--repost", "--again", third, "9999", config}), 1);
    EXPECT_NE(m_out.str().find("Released 1 run for the next sync."), std::string::npos);
    EXPECT_NE(m_err.str().find("nothing recorded: 9999\n"), std::string::npos) << m_err.str();
    EXPECT_EQ(Run({"sync", config}), 0) << m_err.str();
    ASSERT_EQ(m_site.entries().size(), 1u);
    EXPECT_NE(m_out.str().find("Posted 1 run to the Kelvora run log; 23 were there already."),
              std::string::npos);
    EXPECT_EQ(Run({"settle", "--repost", "--held", config}), 0);
    EXPECT_NE(m_out.str().find("Released 0 runs"), std::string::npos) << "none is held";
}

TEST_F(CliTest, AnotherSyncHoldingTheStoreRefusesWithSeventyFive) {
    const auto config = WriteDemoConfig();
    // Older versions lock their record; a sync of this one takes both locks.
    const std::filesystem::path older[] = {config.parent_path() / "posted-runs.txt"};
    test::WriteFile(older[0], "");
    SyncLock other;
    ASSERT_TRUE(other.Acquire(StorePathFor(config), older));
    for (const std::string command : {"sync", "settle"}) {
        std::vector<std::string> args = {command, "--config", config.string()};
        if (command == "settle") {
            args.insert(args.end(), {"--posted", "--held"});
        }
        EXPECT_EQ(Run(args), 75) << command << ": " << m_err.str();
        EXPECT_NE(m_err.str().find("try again later"), std::string::npos) << m_err.str();
    }
    EXPECT_TRUE(m_site.entries().empty());
    other.Release();
    EXPECT_EQ(Run({"settle", "--posted", "--held", "--config", config.string()}), 0);
}

// What the store holds is the network's: its controls reach no terminal,
// and no run of impossible values reaches a total or a file.
TEST_F(CliTest, StoredRunsOfAnyTextAreNamedNotSummedOrWrittenAndNoControlReachesTheTerminal) {
    const std::string config = WriteDemoConfig().string();
    {
        const auto store = RunStore::Open(StorePathFor(config));
        ASSERT_TRUE(store);
        const Settings settings = m_services.settings();
        const DownloadedRun runs[] = {
            {"\x1b]0;x\x07", "2010-03-07T06:48:38+08:00", "\x1b[2J", "-1x", "1", ""},
            {"year0", "0000-06-01T00:00:00+00:00", "5", "1000", "1", ""},
            {"feb29", "2023-02-29T07:00:00+08:00", "5", "1000", "1", ""},
            {"huge", "2016-05-01T07:00:00+08:00", "999999999999", "1000", "1", ""},
            {"first", "0001-01-01T00:00:00+08:00", "5", "1000", "1", ""},
            {"last", "9999-12-31T20:00:00-08:00", "5", "1000", "1", ""},
            {"fine", "2010-03-08T06:48:38+08:00", "5", "1000", "1", ""},
        };
        ASSERT_TRUE((*store)->StoreRuns(ServiceKeyOf(settings), settings.serviceUser, Runs(runs),
                                        std::chrono::system_clock::now()));
        // A reason planted in the store: status shows it masked and cut.
        SyncRecord sync{.started = std::chrono::system_clock::now(), .end = SyncEnd::Failed};
        sync.reason = ProblemKey(
            Problem(ProblemCode::PostRedirected,
                    {"1\x1b[31m", "302", "http://x/\x1b]0;T\x07\x1b[2J" + std::string(5000, 'x')}));
        ASSERT_TRUE((*store)->RecordSync(sync));
    }
    EXPECT_EQ(Run({"status", "--config", config}), 1);
    const std::string status = m_out.str();
    EXPECT_EQ(status.find('\x1b'), std::string::npos) << status;
    const std::size_t reason = status.find(
        "  the site redirected the post of run 1?[31m (302 to "
        "http://x/?]0;T??[2Jxxx");
    ASSERT_NE(reason, std::string::npos) << status;
    EXPECT_EQ(status.find("x…\n", reason), reason + 2 + kReasonCharacters - 1) << status;
    const auto file = (m_folder / "out").string();
    for (const char* command : {"stats", "runs"}) {
        const bool stats = std::string_view(command) == "stats";
        EXPECT_EQ(Run({command, stats ? "--svg" : "--tcx", file, "--config", config}), 0)
            << m_err.str();
        EXPECT_EQ(m_err.str().find('\x1b'), std::string::npos) << m_err.str();
        EXPECT_NE(m_err.str().find("warning: run ?]0;x?: "), std::string::npos) << m_err.str();
        // Runs beyond the files' years or any plausible run are named, never written or summed.
        const std::vector<std::string> named =
            stats ? std::vector<std::string>{"huge", "feb29"}
                  : std::vector<std::string>{"feb29", "year0", "first", "last"};
        for (const std::string& runId : named) {
            EXPECT_NE(m_err.str().find("warning: run " + runId + ": "), std::string::npos)
                << runId << ": " << m_err.str();
        }
        EXPECT_LT(m_out.str().size() + std::filesystem::file_size(file), 8000u);
    }
    EXPECT_NE(m_err.str().find("Saved 3 runs"), std::string::npos);

    // FIT bends none of them either: what it cannot hold is named and fails
    // the export, and the export read back adds nothing to the store.
    const auto fit = m_folder / "fit";
    EXPECT_EQ(Run({"runs", "--fit", fit.string(), "--config", config}), 1);
    for (const char* runId : {"?]0;x?", "year0", "feb29", "huge", "first", "last"}) {
        EXPECT_NE(m_err.str().find("warning: run " + std::string(runId) + ": "), std::string::npos)
            << runId << ": " << m_err.str();
    }
    EXPECT_NE(m_err.str().find("Saved 1 FIT file to "), std::string::npos) << m_err.str();
    EXPECT_EQ(Run({"import", fit.string(), "--config", config}), 0) << m_err.str();
    // The service's 5 km in 1 s stands as sent; read from a file it is no run.
    EXPECT_EQ(m_out.str().rfind("Imported 0 runs from 1 file: 0 already stored, 0 files "
                                "unreadable, 0 activities of other sports skipped, 1 activity "
                                "not a run.",
                                0),
              0u)
        << m_out.str();
    EXPECT_NE(m_err.str().find(
                  ": skipped the activity of 2010-03-08 06:48:38: 5.0 km in 1 s is not a run\n"),
              std::string::npos)
        << m_err.str();
}

// A name Strivo gives a file in the folder --fit names is never written
// through a link, which another user may have put in a shared folder: the
// link, or anything there but a regular file, is named and left as it is.
TEST_F(CliTest, FitExportWritesNoFileThroughALinkInItsFolder) {
    const std::string config = WriteDemoConfig().string();
    ASSERT_EQ(Run({"download", "--config", config}), 0) << m_err.str();
    const auto fit = m_folder / "fit";
    ASSERT_EQ(Run({"runs", "--config", config, "--fit", fit.string()}), 0) << m_err.str();
    std::vector<std::filesystem::path> names(std::filesystem::directory_iterator(fit), {});
    ASSERT_EQ(names.size(), 24u);
    std::sort(names.begin(), names.end());
    const std::string written = test::ReadFile(names[2]);
    std::filesystem::remove(names[0]);
    std::filesystem::create_directory(names[0]);
    test::WriteFile(names[2], "an older file of that name");
#ifndef _WIN32
    std::filesystem::remove(names[1]);
    std::filesystem::create_symlink(StorePathFor(config), names[1]);
#endif
    EXPECT_EQ(Run({"runs", "--config", config, "--fit", fit.string()}), 1);
    EXPECT_NE(m_err.str().find(names[0].string() + " is a folder, not a regular file; it is left "
                                                   "as it is and nothing was written there"),
              std::string::npos)
        << m_err.str();
    EXPECT_TRUE(std::filesystem::is_directory(names[0]));
    EXPECT_EQ(test::ReadFile(names[2]), written) << "a regular file of the name is replaced";
#ifndef _WIN32
    EXPECT_NE(m_err.str().find(names[1].string() + " is a symbolic link"), std::string::npos);
    EXPECT_NE(m_err.str().find("Saved 22 FIT files"), std::string::npos) << m_err.str();
    EXPECT_TRUE(std::filesystem::is_symlink(names[1]));
    // The store behind the link is whole: it still lists every run.
    EXPECT_EQ(Run({"runs", "--config", config}), 0) << m_err.str();
    EXPECT_EQ(m_out.str().rfind("24 runs stored in ", 0), 0u) << m_out.str();
#endif
}

// A tool from Debian the test checks a file with, where it is installed.
bool Accepts(const std::string& command, const std::filesystem::path& file) {
    return std::system((command + " '" + file.string() + "' >/dev/null").c_str()) == 0;
}
bool Have(const std::string& tool) {
    return std::system(("command -v " + tool + " >/dev/null 2>&1").c_str()) == 0;
}

TEST_F(CliTest, RunsAndStatsReadTheStoreWithoutTheNetwork) {
    const std::string config = WriteDemoConfig().string();
    const std::string store = StorePathFor(config).string();
    for (const char* command : {"runs", "stats"}) {
        EXPECT_EQ(Run({command, "--config", config}), 0) << command;
        EXPECT_EQ(m_out.str().rfind("Nothing stored yet in " + store +
                                        "; 'strivo-cli download "
                                        "--config ",
                                    0),
                  0u)
            << m_out.str();
    }
    EXPECT_FALSE(std::filesystem::exists(store)) << "reading makes no store";

    const auto downloaded = m_folder / "downloaded.csv";
    const auto listed = m_folder / "listed.csv";
    EXPECT_EQ(Run({"download", "--config", config, "--csv", downloaded.string()}), 0);
    EXPECT_EQ(Run({"settle", "--posted", m_service.account().runs[0].id, "--config", config}), 0);
    m_services.standIns.Stop();
    EXPECT_EQ(Run({"runs", "--config", config, "--csv", listed.string()}), 0) << m_err.str();
    const std::string out = m_out.str();
    EXPECT_EQ(out.rfind("24 runs stored in " + store + ":\n", 0), 0u) << out;
    EXPECT_NE(out.find("\n2010-03-07T06:48:38+08:00  12.4675 km   1小时15分54秒   6:05/km     "
                       "1100309028  posted 20"),
              std::string::npos)
        << out;
    EXPECT_TRUE(test::ReadFile(listed) == test::ReadFile(downloaded)) << "the CSV of a download";

    const auto tcx = m_folder / "runs.tcx";
    EXPECT_EQ(Run({"runs", "--config", config, "--tcx=" + tcx.string()}), 0) << m_err.str();
    EXPECT_NE(m_err.str().find("Saved 24 runs to " + tcx.string()), std::string::npos);
    const std::string text = test::ReadFile(tcx);
    std::size_t activities = 0;
    for (auto at = text.find("<Activity Sport=\"Running\">"); at != std::string::npos;
         at = text.find("<Activity Sport=\"Running\">", at + 1)) {
        ++activities;
    }
    EXPECT_EQ(activities, 24u);
    EXPECT_NE(text.find("<Notes>1100309028</Notes>"), std::string::npos);
    if (Have("xmllint")) {
        EXPECT_TRUE(Accepts("xmllint --noout", tcx)) << text;
    }

    const auto svg = m_folder / "weeks.svg";
    EXPECT_EQ(Run({"stats", "--by", "week", "--config", config, "--svg", svg.string()}), 0)
        << m_err.str();
    const std::string totals = m_out.str();
    EXPECT_EQ(totals.rfind("24 runs stored in " + store + ":\n2010-W09 ", 0), 0u) << totals;
    EXPECT_NE(totals.find("\nIn all: 24 runs, "), std::string::npos) << totals;
    EXPECT_EQ(m_err.str(), "Saved the chart to " + svg.string() + "\n");
    if (Have("rsvg-convert")) {
        EXPECT_TRUE(Accepts("rsvg-convert -o '" + (m_folder / "weeks.png").string() + "'", svg));
    }
}

// Without a settings file, each command names the lines it needs: a password
// only where it signs in.
TEST_F(CliTest, AMissingSettingsFileIsMadeOfTheLinesTheCommandNeeds) {
    const std::string none = (m_folder / "none.ini").string();
    const std::string nike = "[nike+]\nuser=NAME\n";
    const std::string site = "[kelvora]\nuser=NAME\n";
    const std::string pwd = "pwd=PASSWORD\n";
    const struct {
        std::vector<std::string> args;
        std::string lines;
    } cases[] = {
        {{"status"}, nike + site},
        {{"import", "x.gpx"}, nike},
        {{"runs"}, nike},
        {{"stats"}, nike},
        {{"settle", "--posted", "--held"}, nike + site},
        {{"download"}, nike + pwd},
        {{"sync", "--dry-run"}, nike + pwd + site},
        {{"sync"}, nike + pwd + site + pwd},
        {{"schedule", "daily"}, nike + pwd + site + pwd},
    };
    for (const auto& c : cases) {
        std::vector<std::string> args = c.args;
        args.insert(args.end(), {"--config", none});
        EXPECT_EQ(Run(args), 2) << c.args[0];
        EXPECT_EQ(m_err.str(), "strivo-cli: the settings file " + none +
                                   " does not exist; create it with these lines:\n" + c.lines)
            << c.args[0];
    }
}

TEST_F(CliTest, FailuresAndUsageErrorsExitWithTheirCodes) {
    const auto wrong = m_folder / "wrong.ini";
    std::filesystem::rename(WriteConfig("not-it", ""), wrong);
    const auto good = WriteDemoConfig().string();
    const auto noPassword = m_folder / "nopwd.ini";
    test::WriteFile(noPassword, "[nike+]\r\nuser=me\r\n");
    // strivo.db a folder: the same reason as the window's (WindowControllerTest).
    const auto unusable = m_folder / "unusable" / "config.ini";
    std::filesystem::create_directories(unusable.parent_path() / "strivo.db");
    std::filesystem::copy_file(good, unusable);
    const auto lockFolder = m_folder / "lock" / "config.ini";
    std::filesystem::create_directories(lockFolder.parent_path() / "strivo.db.lock");
    std::filesystem::copy_file(good, lockFolder);
    std::filesystem::create_directories(m_folder / "badca");
    const auto badCa = m_services.WriteSettingsFile(m_folder / "badca", m_services.settings());
    test::WriteFile(m_folder / "badca" / "ca.pem", "not a certificate");
    const auto badPort = m_folder / "port.ini";
    test::WriteFile(badPort, "[nike+]\r\nuser=me\r\nhttps_port=99999\r\n");
    const struct {
        std::vector<std::string> args;
        int status;
        std::string says;
    } cases[] = {
        // clang-format off
        {{"download", "--config", wrong.string()}, 1, "sign-in failed: user name or password refused\n"
                                                     "strivo-cli: fix the Nike+ user name or password in "},
        {{"download", "--config", noPassword.string()}, 2, "no Nike+ password"},
        {{"download", "--config", badPort.string()}, 2, "[nike+] https_port=99999: not a port"},
        {{"download", "--config", (m_folder / "none.ini").string()}, 2, "none.ini does not exist; create it with these lines:\n[nike+]\nuser="},
        {{"download", "--config", m_folder.path().string()}, 2, "cannot read the settings file"},
        {{}, 2, "Usage"},
        {{"download", "--fast"}, 2, "unknown argument: --fast"},
        {{"download", "--csv"}, 2, "--csv needs a value"},
        {{"download", "--dry-run"}, 2, "--dry-run goes with sync"},
        {{"sync", "--verbose"}, 2, "--verbose goes with --dry-run"},
        {{"settle", "--held"}, 2, "settle needs one of --posted, --repost and --skip"},
        {{"settle", "--skip", "--held"}, 2, "settle --skip needs RunIDs"},
        {{"import", "--config", good}, 2, "import needs the files or folders to read"},
        {{"runs", "--fit=-"}, 2, "--fit names a folder"},
        {{"import", "--post", "--config", good, (m_folder / "none.gpx").string()}, 1, "none.gpx"},
        {{"settle", "--posted"}, 2, "settle needs RunIDs or --held, not both"},
        {{"settle", "--posted", "--again", "1"}, 2, "--again goes with settle --repost"},
        {{"settle", "--repost", "--held", "--config", noPassword.string()}, 2, "no Kelvora user name"},
        {{"download", "--demo", "--config", good}, 2, "--demo and --config do not go together"},
        {{"download", "--config", good, "--csv", "/proc/nope/x.csv"}, 1, "cannot write /proc/nope/x.csv"},
        {{"runs", "--config", good, "--tcx", "/proc/nope/x.tcx"}, 1, "cannot write /proc/nope/x.tcx"},
        {{"runs", "--config", unusable.string(), "--tcx", "x.tcx"}, 1, "strivo.db is a folder, not a regular file; left as it is"},
#ifndef _WIN32  // Windows trusts its certificate store alone: the hint names it, not cafile
        {{"download", "--config", badCa.string()}, 1, "strivo-cli: check host, https_port and cafile in [nike+] of "},
#endif
        {{"sync", "--config", lockFolder.string()}, 1, "strivo-cli: fix " + (lockFolder.parent_path() / "strivo.db.lock").string() + ", then try again\n"},
        {{"stats", "--by=fortnight"}, 2, "--by takes week, month or year, not fortnight"},
        {{"sync", "--tcx=-"}, 2, "--tcx goes with runs or download"},
        {{"runs", "--svg=x.svg"}, 2, "--svg goes with stats"},
        {{"runs", "--csv=-", "--tcx=-"}, 2, "cannot both write to standard output"},
        {{"download", "--config", good, "--csv", (m_folder / "strivo.db").string()}, 2, "strivo.db is Strivo's own store"},
        {{"runs", "--config", good, "--fit", good}, 2, "is Strivo's own store or settings file"},
        // clang-format on
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Run(c.args), c.status) << c.says << ": " << m_err.str();
        EXPECT_NE(m_err.str().find(c.says), std::string::npos) << c.says << ": " << m_err.str();
    }
    EXPECT_EQ(Run({"--help"}), 0);
    EXPECT_NE(m_out.str().find("Usage"), std::string::npos);
    EXPECT_NE(m_out.str().find("\n  --imported     with --repost: "), std::string::npos);

    // Help for one command, and a usage error, speak of that command alone.
    const struct {
        std::vector<std::string> args;
        int status;
        const char* says;
    } commands[] = {
        // clang-format off
        {{"help", "import"}, 0, "Usage: strivo-cli import PATH... [--post] [--config=FILE | --demo]\n\n"
                                "read runs from GPX, TCX, FIT and Strivo CSV files and folders; no network\n\n  --quiet "},
        {{"import", "--help"}, 0, "\n  --post         import: let the next sync post"},
        {{"import"}, 2, "strivo-cli: import needs the files or folders to read\nUsage: strivo-cli import PATH... "
                        "[--post] [--config=FILE | --demo]\nTry 'strivo-cli import --help' for more information.\n"},
        {{"--fast", "settle"}, 2, "\n       strivo-cli settle --repost [--again] (RUNID... | --held | --imported) [--config=FILE]\n"},
        {{"help", "nothing"}, 2, "unknown argument: nothing"},
        // clang-format on
    };
    for (const auto& c : commands) {
        EXPECT_EQ(Run(c.args), c.status) << c.says;
        const std::string said = c.status == 0 ? m_out.str() : m_err.str();
        EXPECT_NE(said.find(c.says), std::string::npos) << said;
        // No command named: the whole synopsis.
        const bool whole = c.args.back() == "nothing";
        EXPECT_EQ(said.find("strivo-cli download") != std::string::npos, whole) << said;
        EXPECT_EQ(said.find("--svg") != std::string::npos, whole) << said;
    }
}

}  // namespace
}  // namespace strivo
