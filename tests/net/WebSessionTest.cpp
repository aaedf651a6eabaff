// The transport suite: the same cases for whichever transport the build makes
// (libcurl, or WinINet under Wine), against the servers of
// strivo-sim --transport-cases, which CTest's fixture starts. Where the
// transports legitimately differ, the case says so.
#include "model/ProblemWords.h"
#include "net/WebSession.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <map>
#include <random>
#include <stop_token>
#include <thread>

namespace strivo {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// Why a request failed, in English.
std::string Reason(const HttpResult& result) {
    return DescribeIn(nullptr, result.problem);
}
using ::testing::HasSubstr;
using ::testing::Not;

constexpr auto kOrdinary = kOrdinaryRequestOptions;
#ifdef _WIN32
constexpr bool kWinInet = true;
// Wine's name check does not match IP-address names: loopback by name.
constexpr const char* kHost = "localhost";
#else
constexpr bool kWinInet = false;
constexpr const char* kHost = "127.0.0.1";
#endif

std::size_t Count(const std::string& text, std::string_view part) {
    std::size_t count = 0;
    for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
        ++count;
    }
    return count;
}

// A name of its own for each run of a case: the servers outlive it.
std::string Unique(std::string_view name) {
    return std::string(name) + std::to_string(std::random_device()() % 1000000000);
}

// The servers' ports, as the file STRIVO_CASE_SERVER names announces them.
class WebSessionTest : public ::testing::Test {
protected:
    void SetUp() override {
        const char* file = std::getenv("STRIVO_CASE_SERVER");
        ASSERT_NE(file, nullptr) << "run through CTest, whose fixture starts the servers";
        std::ifstream in(file);
        for (std::string line; std::getline(in, line);) {
            if (const auto equals = line.find('='); equals != std::string::npos) {
                m_announced[line.substr(0, equals)] = line.substr(equals + 1);
            }
        }
        ASSERT_TRUE(m_announced.contains("http_port")) << file;
        if (!kWinInet) {  // WinINet trusts the CA from the system store, where the fixture put it
            std::ifstream ca(m_announced["ca_file"]);
            m_caPem.assign(std::istreambuf_iterator<char>(ca), {});
        }
#ifndef _WIN32
        setenv("no_proxy", "127.0.0.1,localhost", 1);  // loopback directly, even behind a proxy
#endif
        m_config.cookies = MakeCookieStore();
    }

    int Port(const std::string& server) {
        return std::stoi(m_announced[server + "_port"]);
    }
    std::string Url(const std::string& server, std::string_view path, const char* scheme = "http",
                    const char* host = kHost) {
        return std::string(scheme) + "://" + host + ":" + std::to_string(Port(server)) +
               std::string(path);
    }
    std::string Url(std::string_view path) {
        return Url("http", path);
    }
    std::unique_ptr<WebSession> Open(std::stop_token stop = {}) const {
        auto session = std::make_unique<WebSession>(m_config, std::move(stop));
        EXPECT_TRUE(session->OpenSession().ok());
        return session;
    }
    // How often the servers were asked for `path` (POSTs only on the raw ports).
    std::string Counted(const std::string& path) {
        return Open()->HttpGet(Url("/counted?path=" + path), kOrdinary).Text();
    }

    std::map<std::string, std::string> m_announced;
    std::string m_caPem;
    WebSessionConfig m_config;
};

TEST_F(WebSessionTest, OnlyAFinal200Succeeds) {
    const struct {
        std::string url;
        long status;
        const char* text;
        TransferError error;
    } cases[] = {
        {Url("/status/200"), 200, "GET |", TransferError::None},
        {Url("/status/500"), 500, "", TransferError::Status},
        {Url("/hops/10"), 200, "arrived", TransferError::None},
        {Url("/hops/11"), 302, "", TransferError::TooManyRedirects},
        {Url("/sized/0"), 200, "", TransferError::None},  // ok tells an empty answer from a failure
        {Url("/lines"), 200, "a\r\nb\r\ncdf", TransferError::None},  // by BodyLineReader's rules
        {Url("cut", "/"), 200, "", TransferError::ConnectionLost},
        {Url("flood", "/"), 200, "", TransferError::TooLarge},  // 400 KB of headers
    };
    auto session = Open();
    for (const auto& c : cases) {
        const HttpResult result = session->HttpGet(c.url, kOrdinary);
        EXPECT_EQ(result.ok(), c.error == TransferError::None) << c.url;
        EXPECT_EQ(result.status, c.status) << c.url;
        EXPECT_EQ(result.Text(), c.text) << c.url;
        EXPECT_EQ(result.error, c.error) << c.url;
    }
}

