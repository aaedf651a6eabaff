// strivo-cli's run log: runs filtered by date and state with their pace,
// and remove, in English and in Chinese.

#include <gtest/gtest.h>

#include <sstream>

#include "../support/StandInServices.h"
#include "app/Cli.h"
#include "text/Catalog.h"

namespace strivo {
namespace {

// One run of 1 km in 5 minutes, a GPX file.
constexpr const char* kGpx =
    "<?xml version=\"1.0\"?>\n<gpx version=\"1.1\" creator=\"test\" "
    "xmlns=\"http://www.topografix.com/GPX/1/1\"><trk><type>running</type><trkseg>"
    "<trkpt lat=\"30.000\" lon=\"120.0\"><time>2010-05-01T06:00:00Z</time></trkpt>"
    "<trkpt lat=\"30.009\" lon=\"120.0\"><time>2010-05-01T06:05:00Z</time></trkpt>"
    "</trkseg></trk></gpx>\n";

class CliRunLogTest : public ::testing::TestWithParam<bool> {
protected:
    void SetUp() override {
        m_config = m_services.WriteSettingsFile(m_folder.path(), m_services.settings()).string();
        UseLanguages({GetParam() ? "zh_CN" : "C"});
    }
    void TearDown() override { UseLanguages({"C"}); }

    int Run(std::vector<std::string> args) {
        m_out.str({});
        m_err.str({});
        args.insert(args.end(), {"--config", m_config});
        CliEnvironment env{m_out,
                           m_err,
                           [](std::string_view) -> std::optional<std::string> { return {}; },
                           [](std::string_view) -> std::optional<std::string> { return {}; },
                           m_folder / "default.ini",
                           {}};
        env.sessionConfig.cookies = MakeCookieStore();
        env.program = "/usr/bin/strivo-cli";
        return RunCli(args, env);
    }
    // The English words, or the Chinese.
    std::string Says(const std::string& english, const std::string& chinese) const {
        return GetParam() ? chinese : english;
    }
    // The key of the first run imported, as `runs` lists it.
    std::string ImportedKey() {
        const std::string listed = m_out.str();
        const std::size_t at = listed.find("file-");
        return at == std::string::npos ? "" : listed.substr(at, listed.find(' ', at) - at);
    }

    test::TempFolder m_folder;
    test::StandInServices m_services;
    std::string m_config;
    std::ostringstream m_out, m_err;
};

TEST_P(CliRunLogTest, RunsListsWhatItsDatesAndStateLetThroughWithEachPace) {
    ASSERT_EQ(Run({"download"}), 0) << m_err.str();
    const std::string first = m_services.service.account().runs[0].id;
    ASSERT_EQ(Run({"settle", "--skip", first}), 0) << m_err.str();
    ASSERT_EQ(Run({"runs"}), 0);
    EXPECT_NE(m_out.str().find("/km  "), std::string::npos) << m_out.str();
    EXPECT_EQ(m_out.str().find(Says("of them listed", "列出")), std::string::npos);
    ASSERT_EQ(Run({"runs", "--state", "kept-off"}), 0);
    EXPECT_NE(m_out.str().find(first), std::string::npos);
    EXPECT_NE(m_out.str().find(Says("\n1 of them listed.\n", "\n列出了其中 1 条。\n")),
              std::string::npos)
        << m_out.str();
    // The stand-in's runs are days apart: the third to the sixth.
    const auto day = [&](std::size_t i) {
        return m_services.service.account().runs[i].startTime.substr(0, 10);
    };
    ASSERT_EQ(Run({"runs", "--from=" + day(2), "--to", day(5), "--state=waiting"}), 0);
    EXPECT_NE(m_out.str().find(Says("\n4 of them listed.\n", "\n列出了其中 4 条。\n")),
              std::string::npos)
        << m_out.str();
    // The CSV's columns are fixed: no pace, and only the runs listed.
    const auto csv = m_folder / "week.csv";
    ASSERT_EQ(Run({"runs", "--from", day(2), "--to=" + day(5), "--csv", csv.string()}), 0);
    const std::string file = test::ReadFile(csv);
    EXPECT_EQ(std::count(file.begin(), file.end(), '\n'), 4);
    EXPECT_EQ(file.find("/km"), std::string::npos);

    const struct {
        std::vector<std::string> args;
        const char* english;
        const char* chinese;
    } usage[] = {
        {{"runs", "--state", "posting"},
         "--state takes posted, waiting, kept-off, unknown or failed",
         "--state 只接受"},
        {{"runs", "--from", "2010-02-30"},
         "--from takes a date as YYYY-MM-DD, not 2010-02-30",
         "--from 只接受"},
        {{"runs", "--from=2010-03-09", "--to=2010-03-03"}, "--from is later than --to", "--from"},
        {{"stats", "--state=posted"}, "--state goes with runs", "--state"},
        {{"remove"}, "remove needs the keys", "remove"},
    };
    for (const auto& c : usage) {
        EXPECT_EQ(Run(c.args), 2) << c.english;
        EXPECT_NE(m_err.str().find(GetParam() ? c.chinese : c.english), std::string::npos)
            << m_err.str();
    }
}

TEST_P(CliRunLogTest, RemoveTakesBackImportedRunsNeverPostedAndRefusesTheRest) {
    ASSERT_EQ(Run({"download"}), 0) << m_err.str();
    test::WriteFile(m_folder / "run.gpx", kGpx);
    ASSERT_EQ(Run({"import", (m_folder / "run.gpx").string()}), 0) << m_err.str();
    ASSERT_EQ(Run({"runs", "--state=kept-off"}), 0);
    const std::string key = ImportedKey();
    ASSERT_FALSE(key.empty()) << m_out.str();
    const std::string service = m_services.service.account().runs[0].id;
    EXPECT_EQ(Run({"remove", service, "file-19990101T000000Z-1", key}), 1);
    EXPECT_EQ(m_out.str(), Says("Removed 1 imported run.\n", "已删除 1 条导入的跑步记录。\n"));
    EXPECT_NE(m_err.str().find(Says("next download brings them back: " + service,
                                    "下次下载会再次取回：" + service)),
              std::string::npos)
        << m_err.str();
    EXPECT_NE(m_err.str().find("file-19990101T000000Z-1"), std::string::npos);
    ASSERT_EQ(Run({"runs", "--state=kept-off"}), 0);
    EXPECT_EQ(ImportedKey(), "");
}

INSTANTIATE_TEST_SUITE_P(BothLanguages, CliRunLogTest, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "Chinese" : "English"; });

}  // namespace
}  // namespace strivo
