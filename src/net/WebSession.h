#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <stop_token>
#include <string>
#include <string_view>

// The workers' HTTP client. Nothing of the transport underneath shows here:
// libcurl on Linux, the platform's internet library on Windows.
namespace strivo {

// How a request goes out. A secure request speaks TLS on whatever port its
// URL names and verifies the server's chain, dates and host name. Every
// request ends by its deadline, connecting and redirects included.
struct RequestOptions {
    bool secure = false;
    std::chrono::milliseconds deadline{120000};
};
inline constexpr RequestOptions kOrdinaryRequestOptions{};
inline constexpr RequestOptions kSecureRequestOptions{.secure = true};

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
    // Fewer bytes than minRate per second over the last rateWindow: fail.
    std::size_t minRate = 1024;
    std::chrono::milliseconds rateWindow{60000};
    std::size_t maxBodyBytes = 64u << 20;  // bytes received of one response body
    std::shared_ptr<CookieStore> cookies;  // null: ProcessCookieStore()
};

// Why a request did not give a complete status-200 answer.
enum class TransferError {
    None,
    Cancelled,
    TimedOut,           // stalled, too slow, or past its deadline
    TooLarge,           // the body passed the size limit
    Status,             // a final status other than 200; its body is not read
    ConnectionRefused,  // nothing listens on the port
    CannotConnect,
    ConnectTimeout,
    UnknownHost,
    TooManyRedirects,
    RedirectRefused,  // to another scheme than allowed
    Untrusted,        // no trusted authority vouches for the server's certificate
    WrongHost,        // a trusted certificate, for another host name
    Tls,              // any other failure of the TLS handshake
    ConnectionLost,   // the connection broke before the answer was complete
    BadUrl,
    NoSession,
    CertificateFile,  // the extra CAs cannot be read
    OutOfMemory,
    Other,
};

struct HttpResult {
    bool ok = false;   // a response with status 200 arrived whole
    long status = 0;   // final status; 0 when no response
    std::string body;  // CR LF line ends (see BodyLineReader); empty unless ok
    TransferError error = TransferError::None;
    // Why not ok, in English: the host, the cause and the transport's own
    // words, e.g. "localhost:8443: connection refused".
    std::string reason;
    // A final answer arrived whole (a status other than 2xx without its body).
    bool answered = false;
    // No whole answer, but the form went out whole: the server may have it.
    bool mayHaveArrived = false;

    // What the workers test: the body when ok, else an empty text.
    const std::string& Text() const;
};

class Transport;

// One worker's session: requests run one after another on the worker's thread
// and reuse the session's connections. Stopping `stop`, from any thread, ends a
// request in flight at once and fails every later one with "cancelled".
class WebSession {
public:
    explicit WebSession(WebSessionConfig config = {}, std::stop_token stop = {});
    ~WebSession();  // CloseAll
    WebSession(const WebSession&) = delete;
    WebSession& operator=(const WebSession&) = delete;

    // Not ok when stopped (Cancelled) or when the extra CAs cannot be read
    // (CertificateFile, the reason naming the file and the cause).
    HttpResult OpenSession();
    HttpResult HttpGet(std::string_view url, RequestOptions options);
    // The same, but the body's text goes to `sink` piece by piece as it
    // arrives, not into the result, so a long answer is never held whole.
    // When the result is not ok, what the sink got is to be thrown away.
    HttpResult HttpGet(std::string_view url, RequestOptions options,
                       const std::function<void(std::string_view text)>& sink);
    HttpResult HttpPostForm(std::string_view url, std::string_view body);  // ordinary options
    // Closes the connections; later requests fail until OpenSession.
    void CloseAll();

private:
    struct Wake {
        WebSession* session;
        void operator()() const noexcept;  // on the thread that requests the stop
    };

    HttpResult Request(std::string_view url, RequestOptions options, const std::string_view* form,
                       const std::function<void(std::string_view text)>* sink = nullptr);
    bool WaitBeforeRetry() const;

    WebSessionConfig m_config;
    std::stop_token m_stop;
    std::unique_ptr<Transport> m_transport;  // null while no session is open
    std::mutex m_transportMutex;             // m_transport is replaced while a stop may wake it
    std::stop_callback<Wake> m_onStop;       // last, so it is gone before the members above
};

}  // namespace strivo
