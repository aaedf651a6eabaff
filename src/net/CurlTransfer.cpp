#include "net/CurlTransfer.h"

#include <openssl/ssl.h>

#include <algorithm>

#include "net/BodyLineReader.h"
#include "net/CookieStore.h"
#include "net/CurlGlobal.h"
#include "net/TrustedCertificates.h"

namespace strivo {
namespace {

// Longest wait between two looks at the stall limit; a stop wakes the poll at once.
constexpr std::chrono::milliseconds kLongestPoll{250};

struct HeaderListDeleter {
    void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};

}  // namespace

std::unique_ptr<CurlTransfer> CurlTransfer::Create(
    const WebSessionConfig& config, std::shared_ptr<const TrustedCertificates> trusted) {
    if (!EnsureCurlReady()) {
        return nullptr;
    }
    std::unique_ptr<CurlTransfer> transfer(new CurlTransfer(config, std::move(trusted)));
    if (transfer->m_easy == nullptr || transfer->m_multi == nullptr) {
        return nullptr;
    }
    return transfer;
}

CurlTransfer::CurlTransfer(const WebSessionConfig& config,
                           std::shared_ptr<const TrustedCertificates> trusted)
    : m_cookies(config.cookies),
      m_trusted(std::move(trusted)),
      m_stallLimit(config.stallLimit),
      m_maxBodyBytes(config.maxBodyBytes),
      m_easy(curl_easy_init()),
      m_multi(curl_multi_init()) {
    if (m_easy == nullptr || m_multi == nullptr) {
        return;
    }
    CURL* easy = m_easy;
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(easy, CURLOPT_SHARE, m_cookies->Handle());
    curl_easy_setopt(easy, CURLOPT_COOKIEFILE, "");  // the cookie engine, in memory only
    curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(easy, CURLOPT_MAXREDIRS, 10L);
    curl_easy_setopt(easy, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));
    curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS,
                     static_cast<long>(config.connectTimeout.count()));
    curl_easy_setopt(easy, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &CurlTransfer::OnBody);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, this);
    curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, &CurlTransfer::OnHeader);
    curl_easy_setopt(easy, CURLOPT_HEADERDATA, this);
    curl_easy_setopt(easy, CURLOPT_XFERINFOFUNCTION, &CurlTransfer::OnProgress);
    curl_easy_setopt(easy, CURLOPT_XFERINFODATA, this);
    curl_easy_setopt(easy, CURLOPT_NOPROGRESS, 0L);
    if (!m_trusted->Empty()) {
        // CURLOPT_CAINFO would replace the system's bundle; these come on top of it.
        curl_easy_setopt(easy, CURLOPT_SSL_CTX_FUNCTION, &CurlTransfer::OnSslContext);
        curl_easy_setopt(easy, CURLOPT_SSL_CTX_DATA, this);
    }
}

CurlTransfer::~CurlTransfer() {
    curl_multi_cleanup(m_multi);  // closes the kept connections
    curl_easy_cleanup(m_easy);
}

void CurlTransfer::Wake() {
    curl_multi_wakeup(m_multi);
}

TransferOutcome CurlTransfer::Perform(const TransferRequest& request, std::stop_token stop,
                                      BodyLineReader& body) {
    m_stop = std::move(stop);
    m_body = &body;
    m_received = 0;
    m_downNow = 0;
    m_upNow = 0;
    m_lastActivity = Clock::now();
    m_outcome = {};

    curl_slist* list = nullptr;
    for (const auto& line : request.headers) {
        curl_slist* longer = curl_slist_append(list, line.c_str());
        if (longer == nullptr) {
            curl_slist_free_all(list);
            m_outcome.code = CURLE_OUT_OF_MEMORY;
            return m_outcome;
        }
        list = longer;
    }
    const std::unique_ptr<curl_slist, HeaderListDeleter> headers(list);
    curl_easy_setopt(m_easy, CURLOPT_URL, request.url.c_str());
    curl_easy_setopt(m_easy, CURLOPT_HTTPHEADER, headers.get());
    curl_easy_setopt(m_easy, CURLOPT_SSL_VERIFYHOST, request.verifyHostName ? 2L : 0L);
    // A secure request followed to plain HTTP would send the session's cookies in clear.
    curl_easy_setopt(m_easy, CURLOPT_REDIR_PROTOCOLS_STR, request.secure ? "https" : "http,https");
    if (request.form != nullptr) {
        curl_easy_setopt(m_easy, CURLOPT_POSTFIELDSIZE_LARGE,
                         static_cast<curl_off_t>(request.form->size()));
        curl_easy_setopt(m_easy, CURLOPT_POSTFIELDS,
                         request.form->empty() ? "" : request.form->data());
    } else {
        curl_easy_setopt(m_easy, CURLOPT_HTTPGET, 1L);
    }

    if (curl_multi_add_handle(m_multi, m_easy) == CURLM_OK) {
        Run();
        curl_easy_getinfo(m_easy, CURLINFO_RESPONSE_CODE, &m_outcome.status);
        curl_easy_getinfo(m_easy, CURLINFO_REDIRECT_COUNT, &m_outcome.redirects);
        curl_easy_getinfo(m_easy, CURLINFO_OS_ERRNO, &m_outcome.osErrno);
        // Taking the handle out mid-transfer also closes that connection.
        curl_multi_remove_handle(m_multi, m_easy);
    } else {
        m_outcome.code = CURLE_OUT_OF_MEMORY;
    }
    curl_easy_setopt(m_easy, CURLOPT_HTTPHEADER, nullptr);
    m_body = nullptr;
    return m_outcome;
}