TEST_F(WebSessionTest, AFinal429Or503KeepsItsRetryAfterAsSent) {
    const std::string longest(kMaxRetryAfterBytes, '9');
    const struct {
        std::string path;
        long status;
        std::string retryAfter;
    } cases[] = {
        {"/retry/429/120", 429, "120"},
        {"/retry/503/86400", 503, "86400"},
        {"/status/429", 429, ""},
        {"/status/503", 503, ""},
        {"/retry/500/120", 500, ""},  // only a 429 or a 503 says when to come again
        {"/retry/302/120", 503, ""},  // the redirect's, not the final answer's
        {"/retry/429/" + longest + "99", 429, longest},
    };
    auto session = Open();
    for (const auto& c : cases) {
        for (const bool post : {false, true}) {
            const HttpResult result = post ? session->HttpPostForm(Url(c.path), "a=1")
                                           : session->HttpGet(Url(c.path), kOrdinary);
            EXPECT_EQ(result.status, c.status) << c.path << post;
            EXPECT_EQ(result.retryAfter, c.retryAfter) << c.path << post;
        }
    }
}

TEST_F(WebSessionTest, FixedHeaderLinesInOrderAndContentTypeOnlyOnPost) {
    // The echo server answers with the request's head and closes, saying so.
    auto session = Open();
    const std::string url = Url("echo", "/");
    const std::string heads[] = {
        session->HttpGet(url, kOrdinary).Text(),
        session->HttpPostForm(url, "a=1").Text(),
        // Large enough that libcurl would otherwise wait for "100 Continue".
        session->HttpPostForm(url, std::string(2 << 20, 'x')).Text(),
    };
    for (const std::string& head : heads) {
        ASSERT_THAT(head, HasSubstr("\r\n\r\n"));
        const bool post = head.starts_with("POST");
        const auto type = head.find("\nContent-Type: application/x-www-form-urlencoded\r\n");
        const auto accept = head.find("\nAccept: */*\r\n");
        const auto agent =
            head.find("\nUser-Agent: Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.0)\r\n");
        EXPECT_EQ(Count(head, "Content-Type:"), post ? 1u : 0u) << head;
        EXPECT_EQ(Count(head, "Accept:") + Count(head, "User-Agent:"), 2u) << head;
        EXPECT_EQ(Count(head, "Expect:"), 0u) << head;
        EXPECT_TRUE(accept < agent && agent != std::string::npos) << head;
        EXPECT_TRUE(!post || type < accept) << head;
    }
}

TEST_F(WebSessionTest, CookiesReachEverySessionOfTheProcessOnAnyThread) {
    const std::string first = Unique("strivo_first");
    const std::string second = Unique("strivo_second");
    const WebSessionConfig isolated = m_config;
    m_config.cookies = nullptr;  // the process's store, as the workers have it
    std::thread([&] { Open()->HttpGet(Url("/cookie/" + first), kOrdinary); }).join();
    std::thread([&] {
        auto session = Open();
        // Sent by the redirect's own target, and by a later request.
        const std::string seen = session->HttpGet(Url("/cookie/" + second), kOrdinary).Text();
        EXPECT_THAT(seen, HasSubstr(first + "=1"));
        EXPECT_THAT(seen, HasSubstr(second + "=1"));
        EXPECT_THAT(session->HttpGet(Url("/whoami"), kOrdinary).Text(), HasSubstr(second));
    }).join();
    // WinINet keeps one store for the whole process: no session has one apart.
    if (!kWinInet) {
        m_config = isolated;
        EXPECT_THAT(Open()->HttpGet(Url("/whoami"), kOrdinary).Text(), Not(HasSubstr("strivo")));
    }
}

TEST_F(WebSessionTest, StallAndSizeLimitsFail) {
    m_config.stallLimit = 400ms;
    m_config.maxBodyBytes = 1000;
    auto session = Open();
    const auto start = Clock::now();
    EXPECT_EQ(Reason(session->HttpGet(Url("silent", "/"), kOrdinary)),
              std::string(kHost) + ":" + std::to_string(Port("silent")) +
                  ": time-out (nothing moved for 0.4 s)");
    EXPECT_GE(Clock::now() - start, 400ms);
    EXPECT_LT(Clock::now() - start, 5s);
    // One second in all, but never 400 ms without a byte.
    EXPECT_EQ(session->HttpGet(Url("/trickle/20"), kOrdinary).Text(), std::string(20, 'x'));
    for (const char* path : {"/sized/1000", "/chunked/1000"}) {
        EXPECT_TRUE(session->HttpGet(Url(path), kOrdinary).ok()) << path;
    }
    for (const char* path : {"/sized/1001", "/chunked/100000"}) {
        EXPECT_EQ(session->HttpGet(Url(path), kOrdinary).error, TransferError::TooLarge) << path;
    }
}

