#include "Site.h"

#include <charconv>
#include <mutex>
#include <optional>
#include <random>

#include "HttpEndpoint.h"
#include "Json.h"
#include "RequestParsing.h"
#include "text/CodePage.h"

namespace strivo::sim {
namespace {

constexpr const char* kPageType = "text/html; charset=gbk";

// Page texts are written here in UTF-8 and served in code page 936.
std::string Cp936(std::string_view utf8) {
    return Utf8ToCp936(utf8);
}

Reply Page(int status, std::string_view titleUtf8, const std::string& bodyCp936) {
    return Reply{status,
                 kPageType,
                 "<!DOCTYPE html>\n<html>\n<head>\n<meta http-equiv=\"Content-Type\" "
                 "content=\"text/html; charset=gbk\" />\n<title>" +
                     Cp936(titleUtf8) + Cp936(" - Kelvora 跑步社区") +
                     "</title>\n</head>\n<body>\n" + bodyCp936 + "</body>\n</html>\n",
                 {}};
}

Reply BadRequest() {
    return Page(400, "请求无效", Cp936("<p>未定义操作，请返回。</p>\n"));
}

std::string SessionCookie(const std::string& id, int maxAge) {
    std::string cookie = std::string(kSiteSessionCookie) + "=" + id + "; Path=/; HttpOnly";
    if (maxAge > 0) {
        cookie += "; Max-Age=" + std::to_string(maxAge);
    }
    return cookie;
}

int ReadCookieTime(const std::optional<std::string>& text) {
    int value = 0;
    if (text) {
        std::from_chars(text->data(), text->data() + text->size(), value);
    }
    return value;
}

}  // namespace

std::string LogEntry::Field(std::string_view name) const {
    for (const auto& [fieldName, value] : fields) {
        if (fieldName == name) {
            return value;
        }
    }
    return {};
}

struct Site::Impl {
    Impl(SiteAccount siteAccount, SiteOptions siteOptions, RequestLog& requestLog,
         FaultSet& faultSet)
        : account(std::move(siteAccount)),
          options(std::move(siteOptions)),
          log(requestLog),
          faults(faultSet),
          rng(std::random_device{}()) {}

    // Callers hold `mutex`.
    SiteSession* FindSession(const LoggedRequest& request) {
        const std::optional<std::string> id = FindCookie(request.headers, kSiteSessionCookie);
        if (!id) {
            return nullptr;
        }
        for (SiteSession& session : sessionList) {
            if (session.id == *id) {
                return &session;
            }
        }
        return nullptr;
    }

    std::string RandomHex(int digits) {
        static constexpr char hex[] = "0123456789abcdef";
        std::string text;
        for (int i = 0; i < digits; ++i) {
            text.push_back(hex[rng() % 16]);
        }
        return text;
    }

    // PHP's rule: a body is form fields only when the request says so.
    static FieldList PostedFields(const LoggedRequest& request) {
        if (!IsFormContentType(HeaderValue(request.headers, "Content-Type"))) {
            return {};
        }
        return ParseFields(request.body);
    }

    Reply Home(const LoggedRequest& request) {
        std::string menu;
        {
            std::lock_guard lock(mutex);
            const SiteSession* session = FindSession(request);
            if (session != nullptr && session->signedIn) {
                menu = "<p>" + MarkupEscape(account.user) +
                       Cp936(" | <a href=\"/runlogger.php\">我的跑步日志</a>") +
                       " | <a href=\"/logging.php?action=logout&amp;formhash=" + session->token +
                       Cp936("\">退出</a></p>\n");
            } else {
                menu = Cp936(
                    "<p><a href=\"/logging.php?action=login\">登录</a> | "
                    "<a href=\"/runlogger.php\">跑步日志</a></p>\n");
            }
        }
        return Page(200, "首页",
                    Cp936("<h1>Kelvora 跑步社区</h1>\n") + menu +
                        Cp936("<p>记录每一次奔跑，和跑友们一起进步。</p>\n"));
    }

