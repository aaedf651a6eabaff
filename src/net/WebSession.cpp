#include "net/WebSession.h"

#include <algorithm>
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

ProblemCode CodeOf(TransferError error) {
    switch (error) {
        case TransferError::None:
            return ProblemCode::None;
        case TransferError::Cancelled:
            return ProblemCode::NetCancelled;
        case TransferError::TimedOut:
        case TransferError::ConnectTimeout:
            return ProblemCode::NetTimedOut;
        case TransferError::TooLarge:
            return ProblemCode::NetTooLarge;
        case TransferError::Status:
            return ProblemCode::NetStatus;
        case TransferError::ConnectionRefused:
            return ProblemCode::NetRefused;
        case TransferError::CannotConnect:
            return ProblemCode::NetCannotConnect;
        case TransferError::UnknownHost:
            return ProblemCode::NetUnknownHost;
        case TransferError::TooManyRedirects:
            return ProblemCode::NetTooManyRedirects;
        case TransferError::RedirectRefused:
            return ProblemCode::NetRedirectRefused;
        case TransferError::Untrusted:
            return ProblemCode::NetUntrusted;
        case TransferError::WrongHost:
            return ProblemCode::NetWrongHost;
        case TransferError::Tls:
            return ProblemCode::NetTls;
        case TransferError::ConnectionLost:
            return ProblemCode::NetConnectionLost;
        case TransferError::BadUrl:
            return ProblemCode::NetBadUrl;
        case TransferError::NoSession:
            return ProblemCode::NetNoSession;
        case TransferError::OutOfMemory:
            return ProblemCode::NetOutOfMemory;
        case TransferError::CertificateFile:
        case TransferError::Other:
            break;
    }
    return ProblemCode::NetOther;
}

// "host:port" of a URL, as written in it; empty when it names none.
std::string_view HostOf(std::string_view url) {
    const auto scheme = url.find("://");
    if (scheme == std::string_view::npos) {
        return {};
    }
    url.remove_prefix(scheme + 3);
    url = url.substr(0, url.find_first_of("/?#"));
    return url.substr(url.find('@') + 1);  // never the user and password of a URL
}

// "localhost:8443: connection refused (Failed to connect to localhost port 8443)".
HttpResult Failure(std::string_view url, TransferError error, long status = 0,
                   std::string_view detail = {}, const std::optional<Problem>& limit = {}) {
    HttpResult result;
    result.status = status;
    result.error = error;
    // A time-out says which limit passed.
    result.problem = limit && limit->code != ProblemCode::None ? *limit : Problem(CodeOf(error));
    result.problem.values.resize(std::max<std::size_t>(result.problem.values.size(), 1));
    result.problem.values[0] = std::string(HostOf(url));
    if (error == TransferError::Status) {
        result.problem.values.push_back(std::to_string(status));
    }
    result.problem.detail = std::string(detail);
    return result;
}

// Tried again only when the first hop never reached the server: nothing was
// sent, so a form cannot be posted twice.
bool IsConnectFailure(const TransferOutcome& outcome) {
    return outcome.redirects == 0 && !outcome.requestSent &&
           (outcome.error == TransferError::ConnectionRefused ||
            outcome.error == TransferError::CannotConnect ||
            outcome.error == TransferError::ConnectTimeout);
}

// A post that the server's end of a kept-alive connection cut off: closed as
// the post went out, with no answer. A fresh connection would have been
// answered.
bool IsStaleConnection(const TransferOutcome& outcome) {
    return outcome.reusedConnection && outcome.redirects == 0 && outcome.status == 0 &&
           outcome.error == TransferError::ConnectionLost;
}

}  // namespace

// The server answered, even if not with what was wanted.
bool HttpResult::answered() const {
    return error == TransferError::None || error == TransferError::Status ||
           error == TransferError::TooManyRedirects || error == TransferError::RedirectRefused;
}

const std::string& HttpResult::Text() const {
    static const std::string empty;
    return ok() ? body : empty;
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

HttpResult WebSession::OpenSession() {
    if (m_stop.stop_requested()) {
        return Failure({}, TransferError::Cancelled);
    }
    if (m_transport) {
        return {};
    }
    try {
        MadeTransport made = m_config.makeTransport
                                 ? MadeTransport{m_config.makeTransport(m_config)}
                                 : MakeTransport(m_config);
        if (!made.transport) {
            HttpResult failed;
            failed.error = TransferError::CertificateFile;
            failed.problem = std::move(made.problem);
            return failed;
        }
        std::lock_guard lock(m_transportMutex);
        m_transport = std::move(made.transport);
    } catch (const std::bad_alloc&) {
        return Failure({}, TransferError::OutOfMemory);
    }
    return {};
}

HttpResult WebSession::HttpGet(std::string_view url, RequestOptions options) {
    return Request(url, options, nullptr);
}

HttpResult WebSession::HttpGet(std::string_view url, RequestOptions options,
                               const std::function<void(std::string_view text)>& sink) {
    return Request(url, options, nullptr, &sink);
}

HttpResult WebSession::HttpPostForm(std::string_view url, std::string_view body,
                                    RequestOptions options) {
    return Request(url, options, &body);
}

void WebSession::CloseAll() {
    std::unique_ptr<Transport> closing;
    std::lock_guard lock(m_transportMutex);
    closing = std::move(m_transport);
}

HttpResult WebSession::Request(std::string_view url, RequestOptions options,
                               const std::string_view* form,
                               const std::function<void(std::string_view text)>* sink) {
    // A URL ends at its first zero byte, as the workers' zero-terminated texts did.
    url = url.substr(0, url.find('\0'));
    if (m_stop.stop_requested()) {
        return Failure(url, TransferError::Cancelled);
    }
    if (!m_transport) {
        return Failure(url, TransferError::NoSession);
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
        bool freshConnectionTried = false;
        for (int attempt = 0;; ++attempt) {
            BodyLineReader body = sink != nullptr ? BodyLineReader(*sink) : BodyLineReader();
            const TransferOutcome outcome = m_transport->Perform(request, m_stop, body);
            if (outcome.error == TransferError::None && outcome.status == 200) {
                HttpResult result;
                result.status = outcome.status;
                result.body = body.TakeText();
                result.zeroByteCuts = body.TakeCuts();
                result.requestSent = outcome.requestSent;
                return result;
            }
            if (options.retryOnFreshConnection && !freshConnectionTried &&
                IsStaleConnection(outcome)) {
                // A new transport holds no connection to reuse; the cookies
                // live apart from it.
                freshConnectionTried = true;
                --attempt;
                CloseAll();
                if (const HttpResult opened = OpenSession(); !opened.ok()) {
                    return opened;
                }
                continue;
            }
            if (!IsConnectFailure(outcome) || attempt >= m_config.connectRetries) {
                HttpResult result = Failure(
                    url,
                    outcome.error == TransferError::None ? TransferError::Status : outcome.error,
                    outcome.status, outcome.detail, outcome.limit);
                result.requestSent = outcome.requestSent;
                result.location = outcome.location;
                result.retryAfter = outcome.retryAfter;
                // Kept with the problem, so that whoever the failure reaches can
                // honour the wait it asks for.
                if (result.problem.code == ProblemCode::NetStatus && !result.retryAfter.empty()) {
                    result.problem.values.push_back(result.retryAfter);
                }
                return result;
            }
            if (!WaitBeforeRetry()) {
                return Failure(url, TransferError::Cancelled);
            }
        }
    } catch (const std::bad_alloc&) {
        return Failure(url, TransferError::OutOfMemory);
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
