#include "InProcessTransport.h"

#include <algorithm>
#include <charconv>
#include <condition_variable>
#include <map>
#include <mutex>
#include <optional>
#include <string>

#include "Routes.h"
#include "StandIns.h"
#include "net/BodyLineReader.h"
#include "text/TextHelpers.h"

namespace strivo::sim {
namespace {

constexpr int kMaxRedirects = 10;

struct Target {
    bool secure = false;
    int port = 0;
    std::string path;
    std::string query;
};

std::optional<Target> ParseUrl(std::string_view url) {
    Target target;
    if (url.starts_with("https://")) {
        target.secure = true;
        url.remove_prefix(8);
    } else if (url.starts_with("http://")) {
        url.remove_prefix(7);
    } else {
        return std::nullopt;
    }
    const std::size_t slash = std::min(url.find('/'), url.size());
    const std::string_view authority = url.substr(0, slash);
    const std::size_t colon = authority.rfind(':');
    target.port = target.secure ? 443 : 80;
    if (colon != std::string_view::npos) {
        const std::string_view digits = authority.substr(colon + 1);
        if (std::from_chars(digits.data(), digits.data() + digits.size(), target.port).ec !=
            std::errc{}) {
            return std::nullopt;
        }
    }
    const std::string_view rest = slash < url.size() ? url.substr(slash) : "/";
    const std::size_t question = rest.find('?');
    target.path = rest.substr(0, question);
    if (question != std::string_view::npos) {
        target.query = rest.substr(question + 1);
    }
    return target;
}

// The stand-ins' cookies, by name: they all live on 127.0.0.1, and cookies,
// unlike everything else, do not tell ports apart.
struct CookieJar {
    std::mutex mutex;
    std::map<std::string, std::string> cookies;
};

bool LessNoCase(const std::string& a, const std::string& b) {
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return LowerAscii(x) < LowerAscii(y);
    });
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                      [](char x, char y) { return LowerAscii(x) == LowerAscii(y); });
}

class InProcessTransport : public Transport {
public:
    InProcessTransport(const StandIns& standIns, std::shared_ptr<CookieJar> jar,
                       std::size_t maxBodyBytes)
        : m_standIns(standIns), m_jar(std::move(jar)), m_maxBodyBytes(maxBodyBytes) {}

    TransferOutcome Perform(const TransferRequest& request, std::stop_token stop,
                            BodyLineReader& body) override {
        TransferOutcome outcome;
        std::string url(request.url);
        const std::string_view* form = request.form;
        bool secure = request.options.secure;
        for (;;) {
            if (stop.stop_requested()) {
                outcome.error = TransferError::Cancelled;
                return outcome;
            }
            const std::optional<Target> target = ParseUrl(url);
            if (!target) {
                outcome.error = TransferError::BadUrl;
                return outcome;
            }
            const Routes* routes = m_standIns.service.RoutesAt(target->port);
            if (routes == nullptr) {
                routes = m_standIns.site.RoutesAt(target->port);
            }
            if (routes == nullptr || routes->secure() != target->secure) {
                outcome.error = TransferError::ConnectionRefused;
                return outcome;
            }
            const Answer answer =
                routes->Respond(Request(*target, request, form), [&stop](auto delay) {
                    std::mutex mutex;
                    std::condition_variable_any wake;
                    std::unique_lock lock(mutex);
                    wake.wait_for(lock, stop, delay, [] { return false; });
                });
            outcome.requestSent = form != nullptr;
            if (answer.faults.drop || answer.faults.closeMidBody) {
                outcome.error = TransferError::ConnectionLost;
                return outcome;
            }
            const Reply& reply = answer.reply;
            std::string location = ReadHeaders(reply, outcome);
            outcome.status = reply.status;
            if (reply.status >= 300 && reply.status < 400 && !location.empty()) {
                if (!request.options.followRedirects) {
                    outcome.location = location;
                    outcome.error = TransferError::Status;
                    return outcome;
                }
                if (++outcome.redirects > kMaxRedirects) {
                    outcome.error = TransferError::TooManyRedirects;
                    return outcome;
                }
                if (location.starts_with("/")) {
                    const std::size_t start = url.find("//") + 2;
                    location = url.substr(0, url.find('/', start)) + location;
                }
                if (secure && !location.starts_with("https://")) {
                    outcome.error = TransferError::RedirectRefused;
                    return outcome;
                }
                secure = location.starts_with("https://");
                url = location;
                form = nullptr;  // a post turns into a GET, as browsers do
                continue;
            }
            if (reply.status < 200 || reply.status > 299) {
                outcome.error = TransferError::Status;
                return outcome;
            }
            // An endless body passes any limit.
            if (answer.faults.endless || reply.body.size() > m_maxBodyBytes) {
                outcome.error = TransferError::TooLarge;
                return outcome;
            }
            body.Append(reply.body);
            return outcome;
        }
    }

