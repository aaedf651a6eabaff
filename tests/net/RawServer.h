#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace strivo::test {

// A bare loopback listener for what httplib hides or will not do. With a
// response, it keeps each request head as sent, reads the body, answers and
// closes. Without, it never answers: the kernel accepts into the backlog.
class RawServer {
public:
    explicit RawServer(std::optional<std::string> response = std::nullopt)
        : m_response(std::move(response)), m_listener(socket(AF_INET, SOCK_STREAM, 0)) {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        auto* raw = reinterpret_cast<sockaddr*>(&address);
        if (bind(m_listener, raw, length) != 0 || listen(m_listener, 16) != 0 ||
            getsockname(m_listener, raw, &length) != 0) {
            throw std::runtime_error("cannot listen on loopback");
        }
        m_port = ntohs(address.sin_port);
        if (m_response) {
            m_thread = std::thread([this] { Serve(); });
        }
    }
    ~RawServer() {
        m_stopping = true;
        if (m_thread.joinable()) {
            m_thread.join();
        }
        close(m_listener);
    }

    int Port() const { return m_port; }
    std::vector<std::string> Heads() const {
        std::lock_guard lock(m_mutex);
        return m_heads;
    }
    static int ClosedPort() { return RawServer().Port(); }

private:
    void Serve() {
        pollfd waiting{m_listener, POLLIN, 0};
        while (!m_stopping) {
            if (poll(&waiting, 1, 20) != 1) {
                continue;
            }
            const int connection = accept(m_listener, nullptr, nullptr);
            std::string received;
            std::size_t wanted = std::string::npos;
            char buffer[65536];
            ssize_t got = 0;
            while (received.size() < wanted &&
                   (got = recv(connection, buffer, sizeof buffer, 0)) > 0) {
                received.append(buffer, static_cast<std::size_t>(got));
                const auto headEnd = received.find("\r\n\r\n");
                if (wanted == std::string::npos && headEnd != std::string::npos) {
                    const auto field = received.find("Content-Length: ");
                    wanted = headEnd + 4 + (field < headEnd ? std::atol(&received[field + 16]) : 0);
                    std::lock_guard lock(m_mutex);
                    m_heads.push_back(received.substr(0, headEnd + 4));
                }
            }
            send(connection, m_response->data(), m_response->size(), MSG_NOSIGNAL);
            close(connection);
        }
    }

    std::optional<std::string> m_response;
    int m_listener;
    int m_port = 0;
    std::atomic<bool> m_stopping{false};
    mutable std::mutex m_mutex;
    std::vector<std::string> m_heads;
    std::thread m_thread;
};

}  // namespace strivo::test
