// How long an account whose idling connection dropped waits before it tries
// again: about 2 s, doubling with every failed try up to 5 minutes, so that a
// server that is down is not hammered and one that is back is found soon. A
// resume or the network's return tries at once. And how often the changes a
// server tells may start a check of its account.
#pragma once

#include <algorithm>
#include <chrono>
#include <deque>
#include <utility>

namespace pim {

class Backoff {
public:
    using Duration = std::chrono::milliseconds;
    static constexpr Duration kFirst{2000};
    static constexpr Duration kLongest{5 * 60 * 1000};
    // A connection that lasted this long worked: its drop starts the waits again.
    // One that idles and drops at once (a server that ends every IDLE) does not.
    static constexpr Duration kSteady{5 * 60 * 1000};

    // A try failed, or the connection dropped, at `now`: the wait before the next one.
    Duration Failed(Duration now) {
        if (working_ && now - since_ >= kSteady)
            next_ = kFirst;
        working_ = false;
        const Duration wait = next_;
        next_ = std::min(next_ * 2, kLongest);
        return wait;
    }
    // The connection idles at `now`: it works from its first idle on.
    void Working(Duration now) {
        if (!std::exchange(working_, true))
            since_ = now;
    }
    // The machine woke or the network came back, or the connection was left on
    // purpose: try now, and the next failure waits as after a first one.
    void Woke() {
        next_ = kFirst;
        working_ = false;
    }

private:
    Duration next_ = kFirst;
    // Since when the connection works (a flag beside it: GCC 12 at -O3 warns
    // falsely of an optional duration read uninitialised).
    bool working_ = false;
    Duration since_{};
};

// At most one check every 2 s and ten a minute for one account's pushes: a
// server that tells of changes in a loop must not make Pim search and notify
// in a loop. A check held back is one check, however many changes came meanwhile.
class PushPace {
public:
    using Duration = std::chrono::milliseconds;
    static constexpr Duration kGap{2000};
    static constexpr Duration kWindow{60 * 1000};
    static constexpr size_t kPerWindow = 10;

    // A check is wanted at `now`: zero when it may start (it is counted), else
    // how long it must wait.
    Duration Wait(Duration now) {
        Duration earliest = now;
        if (!starts_.empty())
            earliest = std::max(earliest, starts_.back() + kGap);
        if (starts_.size() == kPerWindow)
            earliest = std::max(earliest, starts_.front() + kWindow);
        if (now < earliest)
            return earliest - now;
        if (starts_.size() == kPerWindow)
            starts_.pop_front();
        starts_.push_back(now);
        return Duration::zero();
    }

private:
    std::deque<Duration> starts_; // the last checks' starts, oldest first
};

} // namespace pim
