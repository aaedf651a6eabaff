#pragma once

#include <httplib.h>

#include <chrono>
#include <stdexcept>
#include <string>
#include <string_view>
#include <thread>

namespace strivo::test {

// Runs an httplib server, plain or TLS, on a loopback port of its own until destroyed.
class ServerThread {
public:
    explicit ServerThread(httplib::Server& server)
        : m_server(server), m_port(server.bind_to_any_port("127.0.0.1")) {
        if (m_port <= 0) {
            throw std::runtime_error("cannot bind a loopback port");
        }
        m_thread = std::thread([this] { m_server.listen_after_bind(); });
        while (!m_server.is_running()) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }
    ~ServerThread() {
        m_server.stop();
        m_thread.join();
    }

    std::string Url(std::string_view path, std::string_view scheme = "http") const {
        return std::string(scheme) + "://127.0.0.1:" + std::to_string(m_port) + std::string(path);
    }

private:
    httplib::Server& m_server;
    int m_port;
    std::thread m_thread;
};

}  // namespace strivo::test
