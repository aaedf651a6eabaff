// The Windows transport: WinINet, synchronous, one request handle at a time.
// windows.h comes before every other Windows header.
#include <windows.h>

#include <wininet.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "net/BodyLineReader.h"
#include "net/RequestUrlWinInet.h"
#include "net/TransferErrorWinInet.h"
#include "net/TransferLimits.h"
#include "net/Transport.h"

namespace strivo {

// WinINet keeps one cookie store for the whole process, which both sign-ins rely on:
// an "isolated" store is the same store; tests that need isolation run on Linux.
class CookieStore {};

std::shared_ptr<CookieStore> ProcessCookieStore() {
    static const auto* const store = new std::shared_ptr<CookieStore>(MakeCookieStore());
    return *store;
}

std::shared_ptr<CookieStore> MakeCookieStore() {
    return std::make_shared<CookieStore>();
}

namespace {

constexpr int kMaxRedirects = 10;
constexpr DWORD kReadChunk = 16384;
// How often the watch looks at the limits; a stop closes the handles at once.
constexpr std::chrono::milliseconds kLook{250};

DWORD QueryNumber(HINTERNET request, DWORD what, DWORD fallback) {
    DWORD value = 0;
    DWORD size = sizeof value;
    return HttpQueryInfoA(request, what | HTTP_QUERY_FLAG_NUMBER, &value, &size, nullptr)
               ? value
               : fallback;
}

std::optional<std::string> QueryText(HINTERNET request, DWORD what) {
    std::string text(256, '\0');
    for (;;) {
        DWORD size = static_cast<DWORD>(text.size());
        if (HttpQueryInfoA(request, what, text.data(), &size, nullptr)) {
            text.resize(size);
            return text;
        }
        if (GetLastError() != ERROR_INSUFFICIENT_BUFFER) {
            return std::nullopt;
        }
        text.resize(size + 1);
    }
}

// Closes a WinINet handle on every path out, as CurlEasy does a libcurl one.
struct InternetHandleCloser {
    void operator()(HINTERNET handle) const { InternetCloseHandle(handle); }
};
using InternetHandle = std::unique_ptr<void, InternetHandleCloser>;

// Whether the request, as it stands, holds a header of that name.
bool HasHeader(HINTERNET request, const std::string& name) {
    std::string buffer = name;
    buffer.resize(std::max<std::size_t>(name.size() + 1, 256));
    DWORD size = static_cast<DWORD>(buffer.size());
    return HttpQueryInfoA(request, HTTP_QUERY_CUSTOM | HTTP_QUERY_FLAG_REQUEST_HEADERS,
                          buffer.data(), &size, nullptr) ||
           GetLastError() == ERROR_INSUFFICIENT_BUFFER;
}

// The request's header lines, in order, over WinINet's own.
void AddHeaders(HINTERNET handle, const std::vector<std::string>& headers) {
    for (const std::string& line : headers) {
        const auto colon = line.find(':');
        const bool empty = colon == std::string::npos ||
                           line.find_first_not_of(' ', colon + 1) == std::string::npos;
        if (empty && !HasHeader(handle, line.substr(0, colon))) {
            continue;  // nothing to remove; Wine would send it empty
        }
        // "Name:" removes WinINet's own header of that name; others replace it.
        HttpAddRequestHeadersA(
            handle, line.c_str(), static_cast<DWORD>(line.size()),
            empty ? HTTP_ADDREQ_FLAG_REPLACE : HTTP_ADDREQ_FLAG_ADD | HTTP_ADDREQ_FLAG_REPLACE);
    }
}

bool IsRedirect(DWORD status) {
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

class TransportWinInet final : public Transport {
public:
    explicit TransportWinInet(const WebSessionConfig& config) : m_config(config) {
        // The User-Agent line comes from the session's headers, which replace this.
        m_session.reset(InternetOpenA("Strivo", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
        if (!m_session) {
            return;
        }
        SetOption(m_session.get(), INTERNET_OPTION_CONNECT_TIMEOUT, config.connectTimeout.count());
        SetOption(m_session.get(), INTERNET_OPTION_CONNECT_RETRIES,
                  1);  // WebSession retries itself
        // A backstop: the watch ends a stalled send or read a little earlier.
        SetOption(m_session.get(), INTERNET_OPTION_SEND_TIMEOUT, config.stallLimit.count() + 1000);
        SetOption(m_session.get(), INTERNET_OPTION_RECEIVE_TIMEOUT,
                  config.stallLimit.count() + 1000);
        InternetSetStatusCallbackA(m_session.get(), &TransportWinInet::OnStatus);
        m_watch = std::thread([this] { Watch(); });
    }

    ~TransportWinInet() override {
        {
            std::lock_guard lock(m_mutex);
            m_closing = true;
        }
        m_changed.notify_all();
        if (m_watch.joinable()) {
            m_watch.join();
        }
        CloseRequest();  // before the session closes
        if (m_closers->load() != 0) {
            // Closing the session would read a request that a closer has
            // not taken yet to its end, here; the process's end frees it.
            static_cast<void>(m_session.release());
        }
    }

    bool Ready() const { return m_session != nullptr; }

    TransferOutcome Perform(const TransferRequest& request, std::stop_token stop,
                            BodyLineReader& body) override;

    // Closing the handles in flight returns the blocking call; Perform sees its stop token.
    void Wake() override {
        std::lock_guard lock(m_mutex);
        CloseHandles();
    }

private:
    // One request, redirects not followed: status, or an error.
    struct Hop {
        TransferError error = TransferError::None;
        DWORD status = 0;
        DWORD code = 0;  // WinINet's error, if any
    };

    static void SetOption(HINTERNET handle, DWORD option, long long value) {
        DWORD number = static_cast<DWORD>(std::clamp<long long>(value, 1, 0x7fffffff));
        InternetSetOptionA(handle, option, &number, sizeof number);
    }

    // What one hop sends: where, whether over TLS, and the form, if it posts one.
    struct HopRequest {
        std::string url;
        bool secure = false;
        const std::string_view* form = nullptr;
    };

    // The request's state set for a new transfer, and the watch told.
    void Begin(std::stop_token stop, std::chrono::milliseconds deadline);
    // After a redirect answer: None, and `next` the hop to follow it with, or why not.
    TransferError Redirect(const TransferRequest& request, DWORD status, HopRequest& next,
                           TransferOutcome& outcome);
    // The handles closed, and the outcome's error from the last hop's, the stop and the limits.
    void End(const Hop& hop, TransferOutcome& outcome);
    Hop Send(const HopRequest& hop, const TransferRequest& request, bool* requestSent);
    // The request's handles, opened and in flight; null, and `hop` saying why, when not.
    HINTERNET Open(const HopRequest& request, Hop& hop);
    // Sends the request, and its form once only; false, with WinINet's error, when it fails.
    bool Transmit(HINTERNET handle, const std::string_view* form, bool* requestSent);
    bool TransmitForm(HINTERNET handle, const std::string_view& form, bool* requestSent);
    // The status of an answer whose headers are in, or why there is none.
    Hop Answer(HINTERNET handle);
    Hop ReadBody(BodyLineReader& body);
    Hop Failed(DWORD code);

    // WinINet's calls block until their handles close: the watch closes them past a limit.
    void Watch() {
        std::unique_lock lock(m_mutex);
        while (!m_closing) {
            if (!m_clock) {  // nothing in flight: nothing to look at
                m_changed.wait(lock, [this] { return m_closing || m_clock.has_value(); });
                continue;
            }
            if (!m_timedOut && Exceeded()) {
                m_timedOut = true;
                CloseHandles();
            }
            m_changed.wait_for(lock, kLook);
        }
    }
    // Without a lock: WinINet may call back while a handle closes under it.
    void Count(std::size_t bytes) { m_moved += bytes; }
    // The answer's headers are in.
    void AnswerStarted() {
        std::lock_guard lock(m_mutex);
        m_clock->Moved(m_moved.load());
        m_clock->AnswerStarted();
    }
    // Called with m_mutex held, while a request is in flight.
    bool Exceeded() {
        m_clock->Moved(m_moved.load());
        return m_clock->Exceeded();
    }
    // Called with m_mutex held. Closing a request whose answer was not read to its end
    // makes WinINet (Wine's) read the rest first, to keep the connection; an endless
    // answer would hold that call and the lock for ever: such a request is closed by a
    // thread of its own.
    void CloseHandles() {
        const HINTERNET request = std::exchange(m_request, nullptr);
        const HINTERNET connect = std::exchange(m_connect, nullptr);
        const auto close = [request, connect] {
            if (request != nullptr) {
                InternetCloseHandle(request);
            }
            if (connect != nullptr) {
                InternetCloseHandle(connect);
            }
        };
        if (request != nullptr && !m_answerRead) {
            ++*m_closers;
            std::thread([close, closers = m_closers] {
                close();
                --*closers;
            }).detach();
        } else {
            close();
        }
    }
    void CloseRequest() {
        std::lock_guard lock(m_mutex);
        CloseHandles();
    }
    HINTERNET Request() {
        std::lock_guard lock(m_mutex);
        return m_request;
    }

    static void CALLBACK OnStatus(HINTERNET handle, DWORD_PTR context, DWORD status, void* info,
                                  DWORD length);

    const WebSessionConfig m_config;
    InternetHandle m_session;  // closed after the request's handles
    std::mutex m_mutex;        // what follows is shared with Wake and the watch
    std::condition_variable m_changed;
    HINTERNET m_connect = nullptr;
    HINTERNET m_request = nullptr;
    std::optional<TransferLimits> m_clock;  // while a request is in flight
    std::atomic<std::uint64_t> m_moved{0};  // bytes both ways, headers included
    bool m_timedOut = false;
    bool m_answerRead = false;  // the request's answer was read to its end
    // Requests being closed by a thread of their own.
    std::shared_ptr<std::atomic<int>> m_closers = std::make_shared<std::atomic<int>>(0);
    bool m_closing = false;
    std::thread m_watch;  // started once the session is open

    // Seen only on the thread of Perform.
    std::stop_token m_stop;
    bool m_connected = false;      // the current hop reached the server
    bool m_newConnection = false;  // the current hop made a connection of its own
    // WinINet's status callback counts only the headers' bytes; a body's are counted apart.
    bool m_countStatus = false;
};

// On the thread of the synchronous call; the context is the transport.
void CALLBACK TransportWinInet::OnStatus(HINTERNET, DWORD_PTR context, DWORD status, void* info,
                                         DWORD length) {
    auto* transport = reinterpret_cast<TransportWinInet*>(context);
    if (transport == nullptr) {
        return;
    }
    // A kept-alive connection is reached without a CONNECTED_TO_SERVER.
    if (status == INTERNET_STATUS_CONNECTED_TO_SERVER || status == INTERNET_STATUS_REQUEST_SENT) {
        transport->m_connected = true;
    }
    if (status == INTERNET_STATUS_CONNECTED_TO_SERVER) {
        transport->m_newConnection = true;
    }
    if ((status == INTERNET_STATUS_REQUEST_SENT || status == INTERNET_STATUS_RESPONSE_RECEIVED) &&
        transport->m_countStatus && info != nullptr && length == sizeof(DWORD)) {
        transport->Count(*static_cast<const DWORD*>(info));
    }
}

TransferOutcome TransportWinInet::Perform(const TransferRequest& request, std::stop_token stop,
                                          BodyLineReader& body) {
    Begin(std::move(stop), request.options.deadline);
    TransferOutcome outcome;
    Hop hop;
    HopRequest next{std::string(request.url), request.options.secure, request.form};
    for (;;) {
        hop = Send(next, request, &outcome.requestSent);
        outcome.status = static_cast<long>(hop.status);
        if (outcome.redirects == 0) {
            outcome.reusedConnection = !m_newConnection;
        }
        if (hop.error != TransferError::None) {
            break;
        }
        if (IsRedirect(hop.status)) {
            hop.error = Redirect(request, hop.status, next, outcome);
            if (hop.error != TransferError::None) {
                break;
            }
            CloseRequest();
            continue;
        }
        if (hop.status < 200 || hop.status > 299) {
            hop.error = TransferError::Status;
            if (hop.status == 429 || hop.status == 503) {
                outcome.retryAfter = QueryText(Request(), HTTP_QUERY_RETRY_AFTER)
                                         .value_or("")
                                         .substr(0, kMaxRetryAfterBytes);
            }
            break;
        }
        hop = ReadBody(body);
        break;
    }
    End(hop, outcome);
    return outcome;
}

void TransportWinInet::Begin(std::stop_token stop, std::chrono::milliseconds deadline) {
    m_stop = std::move(stop);
    {
        std::lock_guard lock(m_mutex);
        m_clock.emplace(m_config, deadline);
        m_moved = 0;
        m_timedOut = false;
    }
    m_changed.notify_all();  // the watch looks again
}

TransferError TransportWinInet::Redirect(const TransferRequest& request, DWORD status,
                                         HopRequest& next, TransferOutcome& outcome) {
    const auto location = QueryText(Request(), HTTP_QUERY_LOCATION);
    if (!request.options.followRedirects) {
        // The final answer: its body is not read, as for any other non-2xx.
        outcome.location = location.value_or("");
        return TransferError::Status;
    }
    const auto url = location ? Resolve(next.url, *location) : std::nullopt;
    const auto target = url ? CrackUrl(*url) : std::nullopt;
    if (!target) {
        return TransferError::RedirectRefused;
    }
    if (++outcome.redirects > kMaxRedirects) {
        return TransferError::TooManyRedirects;
    }
    // A secure request followed to plain HTTP would send its cookies in clear.
    if (next.secure && !target->secureScheme) {
        return TransferError::RedirectRefused;
    }
    if (next.form != nullptr && (status == 307 || status == 308)) {
        // Following would post the form a second time.
        outcome.location = location.value_or("");
        outcome.detail = std::to_string(status) + " to " + outcome.location;
        return TransferError::RedirectRefused;
    }
    next.form = nullptr;  // 301, 302 and 303 turn a post into a GET, as browsers do
    next.url = *url;
    next.secure = target->secureScheme;
    return TransferError::None;
}

void TransportWinInet::End(const Hop& hop, TransferOutcome& outcome) {
    CloseRequest();
    outcome.error = hop.error;
    std::lock_guard lock(m_mutex);
    if (hop.error != TransferError::None && m_stop.stop_requested()) {
        outcome.error = TransferError::Cancelled;
    } else if (hop.error != TransferError::None && (m_timedOut || Exceeded())) {
        // The watch closed the handles, or WinINet's own time-out came first.
        outcome.error = TransferError::TimedOut;
        outcome.limit = m_clock->Why();
    } else if (NeedsDetail(outcome.error)) {
        outcome.detail = DetailFor(hop.code);
    }
    m_clock.reset();
}

TransportWinInet::Hop TransportWinInet::Failed(DWORD code) {
    Hop hop;
    hop.code = code;
    hop.error = ErrorFor(code, m_connected);
    return hop;
}

TransportWinInet::Hop TransportWinInet::Send(const HopRequest& hopRequest,
                                             const TransferRequest& request, bool* requestSent) {
    Hop hop;
    const HINTERNET handle = Open(hopRequest, hop);
    if (handle == nullptr) {
        return hop;
    }
    AddHeaders(handle, request.headers);
    m_connected = false;
    m_newConnection = false;
    if (!Transmit(handle, hopRequest.form, requestSent)) {
        hop = Failed(GetLastError());
        if (hop.error == TransferError::Other && *requestSent) {
            hop.error = TransferError::ConnectionLost;
        }
        return hop;
    }
    return Answer(handle);
}

HINTERNET TransportWinInet::Open(const HopRequest& request, Hop& hop) {
    const std::optional<WinInetUrl> parts = CrackUrl(request.url);
    if (!parts) {
        hop.error = TransferError::BadUrl;
        return nullptr;
    }
    // The URL's scheme gives only the default port; the options give TLS (chain, dates, host).
    DWORD flags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_NO_UI |
                  INTERNET_FLAG_NO_AUTO_REDIRECT | INTERNET_FLAG_KEEP_CONNECTION |
                  INTERNET_FLAG_NO_AUTH;
    if (request.secure) {
        flags |= INTERNET_FLAG_SECURE;
    }
    const auto context = reinterpret_cast<DWORD_PTR>(this);
    HINTERNET connect = InternetConnectA(m_session.get(), parts->host.c_str(), parts->port, nullptr,
                                         nullptr, INTERNET_SERVICE_HTTP, 0, context);
    if (connect != nullptr) {
        // Again: Wine takes these from the connection, not the session, and
        // does not end a blocked call when the watch closes its handles.
        SetOption(connect, INTERNET_OPTION_SEND_TIMEOUT, m_config.stallLimit.count() + 1000);
        SetOption(connect, INTERNET_OPTION_RECEIVE_TIMEOUT, m_config.stallLimit.count() + 1000);
    }
    HINTERNET handle =
        connect == nullptr
            ? nullptr
            : HttpOpenRequestA(connect, request.form != nullptr ? "POST" : "GET",
                               parts->object.c_str(), "HTTP/1.1", nullptr, nullptr, flags, context);
    const DWORD openError = GetLastError();
    {
        std::lock_guard lock(m_mutex);
        m_connect = connect;
        m_request = handle;
        m_answerRead = false;
        // A stop or a time-out that came before the handles were known closes them now.
        if (m_stop.stop_requested() || m_timedOut) {
            CloseHandles();
            hop.error = TransferError::Cancelled;
            return nullptr;
        }
    }
    if (handle == nullptr) {
        hop = Failed(openError);
    }
    return handle;
}

bool TransportWinInet::Transmit(HINTERNET handle, const std::string_view* form, bool* requestSent) {
    m_countStatus = true;
    BOOL sent = FALSE;
    if (form == nullptr) {
        // WinINet sends a GET again on a fresh connection when a kept-alive
        // one turns out dead: harmless for a GET.
        sent = HttpSendRequestA(handle, nullptr, 0, nullptr, 0);
    } else {
        sent = TransmitForm(handle, *form, requestSent);
    }
    m_countStatus = false;
    return sent != FALSE;
}

bool TransportWinInet::TransmitForm(HINTERNET handle, const std::string_view& form,
                                    bool* requestSent) {
    // HttpSendRequest would send a post again too when a kept-alive
    // connection turns out dead, and the server may have acted on the first.
    // Sent this way, the body goes out once, and a connection that dies gives
    // no answer (status 0) instead.
    const auto context = reinterpret_cast<DWORD_PTR>(this);
    INTERNET_BUFFERSA buffers{};
    buffers.dwStructSize = sizeof buffers;
    buffers.dwBufferTotal = static_cast<DWORD>(form.size());
    BOOL sent = HttpSendRequestExA(handle, &buffers, nullptr, 0, context);
    m_countStatus = false;
    std::size_t written = 0;
    while (sent && written < form.size()) {
        DWORD piece = 0;
        const DWORD want =
            static_cast<DWORD>(std::min<std::size_t>(form.size() - written, kReadChunk));
        sent = InternetWriteFile(handle, form.data() + written, want, &piece);
        if (sent && piece == 0) {
            sent = FALSE;
        }
        written += piece;
        Count(piece);
    }
    if (sent) {
        *requestSent = true;
        m_countStatus = true;
        sent = HttpEndRequestA(handle, nullptr, 0, context);
    }
    return sent != FALSE;
}

TransportWinInet::Hop TransportWinInet::Answer(HINTERNET handle) {
    Hop hop;
    hop.status = QueryNumber(handle, HTTP_QUERY_STATUS_CODE, 0);
    if (hop.status == 0) {
        hop.error = TransferError::ConnectionLost;  // no answer at all
        return hop;
    }
    AnswerStarted();
    // WinINet takes in headers without end; libcurl stops at its limit.
    DWORD headerBytes = 0;
    if (!HttpQueryInfoA(handle, HTTP_QUERY_RAW_HEADERS_CRLF, nullptr, &headerBytes, nullptr) &&
        GetLastError() == ERROR_INSUFFICIENT_BUFFER && headerBytes > kMaxHeaderBytes) {
        hop.error = TransferError::TooLarge;
    }
    return hop;
}

TransportWinInet::Hop TransportWinInet::ReadBody(BodyLineReader& body) {
    Hop hop;
    HINTERNET handle = Request();
    if (handle == nullptr) {
        hop.error = TransferError::Cancelled;
        return hop;
    }
    // Absent: the body ends with the connection or with its last chunk.
    const DWORD announced = QueryNumber(handle, HTTP_QUERY_CONTENT_LENGTH, MAXDWORD);
    if (announced != MAXDWORD && announced > m_config.maxBodyBytes) {
        hop.error = TransferError::TooLarge;
        return hop;
    }
    std::string buffer(kReadChunk, '\0');
    std::size_t received = 0;
    for (;;) {
        // A read waits to fill its buffer; asking first what has come lets a
        // slow answer show each piece to the limits as it arrives.
        DWORD ready = 0;
        DWORD got = 0;
        if (!InternetQueryDataAvailable(handle, &ready, 0, 0) ||
            !InternetReadFile(handle, buffer.data(), std::clamp<DWORD>(ready, 1, kReadChunk),
                              &got)) {
            hop = Failed(GetLastError());
            if (hop.error == TransferError::Other) {
                hop.error = TransferError::ConnectionLost;
            }
            return hop;
        }
        if (got == 0) {
            {
                std::lock_guard lock(m_mutex);
                m_answerRead = true;
            }
            // WinINet ends the body without an error when the connection
            // closes early; the announced length tells.
            if (announced != MAXDWORD && received != announced) {
                hop.error = TransferError::ConnectionLost;
            }
            return hop;
        }
        Count(got);
        if (got > m_config.maxBodyBytes - received) {
            hop.error = TransferError::TooLarge;
            return hop;
        }
        received += got;
        body.Append(std::string_view(buffer.data(), got));
    }
}

}  // namespace

MadeTransport MakeTransport(const WebSessionConfig& config) {
    // WinINet checks a server's chain against the Windows store only, and
    // offers no point between the handshake and sending the request (with
    // the password in it) to check it against other authorities. Extra
    // authorities are refused rather than silently left out.
    if (!config.caFile.empty() || !config.caPem.empty()) {
        return {nullptr, Problem(ProblemCode::CertificateFileNotUsed, {config.caFile})};
    }
    auto transport = std::make_unique<TransportWinInet>(config);
    if (!transport->Ready()) {
        return {nullptr, Problem(ProblemCode::TransportCannotStart, {}, DetailFor(GetLastError()))};
    }
    return {std::move(transport)};
}

}  // namespace strivo
