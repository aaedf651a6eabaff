#include "HttpEndpoint.h"

#include <httplib.h>

#ifdef __linux__
#include <dirent.h>
#include <netinet/in.h>
#include <sys/socket.h>
#endif

#include <cstdlib>
#include <stdexcept>

namespace strivo::sim {
namespace {

// Idle keep-alive connections each hold a pool thread until they time out, so
// the pool is larger than cpp-httplib's default of 8.
constexpr std::size_t kThreads = 16;
constexpr time_t kKeepAliveSeconds = 10;
// cpp-httplib closes a connection after 5 requests by default; a client must
// be able to post thousands of runs over one connection.
constexpr std::size_t kKeepAliveRequests = 1000000;

// cpp-httplib's stop() closes the listening socket but lets idle keep-alive
// connections wait out their time-out. Shutting down every socket accepted on
// our port (or the one from `peerPort` only) ends them at once: their wait
// sees end-of-file and returns, and an answer still to come goes nowhere.
void ShutdownConnections(int port, int peerPort = 0) {
#ifdef __linux__
    DIR* directory = opendir("/proc/self/fd");
    if (directory == nullptr) {
        return;
    }
    while (const dirent* entry = readdir(directory)) {
        if (entry->d_name[0] < '0' || entry->d_name[0] > '9') {
            continue;
        }
        const int fd = std::atoi(entry->d_name);
        sockaddr_in local{};
        socklen_t length = sizeof local;
        if (fd == dirfd(directory) ||
            getsockname(fd, reinterpret_cast<sockaddr*>(&local), &length) != 0 ||
            local.sin_family != AF_INET || ntohs(local.sin_port) != port ||
            local.sin_addr.s_addr != htonl(INADDR_LOOPBACK)) {
            continue;
        }
        sockaddr_in peer{};
        length = sizeof peer;
        if (getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &length) == 0 &&
            (peerPort == 0 || ntohs(peer.sin_port) == peerPort)) {
            shutdown(fd, SHUT_RDWR);
        }
    }
    closedir(directory);
#else
    (void)port;  // connections then close when their keep-alive time runs out
    (void)peerPort;
#endif
}

bool IsPseudoHeader(const std::string& name) {
    // cpp-httplib files the connection's addresses among the request headers.
    return name == "REMOTE_ADDR" || name == "REMOTE_PORT" || name == "LOCAL_ADDR" ||
           name == "LOCAL_PORT";
}

}  // namespace

HttpEndpoint::HttpEndpoint(const Routes& routes, const TlsCertificate* certificate)
    : m_routes(routes), m_certificate(certificate) {}

HttpEndpoint::~HttpEndpoint() {
    Stop();
}

void HttpEndpoint::Start(int port) {
    if (m_server) {
        return;
    }
    std::unique_ptr<httplib::Server> server;
    if (m_certificate != nullptr) {
        server = std::make_unique<httplib::SSLServer>(m_certificate->certificate.get(),
                                                      m_certificate->key.get());
    } else {
        server = std::make_unique<httplib::Server>();
    }
    if (!server->is_valid()) {
        throw std::runtime_error("cannot set up the TLS server");
    }
    server->new_task_queue = [] { return new httplib::ThreadPool(kThreads); };
    server->set_keep_alive_max_count(kKeepAliveRequests);
    server->set_keep_alive_timeout(kKeepAliveSeconds);
    // Headers and body go out in two writes; without this the second waits for
    // the client's delayed acknowledgement, some 40 ms per request.
    server->set_tcp_nodelay(true);
    // cpp-httplib's default adds SO_REUSEPORT, which lets a second server bind
    // a busy port and silently share its connections. Only SO_REUSEADDR here,
    // so a restart can take the port back from connections in TIME_WAIT.
    server->set_socket_options([](socket_t sock) {
        int yes = 1;
        setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    });
    const auto serve = [this](const httplib::Request& req, httplib::Response& res) {
        Serve(req, res);
    };
    server->Get(".*", serve);
    server->Post(".*", serve);
    server->Put(".*", serve);
    server->Patch(".*", serve);
    server->Delete(".*", serve);
    server->Options(".*", serve);

    const int bound = port == 0 ? server->bind_to_any_port("127.0.0.1")
                                : (server->bind_to_port("127.0.0.1", port) ? port : -1);
    if (bound <= 0) {
        throw std::runtime_error("cannot listen on 127.0.0.1:" + std::to_string(port));
    }
    {
        std::lock_guard lock(m_stopMutex);
        m_stopping = false;
    }
    m_port = bound;
    m_server = std::move(server);
    m_listenEnded = false;
    m_thread = std::thread([this, server = m_server.get()] {
        server->listen_after_bind();
        m_listenEnded = true;
    });
    // stop() does nothing until the accept loop runs, so wait for it.
    while (!m_server->is_running() && !m_listenEnded) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    if (!m_server->is_running()) {
        m_thread.join();
        m_server.reset();
        throw std::runtime_error("cannot serve on 127.0.0.1:" + std::to_string(bound));
    }
}

