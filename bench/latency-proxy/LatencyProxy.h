// A slow link for loopback: a TCP proxy on 127.0.0.1 that hands every chunk on
// `delay` later in each direction (in order; optionally no faster than `rate`
// bytes a second each way) and counts what crosses it. Connections are relayed
// to the server on 127.0.0.1:`targetPort`, one upstream connection each.
//
// The handshake is delayed too: the client's connect completes at once, but the
// upstream connection opens three delays later (SYN, SYN-ACK, ACK), so the
// server's greeting arrives two round trips after connect, as on a real link.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

struct pollfd;

namespace pim::bench {

struct LinkFigures {
    uint64_t toServer = 0;
    uint64_t fromServer = 0;
    // Turns of the protocol: 1 for the connection up to the greeting, plus 1
    // for each flight of the client, that is each time the client sends after
    // the server has sent since the client's last data. A sequential client
    // pays one per command, QUIT included; a pipelined batch is one flight,
    // unless answers arriving while it is still being written split it.
    // Counted from connect to the close.
    int roundTrips = 0;
    double milliseconds = 0; // accept to the close of both directions
    bool broken = false;     // reset, refused or failed midway
};

class LatencyProxy {
public:
    struct Options {
        uint16_t targetPort = 0;
        uint16_t listenPort = 0; // 0: a free port
        std::chrono::microseconds delay{0};
        uint64_t rate = 0; // bytes a second each way; 0: no cap
    };

    // Listens at once; throws std::runtime_error when it cannot.
    explicit LatencyProxy(const Options& options);
    ~LatencyProxy();
    LatencyProxy(const LatencyProxy&) = delete;
    LatencyProxy& operator=(const LatencyProxy&) = delete;

    uint16_t Port() const { return port_; }

    // Relays on a thread of its own until destroyed.
    void Start();
    // Relays on the calling thread, for ever; `finished` is called for each
    // connection that ends.
    template <typename F>
    [[noreturn]] void Run(F finished) {
        for (;;) {
            Step();
            for (const LinkFigures& figures : Take())
                finished(figures);
        }
    }

    // The figures of the connections that ended since the last call, waiting up
    // to `timeout` until there are at least `count`.
    std::vector<LinkFigures> Take(size_t count = 0,
                                  std::chrono::milliseconds timeout = std::chrono::milliseconds(0));
    // Every connection's figures summed since the start, the open ones' too:
    // the difference of two tells what a connection kept open cost meanwhile
    // (milliseconds and broken are left out).
    LinkFigures Totals() const;
    // How many times the server side had something to read, all connections together.
    uint64_t ServerReads() const { return serverReads_; }

private:
    struct Connection;
    void Step();
    void Handle(const std::vector<pollfd>& polled);
    void Deliver();
    void Accept();
    void Finish(Connection& connection);

    Options options_;
    int listener_ = -1;
    int wake_[2] = {-1, -1};
    uint16_t port_ = 0;
    std::vector<std::unique_ptr<Connection>> connections_;
    std::thread thread_;
    std::atomic<bool> stop_ = false;
    std::atomic<uint64_t> toServer_ = 0, fromServer_ = 0, serverReads_ = 0;
    std::atomic<int> roundTrips_ = 0;

    std::mutex mutex_;
    std::condition_variable ended_;
    std::vector<LinkFigures> finished_;
};

} // namespace pim::bench
