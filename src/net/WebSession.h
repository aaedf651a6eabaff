#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <stop_token>
#include <string>
#include <string_view>
#include <vector>

#include "model/Problem.h"
#include "net/Transfer.h"

// The workers' HTTP client. Nothing of the transport underneath shows here:
// libcurl on Linux, the platform's internet library on Windows.
namespace strivo {

struct HttpResult {
    long status = 0;   // final status; 0 when no response
    std::string body;  // CR LF line ends (see BodyLineReader); empty unless ok
    TransferError error = TransferError::None;
    // Why not ok: the cause, with the host ("localhost:8443") as its {0}
    // and the transport's own words as its detail.
    Problem problem;
    bool requestSent = false;  // a form went out whole
    // A 3xx not followed (RequestOptions::followRedirects): its Location header, as sent.
    std::string location;
    std::string retryAfter;  // 429/503: the Retry-After header as sent, or empty
    // What came before each zero byte that cut a read of the body (BodyLineReader::TakeCuts).
    std::vector<std::string> zeroByteCuts;

    // A response with status 200 arrived whole (or the session opened).
    bool ok() const { return error == TransferError::None; }
    // A final answer arrived whole (a status other than 2xx without its body).
    bool answered() const;
    // No whole answer, but the form went out whole: the server may have it.
    bool mayHaveArrived() const { return !answered() && requestSent; }
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
    HttpResult HttpPostForm(std::string_view url, std::string_view body,
                            RequestOptions options = kOrdinaryRequestOptions);
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