    void Wake() override {}  // a wait watches the stop token itself

private:
    // Keeps the reply's cookies and its Retry-After; gives its Location.
    std::string ReadHeaders(const Reply& reply, TransferOutcome& outcome) {
        std::string location;
        for (const auto& [name, value] : reply.headers) {
            if (EqualsNoCase(name, "Set-Cookie")) {
                Keep(value);
            } else if (EqualsNoCase(name, "Location")) {
                location = value;
            } else if (EqualsNoCase(name, "Retry-After") && outcome.retryAfter.empty()) {
                outcome.retryAfter = value.substr(0, kMaxRetryAfterBytes);
            }
        }
        return location;
    }

    LoggedRequest Request(const Target& target, const TransferRequest& request,
                          const std::string_view* form) {
        LoggedRequest logged;
        logged.method = form != nullptr ? "POST" : "GET";
        logged.path = target.path;
        logged.query = target.query;
        logged.headers.emplace_back("Host", "127.0.0.1:" + std::to_string(target.port));
        for (const std::string& line : request.headers) {
            const std::size_t colon = line.find(':');
            std::string value = colon == std::string::npos ? "" : line.substr(colon + 1);
            value.erase(0, value.find_first_not_of(' '));
            if (!value.empty() && (form != nullptr || !line.starts_with("Content-Type"))) {
                logged.headers.emplace_back(line.substr(0, colon), value);
            }
        }
        {
            std::lock_guard lock(m_jar->mutex);
            std::string cookie;
            for (const auto& [name, value] : m_jar->cookies) {
                cookie += (cookie.empty() ? "" : "; ") + name + "=" + value;
            }
            if (!cookie.empty()) {
                logged.headers.emplace_back("Cookie", cookie);
            }
        }
        if (form != nullptr) {
            logged.body = *form;
            logged.headers.emplace_back("Content-Length", std::to_string(form->size()));
        }
        std::stable_sort(logged.headers.begin(), logged.headers.end(),
                         [](const auto& a, const auto& b) { return LessNoCase(a.first, b.first); });
        return logged;
    }

    void Keep(const std::string& setCookie) {
        const std::string pair = setCookie.substr(0, setCookie.find(';'));
        const std::size_t equals = pair.find('=');
        if (equals == std::string::npos) {
            return;
        }
        std::lock_guard lock(m_jar->mutex);
        m_jar->cookies[pair.substr(0, equals)] = pair.substr(equals + 1);
    }

    const StandIns& m_standIns;
    std::shared_ptr<CookieJar> m_jar;
    const std::size_t m_maxBodyBytes;
};

}  // namespace

WebSessionConfig::TransportMaker InProcessTransports(const StandIns& standIns) {
    return [&standIns, jar = std::make_shared<CookieJar>()](const WebSessionConfig& config) {
        return std::unique_ptr<Transport>(
            std::make_unique<InProcessTransport>(standIns, jar, config.maxBodyBytes));
    };
}

}  // namespace strivo::sim
