#include "LatencyProxy.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <deque>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <optional>
#include <poll.h>
#include <stdexcept>
#include <string>
#include <sys/socket.h>
#include <unistd.h>
#include <utility>

namespace pim::bench {

namespace {

using Clock = std::chrono::steady_clock;

constexpr size_t kReadSize = 64 * 1024;
// Beyond this much waiting in one direction the proxy stops reading, so memory
// stays bounded when the rate cap is far below what the server sends.
constexpr size_t kMaxQueued = 16 * 1024 * 1024;

[[noreturn]] void Fail(const std::string& what) {
    throw std::runtime_error(what + ": " + std::strerror(errno));
}

sockaddr_in Loopback(uint16_t port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

// The proxy's own sockets must not hold small chunks back (Nagle): the delay
// is the one the proxy adds.
void Prepare(int fd) {
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
    const int one = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
}

struct Chunk {
    Clock::time_point due;
    std::string data; // empty: the sender's close, handed on as a half close
};

struct Direction {
    int from = -1;
    int to = -1;
    std::deque<Chunk> queue;
    size_t queued = 0;
    size_t written = 0; // of the front chunk
    bool readEnded = false;
    bool writeEnded = false;
    bool blocked = false; // the receiver's buffer is full: wait for POLLOUT
    Clock::time_point linkFree{};
    uint64_t bytes = 0;

    bool Readable() const { return !readEnded && queued < kMaxQueued; }
};

} // namespace

struct LatencyProxy::Connection {
    int client = -1;
    int server = -1;
    Clock::time_point accepted;
    Clock::time_point connectDue;
    Direction up;   // client to server
    Direction down; // server to client
    int roundTrips = 1;
    bool serverSpoke = false;
    bool broken = false;

