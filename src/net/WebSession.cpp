#include "net/WebSession.h"

#include <condition_variable>
#include <new>
#include <utility>

#include "net/BodyLineReader.h"
#include "net/Transport.h"

namespace strivo {
namespace {

constexpr const char* kFormContentType = "Content-Type: application/x-www-form-urlencoded";
constexpr const char* kAccept = "Accept: */*";
constexpr const char* kUserAgent = "User-Agent: Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.0)";
// A large POST would otherwise wait for "100 Continue", which old servers never send.
constexpr const char* kNoExpect = "Expect:";

std::string ReasonFor(TransferError error, long status) {
    switch (error) {
        case TransferError::None:
            return {};
        case TransferError::Cancelled:
            return "cancelled";
        case TransferError::Stalled:
        case TransferError::ConnectTimeout:
            return "time-out";
        case TransferError::TooLarge:
            return "too large";
        case TransferError::Status:
            return "status " + std::to_string(status);
        case TransferError::ConnectionRefused:
            return "connection refused";
        case TransferError::CannotConnect:
            return "cannot connect";
        case TransferError::UnknownHost:
            return "unknown host";
        case TransferError::TooManyRedirects:
            return "too many redirects";
        case TransferError::RedirectRefused:
            return "redirect refused";
        case TransferError::Tls:
            return "TLS";
        case TransferError::ConnectionLost:
            return "connection lost";
        case TransferError::BadUrl:
            return "bad URL";
        case TransferError::NoSession:
            return "no session";
        case TransferError::OutOfMemory:
            return "out of memory";
        case TransferError::Other:
            break;
    }
    return "network error";
}

HttpResult Failure(TransferError error, long status = 0) {
    HttpResult result;
    result.status = status;
    result.error = error;
    result.reason = ReasonFor(error, status);
    return result;
}

// The server answered, even if not with what was wanted.
bool Answered(TransferError error) {
    return error == TransferError::None || error == TransferError::Status ||
           error == TransferError::TooManyRedirects || error == TransferError::RedirectRefused;
}

// Tried again only when the first hop never reached the server: nothing was
// sent, so a form cannot be posted twice.
bool IsConnectFailure(const TransferOutcome& outcome) {
    return outcome.redirects == 0 && (outcome.error == TransferError::ConnectionRefused ||
                                      outcome.error == TransferError::CannotConnect ||
                                      outcome.error == TransferError::ConnectTimeout);
}

}  // namespace

const std::string& HttpResult::Text() const {
    static const std::string empty;
    return ok ? body : empty;
}

WebSession::WebSession(WebSessionConfig config, std::stop_token stop)
    : m_config(std::move(config)), m_stop(std::move(stop)), m_onStop(m_stop, Wake{this}) {
    if (!m_config.cookies) {
        m_config.cookies = ProcessCookieStore();
    }
}

WebSession::~WebSession() {
    CloseAll();
}

void WebSession::Wake::operator()() const noexcept {
    std::lock_guard lock(session->m_transportMutex);
    if (session->m_transport) {
        session->m_transport->Wake();
    }
}

bool WebSession::OpenSession() {
    if (m_stop.stop_requested()) {
        return false;
    }
    if (m_transport) {
        return true;
    }
    try {
        auto transport = MakeTransport(m_config);
        if (!transport) {
            return false;
        }
        std::lock_guard lock(m_transportMutex);
        m_transport = std::move(transport);
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

HttpResult WebSession::HttpGet(std::string_view url, RequestOptions options) {
    return Request(url, options, nullptr);
}

HttpResult WebSession::HttpGet(std::string_view url, RequestOptions options,
                               const std::function<void(std::string_view text)>& sink) {
    return Request(url, options, nullptr, &sink);
}

HttpResult WebSession::HttpPostForm(std::string_view url, std::string_view body) {
    return Request(url, kOrdinaryRequestOptions, &body);
}

void WebSession::CloseAll() {
    std::unique_ptr<Transport> closing;
    std::lock_guard lock(m_transportMutex);
    closing = std::move(m_transport);
}

HttpResult WebSession::Request(std::string_view url, RequestOptions options,
                               const std::string_view* form,
                               const std::function<void(std::string_view text)>* sink) {
    if (m_stop.stop_requested()) {
        return Failure(TransferError::Cancelled);
    }
    if (!m_transport) {
        return Failure(TransferError::NoSession);
    }
    TransferRequest request{url, options, form, {}};
    // The request carries no header of these names yet; ours replace the transport's own.
    if (form != nullptr) {
        request.headers.emplace_back(kFormContentType);
    }
    request.headers.emplace_back(kAccept);
    request.headers.emplace_back(kUserAgent);
    request.headers.emplace_back(kNoExpect);

    try {
        for (int attempt = 0;; ++attempt) {
            BodyLineReader body = sink != nullptr ? BodyLineReader(*sink) : BodyLineReader();
            const TransferOutcome outcome = m_transport->Perform(request, m_stop, body);
            if (outcome.error == TransferError::None && outcome.status == 200) {
                HttpResult result;
                result.ok = true;
                result.status = outcome.status;
                result.body = body.TakeText();
                result.answered = true;
                return result;
            }
            if (!IsConnectFailure(outcome) || attempt >= m_config.connectRetries) {
                HttpResult result = Failure(
                    outcome.error == TransferError::None ? TransferError::Status : outcome.error,
                    outcome.status);
                result.answered = Answered(outcome.error);
                result.mayHaveArrived = !result.answered && outcome.requestSent;
                return result;
            }
            if (!WaitBeforeRetry()) {
                return Failure(TransferError::Cancelled);
            }
        }
    } catch (const std::bad_alloc&) {
        return Failure(TransferError::OutOfMemory);
    }
}

bool WebSession::WaitBeforeRetry() const {
    std::mutex mutex;
    std::condition_variable_any nobodyNotifies;
    std::unique_lock lock(mutex);
    nobodyNotifies.wait_for(lock, m_stop, m_config.connectRetryDelay, [] { return false; });
    return !m_stop.stop_requested();
}

}  // namespace strivo
