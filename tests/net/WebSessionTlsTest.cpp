#include <gtest/gtest.h>
#include <httplib.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>

#include "ServerThread.h"
#include "TlsCertificate.h"
#include "net/WebSession.h"

namespace strivo {
namespace {

using Request = httplib::Request;
using Response = httplib::Response;

// A TLS server whose certificate names another host and chains to no system
// CA, beside a plain one.
class WebSessionTlsTest : public ::testing::Test {
protected:
    WebSessionTlsTest()
        : m_certificate(sim::MakeSelfSignedCertificate({"strivo-test.invalid"})),
          m_tls(m_certificate.certificate.get(), m_certificate.key.get()) {
        setenv("no_proxy", "127.0.0.1", 1);
        m_config.cookies = MakeCookieStore();
        m_plain.Get("/ok", [this](const Request&, Response& res) {
            ++m_plainHits;
            res.set_content("plain", "text/plain");
        });
        m_tls.Get("/ok",
                  [](const Request&, Response& res) { res.set_content("tls", "text/plain"); });
        m_tls.Get("/down", [this](const Request&, Response& res) {
            res.set_redirect(m_plainRunning->Url("/ok"));
        });
        m_plainRunning.emplace(m_plain);
        m_tlsRunning.emplace(m_tls);
    }

    sim::TlsCertificate m_certificate;
    httplib::Server m_plain;
    httplib::SSLServer m_tls;
    std::atomic<int> m_plainHits{0};
    WebSessionConfig m_config;
    std::optional<test::ServerThread> m_plainRunning;
    std::optional<test::ServerThread> m_tlsRunning;
};

TEST_F(WebSessionTlsTest, SecureOptionsChooseTlsAndVerifyTheChainButNotTheName) {
    const auto caFile = std::filesystem::temp_directory_path() /
                        ("strivo-net-test-" + std::to_string(getpid()) + ".pem");
    std::ofstream(caFile) << m_certificate.certificatePem;
    WebSessionConfig byPem = m_config;
    byPem.caPem = m_certificate.certificatePem;
    WebSessionConfig byFile = m_config;
    byFile.caFile = caFile.string();
    const auto secure = kSecureRequestOptions;
    const auto& tls = *m_tlsRunning;
    const struct {
        const WebSessionConfig& config;
        std::string url;
        std::uint32_t options;
        const char* text;
        const char* reason;
    } cases[] = {
        {byPem, tls.Url("/ok", "https"), secure, "tls", ""},
        {byFile, tls.Url("/ok", "https"), secure, "tls", ""},
        {m_config, tls.Url("/ok", "https"), secure, "", "TLS"},
        {byPem, tls.Url("/ok", "http"), secure, "tls", ""},
        {m_config, m_plainRunning->Url("/ok", "https"), kOrdinaryRequestOptions, "plain", ""},
        {byPem, tls.Url("/down", "https"), secure, "", "redirect refused"},
    };
    for (const auto& c : cases) {
        WebSession session(c.config);
        ASSERT_TRUE(session.OpenSession());
        const HttpResult result = session.HttpGet(c.url, c.options);
        EXPECT_EQ(result.Text(), c.text) << c.url;
        EXPECT_EQ(result.reason, c.reason) << c.url;
    }
    std::filesystem::remove(caFile);
    EXPECT_EQ(m_plainHits, 1);  // the refused redirect never reached the plain server
}

TEST_F(WebSessionTlsTest, UnusableExtraCasKeepTheSessionShut) {
    WebSessionConfig config = m_config;
    config.caFile = "/nonexistent/strivo-ca.pem";
    EXPECT_FALSE(WebSession(config).OpenSession());
    config.caFile.clear();
    config.caPem = m_certificate.certificatePem.substr(0, 200);  // cut short
    EXPECT_FALSE(WebSession(config).OpenSession());
}

}  // namespace
}  // namespace strivo
