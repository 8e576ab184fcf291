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
    ASSERT_TRUE(bus.StartWith() && bus.StartLogind()) << bus.error().toStdString();
    const QString nmPath = QStringLiteral("/org/freedesktop/NetworkManager");
    // Connectivity as today's NetworkManager announces it; State as older ones did.
    const auto connectivity = [&](uint value) {
        bus.Mock(QStringLiteral("UpdateProperties"),
                 {test::kNetworkManager, QVariantMap{{"Connectivity", QVariant::fromValue(value)}}},
                 test::kNetworkManager, nmPath);
    };
    const auto state = [&](uint value) {
        bus.Mock(QStringLiteral("SetGlobalConnectionState"), {QVariant::fromValue(value)});
    };
    const auto resume = [&] {
        bus.Mock(QStringLiteral("EmitSignal"),
                 {"org.freedesktop.login1.Manager", "PrepareForSleep", "b", QVariantList{false}},
                 QStringLiteral("org.freedesktop.login1"),
                 QStringLiteral("/org/freedesktop/login1"));
    };
    WakeWatch watch(bus.Bus());
    watch.Check().ResumeSettle = 200ms;
    watch.Check().NetworkSettle = 100ms;
    int asked = 0, checks = 0;
    WakeCheck::Conditions when{true, false, false};
    watch.Conditions = [&] {
        ++asked;
        return when;
    };
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
