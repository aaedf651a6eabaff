#include "net/TransportCurl.h"

#include <openssl/ssl.h>

#include <algorithm>
#include <cerrno>
#include <optional>
#include <string>

#include "net/BodyLineReader.h"
#include "net/CookieStoreCurl.h"
#include "net/GlobalCurl.h"
#include "net/RequestUrlCurl.h"
#include "net/TrustedCertificates.h"

namespace strivo {
namespace {

// Longest wait between two looks at the stall limit; a stop wakes the poll at once.
constexpr std::chrono::milliseconds kLongestPoll{250};

struct HeaderListDeleter {
    void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};
using HeaderList = std::unique_ptr<curl_slist, HeaderListDeleter>;

// The request's header lines as libcurl takes them; none when memory runs out.
std::optional<HeaderList> MakeHeaderList(const std::vector<std::string>& lines) {
    HeaderList list;
    for (const auto& line : lines) {
        curl_slist* longer = curl_slist_append(list.get(), line.c_str());
        if (longer == nullptr) {
            return std::nullopt;
        }
        static_cast<void>(list.release());  // now the tail of `longer`
        list.reset(longer);
    }
    return list;
}

// The value of a header line, without the spaces around it, when the line
// names that header (`name` in lower case, with its colon).
std::optional<std::string_view> HeaderValue(std::string_view line, std::string_view name) {
    if (line.size() <= name.size() ||
        !std::equal(name.begin(), name.end(), line.begin(), [](char a, char b) {
            return a == (b >= 'A' && b <= 'Z' ? static_cast<char>(b - 'A' + 'a') : b);
        })) {
        return std::nullopt;
    }
    line.remove_prefix(name.size());
    const std::size_t begin = line.find_first_not_of(" \t");
    const std::size_t end = line.find_last_not_of(" \t\r\n");
    return begin == std::string_view::npos ? std::string_view()
                                           : line.substr(begin, end - begin + 1);
}

TransferError ErrorFor(CURLcode code, long osErrno) {
    switch (code) {
        case CURLE_OK:
            return TransferError::None;
        case CURLE_COULDNT_CONNECT:
            return osErrno == ECONNREFUSED ? TransferError::ConnectionRefused
                                           : TransferError::CannotConnect;
        case CURLE_OPERATION_TIMEDOUT:  // no overall time-out is set: the connect's
            return TransferError::ConnectTimeout;
        case CURLE_COULDNT_RESOLVE_HOST:
        case CURLE_COULDNT_RESOLVE_PROXY:
            return TransferError::UnknownHost;
        case CURLE_TOO_MANY_REDIRECTS:
            return TransferError::TooManyRedirects;
        case CURLE_UNSUPPORTED_PROTOCOL:  // only a redirect can lead to another protocol
            return TransferError::RedirectRefused;
        case CURLE_SSL_CONNECT_ERROR:
        case CURLE_PEER_FAILED_VERIFICATION:
        case CURLE_SSL_CERTPROBLEM:
        case CURLE_SSL_CIPHER:
        case CURLE_SSL_CACERT_BADFILE:
        case CURLE_SSL_ISSUER_ERROR:
        case CURLE_SSL_ENGINE_INITFAILED:
            return TransferError::Tls;
        case CURLE_GOT_NOTHING:
        case CURLE_RECV_ERROR:
        case CURLE_SEND_ERROR:
        case CURLE_PARTIAL_FILE:
        case CURLE_SEND_FAIL_REWIND:  // it would have sent a POST again: see Perform
            return TransferError::ConnectionLost;
        case CURLE_URL_MALFORMAT:
            return TransferError::BadUrl;
        case CURLE_OUT_OF_MEMORY:
            return TransferError::OutOfMemory;
        default:
            return TransferError::Other;
    }
}

}  // namespace

MadeTransport MakeTransport(const WebSessionConfig& config) {
    LoadedCertificates loaded = TrustedCertificates::Load(config.caFile, config.caPem);
    if (!loaded.certificates) {
        return {nullptr, std::move(loaded.why)};
    }
    auto transport = TransportCurl::Create(
        config, std::make_shared<const TrustedCertificates>(std::move(*loaded.certificates)));
    if (!transport) {
        return {nullptr, Problem(ProblemCode::TransportCannotStart, {}, "libcurl")};
    }
    return {std::move(transport)};
}

std::unique_ptr<TransportCurl> TransportCurl::Create(
    const WebSessionConfig& config, std::shared_ptr<const TrustedCertificates> trusted) {
    if (!EnsureCurlReady()) {
        return nullptr;
    }
    std::unique_ptr<TransportCurl> transport(new TransportCurl(config, std::move(trusted)));
    if (!transport->m_easy || !transport->m_multi) {
        return nullptr;
    }
    return transport;
}

TransportCurl::TransportCurl(const WebSessionConfig& config,
                             std::shared_ptr<const TrustedCertificates> trusted)
    : m_config(config),
      m_trusted(std::move(trusted)),
      m_easy(curl_easy_init()),
      m_multi(curl_multi_init()) {
    if (!m_easy || !m_multi) {
        return;
    }
    CURL* easy = m_easy.get();
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(easy, CURLOPT_SHARE, m_config.cookies->Handle());
    curl_easy_setopt(easy, CURLOPT_COOKIEFILE, "");  // the cookie engine, in memory only
    curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(easy, CURLOPT_MAXREDIRS, 10L);
    curl_easy_setopt(easy, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));
    curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS,
                     static_cast<long>(config.connectTimeout.count()));
    curl_easy_setopt(easy, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(easy, CURLOPT_SSL_VERIFYHOST, 2L);  // the certificate must name the host
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &TransportCurl::OnBody);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, this);
    curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, &TransportCurl::OnHeader);
    curl_easy_setopt(easy, CURLOPT_HEADERDATA, this);
    curl_easy_setopt(easy, CURLOPT_XFERINFOFUNCTION, &TransportCurl::OnProgress);
    curl_easy_setopt(easy, CURLOPT_XFERINFODATA, this);
    curl_easy_setopt(easy, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, m_errorText);
    // Reading the system's certificate authorities takes longer than a
    // handshake, and libcurl would read them for every connection: the process
    // reads them once, and OnSslContext gives each connection the store of
    // them and the extra ones.
    char* systemFile = nullptr;
    char* systemFolder = nullptr;
    curl_easy_getinfo(easy, CURLINFO_CAINFO, &systemFile);
    curl_easy_getinfo(easy, CURLINFO_CAPATH, &systemFolder);
    m_system = {systemFile != nullptr ? systemFile : "",
                systemFolder != nullptr ? systemFolder : ""};
    curl_easy_setopt(easy, CURLOPT_CAINFO, nullptr);
    curl_easy_setopt(easy, CURLOPT_CAPATH, nullptr);
    curl_easy_setopt(easy, CURLOPT_SSL_CTX_FUNCTION, &TransportCurl::OnSslContext);
    curl_easy_setopt(easy, CURLOPT_SSL_CTX_DATA, this);
}

