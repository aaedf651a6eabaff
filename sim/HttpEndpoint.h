#pragma once

#include <atomic>
#include <condition_variable>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <utility>

#include "FaultSet.h"
#include "Inspection.h"
#include "RequestLog.h"
#include "TlsCertificate.h"

namespace httplib {
class Server;
struct Request;
struct Response;
}  // namespace httplib

namespace strivo::sim {

// An answer as a route gives it; faults are applied afterwards.
// Escapes & < > " for XML and HTML text. Byte by byte is safe for UTF-8 and
// CP936 alike: no trail byte is one of the escaped characters.
std::string MarkupEscape(std::string_view text);

struct Reply {
    int status = 200;
    std::string contentType = "text/html";
    std::string body;
    HeaderList headers;  // Set-Cookie may appear more than once
};

using RouteHandler = std::function<Reply(const LoggedRequest& request)>;

// One listening port on 127.0.0.1, plain or TLS, over cpp-httplib (which only
// this class's source includes). Every request goes through one dispatcher:
// it logs the request, applies the faults and calls the route for the exact
// method and path; an unknown path gets 404, a known path with another method
// 405. Paths under "/__sim/" registered with Inspect() are neither logged nor
// faulted. Connections stay open for many requests (HTTP/1.1 keep-alive).
//
// Routes are registered before Start(); handlers run on the server's threads,
// several at once.
class HttpEndpoint {
public:
    // `certificate` null: plain HTTP. The log and faults belong to the owner
    // and outlive the endpoint.
    HttpEndpoint(RequestLog& log, FaultSet& faults, const TlsCertificate* certificate);
    ~HttpEndpoint();

    HttpEndpoint(const HttpEndpoint&) = delete;
    HttpEndpoint& operator=(const HttpEndpoint&) = delete;

    void Handle(const std::string& method, const std::string& path, RouteHandler handler);
    void Inspect(const std::string& path, std::function<std::string()> json);

    // Binds 127.0.0.1:`port` (0: an ephemeral port) and serves on a thread of
    // its own. Throws std::runtime_error when the port cannot be bound.
    void Start(int port);
    // Closes the port and every open connection, cuts delays short and waits
    // for the handlers to finish. Harmless when not started.
    void Stop();

    int port() const { return m_port; }

private:
    void Serve(const httplib::Request& req, httplib::Response& res);
    Reply Dispatch(const LoggedRequest& request) const;
    // Waits for `delay`, or until Stop(); true when stopping.
    bool WaitUnlessStopping(std::chrono::milliseconds delay);

    RequestLog& m_log;
    FaultSet& m_faults;
    const TlsCertificate* m_certificate;
    std::map<std::pair<std::string, std::string>, RouteHandler> m_routes;  // (method, path)
    std::map<std::string, std::function<std::string()>> m_inspection;

    std::unique_ptr<httplib::Server> m_server;
    std::thread m_thread;
    std::atomic<bool> m_listenEnded{false};
    int m_port = 0;

    std::mutex m_stopMutex;
    std::condition_variable m_stopWake;
    bool m_stopping = false;
};

}  // namespace strivo::sim
