// How long an account whose idling connection dropped waits before it tries
// again: about 2 s, doubling with every failed try up to 5 minutes, so that a
// server that is down is not hammered and one that is back is found soon. A
// resume or the network's return tries at once.
#pragma once

#include <algorithm>
#include <chrono>

namespace pim {

class Backoff {
public:
    static constexpr std::chrono::milliseconds kFirst{2000};
    static constexpr std::chrono::milliseconds kLongest{5 * 60 * 1000};

    // A try failed (or the connection dropped): the wait before the next one.
    std::chrono::milliseconds Failed() {
        const std::chrono::milliseconds wait = next_;
        next_ = std::min(next_ * 2, kLongest);
        return wait;
    }
    // A try worked: the next drop starts again from the first wait.
    void Succeeded() { next_ = kFirst; }
    // The machine woke or the network came back: try now, and the next failure
    // waits as after a first one.
    void Woke() { next_ = kFirst; }

private:
    std::chrono::milliseconds next_ = kFirst;
};

} // namespace pim