void TransportCurl::Wake() {
    curl_multi_wakeup(m_multi.get());
}

TransferOutcome TransportCurl::Perform(const TransferRequest& request, std::stop_token stop,
                                       BodyLineReader& body) {
    m_stop = std::move(stop);
    m_body = &body;
    m_received = 0;
    m_moved = 0;
    m_clock.emplace(m_config, request.options.deadline);
    m_abort = Abort::None;
    m_errorText[0] = '\0';

    TransferOutcome outcome;
    const std::optional<std::string> url = RequestUrl(request.url, request.options.secure);
    if (!url) {
        outcome.error = TransferError::BadUrl;
        return outcome;
    }
    std::optional<HeaderList> headers = MakeHeaderList(request.headers);
    if (!headers) {
        outcome.error = TransferError::OutOfMemory;
        return outcome;
    }
    SetUp(request, *url, headers->get());
    const Ended ended = Transfer(request, outcome);
    curl_easy_setopt(m_easy.get(), CURLOPT_HTTPHEADER, nullptr);
    m_body = nullptr;
    Judge(ended, outcome);
    return outcome;
}

void TransportCurl::SetUp(const TransferRequest& request, const std::string& url,
                          curl_slist* headers) {
    CURL* easy = m_easy.get();
    curl_easy_setopt(easy, CURLOPT_URL, url.c_str());
    curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, request.options.followRedirects ? 1L : 0L);
    curl_easy_setopt(easy, CURLOPT_HTTPHEADER, headers);
    // A secure request followed to plain HTTP would send the session's cookies in clear.
    curl_easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR,
                     request.options.secure ? "https" : "http,https");
    m_form = request.form != nullptr ? *request.form : std::string_view();
    m_formTaken = 0;
    m_location.clear();
    m_retryAfter.reset();
    m_headerBytes = 0;
    m_headEnded = true;
    if (request.form != nullptr) {
        // The body comes from a read function with no way to rewind it. When a
        // kept-alive connection dies after the request went out, libcurl would
        // send the request again on a fresh one; without a rewind it fails
        // instead (CURLE_SEND_FAIL_REWIND), and the post is not made twice.
        curl_easy_setopt(easy, CURLOPT_POST, 1L);
        curl_easy_setopt(easy, CURLOPT_READFUNCTION, &TransportCurl::OnRead);
        curl_easy_setopt(easy, CURLOPT_READDATA, this);
        curl_easy_setopt(easy, CURLOPT_POSTFIELDSIZE_LARGE,
                         static_cast<curl_off_t>(request.form->size()));
    } else {
        curl_easy_setopt(easy, CURLOPT_HTTPGET, 1L);
    }
}

