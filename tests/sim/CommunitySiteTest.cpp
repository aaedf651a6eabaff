#include "sim/CommunitySite.h"

#include <gtest/gtest.h>

#include <functional>

#include "../support/Cp936Literal.h"
#include "SimClients.h"
#include "text/TextHelpers.h"

namespace strivo::sim {
namespace {

using strivo::test::Gbk;
using test::SiteVisitor;

constexpr const char* kSignInPost = "/logging.php?action=login&loginsubmit=true";
constexpr const char* kAddRun = "/runlogger.php?action=deal_add";

// The run-log body the site worker posts for one row.
std::string RunBody(const std::string& token, const std::string& runId) {
    std::string start = "2010-04-20 06:30:15";
    std::string description = Gbk("Nike+同步");
    return "formhash=" + token + "&dtevent=" + FormEncode(start) +
           "&typeevent=1&weather=1&tempor=1&distance=5.0123&tchour=0&tcminute=25&tcsecond=10"
           "&addr=&nikerunid=" +
           runId + "&descrip=" + FormEncode(description);
}

bool SaysSignInFailed(const httplib::Result& answer) {
    return answer && answer->body.find(Gbk("登录失败")) != std::string::npos;
}

class SimCommunitySite : public ::testing::Test {
protected:
    void SetUp() override {
        site.Start();
        visitor = std::make_unique<SiteVisitor>(site.port());
    }

    bool HomeOffersSignOut() {
        const auto home = visitor->Get("/index.php");
        return home && home->body.find("formhash=") != std::string::npos;
    }

