// What the end-to-end tests cannot see: that the stand-ins are strict, so a
// client that sends the wrong thing fails there as it would against the real
// services; and strivo-sim's inputs.
#include <gtest/gtest.h>
#include <httplib.h>

#include "../support/Cp936Literal.h"
#include "../support/TempFolder.h"
#include "net/WebSession.h"
#include "settings/Settings.h"
#include "sim/InProcessTransport.h"
#include "sim/SimCommandLine.h"
#include "sim/StandIns.h"
#include "text/TextHelpers.h"

namespace strivo::sim {
namespace {

using strivo::test::Cp936;

constexpr const char* kForm = "application/x-www-form-urlencoded";

// A client of the site that keeps its cookie.
struct Visitor {
    explicit Visitor(int port) : client("127.0.0.1", port) { client.set_url_encode(false); }

    httplib::Result Send(const std::string& path, const std::string* body = nullptr,
                         const char* type = kForm) {
        httplib::Headers headers;
        if (!cookie.empty()) {
            headers.emplace("Cookie", cookie);
        }
        auto result = body ? client.Post(path, headers, *body, type) : client.Get(path, headers);
        if (result && result->has_header("Set-Cookie")) {
            const std::string set = result->get_header_value("Set-Cookie");
            cookie = set.substr(0, set.find(';'));
        }
        return result;
    }
    std::string Token() {
        return TextBetween(Send("/logging.php?action=login")->body, "formhash\" value=\"", "\"");
    }