void HttpEndpoint::Stop() {
    if (!m_server) {
        return;
    }
    m_server->stop();
    ShutdownConnections(m_port);
    // Woken after the connections are gone, a delayed answer has nowhere to go.
    {
        std::lock_guard lock(m_stopMutex);
        m_stopping = true;
    }
    m_stopWake.notify_all();
    m_thread.join();
    m_server.reset();
}

bool HttpEndpoint::WaitUnlessStopping(std::chrono::milliseconds delay) {
    std::unique_lock lock(m_stopMutex);
    return m_stopWake.wait_for(lock, delay, [this] { return m_stopping; });
}

void HttpEndpoint::Serve(const httplib::Request& req, httplib::Response& res) {
    LoggedRequest request;
    request.method = req.method;
    const std::size_t question = req.target.find('?');
    request.path = req.target.substr(0, question);
    if (question != std::string::npos) {
        request.query = req.target.substr(question + 1);
    }
    for (const auto& [name, value] : req.headers) {
        if (!IsPseudoHeader(name)) {
            request.headers.emplace_back(name, value);
        }
    }
    request.body = req.body;
    request.remotePort = req.remote_port;

    Answer answer = m_routes.Respond(
        std::move(request), [this](std::chrono::milliseconds delay) { WaitUnlessStopping(delay); });
    Reply& reply = answer.reply;
    const Fault& faults = answer.faults;
    if (faults.drop) {
        ShutdownConnections(m_port, req.remote_port);
    }

    res.status = reply.status;
    for (const auto& [name, value] : reply.headers) {
        res.set_header(name, value);
    }
    if (faults.drip.count() > 0 || faults.endless) {
        auto body = std::make_shared<std::string>(std::move(reply.body));
        res.set_chunked_content_provider(
            reply.contentType, [this, body, faults](std::size_t offset, httplib::DataSink& sink) {
                if (faults.drip.count() > 0 && WaitUnlessStopping(faults.drip)) {
                    return false;
                }
                const std::size_t piece = faults.drip.count() > 0 ? 1 : 65536;
                if (offset < body->size()) {
                    return sink.write(body->data() + offset,
                                      std::min(piece, body->size() - offset));
                }
                if (faults.endless) {
                    static const std::string filler(65536, '.');
                    return sink.write(filler.data(), piece);
                }
                sink.done();
                return true;
            });
    } else if (faults.closeMidBody) {
        auto body = std::make_shared<std::string>(std::move(reply.body));
        res.set_content_provider(body->size(), reply.contentType,
                                 [body](std::size_t offset, std::size_t, httplib::DataSink& sink) {
                                     if (offset == 0 && body->size() / 2 > 0) {
                                         sink.write(body->data(), body->size() / 2);
                                     }
                                     return false;  // cpp-httplib then closes the connection
                                 });
    } else {
        res.set_content(reply.body, reply.contentType);
    }
}

}  // namespace strivo::sim