    CommunitySite site{DemoSiteAccount()};
    std::unique_ptr<SiteVisitor> visitor;
};

TEST_F(SimCommunitySite, FormCarriesTheMarkersTheClientCutsOut) {
    const auto form = visitor->Get("/logging.php?action=login");
    ASSERT_TRUE(form);
    EXPECT_EQ(form->get_header_value("Content-Type"), "text/html; charset=gbk");
    const std::string token = TextBetween(form->body, "formhash\" value=\"", "\"");
    const std::string cookieTime =
        TextBetween(TextBetween(form->body, "cookietime", "/>"), "value=\"", "\"");
    EXPECT_EQ(cookieTime, "2592000");
    ASSERT_EQ(site.sessions().size(), 1u);
    EXPECT_EQ(token, site.sessions()[0].token);
    EXPECT_EQ(visitor->cookie, std::string(kSiteSessionCookie) + "=" + site.sessions()[0].id);
}

TEST_F(SimCommunitySite, DemoCredentialsSignInWhenFormEncoded) {
    const auto answer = visitor->SignIn(site.account().user, site.account().password);
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer->status, 200);
    EXPECT_FALSE(SaysSignInFailed(answer));
    EXPECT_NE(answer->body.find(site.account().user), std::string::npos);  // welcome, in CP936
    ASSERT_EQ(site.sessions().size(), 1u);
    EXPECT_TRUE(site.sessions()[0].signedIn);
}

TEST_F(SimCommunitySite, AnythingButTheRightFormSaysSignInFailed) {
    const std::string user = site.account().user;
    const std::string password = site.account().password;
    const auto encoded = [](std::string text) { return FormEncode(text); };
    const auto utf8Encoded = [](std::string text) { return FormEncode(text, kUtf8CodePage); };
    const auto body = [&](const std::string& token, const std::string& rest) {
        return "formhash=" + token + "&cookietime=2592000&" + rest;
    };
    const struct {
        const char* what;
        std::function<std::string(const std::string& token)> makeBody;
        std::string contentType = "application/x-www-form-urlencoded";
    } cases[] = {
        {"wrong password",
         [&](const std::string& t) { return SiteVisitor::SignInBody(t, user, "run log&2"); }},
        {"password not encoded",
         [&](const std::string& t) {
             return body(t, "loginfield=username&questionid=0&username=" + encoded(user) +
                                "&password=" + password + "&answer=");
         }},
        {"user name in UTF-8",
         [&](const std::string& t) {
             return body(t, "loginfield=username&questionid=0&username=" + utf8Encoded(user) +
                                "&password=" + encoded(password) + "&answer=");
         }},
        {"wrong token",
         [&](const std::string&) { return SiteVisitor::SignInBody("deadbeef", user, password); }},
        {"no token",
         [&](const std::string&) { return SiteVisitor::SignInBody("", user, password); }},
        {"sign-in by uid",
         [&](const std::string& t) {
             return body(t, "loginfield=uid&questionid=0&username=" + encoded(user) +
                                "&password=" + encoded(password) + "&answer=");
         }},
        {"security question",
         [&](const std::string& t) {
             return body(t, "loginfield=username&questionid=1&username=" + encoded(user) +
                                "&password=" + encoded(password) + "&answer=");
         }},
        {"not a form",
         [&](const std::string& t) { return SiteVisitor::SignInBody(t, user, password); },
         "text/plain"},
    };
    for (const auto& c : cases) {
        SiteVisitor fresh(site.port());
        const std::string token = fresh.FetchToken();
        ASSERT_FALSE(token.empty());
        const auto answer = fresh.Post(kSignInPost, c.makeBody(token), c.contentType);
        ASSERT_TRUE(answer) << c.what;
        EXPECT_EQ(answer->status, 200) << c.what;
        EXPECT_TRUE(SaysSignInFailed(answer)) << c.what;
    }
    // Right form, but without the cookie the form set.
    SiteVisitor noCookie(site.port());
    const std::string token = noCookie.FetchToken();
    noCookie.cookie.clear();
    EXPECT_TRUE(SaysSignInFailed(
        noCookie.Post(kSignInPost, SiteVisitor::SignInBody(token, user, password))));

    for (const SiteSession& session : site.sessions()) {
        EXPECT_FALSE(session.signedIn);
    }
}

TEST_F(SimCommunitySite, HomePageOffersSignOutOnlyWhileSignedIn) {
    EXPECT_FALSE(HomeOffersSignOut());
    visitor->SignIn(site.account().user, site.account().password);
    const auto home = visitor->Get("/index.php");
    ASSERT_TRUE(home);
    const std::string token = TextBetween(home->body, "formhash=", "\"");
    EXPECT_EQ(token, site.sessions()[0].token);
    EXPECT_NE(home->body.find("/runlogger.php"), std::string::npos);

    visitor->Get("/logging.php?action=logout&formhash=wrong");
    EXPECT_TRUE(HomeOffersSignOut());
    visitor->Get("/logging.php?action=logout&formhash=" + token);
    EXPECT_FALSE(HomeOffersSignOut());
    EXPECT_FALSE(site.sessions()[0].signedIn);

    // Signed out, the same session can sign in again.
    EXPECT_FALSE(SaysSignInFailed(visitor->SignIn(site.account().user, site.account().password)));
    EXPECT_TRUE(HomeOffersSignOut());
}

TEST_F(SimCommunitySite, RunLogPostsNeedASignedInSessionAndItsToken) {
    // Not signed in at all, then with a session that only fetched the form.
    EXPECT_EQ(visitor->Post(kAddRun, RunBody("", "1"))->status, 403);
    const std::string token = visitor->FetchToken();
    EXPECT_EQ(visitor->Post(kAddRun, RunBody(token, "2"))->status, 403);

    visitor->SignIn(site.account().user, site.account().password);
    const std::string signedInToken = site.sessions().back().token;
    EXPECT_EQ(visitor->Post(kAddRun, RunBody("0badf00d", "3"))->status, 403);
    EXPECT_EQ(visitor->Post(kAddRun, RunBody(signedInToken, "4"), "text/plain")->status, 403);
    EXPECT_EQ(visitor->Post("/runlogger.php?action=delete", RunBody(signedInToken, "5"))->status,
              400);
    SiteVisitor stranger(site.port());
    EXPECT_EQ(stranger.Post(kAddRun, RunBody(signedInToken, "6"))->status, 403);
    EXPECT_TRUE(site.entries().empty());
}

TEST_F(SimCommunitySite, AcceptedPostsAreStoredDecodedAndListed) {
    visitor->SignIn(site.account().user, site.account().password);
    const std::string token = site.sessions().back().token;
    for (const char* id : {"815", "816"}) {
        const auto answer = visitor->Post(kAddRun, RunBody(token, id));
        ASSERT_TRUE(answer);
        EXPECT_EQ(answer->status, 200);
    }
    const auto entries = site.entries();
    ASSERT_EQ(entries.size(), 2u);
    const LogEntry& entry = entries[0];
    const std::vector<std::pair<std::string, std::string>> expected = {
        {"formhash", token},  {"dtevent", "2010-04-20 06:30:15"},
        {"typeevent", "1"},   {"weather", "1"},
        {"tempor", "1"},      {"distance", "5.0123"},
        {"tchour", "0"},      {"tcminute", "25"},
        {"tcsecond", "10"},   {"addr", ""},
        {"nikerunid", "815"}, {"descrip", Gbk("Nike+同步")},
    };
    EXPECT_EQ(entry.fields, expected);
    EXPECT_EQ(entry.rawBody, RunBody(token, "815"));
    EXPECT_EQ(entries[1].Field("nikerunid"), "816");

    const auto page = visitor->Get("/runlogger.php");
    ASSERT_TRUE(page);
    for (const std::string& text : {std::string("2010-04-20 06:30:15"), std::string("816"),
                                    Gbk("0小时25分10秒"), Gbk("Nike+同步")}) {
        EXPECT_NE(page->body.find(text), std::string::npos) << text;
    }
}

TEST_F(SimCommunitySite, UnknownActionsAndPathsAreRefused) {
    EXPECT_EQ(visitor->Get("/logging.php?action=register")->status, 400);
    EXPECT_EQ(visitor->Post("/logging.php?action=login", "")->status, 400);
    EXPECT_EQ(visitor->Get("/forum.php")->status, 404);
    EXPECT_EQ(visitor->Post("/index.php", "")->status, 405);
}

}  // namespace
}  // namespace strivo::sim