    httplib::Client client;
    std::string cookie;
};

std::string SignInBody(const std::string& token, const std::string& user,
                       const std::string& password, const char* field = "username",
                       const char* question = "0") {
    return "formhash=" + token + "&cookietime=2592000&loginfield=" + field +
           "&questionid=" + question + "&username=" + FormEncode(user) +
           "&password=" + FormEncode(password) + "&answer=";
}

// The settings lines strivo-sim prints make a config.ini as they stand:
// accounts, hosts, ports and the certificate.
TEST(StandIns, SettingsLinesWorkAsTheyAre) {
    StandIns standIns;
    standIns.Start();
    test::TempFolder folder;
    test::WriteFile(folder / "config.ini", standIns.SettingsLines((folder / "ca.pem").string()));
    standIns.WriteCertificate((folder / "ca.pem").string());
    const Settings read = ReadSettings(folder / "config.ini");
    EXPECT_TRUE(read.problems.empty());
    const Settings client = standIns.ClientSettings();
    EXPECT_EQ(read.serviceUser, client.serviceUser);
    EXPECT_EQ(read.servicePassword, client.servicePassword);
    EXPECT_EQ(read.siteUser, client.siteUser);  // 李昞赟, read back from UTF-8
    EXPECT_EQ(read.sitePassword, client.sitePassword);
    EXPECT_EQ(read.serviceHttpsPort, client.serviceHttpsPort);
    EXPECT_EQ(read.sitePort, client.sitePort);
}

TEST(StandIns, SiteSignsInOnlyTheRightFormOfTheRightSession) {
    StandIns standIns;
    standIns.Start();
    const std::string user = standIns.site.account().user;
    const std::string password = standIns.site.account().password;
    const auto signIn = [&](auto makeBody, const char* type = kForm, bool keepCookie = true) {
        Visitor visitor(standIns.site.port());
        const std::string token = visitor.Token();
        if (!keepCookie) {
            visitor.cookie.clear();
        }
        const std::string body = makeBody(token);
        const auto answer = visitor.Send("/logging.php?action=login&loginsubmit=true", &body, type);
        return answer && answer->body.find(Cp936("登录失败")) == std::string::npos;
    };
    EXPECT_TRUE(signIn([&](auto& t) { return SignInBody(t, user, password); }));
    EXPECT_FALSE(signIn([&](auto& t) { return SignInBody(t, user, "run log&2"); }));
    EXPECT_FALSE(signIn([&](auto&) { return SignInBody("deadbeef", user, password); }));
    EXPECT_FALSE(signIn([&](auto& t) { return SignInBody(t, user, password, "username", "1"); }));
    EXPECT_FALSE(signIn([&](auto& t) { return SignInBody(t, user, password); }, "text/plain"));
    EXPECT_FALSE(signIn([&](auto& t) { return SignInBody(t, user, password); }, kForm, false));
    EXPECT_FALSE(signIn([&](auto& t) {  // a password sent as typed loses what follows "&"
        return SignInBody(t, user, "") + "&password=" + password;
    }));
}

TEST(StandIns, RunLogTakesPostsOnlyWithTheSignedInSessionsToken) {
    StandIns standIns;
    standIns.Start();
    Visitor visitor(standIns.site.port());
    const auto post = [&](Visitor& from, const std::string& token, const char* type = kForm) {
        const std::string body = "formhash=" + token + "&nikerunid=1";
        return from.Send("/runlogger.php?action=deal_add", &body, type)->status;
    };
    const std::string body =
        SignInBody(visitor.Token(), standIns.site.account().user, standIns.site.account().password);
    visitor.Send("/logging.php?action=login&loginsubmit=true", &body);
    const std::string token = standIns.site.sessions().back().token;
    EXPECT_EQ(post(visitor, "0badf00d"), 403);
    EXPECT_EQ(post(visitor, token, "text/plain"), 403);
    EXPECT_TRUE(standIns.site.entries().empty());
    EXPECT_EQ(post(visitor, token), 200);
    EXPECT_EQ(standIns.site.entries().size(), 1u);
}

TEST(StandIns, ServiceDataNeedsTheSessionCookie) {
    StandIns standIns;
    standIns.Start();
    httplib::Client plain("127.0.0.1", standIns.service.httpPort());
    for (const char* cookie : {"", "nikeplus_session=forged"}) {
        const auto data =
            plain.Get("/nikeplus/v1/services/app/get_user_data.jsp", {{"Cookie", cookie}});
        ASSERT_TRUE(data);
        EXPECT_EQ(data->body.find("success"), std::string::npos) << cookie;
    }
}

// The demo's transport on Windows, here where it can be watched: the cookies
// of one session reach the next, and faults end requests as a socket would.
TEST(StandIns, InProcessTransportCarriesCookiesAndFaults) {
    StandIns standIns;
    standIns.Start();
    const Settings settings = standIns.ClientSettings();
    WebSessionConfig config;
    config.makeTransport = InProcessTransports(standIns);
    const auto get = [&](const std::string& url) {
        WebSession session(config);
        session.OpenSession();
        return session.HttpGet(
            url, url.starts_with("https") ? kSecureRequestOptions : kOrdinaryRequestOptions);
    };
    EXPECT_NE(get(ServiceUrl(settings, "/nikeplus/v1/services/widget/generate_pin.jsp?login=" +
                                           FormEncode(settings.serviceUser) +
                                           "&password=" + FormEncode(settings.servicePassword)))
                  .Text()
                  .find("success"),
              std::string::npos);
    const std::string runList = ServiceUrl(settings, "/nikeplus/v1/services/app/run_list.jsp");
    EXPECT_NE(get(runList).Text().find("<run id="), std::string::npos) << "the cookie came along";
    standIns.AddFault(Fault{.path = "/nikeplus/v1/services/app/run_list.jsp", .endless = true});
    EXPECT_EQ(get(runList).error, TransferError::TooLarge);
    standIns.AddFault(Fault{.path = "/index.php", .redirectLoop = true});
    EXPECT_EQ(get(SiteUrl(settings, "/index.php")).error, TransferError::TooManyRedirects);
    EXPECT_EQ(get("http://127.0.0.1:" + std::to_string(settings.serviceHttpsPort) + "/").error,
              TransferError::ConnectionRefused)
        << "plain HTTP to the TLS port";
}

// The benchmarks' big lists: the runs split into lists served in turn, each
// run on a line of its own, and days holding as many runs as asked.
TEST(StandIns, CompactRunListsServedInTurn) {
    Accounts accounts = DemoAccounts();
    accounts.service.runs = GenerateRuns(5, 3, 2);
    const auto spread = GenerateRuns(5, 3);
    for (std::size_t i = 0; i < 5; ++i) {
        EXPECT_EQ(accounts.service.runs[i].id, spread[i].id) << "otherwise the seed's runs";
        EXPECT_EQ(accounts.service.runs[i].startTime.substr(0, 10),
                  accounts.service.runs[i / 2 * 2].startTime.substr(0, 10));
    }
    EXPECT_NE(accounts.service.runs[1].startTime.substr(0, 10),
              accounts.service.runs[2].startTime.substr(0, 10));
    StandInsOptions options;
    options.service.runListForm = RunListForm::Compact;
    options.service.runLists = 2;
    StandIns standIns(accounts, options);
    standIns.Start();
    const Settings settings = standIns.ClientSettings();
    WebSessionConfig config;
    config.makeTransport = InProcessTransports(standIns);
    WebSession session(config);
    session.OpenSession();
    session.HttpGet(ServiceUrl(settings, "/nikeplus/v1/services/widget/generate_pin.jsp?login=" +
                                             FormEncode(settings.serviceUser) +
                                             "&password=" + FormEncode(settings.servicePassword)),
                    kSecureRequestOptions);
    const auto ids = [&] {
        const std::string list =
            session
                .HttpGet(ServiceUrl(settings, "/nikeplus/v1/services/app/run_list.jsp"),
                         kSecureRequestOptions)
                .Text();
        EXPECT_EQ(list.find("<howFelt>"), std::string::npos);
        std::vector<std::string> found;
        for (std::size_t at = 0; (at = list.find("<run id=\"", at)) != std::string::npos;) {
            EXPECT_EQ(list.substr(at, list.find("</run>", at) - at).find('\n'), std::string::npos)
                << "a run a line";
            at += 9;
            found.push_back(list.substr(at, list.find('"', at) - at));
        }
        return found;
    };
    const auto& runs = accounts.service.runs;
    EXPECT_EQ(ids(), (std::vector<std::string>{runs[0].id, runs[1].id}));
    EXPECT_EQ(ids(), (std::vector<std::string>{runs[2].id, runs[3].id, runs[4].id}));
    EXPECT_EQ(ids(), (std::vector<std::string>{runs[0].id, runs[1].id})) << "the first again";
}

TEST(StandIns, AccountsFileCommandLineAndFaultFlags) {
    const Accounts parsed = ParseAccounts(
        "# a comment\n\npassword = 密码 b&c=d\r\nrun = 77 | standard | 2010-04-18T07:05:11+08:00 "
        "| 5.0321 | 1834000 | 2010-04-18T01:10:42+00:00 | 356\n",
        DemoAccounts());
    EXPECT_EQ(parsed.service.password, Cp936("密码 b&c=d"));
    EXPECT_EQ(parsed.site.password, DemoSiteAccount().password);
    ASSERT_EQ(parsed.service.runs.size(), 1u);
    EXPECT_EQ(parsed.service.runs[0].durationMs, 1834000);
    for (const char* bad :
         {"nonsense\n", "colour = red\n", "run = 1 | basic | t | 5 | 100 | s\n"}) {
        EXPECT_THROW(ParseAccounts(bad, DemoAccounts()), std::runtime_error) << bad;
    }
    const SimArguments arguments = ParseSimArguments(
        {"--runs", "100", "--seed=9", "--runs-per-day", "3", "--compact", "--lists=4", "--fault",
         "/runlogger.php,on=2,status=500,delay=250,close,drop"});
    EXPECT_EQ(arguments.runs, 100);
    EXPECT_EQ(arguments.seed, 9u);
    EXPECT_EQ(arguments.runsPerDay, 3);
    EXPECT_TRUE(arguments.compact);
    EXPECT_EQ(arguments.lists, 4);
    EXPECT_THROW(ParseSimArguments({"--lists", "0"}), std::invalid_argument);
    ASSERT_EQ(arguments.faults.size(), 1u);
    EXPECT_EQ(arguments.faults[0].onRequest, 2);
    EXPECT_EQ(arguments.faults[0].delay, std::chrono::milliseconds(250));
    EXPECT_TRUE(arguments.faults[0].closeMidBody && arguments.faults[0].drop);
    for (const char* bad : {"index.php,status=500", "/index.php", "/index.php,status=5000"}) {
        EXPECT_THROW(ParseFault(bad), std::invalid_argument) << bad;
    }
}

}  // namespace
}  // namespace strivo::sim
