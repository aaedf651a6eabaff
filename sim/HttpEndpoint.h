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

#include "Routes.h"
#include "TlsCertificate.h"

namespace httplib {
class Server;
struct Request;
struct Response;
}  // namespace httplib

namespace strivo::sim {

// Serves one port's Routes on 127.0.0.1, plain or TLS, over cpp-httplib (which
// only this class's source includes). Connections stay open for many requests
// (HTTP/1.1 keep-alive). Handlers run on the server's threads, several at once.
//
// A build without cpp-httplib (MinGW) binds nothing: Start() gives the
// endpoint a port number that only the in-process transport knows it by.
class HttpEndpoint {
public:
    // `certificate` null: plain HTTP. The routes outlive the endpoint.
    HttpEndpoint(const Routes& routes, const TlsCertificate* certificate);
    ~HttpEndpoint();

    HttpEndpoint(const HttpEndpoint&) = delete;
    HttpEndpoint& operator=(const HttpEndpoint&) = delete;

    // Binds 127.0.0.1:`port` (0: an ephemeral port) and serves on a thread of
    // its own. Throws std::runtime_error when the port cannot be bound.
    void Start(int port);
    // Closes the port and every open connection, cuts delays short and waits
    // for the handlers to finish. Harmless when not started.
    void Stop();

    int port() const { return m_port; }

private:
    void Serve(const httplib::Request& req, httplib::Response& res);
    // Waits for `delay`, or until Stop(); true when stopping.
    bool WaitUnlessStopping(std::chrono::milliseconds delay);

    const Routes& m_routes;
    const TlsCertificate* m_certificate;

    std::unique_ptr<httplib::Server> m_server;
    std::thread m_thread;
    std::atomic<bool> m_listenEnded{false};
    int m_port = 0;

    std::mutex m_stopMutex;
    std::condition_variable m_stopWake;
    bool m_stopping = false;
};

}  // namespace strivo::sim
