#include "net/WebSession.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <httplib.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <mutex>
#include <optional>
#include <set>
#include <stop_token>
#include <thread>

#include "RawServer.h"
#include "TlsCertificate.h"

namespace strivo {
namespace {

using namespace std::chrono_literals;
using namespace std::string_literals;
using Clock = std::chrono::steady_clock;
using Request = httplib::Request;
using Response = httplib::Response;
using test::RawServer;
using ::testing::HasSubstr;
using ::testing::Not;

constexpr auto kOrdinary = kOrdinaryRequestOptions;

// Runs an httplib server, plain or TLS, on a loopback port of its own until destroyed.
class ServerThread {
public:
    explicit ServerThread(httplib::Server& server)
        : m_server(server), m_port(server.bind_to_any_port("127.0.0.1")) {
        m_thread = std::thread([this] { m_server.listen_after_bind(); });
        while (!m_server.is_running()) {
            std::this_thread::sleep_for(1ms);
        }
    }
    ~ServerThread() {
        m_server.stop();
        m_thread.join();
    }

    std::string Url(std::string_view path, std::string_view scheme = "http",
                    std::string_view host = "127.0.0.1") const {
        return std::string(scheme) + "://" + std::string(host) + ":" + std::to_string(m_port) +
               std::string(path);
    }

private:
    httplib::Server& m_server;
    int m_port;
    std::thread m_thread;
};

std::string UrlOf(int port) {
    return "http://127.0.0.1:" + std::to_string(port) + "/";
}

std::size_t Count(const std::string& text, std::string_view part) {
    std::size_t count = 0;
    for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
        ++count;
    }
    return count;
}

// One loopback server with a route for each case; it notes the client port of
// every request. Beside it, a TLS server whose certificate names another host
// and chains to no system CA.
class WebSessionTest : public ::testing::Test {
protected:
    WebSessionTest()
        : m_certificate(sim::MakeSelfSignedCertificate({{"localhost"}})),
          m_tls(m_certificate.certificate.get(), m_certificate.key.get()) {
        setenv("no_proxy", "127.0.0.1", 1);  // loopback directly, even behind a proxy
        m_config.cookies = MakeCookieStore();
        Route(R"(/status/(\d+))", [](const Request& req, Response& res) {
            res.status = std::stoi(req.matches[1]);
            res.set_content(
                req.method + " " + req.body + "|" + req.get_header_value("Content-Length"),
                "text/plain");
        });
        Route(R"(/hops/(\d+))", [](const Request& req, Response& res) {
            const int left = std::stoi(req.matches[1]);
            left == 0 ? res.set_content("arrived", "text/plain")
                      : res.set_redirect("/hops/" + std::to_string(left - 1));
        });
        Route("/lines", [](const Request&, Response& res) {
            res.set_content("a\r\nb\nc\rd\0e\nf"s, "text/plain");
        });
        Route(R"(/cookie/(\w+))", [](const Request& req, Response& res) {
            res.set_header("Set-Cookie", req.matches[1].str() + "=1; Path=/");
            res.set_redirect("/whoami");
        });
        Route("/whoami", [](const Request& req, Response& res) {
            res.set_content(req.get_header_value("Cookie"), "text/plain");
        });
        Route(R"(/sized/(\d+))", [](const Request& req, Response& res) {
            res.set_content(std::string(std::stoul(req.matches[1]), 'x'), "text/plain");
        });
        Route(R"(/(chunked|trickle)/(\d+))", [](const Request& req, Response& res) {
            const bool trickle = req.matches[1] == "trickle";
            const std::size_t size = std::stoul(req.matches[2]);
            res.set_chunked_content_provider(
                "text/plain", [=](std::size_t at, httplib::DataSink& out) {
                    std::this_thread::sleep_for(trickle ? 50ms : 0ms);
                    return at < size ? out.write("x", 1) : (out.done(), true);
                });
        });
        m_server.set_logger([this](const Request& req, const Response&) {
            std::lock_guard lock(m_mutex);
            m_clientPorts.insert(req.remote_port);
            ++m_requests;
        });
        m_server.set_keep_alive_max_count(1000).set_tcp_nodelay(true);
        m_running.emplace(m_server);
        m_tls.Get("/ok", [this](const Request&, Response& res) {
            ++m_tlsHits;
            res.set_content("tls", "text/plain");
        });
        m_tls.Get("/down", [this](const Request&, Response& res) {
            res.set_redirect(m_running->Url("/status/200"));
        });
        m_tlsRunning.emplace(m_tls);
    }

