// The check after a resume or the network's return, with logind and
// NetworkManager played by python3-dbusmock on a private bus.
#include "dialup/WakeWatch.h"

#include "NetworkManagerMock.h"
#include "support/EventLoop.h"

#include <gtest/gtest.h>

namespace pim {
namespace {

using namespace std::chrono_literals;

TEST(WakeWatch, OneCheckAfterAResumeOrTheNetworksReturnWhenTheProgramAllows) {
    if (const QString reason = test::PrivateBus::SkipReason(); !reason.isEmpty())
        GTEST_SKIP() << reason.toStdString();
    test::NetworkManagerMock bus;
    ASSERT_TRUE(bus.StartWith(true)) << bus.error().toStdString();
    // Connectivity as today's NetworkManager announces it; State as older ones did.
    const auto connectivity = [&](uint value) {
        bus.Mock("UpdateProperties", {test::kNetworkManager, QVariantMap{{"Connectivity", value}}},
                 test::kNetworkManager, "/org/freedesktop/NetworkManager");
    };
    const auto state = [&](uint value) { bus.Mock("SetGlobalConnectionState", {value}); };
    const auto resume = [&] {
        bus.Mock("EmitSignal",
                 {"org.freedesktop.login1.Manager", "PrepareForSleep", "b", QVariantList{false}},
                 "org.freedesktop.login1", "/org/freedesktop/login1");
    };
    WakeWatch watch(bus.Bus());
    watch.Check().ResumeSettle = 200ms;
    watch.Check().NetworkSettle = 100ms;
    int asked = 0, checks = 0;
    watch.Conditions = [&] { return ++asked, WakeCheck::Conditions{true, false, false}; };
    watch.OnCheck = [&](WakeWatch*) { ++checks; };
    // Each kind of signal alone, then all together: one check each time. Last,
    // a resume just after a run, which the program does not allow.
    const std::function<void()> sends[] = {
        [&] { connectivity(3), connectivity(4); }, [&] { state(20), state(70); },
        [&] { connectivity(1), state(20), resume(), state(70), connectivity(4); },
        [&] { watch.RunEnded(), resume(); }};
    for (int i = 0; i < 4; ++i) {
        SCOPED_TRACE(i);
        sends[i]();
        ASSERT_TRUE(test::RunUntil([&] { return asked > i; }, 5s));
        test::RunFor(300ms); // and no second
        EXPECT_EQ(asked, i + 1);
        EXPECT_EQ(checks, std::min(i + 1, 3));
    }
}

} // namespace
} // namespace pim
