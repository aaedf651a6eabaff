#include "sim/StandIns.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "../support/Cp936Literal.h"
#include "SimClients.h"

namespace strivo::sim {
namespace {

using strivo::test::Gbk;

TEST(SimStandIns, SettingsLinesAndCertificatePointAClientAtBoth) {
    StandIns standIns;
    standIns.Start();
    const std::string lines = standIns.SettingsLines("/tmp/ca.pem");
    const std::string expected =
        "[nike+]\nhost=127.0.0.1\nhttps_port=" + std::to_string(standIns.service.httpsPort()) +
        "\nhttp_port=" + std::to_string(standIns.service.httpPort()) +
        "\ncafile=/tmp/ca.pem\n[kelvora]\nhost=127.0.0.1\nhttp_port=" +
        std::to_string(standIns.site.port()) + "\n";
    EXPECT_EQ(lines, expected);
    EXPECT_EQ(standIns.SettingsLines("").find("cafile"), std::string::npos);

    const std::string path = ::testing::TempDir() + "strivo-sim-ca.pem";
    standIns.WriteCertificate(path);
    std::ifstream file(path);
    std::stringstream written;
    written << file.rdbuf();
    EXPECT_EQ(written.str(), standIns.service.certificatePem());
    EXPECT_TRUE(written.str().starts_with("-----BEGIN CERTIFICATE-----"));
    std::remove(path.c_str());

    EXPECT_FALSE(test::SignInToService(standIns.service).empty());
}

TEST(SimStandIns, ABusyPortIsReportedAndLeavesNothingRunning) {
    CommunitySite first(DemoSiteAccount());
    first.Start();
    StandInsOptions options;
    options.site.port = first.port();
    StandIns second(DemoAccounts(), options);
    EXPECT_THROW(second.Start(), std::runtime_error);
    // The run service started first was stopped again.
    httplib::Client client("127.0.0.1", second.service.httpPort());
    EXPECT_FALSE(client.Get("/nikeplus/v1/services/app/get_user_data.jsp"));
}

TEST(SimStandIns, InspectionPagesServeJsonInUtf8) {
    StandInsOptions options;
    options.service.inspection = true;
    options.site.inspection = true;
    StandIns standIns(DemoAccounts(), options);
    standIns.Start();
    test::SiteVisitor visitor(standIns.site.port());
    visitor.SignIn(standIns.site.account().user, standIns.site.account().password);
    const std::string token = standIns.site.sessions().back().token;
    visitor.Post("/runlogger.php?action=deal_add",
                 "formhash=" + token + "&nikerunid=77&descrip=Nike%2b%CD%AC%B2%BD");

    const auto entries = visitor.Get("/__sim/entries");
    ASSERT_TRUE(entries);
    EXPECT_EQ(entries->get_header_value("Content-Type"), "application/json; charset=utf-8");
    EXPECT_NE(entries->body.find("[\"descrip\",\"Nike+同步\"]"), std::string::npos)
        << entries->body;
    EXPECT_NE(entries->body.find("\"rawBody\":\"formhash=" + token), std::string::npos);

    const auto sessions = visitor.Get("/__sim/sessions");
    EXPECT_NE(sessions->body.find("\"token\":\"" + token + "\",\"signedIn\":true"),
              std::string::npos);
    // Inspection is not traffic: it is neither logged nor faulted.
    const auto requests = visitor.Get("/__sim/requests");
    EXPECT_EQ(requests->body.find("/__sim/"), std::string::npos);
    EXPECT_NE(requests->body.find("\"path\":\"/runlogger.php\",\"query\":\"action=deal_add\""),
              std::string::npos);

    httplib::Client service("127.0.0.1", standIns.service.httpPort());
    const auto account = service.Get("/__sim/account");
    ASSERT_TRUE(account);
    EXPECT_NE(account->body.find("\"screenName\":\"晨跑的小李\""), std::string::npos);
    EXPECT_NE(account->body.find("\"runs\":24"), std::string::npos);
}

}  // namespace
}  // namespace strivo::sim
