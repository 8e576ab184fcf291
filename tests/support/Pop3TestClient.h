// A plain blocking POP3 client on a loopback socket, for tests that check a
// server byte for byte. Every read gives up after a timeout so a silent server
// fails the test instead of hanging it.
#pragma once

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <netinet/in.h>
#include <optional>
#include <string>
#include <string_view>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

namespace pim::test {

class Pop3TestClient {
public:
    Pop3TestClient() = default;
    ~Pop3TestClient() { Close(); }
    Pop3TestClient(const Pop3TestClient&) = delete;
    Pop3TestClient& operator=(const Pop3TestClient&) = delete;

    bool Connect(uint16_t port, std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
        Close();
        fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        const timeval tv{static_cast<time_t>(timeout.count() / 1000),
                         static_cast<suseconds_t>(timeout.count() % 1000 * 1000)};
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(port);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (fd_ < 0 || ::setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv) != 0 ||
            ::setsockopt(fd_, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv) != 0 ||
            ::connect(fd_, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
            Close();
            return false;
        }
        return true;
    }

    void Close() {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = -1;
        buffer_.clear();
    }

    bool Send(std::string_view bytes) {
        while (!bytes.empty()) {
            const ssize_t sent = ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
            if (sent < 0 && errno == EINTR)
                continue;
            if (sent <= 0)
                return false;
            bytes.remove_prefix(static_cast<size_t>(sent));
        }
        return true;
    }

    // One line with its CR LF; nothing when the peer closes or stays silent first.
    std::optional<std::string> ReadLine() { return ReadThrough("\r\n"); }

    // A multi-line reply: status line, body and the terminating ".\r\n", as sent.
    std::optional<std::string> ReadMultiline() {
        auto status = ReadLine();
        if (!status || status->rfind("+OK", 0) != 0)
            return status;
        // The terminator may follow the status line directly (an empty body).
        buffer_.insert(0, "\r\n");
        auto rest = ReadThrough("\r\n.\r\n");
        if (!rest)
            return std::nullopt;
        return *status + rest->substr(2);
    }

    // The command's first reply line.
    std::optional<std::string> Command(std::string_view line) {
        if (!Send(std::string(line) + "\r\n"))
            return std::nullopt;
        return ReadLine();
    }

    // True when the peer closes the connection (no more bytes) within the timeout.
    bool PeerClosed() {
        if (!buffer_.empty())
            return false;
        char byte = 0;
        for (;;) {
            const ssize_t got = ::recv(fd_, &byte, 1, 0);
            if (got < 0 && errno == EINTR)
                continue;
            return got == 0;
        }
    }

private:
    std::optional<std::string> ReadThrough(std::string_view end) {
        for (;;) {
            if (const size_t at = buffer_.find(end); at != std::string::npos) {
                std::string line = buffer_.substr(0, at + end.size());
                buffer_.erase(0, at + end.size());
                return line;
            }
            char chunk[65536];
            const ssize_t got = ::recv(fd_, chunk, sizeof chunk, 0);
            if (got < 0 && errno == EINTR)
                continue;
            if (got <= 0)
                return std::nullopt;
            buffer_.append(chunk, static_cast<size_t>(got));
        }
    }

    int fd_ = -1;
    std::string buffer_;
};

// The message inside a RETR reply: status line and terminator dropped, byte
// stuffing undone.
inline std::string Unstuff(std::string_view reply) {
    const size_t start = reply.find("\r\n");
    if (start == std::string_view::npos || reply.size() < start + 5)
        return {};
    std::string_view body = reply.substr(start + 2, reply.size() - start - 2 - 3);
    std::string message;
    message.reserve(body.size());
    bool lineStart = true;
    for (size_t i = 0; i < body.size(); ++i) {
        if (!(lineStart && body[i] == '.'))
            message += body[i];
        lineStart = body[i] == '\n';
    }
    return message;
}

} // namespace pim::test
