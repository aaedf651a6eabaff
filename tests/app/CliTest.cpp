#include "app/Cli.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "../support/Cp936Literal.h"
#include "../support/TempFolder.h"
#include "sim/CommunitySite.h"
#include "sim/RunService.h"

namespace strivo {
namespace {

class CliTest : public ::testing::Test {
protected:
    CliTest() : m_service(sim::DemoServiceAccount()), m_site(sim::DemoSiteAccount()) {
        m_service.Start();
        m_site.Start();
        std::ofstream(m_folder / "ca.pem") << m_service.certificatePem();
    }

    // A settings file pointing at the stand-ins; empty passwords leave the key out.
    std::filesystem::path WriteConfig(const std::string& servicePassword,
                                      const std::string& sitePassword) {
        std::string text = "[nike+]\r\nuser=" + m_service.account().login + "\r\n";
        if (!servicePassword.empty()) {
            text += "pwd=" + servicePassword + "\r\n";
        }
        text += "host=127.0.0.1\r\nhttps_port=" + std::to_string(m_service.httpsPort()) +
                "\r\nhttp_port=" + std::to_string(m_service.httpPort()) +
                "\r\ncafile=" + (m_folder / "ca.pem").string() + "\r\n";
        text += "[kelvora]\r\nuser=" + m_site.account().user + "\r\n";
        if (!sitePassword.empty()) {
            text += "pwd=" + sitePassword + "\r\n";
        }
        text += "host=127.0.0.1\r\nhttp_port=" + std::to_string(m_site.port()) + "\r\n";
        const auto path = m_folder / "config.ini";
        test::WriteFile(path, text);
        return path;
    }

    std::filesystem::path WriteDemoConfig() {
        return WriteConfig(m_service.account().password, m_site.account().password);
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
        const int status = RunCli(args, env);
        m_printed += m_out.str() + m_err.str();
        return status;
    }

    test::TempFolder m_folder;
    sim::RunService m_service;
    sim::CommunitySite m_site;
    std::ostringstream m_out, m_err;
    std::string m_printed;  // everything any run printed
};

TEST_F(CliTest, DownloadPrintsSummaryAndTableAndWritesCsv) {
    const auto csv = m_folder / "runs.csv";
    EXPECT_EQ(Run({"download", "--config", WriteDemoConfig().string(), "--csv", csv.string()}), 0)
        << m_err.str();
    const std::string out = m_out.str();
    EXPECT_EQ(out.rfind("晨跑的小李，您已完成 ", 0), 0u) << out;
    EXPECT_NE(out.find("序号  跑步时间"), std::string::npos);
    const std::string file = test::ReadFile(csv);
    EXPECT_EQ(std::count(file.begin(), file.end(), '\n'), 24);
    EXPECT_EQ(file.rfind("1,2010-", 0), 0u);
    EXPECT_TRUE(m_site.requests().empty()) << "download never touches the site";
}

TEST_F(CliTest, SyncLeavesEveryRunOnTheSite) {
    EXPECT_EQ(Run({"sync", "--config", WriteDemoConfig().string()}), 0) << m_err.str();
    EXPECT_EQ(m_site.entries().size(), 24u);
    EXPECT_NE(m_err.str().find("24/24"), std::string::npos);
    EXPECT_NE(m_out.str().find("Posted 24 runs"), std::string::npos);
}

TEST_F(CliTest, DryRunPrintsBodiesAndPostsNothing) {
    // No site password is needed for a dry run.
    EXPECT_EQ(Run({"sync", "--dry-run", "--config",
                   WriteConfig(m_service.account().password, "").string()}),
              0)
        << m_err.str();
    EXPECT_TRUE(m_site.requests().empty());
    const std::string out = m_out.str();
    EXPECT_NE(out.find("formhash=<formhash>&dtevent=2010-03-07+06%3a48%3a38&"), std::string::npos)
        << out;
    EXPECT_EQ(std::count(out.begin(), out.end(), '\n') >= 24 + 25, true);
}

TEST_F(CliTest, PasswordsFromTheEnvironment) {
    const auto config = WriteConfig("", "");
    EXPECT_EQ(Run({"sync", "--config", config.string()},
                  {{"STRIVO_NIKE_PASSWORD", m_service.account().password},
                   {"STRIVO_SITE_PASSWORD", "run log&1"}}),
              0)
        << m_err.str();
    EXPECT_EQ(m_site.entries().size(), 24u);
}

TEST_F(CliTest, FailuresAndUsageErrorsExitWithTheirCodes) {
    struct Case {
        const char* name;
        std::vector<std::string> args;
        int status;
        const char* says;
    };
    const auto good = WriteDemoConfig().string();
    const auto wrongCopy = m_folder / "wrong.ini";
    test::WriteFile(wrongCopy, test::ReadFile(good));
    {
        std::string text = test::ReadFile(wrongCopy);
        text.replace(text.find("pwd=" + m_service.account().password),
                     4 + m_service.account().password.size(), "pwd=not-it");
        test::WriteFile(wrongCopy, text);
    }
    const auto noPassword = m_folder / "nopwd.ini";
    test::WriteFile(noPassword, "[nike+]\r\nuser=me\r\n");
    const Case cases[] = {
        {"wrong password", {"download", "--config", wrongCopy.string()}, 1, "sign-in failed"},
        {"missing password, no terminal",
         {"download", "--config", noPassword.string()},
         2,
         "no Nike+ password"},
        {"missing settings file",
         {"download", "--config", (m_folder / "none.ini").string()},
         2,
         "cannot read the settings file"},
        {"no command", {}, 2, "Usage"},
        {"unknown option", {"download", "--fast"}, 2, "unknown argument: --fast"},
        {"missing value", {"download", "--csv"}, 2, "--csv needs a value"},
        {"dry run without sync", {"download", "--dry-run"}, 2, "--dry-run goes with sync"},
        {"unwritable CSV",
         {"download", "--config", good, "--csv", "/proc/nope/x.csv"},
         1,
         "cannot write /proc/nope/x.csv"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Run(c.args), c.status) << c.name << ": " << m_err.str();
        EXPECT_NE(m_err.str().find(c.says), std::string::npos) << c.name << ": " << m_err.str();
    }
    EXPECT_EQ(Run({"--help"}), 0);
    EXPECT_NE(m_out.str().find("Usage"), std::string::npos);
}

TEST_F(CliTest, NoOutputEverHoldsAPassword) {
    const auto config = WriteDemoConfig();
    Run({"sync", "--config", config.string()});
    Run({"sync", "--dry-run", "--config", config.string()});
    m_service.AddFault({.path = "/nikeplus/v1/services/app/run_list.jsp", .status = 500});
    Run({"download", "--config", config.string()});
    for (const std::string& password :
         {m_service.account().password, test::Gbk("run log&1"), std::string("run log&1")}) {
        EXPECT_EQ(m_printed.find(password), std::string::npos) << password;
    }
    EXPECT_EQ(m_printed.find("run+log%261"), std::string::npos);
}

}  // namespace
}  // namespace strivo
