// Loopback TCP for tests written as plain blocking code: a server that runs a
// script of its side of each connection on a thread of its own, and a client.
// Every read gives up after a time limit, so silence fails a test, not hangs it.
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

// One end of a connection, the server's or the client's.
class ServerConnection {
public:
    explicit ServerConnection(int fd) : fd_(fd) {}
    ~ServerConnection() { Close(); }
    ServerConnection(const ServerConnection&) = delete;
    ServerConnection& operator=(const ServerConnection&) = delete;

    // A client of 127.0.0.1:`port`; when it cannot connect, it reads nothing.
    static ServerConnection To(uint16_t port) {
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address = Loopback(port);
        if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0)
            return ServerConnection(fd);
        ::close(fd);
        return ServerConnection(-1);
    }

    bool Send(std::string_view bytes) {
        while (!bytes.empty()) {
            const ssize_t n = ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
            if (n <= 0)
                return false;
            bytes.remove_prefix(static_cast<size_t>(n));
        }
        return true;
    }

    // What the peer sends up to and including `end`; empty when it closed or
    // nothing came within `limit`.
    std::string ReadThrough(std::string_view end,
                            std::chrono::milliseconds limit = std::chrono::seconds(10)) {
        const auto deadline = std::chrono::steady_clock::now() + limit;
        while (true) {
            if (const auto at = pending_.find(end); at != std::string::npos) {
                std::string text = pending_.substr(0, at + end.size());
                pending_.erase(0, at + end.size());
                return text;
            }
            char buffer[65536];
            if (!WaitReadable(deadline))
                return {};
            const ssize_t n = ::recv(fd_, buffer, sizeof buffer, 0);
            if (n <= 0)
                return {};
            pending_.append(buffer, static_cast<size_t>(n));
        }
    }

    // The next line without CR LF; empty as for ReadThrough().
    std::string ReadLine(std::chrono::milliseconds limit = std::chrono::seconds(10)) {
        std::string line = ReadThrough("\r\n", limit);
        line.resize(line.size() - std::min<size_t>(2, line.size()));
        return line;
    }

    // The first line of the answer to `command`.
    std::string Command(const std::string& command) {
        return Send(command + "\r\n") ? ReadLine() : std::string();
    }

    // True when the peer closed the connection within `limit`.
    bool WaitClosed(std::chrono::milliseconds limit) {
        const auto deadline = std::chrono::steady_clock::now() + limit;
        char buffer[256];
        while (WaitReadable(deadline)) {
            if (::recv(fd_, buffer, sizeof buffer, 0) <= 0)
                return true;
        }
        return false;
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

    static sockaddr_in Loopback(uint16_t port) {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(port);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        return address;
    }

private:
    bool WaitReadable(std::chrono::steady_clock::time_point deadline) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        pollfd p{fd_, POLLIN, 0};
        return fd_ >= 0 && left.count() > 0 && ::poll(&p, 1, static_cast<int>(left.count())) > 0;
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
        sockaddr_in address = ServerConnection::Loopback(0);
        socklen_t length = sizeof address;
        ::bind(fd, reinterpret_cast<sockaddr*>(&address), length);
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
        port = ntohs(address.sin_port);
        return fd;
    }

    void Serve() {
        while (!stop_) {
            pollfd p{listener_, POLLIN, 0};
            if (::poll(&p, 1, 50) <= 0)
                continue;
            if (const int fd = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC); fd >= 0) {
                ++accepted_;
                ServerConnection connection(fd);
                script_(connection);
            }
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
