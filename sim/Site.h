#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "Accounts.h"
#include "StandIn.h"

// A stand-in for the Kelvora community site: one plain-HTTP port on
// 127.0.0.1, pages in code page 936 ("text/html; charset=gbk"). Form fields and
// queries are decoded as form encoding ("+", "%XX" in either case) into CP936
// bytes; a POST body counts as form fields only with the Content-Type
// application/x-www-form-urlencoded.
//
//   GET  /index.php (and /)   home page; links to /runlogger.php. Holds
//        "formhash=TOKEN\"" (in the sign-out link) only when the request's
//        cookie names a signed-in session.
//   GET  /logging.php?action=login   sign-in form with the hidden field
//        name="formhash" value="TOKEN" and the "cookietime" checkbox
//        (value="2592000"); sets the cookie "kelvora_sid" of a session bound to
//        TOKEN (the request's own session when it is not signed in, else a new one).
//   POST /logging.php?action=login&loginsubmit=true   fields formhash,
//        cookietime, loginfield, questionid, username, password, answer. Signed
//        in when the cookie's session has token formhash, loginfield is
//        "username", questionid is "0" and user and password match: a welcome
//        page. Anything else: a page holding "登录失败".
//   GET  /logging.php?action=logout&formhash=X   signs the cookie's session out
//        when X is its token.
//   POST /runlogger.php?action=deal_add   for a signed-in session whose token
//        equals the body's formhash: the fields are stored as a run-log entry,
//        200. Otherwise 403 and nothing is stored.
//   GET  /runlogger.php   the stored run log as a page.
// Other actions get 400. With `inspection`, /__sim/entries, /__sim/requests
// and /__sim/sessions serve the same as JSON (UTF-8).
namespace strivo::sim {

class Routes;

inline constexpr std::string_view kSiteSessionCookie = "kelvora_sid";

// One accepted run-log post: its fields decoded, in the order of the body.
struct LogEntry {
    std::vector<std::pair<std::string, std::string>> fields;
    std::string rawBody;

    // The value of the first field named `name`, or "".
    std::string Field(std::string_view name) const;
};

struct SiteSession {
    std::string id;     // the cookie's value
    std::string token;  // the formhash
    bool signedIn = false;
};

struct SiteOptions : StandInOptions {
    int port = 0;  // 0: an ephemeral port
};

class Site : public StandIn {
public:
    explicit Site(SiteAccount account, SiteOptions options = {});
    ~Site();

    Site(const Site&) = delete;
    Site& operator=(const Site&) = delete;

    // Throws std::runtime_error when the port cannot be bound.
    void Start();
    // Closes the port and its connections; harmless when not started.
    void Stop();

    int port() const;
    const SiteAccount& account() const;
    // The routes served on `port` once started, or null: what the in-process
    // transport hands its requests to.
    const Routes* RoutesAt(int port) const;

    std::vector<LogEntry> entries() const;
    std::vector<SiteSession> sessions() const;  // oldest first

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

}  // namespace strivo::sim