void CurlTransfer::Run() {
    for (;;) {
        int running = 0;
        if (curl_multi_perform(m_multi, &running) != CURLM_OK) {
            m_outcome.code = CURLE_OUT_OF_MEMORY;
            return;
        }
        int queued = 0;
        while (const CURLMsg* message = curl_multi_info_read(m_multi, &queued)) {
            if (message->msg == CURLMSG_DONE && message->easy_handle == m_easy) {
                m_outcome.code = message->data.result;
                return;
            }
        }
        // The progress callback sees these too, but only while libcurl calls it.
        if (m_stop.stop_requested()) {
            m_outcome.cancelled = true;
            return;
        }
        if (Stalled()) {
            m_outcome.stalled = true;
            return;
        }
        curl_multi_poll(m_multi, nullptr, 0, PollMilliseconds(), nullptr);
    }
}

int CurlTransfer::PollMilliseconds() const {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        m_lastActivity + m_stallLimit - Clock::now());
    return static_cast<int>(
        std::clamp(left + std::chrono::milliseconds(1), std::chrono::milliseconds(1), kLongestPoll)
            .count());
}

std::size_t CurlTransfer::OnBody(char* data, std::size_t size, std::size_t count, void* self) {
    auto& transfer = *static_cast<CurlTransfer*>(self);
    const std::size_t length = size * count;
    transfer.m_lastActivity = Clock::now();
    long status = 0;
    curl_easy_getinfo(transfer.m_easy, CURLINFO_RESPONSE_CODE, &status);
    if (status != 200) {
        transfer.m_outcome.statusNot200 = true;
        return CURL_WRITEFUNC_ERROR;
    }
    curl_off_t announced = -1;
    curl_easy_getinfo(transfer.m_easy, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &announced);
    if (length > transfer.m_maxBodyBytes - transfer.m_received ||
        (announced > 0 && static_cast<std::size_t>(announced) > transfer.m_maxBodyBytes)) {
        transfer.m_outcome.tooLarge = true;
        return CURL_WRITEFUNC_ERROR;
    }
    transfer.m_received += length;
    transfer.m_body->Append(std::string_view(data, length));
    return length;
}

std::size_t CurlTransfer::OnHeader(char* /*data*/, std::size_t size, std::size_t count,
                                   void* self) {
    static_cast<CurlTransfer*>(self)->m_lastActivity = Clock::now();
    return size * count;
}

int CurlTransfer::OnProgress(void* self, curl_off_t /*downTotal*/, curl_off_t downNow,
                             curl_off_t /*upTotal*/, curl_off_t upNow) {
    auto& transfer = *static_cast<CurlTransfer*>(self);
    if (downNow != transfer.m_downNow || upNow != transfer.m_upNow) {
        transfer.m_downNow = downNow;
        transfer.m_upNow = upNow;
        transfer.m_lastActivity = Clock::now();
    }
    if (transfer.m_stop.stop_requested()) {
        transfer.m_outcome.cancelled = true;
        return 1;
    }
    if (transfer.Stalled()) {
        transfer.m_outcome.stalled = true;
        return 1;
    }
    return 0;
}

CURLcode CurlTransfer::OnSslContext(CURL* /*easy*/, void* sslContext, void* self) {
    static_cast<CurlTransfer*>(self)->m_trusted->AddTo(
        SSL_CTX_get_cert_store(static_cast<SSL_CTX*>(sslContext)));
    return CURLE_OK;
}

}  // namespace strivo