TransportCurl::Ended TransportCurl::Transfer(const TransferRequest& request,
                                             TransferOutcome& outcome) {
    Ended ended;
    CURL* easy = m_easy.get();
    if (curl_multi_add_handle(m_multi.get(), easy) != CURLM_OK) {
        return ended;
    }
    ended.code = Run();
    curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &outcome.status);
    curl_easy_getinfo(easy, CURLINFO_REDIRECT_COUNT, &outcome.redirects);
    curl_easy_getinfo(easy, CURLINFO_OS_ERRNO, &ended.osErrno);
    curl_easy_getinfo(easy, CURLINFO_SSL_VERIFYRESULT, &ended.verifyResult);
    long connects = 0;
    curl_easy_getinfo(easy, CURLINFO_NUM_CONNECTS, &connects);
    // libcurl wants to rewind a post only to send it again on a fresh
    // connection when the kept-alive one died, or to follow a redirect.
    outcome.reusedConnection =
        connects == 0 || (ended.code == CURLE_SEND_FAIL_REWIND && outcome.status == 0);
    if (!request.options.followRedirects && outcome.status / 100 == 3) {
        // libcurl works out its redirect URL only for an answer read whole.
        outcome.location = m_location;
    }
    // The headers of the last answer, which is the final one, came in whole.
    if ((outcome.status == 429 || outcome.status == 503) && m_headEnded) {
        outcome.retryAfter = m_retryAfter.value_or("");
    }
    long headerBytes = 0;
    curl_easy_getinfo(easy, CURLINFO_REQUEST_SIZE, &headerBytes);
    outcome.requestSent = request.form != nullptr && m_formTaken == m_form.size() &&
                          (m_formTaken > 0 || headerBytes > 0);
    // Taking the handle out mid-transfer also closes that connection.
    curl_multi_remove_handle(m_multi.get(), easy);
    return ended;
}

void TransportCurl::Judge(const Ended& ended, TransferOutcome& outcome) const {
    switch (m_abort) {
        case Abort::Cancelled:
            outcome.error = TransferError::Cancelled;
            return;
        case Abort::TimedOut:
            outcome.error = TransferError::TimedOut;
            outcome.limit = m_clock->Why();
            return;
        case Abort::TooLarge:
            outcome.error = TransferError::TooLarge;
            return;
        case Abort::Status:
            outcome.error = TransferError::Status;
            return;
        case Abort::None:
            break;
    }
    const CURLcode code = ended.code;
    outcome.error = ErrorFor(code, ended.osErrno);
    // libcurl refuses a header line longer than it holds as "out of memory".
    if (code == CURLE_OUT_OF_MEMORY && !m_headEnded) {
        outcome.error = TransferError::TooLarge;
    }
    if (code == CURLE_SEND_FAIL_REWIND && outcome.status / 100 == 3) {
        // A 307 or 308 keeps the method: following it would post the form again.
        outcome.error = TransferError::RedirectRefused;
        outcome.location = m_location;
        outcome.detail = std::to_string(outcome.status) + " to " + m_location;
    }
    // OpenSSL checks the chain during the handshake and leaves its
    // verdict; libcurl checks the host name itself afterwards, with the
    // verdict still X509_V_OK or, before libcurl stores it, its own 1.
    if (code == CURLE_PEER_FAILED_VERIFICATION) {
        outcome.error =
            ended.verifyResult > 1 ? TransferError::Untrusted : TransferError::WrongHost;
    }
    if (NeedsDetail(outcome.error)) {
        outcome.detail = m_errorText[0] != '\0' ? m_errorText : curl_easy_strerror(code);
    }
}

CURLcode TransportCurl::Run() {
    for (;;) {
        int running = 0;
        if (curl_multi_perform(m_multi.get(), &running) != CURLM_OK) {
            return CURLE_OUT_OF_MEMORY;
        }
        int queued = 0;
        while (const CURLMsg* message = curl_multi_info_read(m_multi.get(), &queued)) {
            if (message->msg == CURLMSG_DONE && message->easy_handle == m_easy.get()) {
                return message->data.result;
            }
        }
        // The progress callback sees these too, but only while libcurl calls it.
        if (Ending()) {
            return CURLE_ABORTED_BY_CALLBACK;
        }
        curl_multi_poll(m_multi.get(), nullptr, 0, PollMilliseconds(), nullptr);
    }
}

