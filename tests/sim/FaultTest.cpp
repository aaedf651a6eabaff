// Faults as clients meet them: over real connections.

#include <gtest/gtest.h>

#include <chrono>
#include <future>

#include "SimClients.h"
#include "sim/CommunitySite.h"
#include "sim/RunService.h"

namespace strivo::sim {
namespace {

constexpr const char* kRunList = "/nikeplus/v1/services/app/run_list.jsp";

class SimSiteFaults : public ::testing::Test {
protected:
    void SetUp() override {
        site.Start();
        client = test::PlainClient(site.port());
    }

    httplib::Result Home() { return client->Get("/index.php"); }

    CommunitySite site{DemoSiteAccount()};
    std::unique_ptr<httplib::Client> client;
};

TEST_F(SimSiteFaults, StatusOnTheKthRequestOfAPathOnly) {
    site.AddFault(ParseFault("/index.php,on=2,status=503"));
    EXPECT_EQ(Home()->status, 200);
    EXPECT_EQ(client->Get("/runlogger.php")->status, 200);
    EXPECT_EQ(Home()->status, 503);
    EXPECT_EQ(Home()->status, 200);
    const auto logged = site.requests();
    ASSERT_EQ(logged.size(), 4u);
    EXPECT_EQ(logged[2].status, 503);

    site.AddFault(ParseFault("/index.php,status=500"));
    EXPECT_EQ(Home()->status, 500);
    EXPECT_EQ(Home()->status, 500);
    site.ClearFaults();
    EXPECT_EQ(Home()->status, 200);
}

TEST_F(SimSiteFaults, AFaultedRequestIsNotHandled) {
    test::SiteVisitor visitor(site.port());
    site.AddFault(ParseFault("/logging.php?action=login&loginsubmit=true,status=500"));
    const auto answer = visitor.SignIn(site.account().user, site.account().password);
    ASSERT_TRUE(answer);  // the form itself was served: the fault names the post's query
    EXPECT_EQ(answer->status, 500);
    ASSERT_EQ(site.sessions().size(), 1u);
    EXPECT_FALSE(site.sessions()[0].signedIn);
}

TEST_F(SimSiteFaults, DelayHoldsTheAnswerBack) {
    site.AddFault(ParseFault("/index.php,delay=300"));
    const auto before = std::chrono::steady_clock::now();
    EXPECT_EQ(Home()->status, 200);
    EXPECT_GE(std::chrono::steady_clock::now() - before, std::chrono::milliseconds(300));
}

TEST_F(SimSiteFaults, StopCutsALongDelayShort) {
    site.AddFault(ParseFault("*,delay=3600000"));
    auto answer = std::async(std::launch::async, [this] { return Home(); });
    // Give the request time to reach its delay; Stop() must not wait out the hour.
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    site.Stop();
    EXPECT_FALSE(answer.get());
}

TEST_F(SimSiteFaults, ClosingMidBodyBreaksTheAnswerButNotTheServer) {
    site.AddFault(ParseFault("/index.php,on=1,close"));
    const auto broken = Home();
    EXPECT_FALSE(broken);
    const auto next = Home();
    ASSERT_TRUE(next);
    EXPECT_EQ(next->status, 200);
}

TEST_F(SimSiteFaults, SizeGivesABodyOfExactlyThatManyBytes) {
    const std::string normal = Home()->body;
    site.AddFault(ParseFault("/index.php,on=1,size=10000"));
    site.AddFault(ParseFault("/index.php,on=2,size=20"));
    site.AddFault(ParseFault("/index.php,on=3,size=" + std::to_string(normal.size() + 3)));
    const std::string padded = Home()->body;
    EXPECT_EQ(padded.size(), 10000u);
    EXPECT_TRUE(padded.starts_with(normal));
    EXPECT_EQ(padded.find('\n', normal.size()), std::string::npos);  // one long line
    EXPECT_EQ(Home()->body, normal.substr(0, 20));
    EXPECT_EQ(Home()->body, normal + "   ");
}

TEST(SimServiceFaults, CutRunListIsACompleteAnswerOfMBytes) {
    RunService service(DemoServiceAccount());
    service.Start();
    const std::string cookie = test::SignInToService(service);
    auto client = test::TrustingClient(service);
    const std::string full = client->Get(kRunList, test::WithCookie(cookie))->body;

    service.AddFault(ParseFault(std::string(kRunList) + ",cut=700"));
    const auto cut = client->Get(kRunList, test::WithCookie(cookie));
    ASSERT_TRUE(cut);
    EXPECT_EQ(cut->status, 200);
    EXPECT_EQ(cut->body, full.substr(0, 700));
    EXPECT_NE(cut->body.find("run id="), std::string::npos);

    // A status fault on the sign-in hands out no session.
    service.ClearFaults();
    service.AddFault(ParseFault("/nikeplus/v1/services/widget/generate_pin.jsp,status=500"));
    EXPECT_TRUE(test::SignInToService(service).empty());
    EXPECT_EQ(service.sessions().size(), 1u);
}

TEST(SimServiceFaults, ClosingMidBodyOverTls) {
    RunService service(DemoServiceAccount(),
                       {.faults = {ParseFault(std::string(kRunList) + ",close")}});
    service.Start();
    const std::string cookie = test::SignInToService(service);
    EXPECT_FALSE(test::TrustingClient(service)->Get(kRunList, test::WithCookie(cookie)));
}

}  // namespace
}  // namespace strivo::sim
