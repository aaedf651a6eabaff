#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "model/Problem.h"

// What a session and its transport share: what a request asks for, how it
// went, and the settings a session is made with.
namespace strivo {

// How a request goes out. A secure request speaks TLS on whatever port its
// URL names and verifies the server's chain, dates and host name. Every
// request ends by its deadline, connecting and redirects included.
struct RequestOptions {
    bool secure = false;
    std::chrono::milliseconds deadline{120000};
    // False: a 3xx is the final answer, its Location kept, not followed (a
    // run-log post, whose redirect says nothing of whether it was stored).
    bool followRedirects = true;
    // A kept-alive connection that the server closed as the request went out
    // gives no answer: try once more on a fresh connection. Only for a post
    // that changes nothing on the server (a sign-in); never for a run-log post.
    bool retryOnFreshConnection = false;
};
inline constexpr RequestOptions kOrdinaryRequestOptions{};
inline constexpr RequestOptions kSecureRequestOptions{.secure = true};

// Cookies that responses set, sent with later requests to the same host by every
// session that holds the same store, on any thread.
class CookieStore;
class Transport;
std::shared_ptr<CookieStore> ProcessCookieStore();  // the one both sign-ins rely on
std::shared_ptr<CookieStore> MakeCookieStore();     // an isolated one, for tests

struct WebSessionConfig {
    using TransportMaker = std::function<std::unique_ptr<Transport>(const WebSessionConfig&)>;
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
    // Null: the platform's transport. The demo's in-process stand-ins set
    // their own; no settings file can.
    TransportMaker makeTransport;
};

// The most bytes of headers an answer may bring, redirects included, as a
// browser allows: more is a flood, not an answer.
inline constexpr std::size_t kMaxHeaderBytes = 256u << 10;

// The most bytes of a Retry-After header kept; a longer one is cut there.
inline constexpr std::size_t kMaxRetryAfterBytes = 256;

// Why a request did not give a complete status-200 answer.
enum class TransferError {
    None,
    Cancelled,
    TimedOut,           // stalled, too slow, or past its deadline
    TooLarge,           // the body, or the headers, passed the size limit
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

struct TransferRequest {
    std::string_view url;    // http or https, no zero byte; its scheme gives only the default port
    RequestOptions options;  // a secure request is redirected to https only
    const std::string_view* form = nullptr;  // a POST body; null for GET
    std::vector<std::string> headers;        // in the order they are sent
};

struct TransferOutcome {
    TransferError error = TransferError::None;
    long status = 0;           // final status; 0 when no answer arrived
    long redirects = 0;        // redirects followed before the outcome
    bool requestSent = false;  // a POST went out whole: the server may have acted on it
    std::string location;      // a 3xx not followed: its Location header, as sent
    // A final 429 or 503: its Retry-After header as sent (at most
    // kMaxRetryAfterBytes of it), or empty.
    std::string retryAfter;
    std::string detail;  // the transport's own words on a failure, if it has any
    // TimedOut: which limit passed (NetStalled, NetDeadline or NetTooSlow),
    // its {0}, the host, left for the session to fill.
    std::optional<Problem> limit;
    bool reusedConnection = false;  // it went out on a kept-alive connection
};

// The errors whose kind alone is not enough to act on: the transport adds its
// own words in `detail`.
inline bool NeedsDetail(TransferError error) {
    return error == TransferError::Untrusted || error == TransferError::WrongHost ||
           error == TransferError::Tls || error == TransferError::Other;
}

}  // namespace strivo