bool TransportCurl::Ending() {
    if (m_stop.stop_requested()) {
        m_abort = Abort::Cancelled;
    } else if (m_clock->Exceeded()) {
        m_abort = Abort::TimedOut;
    }
    return m_abort != Abort::None;
}

void TransportCurl::Count(std::size_t bytes) {
    m_moved += bytes;
    m_clock->Moved(m_moved);
}

int TransportCurl::PollMilliseconds() const {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(m_clock->StallAt() - Clock::now());
    return static_cast<int>(
        std::clamp(left + std::chrono::milliseconds(1), std::chrono::milliseconds(1), kLongestPoll)
            .count());
}

std::size_t TransportCurl::OnBody(char* data, std::size_t size, std::size_t count, void* self) {
    auto& transfer = *static_cast<TransportCurl*>(self);
    const std::size_t length = size * count;
    transfer.Count(length);
    long status = 0;
    curl_easy_getinfo(transfer.m_easy.get(), CURLINFO_RESPONSE_CODE, &status);
    if (status < 200 || status > 299) {
        transfer.m_abort = Abort::Status;
        return CURL_WRITEFUNC_ERROR;
    }
    curl_off_t announced = -1;
    curl_easy_getinfo(transfer.m_easy.get(), CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &announced);
    const std::size_t limit = transfer.m_config.maxBodyBytes;
    if (length > limit - transfer.m_received ||
        (announced > 0 && static_cast<std::size_t>(announced) > limit)) {
        transfer.m_abort = Abort::TooLarge;
        return CURL_WRITEFUNC_ERROR;
    }
    transfer.m_received += length;
    transfer.m_body->Append(std::string_view(data, length));
    return length;
}

std::size_t TransportCurl::OnRead(char* buffer, std::size_t size, std::size_t count, void* self) {
    auto& transport = *static_cast<TransportCurl*>(self);
    const std::size_t length =
        std::min(size * count, transport.m_form.size() - transport.m_formTaken);
    std::copy_n(transport.m_form.data() + transport.m_formTaken, length, buffer);
    transport.m_formTaken += length;
    transport.Count(length);
    return length;
}

std::size_t TransportCurl::OnHeader(char* data, std::size_t size, std::size_t count, void* self) {
    auto& transfer = *static_cast<TransportCurl*>(self);
    transfer.m_clock->AnswerStarted();
    transfer.Count(size * count);
    std::string_view line(data, size * count);
    // Counted here, short of libcurl's own limit, which it reports as a
    // receive error, as if the connection broke.
    transfer.m_headerBytes += line.size();
    if (transfer.m_headerBytes > kMaxHeaderBytes) {
        transfer.m_abort = Abort::TooLarge;
        return 0;
    }
    if (line.starts_with("HTTP/")) {
        transfer.m_location.clear();  // a new response
        transfer.m_retryAfter.reset();
        transfer.m_headEnded = false;
    } else if (line == "\r\n" || line == "\n") {
        transfer.m_headEnded = true;
    } else if (const auto location = HeaderValue(line, "location:")) {
        transfer.m_location = *location;
    } else if (const auto retryAfter = HeaderValue(line, "retry-after:");
               retryAfter && !transfer.m_retryAfter) {
        // The first, as WinINet gives it.
        transfer.m_retryAfter = std::string(retryAfter->substr(0, kMaxRetryAfterBytes));
    }
    return size * count;
}

int TransportCurl::OnProgress(void* self, curl_off_t /*downTotal*/, curl_off_t /*downNow*/,
                              curl_off_t /*upTotal*/, curl_off_t /*upNow*/) {
    return static_cast<TransportCurl*>(self)->Ending() ? 1 : 0;
}

CURLcode TransportCurl::OnSslContext(CURL* /*easy*/, void* sslContext, void* self) {
    const auto& transport = *static_cast<TransportCurl*>(self);
    const std::shared_ptr<X509_STORE> store = transport.m_trusted->Store(transport.m_system);
    if (!store) {
        return CURLE_SSL_CACERT_BADFILE;  // what libcurl says when it cannot read them
    }
    SSL_CTX_set1_cert_store(static_cast<SSL_CTX*>(sslContext), store.get());
    return CURLE_OK;
}

}  // namespace strivo