    Reply SignInForm(const LoggedRequest& request) {
        std::string id;
        std::string token;
        {
            std::lock_guard lock(mutex);
            SiteSession* session = FindSession(request);
            if (session == nullptr || session->signedIn) {
                sessionList.push_back(SiteSession{RandomHex(24), RandomHex(8), false});
                session = &sessionList.back();
            }
            id = session->id;
            token = session->token;
        }
        // The hidden formhash field and the cookietime checkbox come first of
        // their names on the page: clients cut their values out by position.
        std::string form =
            Cp936("<h1>登录</h1>\n") +
            "<form method=\"post\" name=\"login\" "
            "action=\"/logging.php?action=login&amp;loginsubmit=true\">\n"
            "<input type=\"hidden\" name=\"formhash\" value=\"" +
            token +
            "\" />\n"
            "<input type=\"hidden\" name=\"loginfield\" value=\"username\" />\n" +
            Cp936(
                "<p><label>用户名 <input type=\"text\" name=\"username\" size=\"25\" "
                "/></label></p>\n"
                "<p><label>密码 <input type=\"password\" name=\"password\" size=\"25\" "
                "/></label></p>\n"
                "<p><select name=\"questionid\"><option value=\"0\">无安全提问</option></select>\n"
                "<input type=\"text\" name=\"answer\" size=\"25\" /></p>\n"
                "<p><input type=\"checkbox\" class=\"checkbox\" name=\"cookietime\" "
                "id=\"cookietime\" "
                "value=\"2592000\" checked=\"checked\" /> <label "
                "for=\"cookietime\">记住我的登录状态</label></p>\n"
                "<p><button type=\"submit\" name=\"loginsubmit\" value=\"true\">登录</button></p>\n"
                "</form>\n");
        Reply reply = Page(200, "登录", form);
        reply.headers.emplace_back("Set-Cookie", SessionCookie(id, 0));
        return reply;
    }

    Reply SignIn(const LoggedRequest& request) {
        const FieldList fields = PostedFields(request);
        std::lock_guard lock(mutex);
        SiteSession* session = FindSession(request);
        const bool accepted = session != nullptr &&
                              FindField(fields, "formhash") == session->token &&
                              FindField(fields, "loginfield") == "username" &&
                              FindField(fields, "questionid") == "0" &&
                              FindField(fields, "username") == account.user &&
                              FindField(fields, "password") == account.password;
        if (!accepted) {
            return Page(200, "提示信息",
                        Cp936("<p>登录失败，请检查用户名、密码和表单后重试。</p>\n"
                              "<p><a href=\"/logging.php?action=login\">返回登录</a></p>\n"));
        }
        session->signedIn = true;
        Reply reply = Page(200, "提示信息",
                           Cp936("<p>欢迎您回来，") + MarkupEscape(account.user) +
                               Cp936("。</p>\n<p><a href=\"/index.php\">进入首页</a> | "
                                     "<a href=\"/runlogger.php\">跑步日志</a></p>\n"));
        const int cookieTime = ReadCookieTime(FindField(fields, "cookietime"));
        if (cookieTime > 0) {
            reply.headers.emplace_back("Set-Cookie", SessionCookie(session->id, cookieTime));
        }
        return reply;
    }

    Reply SignOut(const LoggedRequest& request, const FieldList& query) {
        std::lock_guard lock(mutex);
        SiteSession* session = FindSession(request);
        if (session == nullptr || !session->signedIn ||
            FindField(query, "formhash") != session->token) {
            return Page(200, "提示信息", Cp936("<p>请求来路不正确，未能退出。</p>\n"));
        }
        session->signedIn = false;
        return Page(200, "提示信息",
                    Cp936("<p>您已退出登录。</p>\n<p><a href=\"/index.php\">返回首页</a></p>\n"));
    }

    Reply Logging(const LoggedRequest& request) {
        const FieldList query = ParseFields(request.query);
        const std::optional<std::string> action = FindField(query, "action");
        if (request.method == "POST") {
            if (action == "login" && FindField(query, "loginsubmit") == "true") {
                return SignIn(request);
            }
            return BadRequest();
        }
        if (action == "login") {
            return SignInForm(request);
        }
        if (action == "logout") {
            return SignOut(request, query);
        }
        return BadRequest();
    }

    Reply AddRun(const LoggedRequest& request) {
        if (FindField(ParseFields(request.query), "action") != "deal_add") {
            return BadRequest();
        }
        FieldList fields = PostedFields(request);
        std::lock_guard lock(mutex);
        const SiteSession* session = FindSession(request);
        if (session == nullptr || !session->signedIn ||
            FindField(fields, "formhash") != session->token) {
            return Page(403, "提示信息", Cp936("<p>您无权进行当前操作，请先登录。</p>\n"));
        }
        entryList.push_back(LogEntry{std::move(fields), request.body});
        return Page(
            200, "提示信息",
            Cp936("<p>跑步日志已添加。</p>\n<p><a href=\"/runlogger.php\">查看跑步日志</a></p>\n"));
    }

