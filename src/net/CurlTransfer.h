#pragma once

#include <curl/curl.h>

#include <chrono>
#include <cstddef>
#include <memory>
#include <stop_token>
#include <string>
#include <string_view>
#include <vector>

#include "net/WebSession.h"

namespace strivo {

class BodyLineReader;
class CookieStore;
class TrustedCertificates;

struct TransferRequest {
    std::string url;      // scheme already chosen by the options
    bool secure = false;  // redirects may lead to https only
    bool verifyHostName = true;
    const std::string_view* form = nullptr;  // a POST body; null for GET
    std::vector<std::string> headers;        // in the order they are sent
};

struct TransferOutcome {
    CURLcode code = CURLE_OK;
    long status = 0;
    long redirects = 0;
    long osErrno = 0;
    bool cancelled = false;
    bool stalled = false;
    bool tooLarge = false;
    bool statusNot200 = false;  // the body of such an answer is not read
};

// One libcurl easy handle driven by a multi handle of its own, both kept for a
// session's life: the multi handle holds the connections, so requests to one
// server reuse one, and its poll can be woken from another thread to cancel.
// Perform runs on the session's thread; Wake may be called from any thread.
class CurlTransfer {
public:
    // Null when libcurl cannot make the handles.
    static std::unique_ptr<CurlTransfer> Create(const WebSessionConfig& config,
                                                std::shared_ptr<const TrustedCertificates> trusted);
    ~CurlTransfer();
    CurlTransfer(const CurlTransfer&) = delete;
    CurlTransfer& operator=(const CurlTransfer&) = delete;

    // The status-200 body goes into `body` as it arrives.
    TransferOutcome Perform(const TransferRequest& request, std::stop_token stop,
                            BodyLineReader& body);
    void Wake();

private:
    using Clock = std::chrono::steady_clock;

    CurlTransfer(const WebSessionConfig& config,
                 std::shared_ptr<const TrustedCertificates> trusted);
    bool Stalled() const { return Clock::now() - m_lastActivity > m_stallLimit; }
    int PollMilliseconds() const;
    void Run();

    static std::size_t OnBody(char* data, std::size_t size, std::size_t count, void* self);
    static std::size_t OnHeader(char* data, std::size_t size, std::size_t count, void* self);
    static int OnProgress(void* self, curl_off_t downTotal, curl_off_t downNow, curl_off_t upTotal,
                          curl_off_t upNow);
    static CURLcode OnSslContext(CURL* easy, void* sslContext, void* self);

    std::shared_ptr<CookieStore> m_cookies;  // outlives the easy handle that uses it
    std::shared_ptr<const TrustedCertificates> m_trusted;
    std::chrono::milliseconds m_stallLimit;
    std::size_t m_maxBodyBytes;
    CURL* m_easy = nullptr;
    CURLM* m_multi = nullptr;

    // State of the transfer in flight.
    std::stop_token m_stop;
    BodyLineReader* m_body = nullptr;
    std::size_t m_received = 0;
    curl_off_t m_downNow = 0;
    curl_off_t m_upNow = 0;
    Clock::time_point m_lastActivity;
    TransferOutcome m_outcome;
};

}  // namespace strivo
