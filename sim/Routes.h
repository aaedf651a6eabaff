#pragma once

#include <chrono>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <utility>

#include "FaultSet.h"
#include "Inspection.h"
#include "RequestLog.h"

namespace strivo::sim {

// Escapes & < > " for XML and HTML text. Byte by byte is safe for UTF-8 and
// CP936 alike: no trail byte is one of the escaped characters.
std::string MarkupEscape(std::string_view text);

// An answer as a route gives it; faults are applied afterwards.
struct Reply {
    int status = 200;
    std::string contentType = "text/html";
    std::string body;
    HeaderList headers;  // Set-Cookie may appear more than once
};

using RouteHandler = std::function<Reply(const LoggedRequest& request)>;

// What goes back for one request: the reply with the faults that change its
// content applied, and the faults that change how it travels (closeMidBody,
// drop, drip, endless), for whatever carries it.
struct Answer {
    Reply reply;
    Fault faults;
};

// One port's routes, with no network: every request goes through Respond,
// which logs it, applies the faults and calls the route for the exact method
// and path; an unknown path gets 404, a known path with another method 405.
// Paths under "/__sim/" registered with Inspect() are neither logged nor
// faulted. An HttpEndpoint serves them on a socket; the in-process transport
// of the demo hands them requests directly.
//
// Routes are registered before the first request; Respond runs on any
// thread, several at once.
class Routes {
public:
    // The log and faults belong to the owner and outlive the routes.
    Routes(RequestLog& log, FaultSet& faults, bool secure)
        : m_log(log), m_faults(faults), m_secure(secure) {}

    void Handle(const std::string& method, const std::string& path, RouteHandler handler);
    void Inspect(const std::string& path, std::function<std::string()> json);

    // `request.secure` is set here. `wait` waits out a fault's delay.
    Answer Respond(LoggedRequest request,
                   const std::function<void(std::chrono::milliseconds)>& wait) const;

    bool secure() const { return m_secure; }

private:
    Reply Dispatch(const LoggedRequest& request) const;

    RequestLog& m_log;
    FaultSet& m_faults;
    const bool m_secure;
    std::map<std::pair<std::string, std::string>, RouteHandler> m_routes;  // (method, path)
    std::map<std::string, std::function<std::string()>> m_inspection;
};

}  // namespace strivo::sim
