#include "dialup/WakeCheck.h"

#include <ctime>
#include <utility>

namespace pim {

namespace {

constexpr uint32_t kConnectivityFull = 4;
constexpr uint32_t kConnectedGlobal = 70;

} // namespace

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

std::optional<WakeCheck::Duration> WakeCheck::NetworkUp(bool up) {
    const bool wasDown = std::exchange(networkDown_, !up);
    if (!up || !wasDown)
        return std::nullopt;
    return Wait(NetworkSettle);
}

std::optional<WakeCheck::Duration> WakeCheck::Connectivity(uint32_t value) {
    if (value == kConnectivityFull)
        return NetworkUp(true);
    // 0, unknown, says nothing: NetworkManager reports it when it does not check.
    if (value >= 1 && value < kConnectivityFull)
        return NetworkUp(false);
    return std::nullopt;
}

std::optional<WakeCheck::Duration> WakeCheck::NetworkState(uint32_t state) {
    switch (state) {
    case kConnectedGlobal:
        return NetworkUp(true);
    case 10: // asleep: networking switched off
    case 20: // disconnected
    case 50: // connected to the local network only
    case 60: // connected to a site, not the Internet
        return NetworkUp(false);
    default: // unknown, and the moments of connecting and disconnecting
        return std::nullopt;
    }
}

void WakeCheck::RunEnded() {
    lastRunEnd_ = now_();
}

bool WakeCheck::Due(const Conditions& now) {
    if (!std::exchange(deadline_, std::nullopt))
        return false;
    if (!now.automatic || now.running || now.offline || networkDown_)
        return false;
    return !lastRunEnd_ || now_() - *lastRunEnd_ >= QuietAfterRun;
}

} // namespace pim