    bool Done() const { return broken || (up.writeEnded && down.writeEnded); }
};

namespace {

// The number of bytes read; 0 also for nothing yet.
size_t Read(const LatencyProxy::Options& options, Direction& direction, Clock::time_point now,
            bool& broken) {
    static thread_local char buffer[kReadSize];
    const ssize_t n = recv(direction.from, buffer, sizeof buffer, 0);
    if (n < 0 && (errno == EAGAIN || errno == EINTR))
        return 0;
    const size_t size = n > 0 ? static_cast<size_t>(n) : 0;
    // A reset reads as a close: clients that abort after the answer to QUIT
    // have had everything they asked for.
    if (n < 0 && errno != ECONNRESET)
        broken = true;
    if (size == 0)
        direction.readEnded = true;
    direction.bytes += size;
    const Clock::time_point start = std::max(now, direction.linkFree);
    direction.linkFree =
        options.rate == 0 ? start
                          : start + std::chrono::nanoseconds(size * 1'000'000'000 / options.rate);
    direction.queue.push_back({direction.linkFree + options.delay, std::string(buffer, size)});
    direction.queued += size;
    return size;
}

// Hands on what is due; false when the receiver is gone.
bool Flush(Direction& direction, Clock::time_point now) {
    while (!direction.blocked && !direction.queue.empty() && direction.queue.front().due <= now) {
        Chunk& front = direction.queue.front();
        if (front.data.empty()) {
            shutdown(direction.to, SHUT_WR); // the receiver may have gone already
            direction.writeEnded = true;
            direction.queue.pop_front();
            continue;
        }
        const ssize_t n = send(direction.to, front.data.data() + direction.written,
                               front.data.size() - direction.written, MSG_NOSIGNAL);
        if (n < 0) {
            if (errno == EAGAIN)
                direction.blocked = true;
            else if (errno != EINTR)
                return false;
            continue;
        }
        direction.written += static_cast<size_t>(n);
        if (direction.written == front.data.size()) {
            direction.queued -= front.data.size();
            direction.written = 0;
            direction.queue.pop_front();
        }
    }
    return true;
}

} // namespace

LatencyProxy::LatencyProxy(const Options& options) : options_(options) {
    listener_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (listener_ < 0)
        Fail("socket");
    const int one = 1;
    setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in address = Loopback(options.listenPort);
    if (bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
        Fail("bind 127.0.0.1:" + std::to_string(options.listenPort));
    if (listen(listener_, 16) != 0)
        Fail("listen");
    socklen_t length = sizeof address;
    getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
    fcntl(listener_, F_SETFL, O_NONBLOCK);
    if (pipe2(wake_, O_CLOEXEC | O_NONBLOCK) != 0)
        Fail("pipe");
}

LatencyProxy::~LatencyProxy() {
    if (thread_.joinable()) {
        stop_ = true;
        [[maybe_unused]] const ssize_t n = write(wake_[1], "x", 1);
        thread_.join();
    }
    for (const auto& connection : connections_) {
        close(connection->client);
        if (connection->server >= 0)
            close(connection->server);
    }
    close(listener_);
    close(wake_[0]);
    close(wake_[1]);
}

void LatencyProxy::Start() {
    thread_ = std::thread([this] {
        while (!stop_)
            Step();
    });
}

std::vector<LinkFigures> LatencyProxy::Take(size_t count, std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex_);
    ended_.wait_for(lock, timeout, [&] { return finished_.size() >= count; });
    return std::exchange(finished_, {});
}

LinkFigures LatencyProxy::Totals() const {
    LinkFigures totals;
    totals.toServer = toServer_;
    totals.fromServer = fromServer_;
    totals.roundTrips = roundTrips_;
    return totals;
}

void LatencyProxy::Accept() {
    const int client = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
    if (client < 0)
        return;
    Prepare(client);
    auto connection = std::make_unique<Connection>();
    connection->client = client;
    connection->accepted = Clock::now();
    connection->connectDue = connection->accepted + 3 * options_.delay;
    ++roundTrips_; // the connection's own, up to the greeting
    connection->up.from = client;
    connection->down.to = client;
    connections_.push_back(std::move(connection));
}

void LatencyProxy::Finish(Connection& connection) {
    close(connection.client);
    if (connection.server >= 0)
        close(connection.server);
    LinkFigures figures;
    figures.toServer = connection.up.bytes;
    figures.fromServer = connection.down.bytes;
    figures.roundTrips = connection.roundTrips;
    figures.milliseconds =
        std::chrono::duration<double, std::milli>(Clock::now() - connection.accepted).count();
    figures.broken = connection.broken;
    std::lock_guard lock(mutex_);
    finished_.push_back(figures);
    ended_.notify_all();
}

// Connects what is due upstream, hands on what is due, ends what is over.
void LatencyProxy::Deliver() {
    const Clock::time_point now = Clock::now();
    for (const auto& connection : connections_) {
        Connection& c = *connection;
        if (c.server < 0 && !c.broken && c.connectDue <= now) {
            // Blocking: on loopback the connect completes or fails at once.
            c.server = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
            const sockaddr_in target = Loopback(options_.targetPort);
            if (c.server < 0 ||
                connect(c.server, reinterpret_cast<const sockaddr*>(&target), sizeof target) != 0) {
                c.broken = true;
                continue;
            }
            Prepare(c.server);
            c.up.to = c.server;
            c.down.from = c.server;
        }
        if (c.server >= 0 && !(Flush(c.up, now) && Flush(c.down, now)))
            c.broken = true;
    }
    std::erase_if(connections_, [&](const std::unique_ptr<Connection>& connection) {
        if (!connection->Done())
            return false;
        Finish(*connection);
        return true;
    });
}

void LatencyProxy::Step() {
    // Poll what can be read or written; sleep no longer than the next chunk due.
    std::vector<pollfd> polled{{wake_[0], POLLIN, 0}, {listener_, POLLIN, 0}};
    std::optional<Clock::time_point> wakeAt;
    const auto until = [&](Clock::time_point at) { wakeAt = wakeAt ? std::min(*wakeAt, at) : at; };
    const auto add = [&](int fd, short events) {
        polled.push_back({events != 0 ? fd : -1, events, 0}); // -1: no POLLHUP storms
    };
    for (const auto& connection : connections_) {
        Connection& c = *connection;
        const bool connected = c.server >= 0;
        add(c.client,
            static_cast<short>((c.up.Readable() ? POLLIN : 0) | (c.down.blocked ? POLLOUT : 0)));
        add(c.server,
            static_cast<short>(
                connected ? (c.down.Readable() ? POLLIN : 0) | (c.up.blocked ? POLLOUT : 0) : 0));
        if (!connected)
            until(c.connectDue);
        for (const Direction* direction : {&c.up, &c.down}) {
            if (connected && !direction->blocked && !direction->queue.empty())
                until(direction->queue.front().due);
        }
    }
    timespec timeout{};
    if (wakeAt) {
        const auto wait = std::max(Clock::duration::zero(), *wakeAt - Clock::now());
        const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(wait);
        timeout.tv_sec = static_cast<time_t>(seconds.count());
        timeout.tv_nsec = static_cast<long>(
            std::chrono::duration_cast<std::chrono::nanoseconds>(wait - seconds).count());
    }
    if (ppoll(polled.data(), polled.size(), wakeAt ? &timeout : nullptr, nullptr) > 0)
        Handle(polled);
    Deliver();
}

void LatencyProxy::Handle(const std::vector<pollfd>& polled) {
    const Clock::time_point now = Clock::now();
    if (polled[0].revents != 0) {
        char drained[16];
        while (read(wake_[0], drained, sizeof drained) > 0) {
        }
    }
    for (size_t i = 2; i < polled.size(); i += 2) {
        Connection& c = *connections_[i / 2 - 1];
        const short client = polled[i].revents;
        const short server = polled[i + 1].revents;
        constexpr short kReadable = POLLIN | POLLHUP | POLLERR;
        if (const size_t n =
                (client & kReadable) && c.up.Readable() ? Read(options_, c.up, now, c.broken) : 0;
            n > 0) {
            toServer_ += n;
            if (c.serverSpoke)
                ++c.roundTrips, ++roundTrips_;
            c.serverSpoke = false;
        }
        if (const size_t n = (server & kReadable) && c.down.Readable()
                                 ? Read(options_, c.down, now, c.broken)
                                 : 0;
            n > 0) {
            fromServer_ += n;
            ++serverReads_;
            c.serverSpoke = true;
        }
        // An error shows in the next send.
        if (client & (POLLOUT | POLLHUP | POLLERR))
            c.down.blocked = false;
        if (server & (POLLOUT | POLLHUP | POLLERR))
            c.up.blocked = false;
    }
    if (polled[1].revents & POLLIN)
        Accept();
}

} // namespace pim::bench
