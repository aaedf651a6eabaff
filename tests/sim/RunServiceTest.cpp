#include "sim/RunService.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <set>

#include "SimClients.h"
#include "sim/RequestParsing.h"
#include "text/TextHelpers.h"

namespace strivo::sim {
namespace {

using test::ClientPercentEncode;
using test::SignInPath;
using test::TrustingClient;
using test::WithCookie;

constexpr const char* kUserData = "/nikeplus/v1/services/app/get_user_data.jsp";
constexpr const char* kRunList = "/nikeplus/v1/services/app/run_list.jsp";

// A run as the run-service worker cuts it out of the list.
struct ListedRun {
    std::string id, startTime, distance, duration, syncTime, calories;
};

std::vector<ListedRun> ReadRunList(const std::string& body) {
    std::vector<ListedRun> runs;
    std::size_t start = body.find("run id=");
    while (start != std::string::npos) {
        const std::size_t end = body.find("</run>", start);
        if (end == std::string::npos) {
            break;
        }
        const std::string text = body.substr(start, end - start);
        runs.push_back(
            {TextBetween(text, "\"", "\" "), TextBetween(text, "<startTime>", "</"),
             TextBetween(text, "<distance>", "</"), TextBetween(text, "<duration>", "</"),
             TextBetween(text, "<syncTime>", "</"), TextBetween(text, "<calories>", "</")});
        start = body.find("run id=", end);
    }
    return runs;
}

// "184.3754" as 1843754: sums of decimals compared without rounding.
std::int64_t TenThousandths(const std::string& km) {
    const std::size_t dot = km.find('.');
    EXPECT_NE(dot, std::string::npos) << km;
    EXPECT_EQ(km.size() - dot - 1, 4u) << km;
    return std::stoll(km.substr(0, dot)) * 10000 + std::stoll(km.substr(dot + 1));
}

class SimRunService : public ::testing::Test {
protected:
    void SetUp() override { service.Start(); }

    httplib::Result GetPlain(const std::string& path, const std::string& cookie = "") {
        return test::PlainClient(service.httpPort())->Get(path, WithCookie(cookie));
    }

    httplib::Result GetSecure(const std::string& path, const std::string& cookie = "") {
        return TrustingClient(service)->Get(path, WithCookie(cookie));
    }

