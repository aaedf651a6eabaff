#include "TransportCases.h"

#include <arpa/inet.h>
#include <httplib.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <stdexcept>
#include <thread>

#include "TlsCertificate.h"

namespace strivo::sim {
namespace {

using namespace std::chrono_literals;
using namespace std::string_literals;
using httplib::Request;
using httplib::Response;

// What the suite asks after a case: how often a path was requested, and
// from how many client ports (connections) a key's requests came.
class Tally {
public:
    void Count(const std::string& path) {
        std::lock_guard lock(m_mutex);
        ++m_counts[path];
    }
    void Connection(const std::string& key, int port) {
        std::lock_guard lock(m_mutex);
        m_ports[key].insert(port);
    }
    int Counted(const std::string& path) {
        std::lock_guard lock(m_mutex);
        return m_counts[path];
    }
    std::size_t Connections(const std::string& key) {
        std::lock_guard lock(m_mutex);
        return m_ports[key].size();
    }

private:
    std::mutex m_mutex;
    std::map<std::string, int> m_counts;
    std::map<std::string, std::set<int>> m_ports;
};

Tally g_tally;

// A listening loopback socket; its port through `port`.
int Listen(int& port) {
    const int listener = socket(AF_INET, SOCK_STREAM, 0);
    const int on = 1;
    setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    auto* raw = reinterpret_cast<sockaddr*>(&address);
    if (listener < 0 || bind(listener, raw, length) != 0 || listen(listener, 64) != 0 ||
        getsockname(listener, raw, &length) != 0) {
        throw std::runtime_error("cannot listen on loopback");
    }
    port = ntohs(address.sin_port);
    return listener;
}

// One request as sent, head and body; empty when the client closed first.
std::string ReadRequest(int connection) {
    std::string received;
    std::size_t wanted = std::string::npos;
    char buffer[65536];
    ssize_t got = 0;
    while (received.size() < wanted && (got = recv(connection, buffer, sizeof buffer, 0)) > 0) {
        received.append(buffer, static_cast<std::size_t>(got));
        const auto headEnd = received.find("\r\n\r\n");
        if (wanted == std::string::npos && headEnd != std::string::npos) {
            const auto field = received.find("\nContent-Length: ");
            wanted = headEnd + 4 + (field < headEnd ? std::atol(&received[field + 17]) : 0);
        }
    }
    if (received.starts_with("POST ")) {
        g_tally.Count(received.substr(5, received.find(' ', 5) - 5));
    }
    return received;
}

void Send(int connection, const std::string& bytes) {
    send(connection, bytes.data(), bytes.size(), MSG_NOSIGNAL);
}

// A port whose connections `handle` serves, each on a thread of its own.
int ServeRaw(std::function<void(int connection)> handle) {
    int port = 0;
    const int listener = Listen(port);
    std::thread([listener, handle] {
        for (;;) {
            const int connection = accept(listener, nullptr, nullptr);
            if (connection >= 0) {
                std::thread([connection, handle] {
                    handle(connection);
                    close(connection);
                }).detach();
            }
        }
    }).detach();
    return port;
}

void Echo(const Request& req, Response& res) {
    res.set_content(req.method + " " + req.body + "|" + req.get_header_value("Content-Length"),
                    "text/plain");
}

void Route(httplib::Server& server, const char* pattern, const httplib::Server::Handler& handler) {
    server.Get(pattern, handler);
    server.Post(pattern, handler);
}

void AddRoutes(httplib::Server& server, int plainPort) {
    Route(server, R"(/status/(\d+))", [](const Request& req, Response& res) {
        Echo(req, res);
        res.status = std::stoi(req.matches[1]);
    });
    // That status with a Retry-After header; a 3xx leads on to a 503 without one.
    Route(server, R"(/retry/(\d+)/(\d+))", [](const Request& req, Response& res) {
        const int status = std::stoi(req.matches[1]);
        res.set_header("Retry-After", req.matches[2].str());
        if (status / 100 == 3) {
            res.set_redirect("/status/503", status);
        } else {
            res.status = status;
        }
    });
    Route(server, R"(/hops/(\d+))", [](const Request& req, Response& res) {
        const int left = std::stoi(req.matches[1]);
        left == 0 ? res.set_content("arrived", "text/plain")
                  : res.set_redirect("/hops/" + std::to_string(left - 1));
    });
    Route(server, R"(/moved/(\w+))", [](const Request& req, Response& res) {
        res.set_redirect("/count/" + req.matches[1].str());
    });
    Route(server, "/lines", [](const Request&, Response& res) {
        res.set_content("a\r\nb\nc\rd\0e\nf"s, "text/plain");
    });
    Route(server, R"(/cookie/(\w+))", [](const Request& req, Response& res) {
        res.set_header("Set-Cookie", req.matches[1].str() + "=1; Path=/");
        res.set_redirect("/whoami");
    });
    Route(server, "/whoami", [](const Request& req, Response& res) {
        res.set_content(req.get_header_value("Cookie"), "text/plain");
    });
    Route(server, R"(/sized/(\d+))", [](const Request& req, Response& res) {
        res.set_content(std::string(std::stoul(req.matches[1]), 'x'), "text/plain");
    });
    Route(server, R"(/(chunked|trickle)/(\d+))", [](const Request& req, Response& res) {
        const bool trickle = req.matches[1] == "trickle";
        const std::size_t size = std::stoul(req.matches[2]);
        res.set_chunked_content_provider("text/plain", [=](std::size_t at, httplib::DataSink& out) {
            std::this_thread::sleep_for(trickle ? 50ms : 0ms);
            return at < size ? out.write("x", 1) : (out.done(), true);
        });
    });
    Route(server, R"(/connection/(\w+))", [](const Request& req, Response& res) {
        g_tally.Connection(req.matches[1], req.remote_port);
        Echo(req, res);
    });
    Route(server, R"(/connections/(\w+))", [](const Request& req, Response& res) {
        res.set_content(std::to_string(g_tally.Connections(req.matches[1])), "text/plain");
    });
    Route(server, R"(/count/(\w+))", [](const Request& req, Response& res) {
        g_tally.Count(req.path);
        res.set_content("counted", "text/plain");
    });
    Route(server, "/counted", [](const Request& req, Response& res) {
        res.set_content(std::to_string(g_tally.Counted(req.get_param_value("path"))), "text/plain");
    });
    Route(server, R"(/temporary/(\w+))", [](const Request& req, Response& res) {
        res.set_redirect("/count/" + req.matches[1].str(), 307);
        res.set_content("see /count/" + req.matches[1].str(), "text/plain");
    });
    Route(server, "/down", [plainPort](const Request&, Response& res) {
        res.set_redirect("http://localhost:" + std::to_string(plainPort) + "/count/down");
    });
}

int Bind(httplib::Server& server) {
    server.set_keep_alive_max_count(1000).set_tcp_nodelay(true);  // before the socket is made
    const int port = server.bind_to_any_port("127.0.0.1");
    if (port <= 0) {
        throw std::runtime_error("cannot listen on loopback");
    }
    return port;
}

}  // namespace

void ServeTransportCases(const std::string& caFile, std::ostream& out) {
    const TlsCertificate trusted = MakeSelfSignedCertificate({{"localhost"}});
    const TlsCertificate untrusted = MakeSelfSignedCertificate({{"localhost"}});
    std::ofstream(caFile) << trusted.certificatePem;

    // Handlers and servers live until the process ends.
    static httplib::Server plain;
    static httplib::SSLServer tls(trusted.certificate.get(), trusted.key.get());
    static httplib::SSLServer other(untrusted.certificate.get(), untrusted.key.get());
    const int plainPort = Bind(plain);
    out << "http_port=" << plainPort << "\n"
        << "tls_port=" << Bind(tls) << "\n"
        << "untrusted_port=" << Bind(other) << "\n";
    for (httplib::Server* server :
         {&plain, static_cast<httplib::Server*>(&tls), static_cast<httplib::Server*>(&other)}) {
        AddRoutes(*server, plainPort);
        std::thread([server] { server->listen_after_bind(); }).detach();
    }

    // Accepted by the kernel into the backlog, never answered.
    int silentPort = 0;
    Listen(silentPort);
    // Nothing listens there: bound, then closed.
    int closedPort = 0;
    close(Listen(closedPort));
    out << "silent_port=" << silentPort << "\n"
        << "closed_port=" << closedPort << "\n";

    // Answers with the request's head as its body, and closes, saying so.
    out << "echo_port=" << ServeRaw([](int connection) {
        const std::string request = ReadRequest(connection);
        const std::string head = request.substr(0, request.find("\r\n\r\n") + 4);
        Send(connection, "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(head.size()) +
                             "\r\nConnection: close\r\n\r\n" + head);
    }) << "\n";
    // Reads the request whole and closes without a word.
    out << "drop_port=" << ServeRaw([](int connection) { ReadRequest(connection); }) << "\n";
    // Answers the first request and keeps the connection; reads the second
    // and closes without a word, as a server whose idle connection timed out.
    out << "reuse_drop_port=" << ServeRaw([](int connection) {
        if (!ReadRequest(connection).empty()) {
            Send(connection, "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok");
            ReadRequest(connection);
        }
    }) << "\n";
    // Promises 100 bytes, sends 10 and closes.
    out << "cut_port=" << ServeRaw([](int connection) {
        ReadRequest(connection);
        Send(connection, "HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\n0123456789");
    }) << "\n";
    // Answers with a flood of headers, 400 KB of them, then a short body.
    out << "flood_port=" << ServeRaw([](int connection) {
        ReadRequest(connection);
        std::string head = "HTTP/1.1 200 OK\r\nContent-Length: 2\r\nConnection: close\r\n";
        for (int i = 0; i < 8000; ++i) {
            head += "X-Flood-" + std::to_string(i) + ": " + std::string(40, 'f') + "\r\n";
        }
        Send(connection, head + "\r\nok");
    }) << "\n";
    out << "ready" << std::endl;
    for (;;) {
        std::this_thread::sleep_for(1h);
    }
}

}  // namespace strivo::sim
