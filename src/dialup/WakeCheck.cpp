#include "dialup/WakeCheck.h"

#include <algorithm>
#include <ctime>
#include <utility>

namespace pim {

WakeCheck::Duration WakeCheck::BootClock() {
    // Not the monotonic clock: it stands still while the machine sleeps, and a
    // run that ended just before a night's sleep would seem to have ended just now.
    timespec now{};
    ::clock_gettime(CLOCK_BOOTTIME, &now);
    return std::chrono::duration_cast<Duration>(std::chrono::seconds(now.tv_sec) +
                                                std::chrono::nanoseconds(now.tv_nsec));
}

std::optional<WakeCheck::Duration> WakeCheck::Wait(Duration settle) {
    const Duration now = now_();
    if (!deadline_ || *deadline_ < now + settle)
        deadline_ = now + settle;
    return *deadline_ - now;
}

std::optional<WakeCheck::Duration> WakeCheck::PrepareForSleep(bool sleeping) {
    if (!sleeping)
        return Wait(ResumeSettle);
    // A check due now would only meet the network going down; the resume brings its own.
    deadline_.reset();
    return std::nullopt;
}

std::optional<WakeCheck::Duration> WakeCheck::NetworkIs(Network now) {
    if (now == Network::Unknown)
        return std::nullopt;
    const Network was = std::exchange(network_, now);
    const bool back = (was == Network::Down && now != Network::Down) ||
                      (was == Network::Partly && now == Network::Up);
    return back ? Wait(NetworkSettle) : std::nullopt;
}

std::optional<WakeCheck::Duration> WakeCheck::Connectivity(uint32_t value) {
    switch (value) {
    case 1: // none
        return NetworkIs(Network::Down);
    case 2: // behind a captive portal
    case 3: // limited: no Internet as far as the probe can tell
        return NetworkIs(Network::Partly);
    case 4:
        return NetworkIs(Network::Up);
    default: // 0, unknown: NetworkManager reports it when it does not check
        return std::nullopt;
    }
}

std::optional<WakeCheck::Duration> WakeCheck::NetworkState(uint32_t state) {
    switch (state) {
    case 10: // asleep: networking switched off
    case 20: // disconnected
    case 30: // disconnecting
    case 40: // connecting: nothing is up yet
    case 50: // the local network only, no route out: what connectivity calls none
        return NetworkIs(Network::Down);
    case 60: // connected to a site, not the Internet as far as the probe can tell
        return NetworkIs(Network::Partly);
    case 70: // connected globally
        return NetworkIs(Network::Up);
    default: // unknown
        return std::nullopt;
    }
}

void WakeCheck::RunEnded() {
    lastRunEnd_ = now_();
}

bool WakeCheck::Due(const Conditions& now) {
    if (!std::exchange(deadline_, std::nullopt))
        return false;
    if (!now.automatic || now.running || now.offline || network_ == Network::Down)
        return false;
    return !lastRunEnd_ || now_() - *lastRunEnd_ >= std::min(now.interval, QuietLimit);
}

} // namespace pim
