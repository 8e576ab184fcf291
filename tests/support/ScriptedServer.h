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

using Millis = std::chrono::milliseconds;
using Clock = std::chrono::steady_clock;

// A TCP socket; with `port` 0 one bound to a free loopback port, else one
// connected to that port (-1 when refused). `port` is set to the local port.
inline int LoopbackSocket(uint16_t& port, bool connect = false) {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{AF_INET, htons(connect ? port : 0), {htonl(INADDR_LOOPBACK)}, {}};
    socklen_t length = sizeof a;
    if (connect && ::connect(fd, reinterpret_cast<sockaddr*>(&a), length) != 0)
        return ::close(fd), -1;
    if (!connect)
        ::bind(fd, reinterpret_cast<sockaddr*>(&a), length);
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &length);
    return port = ntohs(a.sin_port), fd;
}

// One end of a connection, the server's or the client's.
class ServerConnection {
public:
    explicit ServerConnection(int fd) : fd_(fd) {}
    ~ServerConnection() { fd_ >= 0 && ::close(fd_); }
    ServerConnection(const ServerConnection&) = delete;

    // A client of 127.0.0.1:`port`; when it cannot connect, it reads nothing.
    static ServerConnection To(uint16_t port) {
        return ServerConnection(LoopbackSocket(port, true));
    }

    bool Send(std::string_view bytes) {
        for (ssize_t n = 0; !bytes.empty(); bytes.remove_prefix(static_cast<size_t>(n)))
            if ((n = ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL)) <= 0)
                return false;
        return true;
    }

    // What the peer sends up to and including `end`; empty when it closed or
    // nothing came within `limit`.
    std::string ReadThrough(std::string_view end, Millis limit = std::chrono::seconds(10)) {
        const auto deadline = Clock::now() + limit;
        for (size_t at; (at = pending_.find(end)) == std::string::npos;) {
            char buffer[65536];
            const ssize_t n = WaitReadable(deadline) ? ::recv(fd_, buffer, sizeof buffer, 0) : 0;
            if (n <= 0)
                return {};
            pending_.append(buffer, static_cast<size_t>(n));
        }
        std::string text = pending_.substr(0, pending_.find(end) + end.size());
        pending_.erase(0, text.size());
        return text;
    }

    // The next line without CR LF; empty as for ReadThrough().
    std::string ReadLine(Millis limit = std::chrono::seconds(10)) {
        std::string line = ReadThrough("\r\n", limit);
        return line.substr(0, line.size() - std::min<size_t>(2, line.size()));
    }

    // The first line of the answer to `command`.
    std::string Command(const std::string& command) {
        return Send(command + "\r\n") ? ReadLine() : "";
    }

    // True when the peer closed the connection within `limit`.
    bool WaitClosed(Millis limit) {
        const auto deadline = Clock::now() + limit;
        for (char buffer[256]; WaitReadable(deadline);)
            if (::recv(fd_, buffer, sizeof buffer, 0) <= 0)
                return true;
        return false;
    }

private:
    bool WaitReadable(Clock::time_point deadline) {
        const auto left = std::chrono::duration_cast<Millis>(deadline - Clock::now()).count();
        pollfd p{fd_, POLLIN, 0};
        return fd_ >= 0 && left > 0 && ::poll(&p, 1, static_cast<int>(left)) > 0;
    }

    int fd_;
    std::string pending_;
};

class ScriptedServer {
public:
    using Script = std::function<void(ServerConnection&)>;

    explicit ScriptedServer(Script script)
        : script_(std::move(script)), listener_(LoopbackSocket(port_)) {
        ::listen(listener_, 8);
        thread_ = std::thread([this] {
            for (pollfd p{listener_, POLLIN, 0}; !stop_;)
                if (::poll(&p, 1, 50) > 0)
                    if (const int fd = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
                        fd >= 0) {
                        ++accepted_;
                        ServerConnection connection(fd);
                        script_(connection);
                    }
        });
    }
    ~ScriptedServer() { stop_ = true, thread_.join(), ::close(listener_); }

    uint16_t Port() const { return port_; }
    int Accepted() const { return accepted_; }

    // A loopback port on which nothing listens, so connecting is refused.
    static uint16_t ClosedPort() {
        uint16_t port = 0;
        ::close(LoopbackSocket(port));
        return port;
    }

private:
    Script script_;
    uint16_t port_ = 0;
    int listener_;
    std::atomic<bool> stop_{false};
    std::atomic<int> accepted_{0};
    std::thread thread_;
};

} // namespace pim::test
