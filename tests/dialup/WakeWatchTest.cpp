// The check after a resume or the network's return, with logind and
// NetworkManager played by python3-dbusmock on a private bus. A resume alone is
// seen in the cases where the program does not allow the check.
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
    ASSERT_TRUE(bus.StartWith()) << bus.error().toStdString();
    ASSERT_TRUE(bus.StartLogind()) << bus.error().toStdString();
    // NetworkManager's Connectivity as today's NetworkManager announces it
    // (org.freedesktop.DBus.Properties); its State as older ones did.
    const auto connectivity = [&](uint value) {
        bus.Mock(QStringLiteral("UpdateProperties"),
                 {test::kNetworkManager,
                  QVariantMap{{QStringLiteral("Connectivity"), QVariant::fromValue(value)}}},
                 test::kNetworkManager, QStringLiteral("/org/freedesktop/NetworkManager"));
    };
    const auto state = [&](uint value) {
        bus.Mock(QStringLiteral("SetGlobalConnectionState"), {QVariant::fromValue(value)});
    };
    const auto sleep = [&](bool sleeping) {
        bus.Mock(QStringLiteral("EmitSignal"),
                 {QStringLiteral("org.freedesktop.login1.Manager"),
                  QStringLiteral("PrepareForSleep"), QStringLiteral("b"), QVariantList{sleeping}},
                 QStringLiteral("org.freedesktop.login1"),
                 QStringLiteral("/org/freedesktop/login1"));
    };
    const struct {
        const char* name;
        std::function<void()> send;
        WakeCheck::Conditions when{true, false, false}; // automatic, running, offline
        bool ranJustNow = false;
        int checks = 1;
    } cases[] = {
        {"connectivity limited, then full",
         [&] {
             connectivity(3);
             connectivity(4);
         }},
        {"disconnected, then connected globally",
         [&] {
             state(20);
             state(70);
         }},
        {"resume and the network's return together",
         [&] {
             connectivity(1);
             state(20);
             sleep(false);
             state(70);
             connectivity(4);
         }},
        {"offline", [&] { sleep(false); }, {true, false, true}, false, 0},
        {"a run ended just now", [&] { sleep(false); }, {true, false, false}, true, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        WakeWatch watch(bus.Bus());
        watch.Check().ResumeSettle = 200ms;
        watch.Check().NetworkSettle = 100ms;
        int asked = 0;
        int checks = 0;
        watch.Conditions = [&] {
            ++asked;
            return c.when;
        };
        watch.OnCheck = [&](WakeWatch*) { ++checks; };
        if (c.ranJustNow)
            watch.RunEnded();
        c.send();
        // Every signal is queued by now, ahead of the first wait's end.
        ASSERT_TRUE(test::RunUntil([&] { return asked > 0; }, 5s));
        EXPECT_EQ(asked, 1);
        EXPECT_FALSE(watch.Check().Pending());
        EXPECT_EQ(checks, c.checks);
    }
}

} // namespace
} // namespace pim