    RunService service{DemoServiceAccount()};
};

TEST_F(SimRunService, SignInWithDemoCredentialsAsTheClientEncodesThem) {
    const ServiceAccount& account = service.account();
    // The worker's encoding, and the other ways a browser may write the same bytes.
    const std::string passwords[] = {
        ClientPercentEncode(account.password),
        "spring+run%26go",
        "spring%20run%26go",
    };
    for (const std::string& password : passwords) {
        const auto answer = GetSecure(SignInPath(ClientPercentEncode(account.login), password));
        ASSERT_TRUE(answer) << password;
        EXPECT_EQ(answer->status, 200);
        EXPECT_NE(answer->body.find("<status>success</status>"), std::string::npos);
        const std::string cookie = answer->get_header_value("Set-Cookie");
        EXPECT_TRUE(cookie.starts_with(std::string(kServiceSessionCookie) + "=")) << cookie;
        EXPECT_NE(cookie.find("Path=/"), std::string::npos);
        EXPECT_NE(cookie.find("HttpOnly"), std::string::npos);
        EXPECT_EQ(cookie.find("Secure"), std::string::npos);  // the account data comes over HTTP
    }
    EXPECT_EQ(service.sessions().size(), 3u);
}

TEST_F(SimRunService, WrongCredentialsFailWithoutSuccessOrCookie) {
    const std::string login = ClientPercentEncode(service.account().login);
    const std::string paths[] = {
        SignInPath(login, "spring%20run%26gO"),
        SignInPath(login, "spring%20run&go"),  // "&" not encoded: "go" becomes a field of its own
        SignInPath(login, ""),
        SignInPath(ClientPercentEncode("Demo.runner@strivo.example"), "spring%20run%26go"),
        "/nikeplus/v1/services/widget/generate_pin.jsp?login=" + login,
        "/nikeplus/v1/services/widget/generate_pin.jsp",
    };
    for (const std::string& path : paths) {
        const auto answer = GetSecure(path);
        ASSERT_TRUE(answer) << path;
        EXPECT_EQ(answer->status, 200) << path;
        EXPECT_NE(answer->body.find("<status>failure</status>"), std::string::npos) << path;
        EXPECT_EQ(answer->body.find("success"), std::string::npos) << path;
        EXPECT_FALSE(answer->has_header("Set-Cookie")) << path;
    }
    EXPECT_TRUE(service.sessions().empty());
}

TEST_F(SimRunService, DataWithoutAValidCookieIsRefused) {
    for (const std::string& cookie :
         {std::string(), std::string(kServiceSessionCookie) + "=forged"}) {
        const auto data = GetPlain(kUserData, cookie);
        const auto list = GetSecure(kRunList, cookie);
        ASSERT_TRUE(data);
        ASSERT_TRUE(list);
        for (const httplib::Response* answer : {&*data, &*list}) {
            EXPECT_EQ(answer->status, 200);
            EXPECT_NE(answer->body.find("<status>failure</status>"), std::string::npos);
            EXPECT_EQ(answer->body.find("success"), std::string::npos);
            EXPECT_EQ(answer->body.find("CDATA"), std::string::npos);
            EXPECT_EQ(answer->body.find("<total"), std::string::npos);
            EXPECT_EQ(answer->body.find("run id="), std::string::npos);
        }
    }
}

TEST_F(SimRunService, TotalsAreTheSumsOfTheListedRuns) {
    const std::string cookie = test::SignInToService(service);
    ASSERT_FALSE(cookie.empty());
    const auto data = GetPlain(kUserData, cookie);
    const auto list = GetSecure(kRunList, cookie);
    ASSERT_TRUE(data);
    ASSERT_TRUE(list);
    EXPECT_NE(list->body.find("<status>success</status>"), std::string::npos);

    const std::vector<ListedRun> runs = ReadRunList(list->body);
    const auto& expected = service.account().runs;
    ASSERT_EQ(runs.size(), expected.size());
    std::int64_t distance = 0, duration = 0, calories = 0;
    for (std::size_t i = 0; i < runs.size(); ++i) {
        EXPECT_EQ(runs[i].id, expected[i].id);  // in the account's order, id cut at quote+blank
        EXPECT_EQ(runs[i].startTime, expected[i].startTime);
        EXPECT_EQ(runs[i].syncTime, expected[i].syncTime);
        distance += TenThousandths(runs[i].distance);
        duration += std::stoll(runs[i].duration);
        calories += std::stoll(runs[i].calories);
    }
    const std::string& body = data->body;
    EXPECT_EQ(TenThousandths(TextBetween(body, "<totalDistance>", "</")), distance);
    EXPECT_EQ(std::stoll(TextBetween(body, "<totalDuration>", "</")), duration);
    EXPECT_EQ(std::stoll(TextBetween(body, "<totalCalories>", "</")), calories);
    // The first CDATA section is the screen name, in UTF-8, with blanks around it.
    const std::string name = TextBetween(body, "[CDATA[", "]");
    EXPECT_NE(name, service.account().screenName);
    EXPECT_EQ(name.substr(name.find_first_not_of(' '), service.account().screenName.size()),
              service.account().screenName);
}

TEST_F(SimRunService, EachPathAnswersOnItsOwnPortOnly) {
    const std::string signIn = SignInPath(ClientPercentEncode(service.account().login),
                                          ClientPercentEncode(service.account().password));
    EXPECT_EQ(GetPlain(signIn)->status, 404);
    EXPECT_EQ(GetPlain(kRunList)->status, 404);
    EXPECT_EQ(GetSecure(kUserData)->status, 404);
    EXPECT_EQ(test::PlainClient(service.httpPort())->Post(kUserData, "", "text/plain")->status,
              405);
}

TEST_F(SimRunService, OneConnectionCarriesManyRequests) {
    const std::string cookie = test::SignInToService(service);
    service.ClearRequests();
    auto client = TrustingClient(service);
    client->set_keep_alive(true);
    for (int i = 0; i < 40; ++i) {
        const auto answer = client->Get(kRunList, WithCookie(cookie));
        ASSERT_TRUE(answer) << "request " << i;
        ASSERT_EQ(answer->status, 200);
    }
    const auto logged = service.requests();
    ASSERT_EQ(logged.size(), 40u);
    std::set<int> ports;
    for (const LoggedRequest& request : logged) {
        ports.insert(request.remotePort);
        EXPECT_TRUE(request.secure);
        EXPECT_EQ(request.path, kRunList);
    }
    EXPECT_EQ(ports.size(), 1u);

    service.Stop();  // closes the idle connection too
    EXPECT_FALSE(client->Get(kRunList, WithCookie(cookie)));
}

TEST_F(SimRunService, LogsRequestsAsSent) {
    const std::string path = SignInPath("a%2Bb", "c+d");
    GetSecure(path);
    GetPlain(kUserData);
    const auto logged = service.requests();
    ASSERT_EQ(logged.size(), 2u);
    EXPECT_EQ(logged[0].method, "GET");
    EXPECT_EQ(logged[0].path, "/nikeplus/v1/services/widget/generate_pin.jsp");
    EXPECT_EQ(logged[0].query, "login=a%2Bb&password=c+d");
    EXPECT_TRUE(logged[0].secure);
    EXPECT_EQ(logged[0].status, 200);
    EXPECT_FALSE(logged[1].secure);
    EXPECT_EQ(HeaderValue(logged[1].headers, "Host"),
              "127.0.0.1:" + std::to_string(service.httpPort()));
}

}  // namespace
}  // namespace strivo::sim