    void Route(const char* pattern, httplib::Server::Handler handler) {
        m_server.Get(pattern, handler);
        m_server.Post(pattern, handler);
    }
    std::string Url(std::string_view path) const { return m_running->Url(path); }
    std::unique_ptr<WebSession> Open(std::stop_token stop = {}) const {
        auto session = std::make_unique<WebSession>(m_config, std::move(stop));
        EXPECT_TRUE(session->OpenSession().ok());
        return session;
    }

    WebSessionConfig m_config;
    std::mutex m_mutex;
    std::set<int> m_clientPorts;
    int m_requests = 0;
    httplib::Server m_server;
    sim::TlsCertificate m_certificate;
    std::atomic<int> m_tlsHits{0};
    httplib::SSLServer m_tls;
    // Last: stopped before what the handlers use.
    std::optional<ServerThread> m_running;
    std::optional<ServerThread> m_tlsRunning;
};

TEST_F(WebSessionTest, OnlyAFinal200Succeeds) {
    const struct {
        const char* path;
        long status;
        const char* text;
        TransferError error;
    } cases[] = {
        {"/status/200", 200, "GET |", TransferError::None},
        {"/status/500", 500, "", TransferError::Status},
        {"/hops/10", 200, "arrived", TransferError::None},
        {"/hops/11", 302, "", TransferError::TooManyRedirects},
        {"/sized/0", 200, "", TransferError::None},  // ok tells an empty answer from a failure
        {"/lines", 200, "a\r\nb\r\ncdf", TransferError::None},  // by BodyLineReader's rules
    };
    auto session = Open();
    for (const auto& c : cases) {
        const HttpResult result = session->HttpGet(Url(c.path), kOrdinary);
        EXPECT_EQ(result.ok(), c.error == TransferError::None) << c.path;
        EXPECT_EQ(result.status, c.status) << c.path;
        EXPECT_EQ(result.Text(), c.text) << c.path;
        EXPECT_EQ(result.error, c.error) << c.path;
    }
}

TEST_F(WebSessionTest, FixedHeaderLinesInOrderAndContentTypeOnlyOnPost) {
    // Closed after each answer, and saying so: no post finds a dying connection.
    RawServer server("HTTP/1.1 200 OK\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
    auto session = Open();
    ASSERT_TRUE(session->HttpGet(UrlOf(server.Port()), kOrdinary).ok());
    ASSERT_TRUE(session->HttpPostForm(UrlOf(server.Port()), "a=1").ok());
    // Large enough that libcurl would otherwise wait for "100 Continue".
    ASSERT_TRUE(session->HttpPostForm(UrlOf(server.Port()), std::string(2 << 20, 'x')).ok());
    const auto heads = server.Heads();
    ASSERT_EQ(heads.size(), 3u);
    for (const std::string& head : heads) {
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
    const WebSessionConfig isolated = m_config;
    m_config.cookies = nullptr;  // the process's store, as the workers have it
    std::thread([&] { Open()->HttpGet(Url("/cookie/strivo_first"), kOrdinary); }).join();
    std::thread([&] {
        auto session = Open();
        // Sent by the redirect's own target, and by a later request.
        const std::string seen = session->HttpGet(Url("/cookie/strivo_second"), kOrdinary).Text();
        EXPECT_THAT(seen, HasSubstr("strivo_first=1"));
        EXPECT_THAT(seen, HasSubstr("strivo_second=1"));
        EXPECT_THAT(session->HttpGet(Url("/whoami"), kOrdinary).Text(), HasSubstr("strivo_second"));
    }).join();
    m_config = isolated;
    EXPECT_THAT(Open()->HttpGet(Url("/whoami"), kOrdinary).Text(), Not(HasSubstr("strivo")));
}

TEST_F(WebSessionTest, StallAndSizeLimitsFail) {
    RawServer silent;
    m_config.stallLimit = 400ms;
    m_config.maxBodyBytes = 1000;
    auto session = Open();
    const auto start = Clock::now();
    EXPECT_EQ(
        session->HttpGet(UrlOf(silent.Port()), kOrdinary).reason,
        "127.0.0.1:" + std::to_string(silent.Port()) + ": time-out (nothing moved for 0.4 s)");
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
    const int port = RawServer::ClosedPort();
    EXPECT_EQ(Open()->HttpGet(UrlOf(port), kOrdinary).reason,
              "127.0.0.1:" + std::to_string(port) + ": connection refused");
    EXPECT_GE(Clock::now() - start, 900ms);  // the retry waited its second
    EXPECT_LT(Clock::now() - start, 2s);
}

TEST_F(WebSessionTest, StopFromAnotherThreadEndsTheRequestAndEveryLaterOne) {
    RawServer silent;
    m_config.connectRetryDelay = 60s;  // as long as the stall limit: only the stop ends either
    for (const int port : {silent.Port(), RawServer::ClosedPort()}) {
        std::stop_source stop;
        auto session = Open(stop.get_token());
        Clock::time_point stoppedAt;
        std::thread stopper([&] {
            std::this_thread::sleep_for(200ms);
            stoppedAt = Clock::now();
            stop.request_stop();
        });
        EXPECT_EQ(session->HttpGet(UrlOf(port), kOrdinary).error, TransferError::Cancelled) << port;
        const auto endedAt = Clock::now();
        stopper.join();
        EXPECT_LT(endedAt - stoppedAt, 1s) << port;
        EXPECT_EQ(session->HttpGet(Url("/status/200"), kOrdinary).error, TransferError::Cancelled);
    }
    std::lock_guard lock(m_mutex);
    EXPECT_EQ(m_requests, 0);
}

TEST_F(WebSessionTest, HundredRequestsOfASessionUseOneConnection) {
    auto session = Open();
    // Forms go byte for byte, without a terminating zero; an empty one has no content.
    EXPECT_EQ(session->HttpPostForm(Url("/status/200"), "u=%D5%C5&p=a+b").Text(),
              "POST u=%D5%C5&p=a+b|14");
    EXPECT_EQ(session->HttpPostForm(Url("/status/200"), "").Text(), "POST |0");
    for (int i = 2; i < 100; ++i) {
        const bool post = i % 10 == 9;
        const HttpResult result = post ? session->HttpPostForm(Url("/status/200"), "n=1")
                                       : session->HttpGet(Url("/status/200"), kOrdinary);
        ASSERT_EQ(result.Text(), post ? "POST n=1|3" : "GET |") << i;
    }
    std::lock_guard lock(m_mutex);
    EXPECT_EQ(m_clientPorts.size(), 1u);
}

TEST_F(WebSessionTest, PlainRequestsGoThroughTheEnvironmentsProxy) {
    RawServer proxy("HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok");
    setenv("http_proxy", UrlOf(proxy.Port()).c_str(), 1);
    const HttpResult result = Open()->HttpGet("http://strivo.invalid/runs?page=1", kOrdinary);
    unsetenv("http_proxy");
    EXPECT_EQ(result.Text(), "ok");
    EXPECT_THAT(proxy.Heads(), ::testing::ElementsAre(::testing::StartsWith(
                                   "GET http://strivo.invalid/runs?page=1 HTTP/1.1\r\n")));
}

TEST_F(WebSessionTest, SecureOptionsChooseTlsAndVerifyTheChainAndTheName) {
    WebSessionConfig trusting = m_config;
    trusting.caPem = m_certificate.certificatePem;
    const auto secure = kSecureRequestOptions;
    const auto& tls = *m_tlsRunning;
    const auto named = [&](const char* path, const char* scheme) {
        return tls.Url(path, scheme, "localhost");  // the one name on the certificate
    };
    const struct {
        const WebSessionConfig& config;
        std::string url;
        RequestOptions options;
        const char* text;
        TransferError error;
        const char* reason;  // how the reason begins
    } cases[] = {
        {trusting, named("/ok", "https"), secure, "tls", TransferError::None, ""},
        {m_config, named("/ok", "https"), secure, "", TransferError::Untrusted,
         "certificate not trusted (SSL certificate problem: "},
        // Another name: no request.
        {trusting, tls.Url("/ok", "https"), secure, "", TransferError::WrongHost,
         "certificate for another host (SSL: no alternative certificate subject name"},
        {trusting, named("/ok", "http"), secure, "tls", TransferError::None, ""},
        {m_config, m_running->Url("/status/200", "https"), kOrdinary, "GET |", TransferError::None,
         ""},
        {trusting, named("/down", "https"), secure, "", TransferError::RedirectRefused,
         "redirect refused"},
    };
    for (const auto& c : cases) {
        WebSession session(c.config);
        ASSERT_TRUE(session.OpenSession().ok());
        const HttpResult result = session.HttpGet(c.url, c.options);
        EXPECT_EQ(result.Text(), c.text) << c.url;
        EXPECT_EQ(result.error, c.error) << c.url;
        if (c.error != TransferError::None) {
            EXPECT_THAT(result.reason, HasSubstr(std::string(": ") + c.reason)) << c.url;
        }
    }
    EXPECT_EQ(m_tlsHits, 2);
    std::lock_guard lock(m_mutex);
    EXPECT_EQ(m_requests, 1) << "the refused redirect never reached the plain server";

    trusting.caPem = m_certificate.certificatePem.substr(0, 200);  // cut short
    EXPECT_EQ(WebSession(trusting).OpenSession().error, TransferError::CertificateFile);
    trusting.caFile = "/no/such/ca.pem";
    EXPECT_EQ(WebSession(trusting).OpenSession().reason,
              "cannot read the certificate file /no/such/ca.pem: No such file or directory");
}

}  // namespace
}  // namespace strivo
