// A TCP server on 127.0.0.1 whose side of the conversation a test writes as
// plain blocking code, run on a thread of its own: one script per connection.
#pragma once

#include <arpa/inet.h>
#include <atomic>
#include <chrono>
#include <functional>
#include <netinet/in.h>
#include <poll.h>
#include <string>
#include <string_view>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace pim::test {

class ServerConnection {
public:
    explicit ServerConnection(int fd) : fd_(fd) {}
    ~ServerConnection() { Close(); }

    bool Send(std::string_view bytes) {
        while (!bytes.empty()) {
            const ssize_t n = ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
            if (n <= 0)
                return false;
            bytes.remove_prefix(static_cast<size_t>(n));
        }
        return true;
    }

    // The next line the client sends, without CR LF; empty when the client
    // closed or nothing came within `limit`.
    std::string ReadLine(std::chrono::milliseconds limit = std::chrono::seconds(10)) {
        const auto deadline = std::chrono::steady_clock::now() + limit;
        while (true) {
            if (const auto end = pending_.find("\r\n"); end != std::string::npos) {
                std::string line = pending_.substr(0, end);
                pending_.erase(0, end + 2);
                return line;
            }
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0 || !WaitReadable(left))
                return {};
            char buffer[4096];
            const ssize_t n = ::recv(fd_, buffer, sizeof buffer, 0);
            if (n <= 0)
                return {};
            pending_.append(buffer, static_cast<size_t>(n));
        }
    }

    // True when the client closed the connection within `limit`.
    bool WaitClosed(std::chrono::milliseconds limit) {
        char buffer[256];
        const auto deadline = std::chrono::steady_clock::now() + limit;
        while (true) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0 || !WaitReadable(left))
                return false;
            if (::recv(fd_, buffer, sizeof buffer, 0) <= 0)
                return true;
        }
    }

    void Close() {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = -1;
    }

    // Closes with a reset (RST) instead of the orderly FIN.
    void Reset() {
        const linger abort{1, 0};
        ::setsockopt(fd_, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
        Close();
    }

private:
    bool WaitReadable(std::chrono::milliseconds limit) {
        pollfd p{fd_, POLLIN, 0};
        return ::poll(&p, 1, static_cast<int>(limit.count())) > 0;
    }

    int fd_;
    std::string pending_;
};

class ScriptedServer {
public:
    using Script = std::function<void(ServerConnection&)>;

    explicit ScriptedServer(Script script) : script_(std::move(script)), listener_(Bind(port_)) {
        ::listen(listener_, 8);
        thread_ = std::thread([this] { Serve(); });
    }

    ~ScriptedServer() {
        stop_ = true;
        thread_.join();
        ::close(listener_);
    }

    uint16_t Port() const { return port_; }
    int Accepted() const { return accepted_; }

    // A loopback port on which nothing listens, so connecting is refused.
    static uint16_t ClosedPort() {
        uint16_t port = 0;
        ::close(Bind(port));
        return port;
    }

private:
    // A socket bound to a free loopback port, and that port.
    static int Bind(uint16_t& port) {
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
        socklen_t length = sizeof address;
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
        port = ntohs(address.sin_port);
        return fd;
    }

    void Serve() {
        while (!stop_) {
            pollfd p{listener_, POLLIN, 0};
            if (::poll(&p, 1, 50) <= 0)
                continue;
            const int fd = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd < 0)
                continue;
            ++accepted_;
            ServerConnection connection(fd);
            script_(connection);
        }
    }

    Script script_;
    uint16_t port_ = 0;
    int listener_ = -1;
    std::atomic<bool> stop_{false};
    std::atomic<int> accepted_{0};
    std::thread thread_;
};

} // namespace pim::test