TEST_F(WebSessionTest, DripsAndOverlongAnswersEndInATimeOut) {
    m_config.rateWindow = 300ms;  // 20 bytes a second is far too slow for it
    EXPECT_EQ(Open()->HttpGet(Url("/trickle/20"), kOrdinary).error, TransferError::TimedOut);
    m_config.rateWindow = 60s;
    const auto start = Clock::now();
    EXPECT_EQ(Open()->HttpGet(Url("/trickle/20"), {.deadline = 300ms}).error,
              TransferError::TimedOut);
    EXPECT_LT(Clock::now() - start, 700ms);
}

TEST_F(WebSessionTest, ClosedPortFailsAfterOneRetry) {
    const auto start = Clock::now();
    EXPECT_EQ(Reason(Open()->HttpGet(Url("closed", "/"), kOrdinary)),
              std::string(kHost) + ":" + std::to_string(Port("closed")) + ": connection refused");
    EXPECT_GE(Clock::now() - start, 900ms);  // the retry waited its second
    EXPECT_LT(Clock::now() - start, 2s);
}

TEST_F(WebSessionTest, StopFromAnotherThreadEndsTheRequestAndEveryLaterOne) {
    m_config.connectRetryDelay = 60s;  // as long as the stall limit: only the stop ends either
    // Wine does not end a call blocked on a silent server when its handles
    // close (Windows does): there, only the wait before a retry is stopped.
    for (const char* server : {"silent", "closed"}) {
        if (kWinInet && server == std::string("silent")) {
            continue;
        }
        std::stop_source stop;
        auto session = Open(stop.get_token());
        Clock::time_point stoppedAt;
        std::thread stopper([&] {
            std::this_thread::sleep_for(200ms);
            stoppedAt = Clock::now();
            stop.request_stop();
        });
        EXPECT_EQ(session->HttpGet(Url(server, "/"), kOrdinary).error, TransferError::Cancelled)
            << server;
        const auto endedAt = Clock::now();
        stopper.join();
        EXPECT_LT(endedAt - stoppedAt, 1s) << server;
        const std::string path = Unique("/count/after_stop");
        EXPECT_EQ(session->HttpGet(Url(path), kOrdinary).error, TransferError::Cancelled);
        EXPECT_EQ(Counted(path), "0");
    }
}

TEST_F(WebSessionTest, HundredRequestsOfASessionUseOneConnection) {
    const std::string path = Unique("/connection/hundred");
    auto session = Open();
    // Forms go byte for byte, without a terminating zero; an empty one has no content.
    EXPECT_EQ(session->HttpPostForm(Url(path), "u=%D5%C5&p=a+b").Text(), "POST u=%D5%C5&p=a+b|14");
    EXPECT_EQ(session->HttpPostForm(Url(path), "").Text(), "POST |0");
    for (int i = 2; i < 100; ++i) {
        const bool post = i % 10 == 9;
        const HttpResult result =
            post ? session->HttpPostForm(Url(path), "n=1") : session->HttpGet(Url(path), kOrdinary);
        ASSERT_EQ(result.Text(), post ? "POST n=1|3" : "GET |") << i;
    }
    const std::string key = path.substr(path.rfind('/') + 1);
    EXPECT_EQ(session->HttpGet(Url("/connections/" + key), kOrdinary).Text(), "1");
}

TEST_F(WebSessionTest, APostIsNeverSentTwiceButASignInTriesAFreshConnectionOnce) {
    // Read whole and dropped without a word; or so on a kept-alive connection,
    // where a fresh connection is answered. A sign-in post changes nothing:
    // it tries that fresh connection, once.
    for (const auto& [server, signIn] :
         {std::pair{"drop", false}, {"reuse_drop", false}, {"drop", true}, {"reuse_drop", true}}) {
        auto session = Open();
        if (server == std::string("reuse_drop")) {
            ASSERT_TRUE(session->HttpGet(Url(server, "/first"), kOrdinary).ok());
        }
        const std::string path = Unique("/post");
        const HttpResult result =
            session->HttpPostForm(Url(server, path), "a=1", {.retryOnFreshConnection = signIn});
        const bool again = signIn && server == std::string("reuse_drop");
        EXPECT_EQ(result.Text(), again ? "ok" : "") << server << signIn;
        EXPECT_EQ(result.error, again ? TransferError::None : TransferError::ConnectionLost)
            << server << signIn;
        EXPECT_EQ(result.mayHaveArrived(), !again) << server << signIn;
        EXPECT_EQ(Counted(path), again ? "2" : "1") << server << signIn;
    }
}