    Reply RunLog() {
        std::string rows;
        {
            std::lock_guard lock(mutex);
            for (std::size_t i = 0; i < entryList.size(); ++i) {
                const LogEntry& entry = entryList[i];
                rows += "<tr><td>" + std::to_string(i + 1) + "</td><td>" +
                        MarkupEscape(entry.Field("dtevent")) + "</td><td>" +
                        MarkupEscape(entry.Field("distance")) + "</td><td>" +
                        MarkupEscape(entry.Field("tchour")) + Cp936("小时") +
                        MarkupEscape(entry.Field("tcminute")) + Cp936("分") +
                        MarkupEscape(entry.Field("tcsecond")) + Cp936("秒") + "</td><td>" +
                        MarkupEscape(entry.Field("nikerunid")) + "</td><td>" +
                        MarkupEscape(entry.Field("descrip")) + "</td></tr>\n";
            }
            if (entryList.empty()) {
                rows = Cp936("<tr><td colspan=\"6\">还没有跑步记录。</td></tr>\n");
            }
        }
        return Page(
            200, "跑步日志",
            Cp936("<h1>跑步日志</h1>\n<p><a href=\"/index.php\">返回首页</a></p>\n"
                  "<table border=\"1\">\n<tr><th>序号</th><th>跑步时间</th><th>距离(KM)</th>"
                  "<th>耗时</th><th>RunID</th><th>说明</th></tr>\n") +
                rows + "</table>\n");
    }

    std::string EntriesJson() const {
        std::lock_guard lock(mutex);
        std::string json = "[";
        for (std::size_t i = 0; i < entryList.size(); ++i) {
            json += i == 0 ? "\n{\"fields\":[" : ",\n{\"fields\":[";
            const auto& fields = entryList[i].fields;
            for (std::size_t f = 0; f < fields.size(); ++f) {
                json += (f == 0 ? "[" : ",[") + JsonString(fields[f].first) + "," +
                        JsonString(fields[f].second) + "]";
            }
            json += "],\"rawBody\":" + JsonString(entryList[i].rawBody) + "}";
        }
        return json + "\n]\n";
    }

    std::string SessionsJson() const {
        std::lock_guard lock(mutex);
        std::string json = "[";
        for (std::size_t i = 0; i < sessionList.size(); ++i) {
            const SiteSession& session = sessionList[i];
            json += (i == 0 ? "\n" : ",\n") + std::string("{\"id\":") + JsonString(session.id) +
                    ",\"token\":" + JsonString(session.token) +
                    ",\"signedIn\":" + (session.signedIn ? "true" : "false") + "}";
        }
        return json + "\n]\n";
    }

    const SiteAccount account;
    const SiteOptions options;
    RequestLog& log;
    FaultSet& faults;

    mutable std::mutex mutex;
    std::mt19937_64 rng;
    std::vector<SiteSession> sessionList;
    std::vector<LogEntry> entryList;

    Routes routes{log, faults, false};
    HttpEndpoint http{routes, nullptr};
};

Site::Site(SiteAccount account, SiteOptions options)
    : StandIn(options),
      m_impl(std::make_unique<Impl>(std::move(account), std::move(options), m_log, m_faults)) {
    Impl& impl = *m_impl;
    const RouteHandler home = [&impl](const LoggedRequest& r) { return impl.Home(r); };
    const RouteHandler logging = [&impl](const LoggedRequest& r) { return impl.Logging(r); };
    impl.routes.Handle("GET", "/", home);
    impl.routes.Handle("GET", "/index.php", home);
    impl.routes.Handle("GET", "/logging.php", logging);
    impl.routes.Handle("POST", "/logging.php", logging);
    impl.routes.Handle("GET", "/runlogger.php",
                       [&impl](const LoggedRequest&) { return impl.RunLog(); });
    impl.routes.Handle("POST", "/runlogger.php",
                       [&impl](const LoggedRequest& r) { return impl.AddRun(r); });
    if (impl.options.inspection) {
        impl.routes.Inspect("/__sim/entries", [&impl] { return impl.EntriesJson(); });
        impl.routes.Inspect("/__sim/requests",
                            [&impl] { return RequestsJson(impl.log.Snapshot()); });
        impl.routes.Inspect("/__sim/sessions", [&impl] { return impl.SessionsJson(); });
    }
}

Site::~Site() {
    Stop();
}

void Site::Start() {
    m_impl->http.Start(m_impl->options.port);
}

void Site::Stop() {
    m_impl->http.Stop();
}

int Site::port() const {
    return m_impl->http.port();
}

const Routes* Site::RoutesAt(int port) const {
    return port == this->port() ? &m_impl->routes : nullptr;
}

const SiteAccount& Site::account() const {
    return m_impl->account;
}

std::vector<LogEntry> Site::entries() const {
    std::lock_guard lock(m_impl->mutex);
    return m_impl->entryList;
}

std::vector<SiteSession> Site::sessions() const {
    std::lock_guard lock(m_impl->mutex);
    return m_impl->sessionList;
}

}  // namespace strivo::sim
