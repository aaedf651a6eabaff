#include "net/WebSession.h"

#include <cerrno>
#include <condition_variable>
#include <new>
#include <utility>

#include "net/BodyLineReader.h"
#include "net/CurlTransfer.h"
#include "net/RequestUrl.h"
#include "net/TrustedCertificates.h"

namespace strivo {
namespace {

constexpr const char* kFormContentType = "Content-Type: application/x-www-form-urlencoded";
constexpr const char* kAccept = "Accept: */*";
constexpr const char* kUserAgent = "User-Agent: Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.0)";
// A large POST would otherwise wait for "100 Continue", which old servers never send.
constexpr const char* kNoExpect = "Expect:";

HttpResult Failure(std::string reason, long status = 0) {
    HttpResult result;
    result.status = status;
    result.reason = std::move(reason);
    return result;
}

std::string ReasonFor(const TransferOutcome& outcome) {
    if (outcome.cancelled) {
        return "cancelled";
    }
    if (outcome.stalled) {
        return "time-out";
    }
    if (outcome.tooLarge) {
        return "too large";
    }
    if (outcome.statusNot200 || (outcome.code == CURLE_OK && outcome.status != 200)) {
        return "status " + std::to_string(outcome.status);
    }
    switch (outcome.code) {
        case CURLE_COULDNT_CONNECT:
            return outcome.osErrno == ECONNREFUSED ? "connection refused" : "cannot connect";
        case CURLE_OPERATION_TIMEDOUT:
            return "time-out";
        case CURLE_COULDNT_RESOLVE_HOST:
        case CURLE_COULDNT_RESOLVE_PROXY:
            return "unknown host";
        case CURLE_TOO_MANY_REDIRECTS:
            return "too many redirects";
        case CURLE_UNSUPPORTED_PROTOCOL:  // only a redirect can lead to another protocol
            return "redirect refused";
        case CURLE_SSL_CONNECT_ERROR:
        case CURLE_PEER_FAILED_VERIFICATION:
        case CURLE_SSL_CERTPROBLEM:
        case CURLE_SSL_CIPHER:
        case CURLE_SSL_CACERT_BADFILE:
        case CURLE_SSL_ISSUER_ERROR:
        case CURLE_SSL_ENGINE_INITFAILED:
            return "TLS";
        case CURLE_GOT_NOTHING:
        case CURLE_RECV_ERROR:
        case CURLE_SEND_ERROR:
        case CURLE_PARTIAL_FILE:
            return "connection lost";
        case CURLE_OUT_OF_MEMORY:
            return "out of memory";
        default:
            return "network error";
    }
}

// Tried again only when the first hop never reached the server: nothing was
// sent, so a form cannot be posted twice.
bool IsConnectFailure(const TransferOutcome& outcome) {
    return !outcome.cancelled && !outcome.stalled && outcome.redirects == 0 &&
           (outcome.code == CURLE_COULDNT_CONNECT || outcome.code == CURLE_OPERATION_TIMEDOUT);
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
    std::lock_guard lock(session->m_transferMutex);
    if (session->m_transfer) {
        session->m_transfer->Wake();
    }
}

bool WebSession::OpenSession() {
    if (m_stop.stop_requested()) {
        return false;
    }
    if (m_transfer) {
        return true;
    }
    try {
        auto trusted = TrustedCertificates::Load(m_config.caFile, m_config.caPem);
        if (!trusted) {
            return false;
        }
        auto transfer = CurlTransfer::Create(
            m_config, std::make_shared<const TrustedCertificates>(std::move(*trusted)));
        if (!transfer) {
            return false;
        }
        std::lock_guard lock(m_transferMutex);
        m_transfer = std::move(transfer);
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

HttpResult WebSession::HttpGet(std::string_view url, std::uint32_t options) {
    return Request(url, options, nullptr);
}

HttpResult WebSession::HttpPostForm(std::string_view url, std::string_view body) {
    return Request(url, kOrdinaryRequestOptions, &body);
}

bool WebSession::CloseRequest() {
    return true;
}

bool WebSession::CloseAll() {
    std::unique_ptr<CurlTransfer> closing;
    {
        std::lock_guard lock(m_transferMutex);
        closing = std::move(m_transfer);
    }
    return true;
}

HttpResult WebSession::Request(std::string_view url, std::uint32_t options,
                               const std::string_view* form) {
    if (m_stop.stop_requested()) {
        return Failure("cancelled");
    }
    if (!m_transfer) {
        return Failure("no session");
    }
    TransferRequest request;
    request.secure = (options & INTERNET_FLAG_SECURE) != 0;
    request.verifyHostName = (options & INTERNET_FLAG_IGNORE_CERT_CN_INVALID) == 0;
    auto target = RequestUrl(url, request.secure);
    if (!target) {
        return Failure("bad URL");
    }
    request.url = std::move(*target);
    request.form = form;
    // The request carries no header of these names yet; ours replace libcurl's own.
    if (form != nullptr) {
        request.headers.emplace_back(kFormContentType);
    }
    request.headers.emplace_back(kAccept);
    request.headers.emplace_back(kUserAgent);
    request.headers.emplace_back(kNoExpect);

    try {
        for (int attempt = 0;; ++attempt) {
            BodyLineReader body;
            const TransferOutcome outcome = m_transfer->Perform(request, m_stop, body);
            if (outcome.code == CURLE_OK && outcome.status == 200) {
                HttpResult result;
                result.ok = true;
                result.status = outcome.status;
                result.body = body.TakeText();
                return result;
            }
            if (!IsConnectFailure(outcome) || attempt >= m_config.connectRetries) {
                return Failure(ReasonFor(outcome), outcome.status);
            }
            if (!WaitBeforeRetry()) {
                return Failure("cancelled");
            }
        }
    } catch (const std::bad_alloc&) {
        return Failure("out of memory");
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