TEST_F(WebSessionTest, APostThatFollowsNoRedirectEndsAtTheRedirectWithItsLocation) {
    auto session = Open();
    // A 307 keeps the method: following it would post the form again.
    for (const auto& [route, follow] :
         {std::pair{"/moved/", false}, {"/temporary/", false}, {"/temporary/", true}}) {
        const std::string target = Unique("moved");
        const HttpResult result =
            session->HttpPostForm(Url(route + target), "a=1", {.followRedirects = follow});
        EXPECT_EQ(result.status, route == std::string("/moved/") ? 302 : 307) << route << follow;
        EXPECT_THAT(Reason(result),
                    HasSubstr(follow ? ": redirect refused (307 to /count/" : ": status 30"))
            << route << follow;
        EXPECT_TRUE(result.requestSent && result.answered() && !result.ok()) << route << follow;
        EXPECT_TRUE(result.location.ends_with("/count/" + target)) << result.location;
        EXPECT_EQ(Counted("/count/" + target), "0") << "the redirect was followed";
    }
}

TEST_F(WebSessionTest, PlainRequestsGoThroughTheEnvironmentsProxy) {
    if (kWinInet) {
        GTEST_SKIP() << "WinINet takes its proxy from the system's settings, not from http_proxy";
    }
#ifndef _WIN32
    // The echo server as the proxy: it answers with the head it was sent.
    setenv("http_proxy", Url("echo", "/").c_str(), 1);
    const HttpResult result = Open()->HttpGet("http://strivo.invalid/runs?page=1", kOrdinary);
    unsetenv("http_proxy");
    EXPECT_THAT(result.Text(),
                ::testing::StartsWith("GET http://strivo.invalid/runs?page=1 HTTP/1.1\r\n"));
#endif
}

TEST_F(WebSessionTest, SecureOptionsChooseTlsAndVerifyTheChainAndTheName) {
    WebSessionConfig trusting = m_config;
    trusting.caPem = m_caPem;
    const auto secure = kSecureRequestOptions;
    const std::string key = Unique("");
    const auto path = [&](const char* name) { return "/count/" + (name + key); };
    // The transports name the certificate's fault in their own words.
    const std::string untrusted = kWinInet ? "certificate not trusted (WinINet 12045"
                                           : "certificate not trusted (SSL certificate problem: ";
    const std::string wrongHost =
        kWinInet ? "certificate for another host (WinINet 12038"
                 : "certificate for another host (SSL: no alternative certificate subject name";
    const struct {
        const WebSessionConfig& config;
        std::string url;
        RequestOptions options;
        const char* text;
        TransferError error;
        std::string reason;  // how the reason begins
    } cases[] = {
        {trusting, Url("tls", path("ok"), "https", "localhost"), secure, "counted",
         TransferError::None, ""},
        {m_config, Url("untrusted", path("untrusted"), "https", "localhost"), secure, "",
         TransferError::Untrusted, untrusted},
        // 127.0.0.1 as one number: a name the certificate does not hold. No request.
        {trusting, Url("tls", path("other"), "https", "2130706433"), secure, "",
         TransferError::WrongHost, wrongHost},
        {trusting, Url("tls", path("ok"), "http", "localhost"), secure, "counted",
         TransferError::None, ""},
        {m_config, Url("http", "/status/200", "https"), kOrdinary, "GET |", TransferError::None,
         ""},
        {trusting, Url("tls", "/down", "https", "localhost"), secure, "",
         TransferError::RedirectRefused, "redirect refused"},
    };
    for (const auto& c : cases) {
        WebSession session(c.config);
        ASSERT_TRUE(session.OpenSession().ok());
        const HttpResult result = session.HttpGet(c.url, c.options);
        EXPECT_EQ(result.Text(), c.text) << c.url;
        EXPECT_EQ(result.error, c.error) << c.url;
        if (c.error != TransferError::None) {
            EXPECT_THAT(Reason(result), HasSubstr(": " + c.reason)) << c.url;
        }
    }
    EXPECT_EQ(Counted(path("ok")), "2");
    EXPECT_EQ(Counted(path("untrusted")) + Counted(path("other")), "00");
    EXPECT_EQ(Counted("/count/down"), "0") << "the refused redirect never reached the plain server";

    // Extra CAs: WinINet refuses any, libcurl those it cannot read.
    trusting.caPem = "-----BEGIN CERTIFICATE-----\nMIIB";  // cut short
    EXPECT_EQ(WebSession(trusting).OpenSession().error, TransferError::CertificateFile);
    trusting.caFile = "/no/such/ca.pem";
    EXPECT_THAT(Reason(WebSession(trusting).OpenSession()),
                ::testing::StartsWith(kWinInet ? "/no/such/ca.pem: not used on Windows"
                                               : "cannot read the certificate file "
                                                 "/no/such/ca.pem: No such file or directory"));
}

}  // namespace
}  // namespace strivo
