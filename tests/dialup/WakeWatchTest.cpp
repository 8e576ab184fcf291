// The check after a resume or the network's return, with logind and
// NetworkManager played by python3-dbusmock on a private bus.
#include "dialup/WakeWatch.h"

#include "NetworkManagerMock.h"
#include "support/EventLoop.h"

#include <gtest/gtest.h>
#include <memory>

namespace pim {
namespace {

using namespace std::chrono_literals;

struct Case {
    const char* name;
    std::function<void(test::NetworkManagerMock&)> send;
    WakeCheck::Conditions when{true, false, false}; // automatic, running, offline
    bool ranJustNow = false;
    int checks = 1;
};

TEST(WakeWatch, OneCheckAfterAResumeOrTheNetworksReturnWhenTheProgramAllows) {
    if (const QString reason = test::NetworkManagerMock::SkipReason(); !reason.isEmpty())
        GTEST_SKIP() << reason.toStdString();
    test::NetworkManagerMock bus;
    ASSERT_TRUE(bus.Start()) << bus.error().toStdString();
    ASSERT_TRUE(bus.StartLogind()) << bus.error().toStdString();

    const Case cases[] = {
        {"resume",
         [](auto& b) {
             b.PrepareForSleep(true);
             b.PrepareForSleep(false);
         }},
        {"connectivity limited, then full",
         [](auto& b) {
             b.SetConnectivity(3);
             b.SetConnectivity(4);
         }},
        {"disconnected, then connected globally",
         [](auto& b) {
             b.SetState(20);
             b.SetState(70);
         }},
        {"resume and the network's return together",
         [](auto& b) {
             b.SetConnectivity(1);
             b.SetState(20);
             b.PrepareForSleep(false);
             b.SetState(70);
             b.SetConnectivity(4);
         }},
        {"offline", [](auto& b) { b.PrepareForSleep(false); }, {true, false, true}, false, 0},
        {"a run under way",
         [](auto& b) { b.PrepareForSleep(false); },
         {true, true, false},
         false,
         0},
        {"the automatic check off", [](auto& b) { b.PrepareForSleep(false); }, {}, false, 0},
        {"a run ended just now",
         [](auto& b) { b.PrepareForSleep(false); },
         {true, false, false},
         true,
         0},
    };
    for (const Case& c : cases) {
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
        c.send(bus);
        // Every signal is queued by now, ahead of the first wait's end.
        ASSERT_TRUE(test::RunUntil([&] { return asked > 0; }, 5s));
        EXPECT_EQ(asked, 1);
        EXPECT_FALSE(watch.Check().Pending());
        EXPECT_EQ(checks, c.checks);
    }
}

} // namespace
} // namespace pim
