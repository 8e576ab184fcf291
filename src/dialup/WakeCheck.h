// When Pim checks by itself because the machine woke up or the network came
// back: what logind and NetworkManager report goes in, "start a check now" comes
// out. No bus, no timer: the caller waits as long as each event says and then
// asks Due().
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <utility>

namespace pim {

class WakeCheck {
public:
    using Duration = std::chrono::milliseconds;
    // Time since an arbitrary start, counting the time the machine slept.
    using Clock = std::function<Duration()>;
    static Duration BootClock();

    explicit WakeCheck(Clock now = BootClock) : now_(std::move(now)) {}

    // What the program is doing when the wait is over.
    struct Conditions {
        bool automatic = false; // the interval check is on and not paused
        bool running = false;   // a run or its dial is under way
        bool offline = false;
        Duration interval{60000}; // the user's, between interval checks
    };

    // The network needs a few seconds after a resume, less once it reports itself up.
    Duration ResumeSettle{5000};
    Duration NetworkSettle{2000};
    // A run that ended less than the user's interval ago leaves nothing new to
    // find, and a link that keeps dropping must not log in to every account each
    // time it returns: servers lock accounts for less. A long interval still
    // gives way after five minutes to a resume or the network's return.
    Duration QuietLimit{std::chrono::minutes(5)};

    // Each returns how long to wait before asking Due(), or nothing when the
    // event asks for no check. Events close together share one wait, the longest.
    // logind's PrepareForSleep: true before the sleep, false after it.
    std::optional<Duration> PrepareForSleep(bool sleeping);
    // NetworkManager's Connectivity (1 none, 2 portal, 3 limited, 4 full).
    // Its return: a connection after none, or the Internet after a portal or a
    // limited connection.
    std::optional<Duration> Connectivity(uint32_t value);
    // NetworkManager's State (20 disconnected ... 70 connected globally), the same.
    std::optional<Duration> NetworkState(uint32_t state);
    void RunEnded();

    // The wait is over: whether a check starts now. Either way the wait ends.
    bool Due(const Conditions& now);
    bool Pending() const { return deadline_.has_value(); }

private:
    // How far the network reaches, as NetworkManager last said.
    enum class Network { Unknown, Down, Partly, Up };

    std::optional<Duration> Wait(Duration settle);
    std::optional<Duration> NetworkIs(Network now);

    Clock now_;
    std::optional<Duration> deadline_;
    std::optional<Duration> lastRunEnd_;
    // Down: a resume waits for its return instead of checking into nothing.
    // Partly (a portal, or a connectivity probe that cannot get out) may well
    // reach the mail servers: a resume checks.
    Network network_ = Network::Unknown;
};

} // namespace pim
