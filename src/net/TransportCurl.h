#pragma once

#include <curl/curl.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <stop_token>
#include <string>
#include <string_view>

#include "net/TransferLimits.h"
#include "net/Transport.h"
#include "net/TrustedCertificates.h"

namespace strivo {

struct CurlEasyDeleter {
    void operator()(CURL* easy) const { curl_easy_cleanup(easy); }
};
struct CurlMultiDeleter {
    void operator()(CURLM* multi) const { curl_multi_cleanup(multi); }
};
using CurlEasy = std::unique_ptr<CURL, CurlEasyDeleter>;
using CurlMulti = std::unique_ptr<CURLM, CurlMultiDeleter>;

// One libcurl easy handle driven by a multi handle of its own, both kept for a
// session's life: the multi handle holds the connections, so requests to one
// server reuse one, and its poll can be woken from another thread to cancel.
class TransportCurl final : public Transport {
public:
    // Null when libcurl cannot make the handles.
    static std::unique_ptr<TransportCurl> Create(
        const WebSessionConfig& config, std::shared_ptr<const TrustedCertificates> trusted);

    TransferOutcome Perform(const TransferRequest& request, std::stop_token stop,
                            BodyLineReader& body) override;
    void Wake() override;

private:
    using Clock = std::chrono::steady_clock;

    // What ended a transfer early, seen by the callbacks.
    enum class Abort { None, Cancelled, TimedOut, TooLarge, Status };

    // What libcurl says of a transfer that ran; the defaults when it could not start.
    struct Ended {
        CURLcode code = CURLE_OUT_OF_MEMORY;
        long osErrno = 0;
        long verifyResult = 0;  // OpenSSL's verdict on the server's chain
    };

    TransportCurl(const WebSessionConfig& config,
                  std::shared_ptr<const TrustedCertificates> trusted);
    // True, and the abort noted, when the transfer is cancelled or out of time.
    bool Ending();
    void Count(std::size_t bytes);
    int PollMilliseconds() const;
    // The easy handle made ready for the request, and the state of one in flight.
    void SetUp(const TransferRequest& request, const std::string& url, curl_slist* headers);
    // Runs the transfer and notes in `outcome` what libcurl saw of the answer.
    Ended Transfer(const TransferRequest& request, TransferOutcome& outcome);
    // The outcome's error (and its limit or detail), from how the transfer ended.
    void Judge(const Ended& ended, TransferOutcome& outcome) const;
    CURLcode Run();

    static std::size_t OnBody(char* data, std::size_t size, std::size_t count, void* self);
    static std::size_t OnRead(char* buffer, std::size_t size, std::size_t count, void* self);
    static std::size_t OnHeader(char* data, std::size_t size, std::size_t count, void* self);
    static int OnProgress(void* self, curl_off_t downTotal, curl_off_t downNow, curl_off_t upTotal,
                          curl_off_t upNow);
    static CURLcode OnSslContext(CURL* easy, void* sslContext, void* self);

    // Limits, and the cookie store, which outlives the easy handle that uses it.
    WebSessionConfig m_config;
    std::shared_ptr<const TrustedCertificates> m_trusted;
    SystemCertificates m_system;
    CurlEasy m_easy;
    CurlMulti m_multi;  // after the easy handle, so it is cleaned up first

    // State of the transfer in flight.
    std::stop_token m_stop;
    BodyLineReader* m_body = nullptr;
    std::string_view m_form;  // a POST body, and how much of it libcurl has taken
    std::size_t m_formTaken = 0;
    std::string m_location;                   // the Location header of the latest response, as sent
    std::optional<std::string> m_retryAfter;  // the first Retry-After of the latest response
    std::size_t m_headerBytes = 0;            // of every response of the request
    bool m_headEnded = true;                  // no response's head is coming in
    std::size_t m_received = 0;
    std::uint64_t m_moved = 0;  // bytes both ways, headers included
    std::optional<TransferLimits> m_clock;
    Abort m_abort = Abort::None;
    char m_errorText[CURL_ERROR_SIZE] = {};  // libcurl's words on the last failure
};

}  // namespace strivo
