#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <stop_token>
#include <string>
#include <string_view>

// The workers' HTTP client. Nothing of the library underneath shows here, so
// that a Windows build can put the platform's internet library in its place.
namespace strivo {

// Request option flags, under the names the workers use.
inline constexpr std::uint32_t INTERNET_FLAG_RELOAD = 0x80000000;  // always asked of the server
inline constexpr std::uint32_t INTERNET_FLAG_EXISTING_CONNECT = 0x20000000;  // connection reused
inline constexpr std::uint32_t INTERNET_FLAG_NO_CACHE_WRITE = 0x04000000;
inline constexpr std::uint32_t INTERNET_FLAG_SECURE = 0x00800000;  // TLS, chain and dates verified
inline constexpr std::uint32_t INTERNET_FLAG_IGNORE_CERT_CN_INVALID = 0x00001000;  // any host name

inline constexpr std::uint32_t kOrdinaryRequestOptions =
    INTERNET_FLAG_RELOAD | INTERNET_FLAG_EXISTING_CONNECT | INTERNET_FLAG_NO_CACHE_WRITE;
inline constexpr std::uint32_t kSecureRequestOptions =
    kOrdinaryRequestOptions | INTERNET_FLAG_SECURE | INTERNET_FLAG_IGNORE_CERT_CN_INVALID;
static_assert(kOrdinaryRequestOptions == 0xA4000000 && kSecureRequestOptions == 0xA4801000);

// Cookies that responses set, sent with later requests to the same host by every
// session that holds the same store, on any thread.
class CookieStore;
std::shared_ptr<CookieStore> ProcessCookieStore();  // the one both sign-ins rely on
std::shared_ptr<CookieStore> MakeCookieStore();     // an isolated one, for tests

struct WebSessionConfig {
    std::string caFile;  // PEM file of extra CAs trusted in addition to the system store
    std::string caPem;   // PEM bytes of extra CAs (the demo services)
    std::chrono::milliseconds connectTimeout{5000};  // TCP and TLS handshake
    std::chrono::milliseconds connectRetryDelay{1000};
    int connectRetries = 1;
    std::chrono::milliseconds stallLimit{60000};  // no byte moving for this long: fail
    std::size_t maxBodyBytes = 64u << 20;         // bytes received of one response body
    std::shared_ptr<CookieStore> cookies;         // null: ProcessCookieStore()
};

struct HttpResult {
    bool ok = false;     // a response with status 200 arrived whole
    long status = 0;     // final status; 0 when no response
    std::string body;    // CR LF line ends (see BodyLineReader); empty unless ok
    std::string reason;  // why not ok, for a CLI; never shown in the window

    // What the workers test: the body when ok, else an empty text.
    const std::string& Text() const;
};

class CurlTransfer;

// One worker's session: requests run one after another on the worker's thread
// and reuse the session's connections. Stopping `stop`, from any thread, ends a
// request in flight at once and fails every later one with "cancelled".
class WebSession {
public:
    explicit WebSession(WebSessionConfig config = {}, std::stop_token stop = {});
    ~WebSession();  // CloseAll
    WebSession(const WebSession&) = delete;
    WebSession& operator=(const WebSession&) = delete;

    // False when stopped, or when the extra CAs cannot be read.
    bool OpenSession();
    HttpResult HttpGet(std::string_view url, std::uint32_t options);
    HttpResult HttpPostForm(std::string_view url, std::string_view body);  // ordinary options
    // Each request releases its own objects when it ends, a failed one too, so
    // nothing is left to close; the connection stays open for the next request.
    bool CloseRequest();
    bool CloseAll();  // closes the connections; later requests fail until OpenSession

private:
    struct Wake {
        WebSession* session;
        void operator()() const noexcept;  // on the thread that requests the stop
    };

    HttpResult Request(std::string_view url, std::uint32_t options, const std::string_view* form);
    bool WaitBeforeRetry() const;

    WebSessionConfig m_config;
    std::stop_token m_stop;
    std::unique_ptr<CurlTransfer> m_transfer;  // null while no session is open
    std::mutex m_transferMutex;                // m_transfer is replaced while a stop may wake it
    std::stop_callback<Wake> m_onStop;         // last, so it is gone before the members above
};

}  // namespace strivo
