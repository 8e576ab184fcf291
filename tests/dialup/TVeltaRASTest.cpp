// The dial-up component against NetworkManager played by python3-dbusmock on a
// private bus.
#include "dialup/TVeltaRAS.h"

#include "NetworkManagerMock.h"
#include "common/Cp932.h"
#include "support/EventLoop.h"

#include <gtest/gtest.h>
#include <memory>

namespace pim {
namespace {

using namespace std::chrono_literals;
using Events = std::vector<std::string>;
using test::RunFor;
using test::RunUntil;

class TVeltaRASTest : public ::testing::Test {
protected:
    test::NetworkManagerMock nm;
    std::unique_ptr<TVeltaRAS> ras;
    Events events;
    QString vpn;

    void SetUp() override {
        if (const QString reason = test::PrivateBus::SkipReason(); !reason.isEmpty())
            GTEST_SKIP() << reason.toStdString();
    }
    void Start(bool withNetworkManager = true) {
        ASSERT_TRUE(nm.StartWith(withNetworkManager)) << nm.error().toStdString();
        ras = std::make_unique<TVeltaRAS>(nm.Bus());
        ras->WatchInterval = 100;
        ras->DialPollInterval = 20;
        const auto record = [this](const char* what) {
            return [this, what](TVeltaRAS*, const std::string& name) {
                events.push_back(what + cp932::ToUtf8(name));
            };
        };
        ras->OnFirstConnect = [this](TVeltaRAS*) { events.push_back("first connect"); };
        ras->OnAllDeconnect = [this](TVeltaRAS*) { events.push_back("all disconnected"); };
        ras->OnConnect = record("connect ");
        ras->OnConnectAuthenticate = record("authenticate ");
        ras->OnConnectError = record("error ");
    }
    QString AddProfile(const char* name, const char* kind) {
        return nm.Mock(QStringLiteral("AddProfile"), {QString::fromUtf8(name), kind}).toString();
    }
    QString ActivateElsewhere(const QString& profile, uint state = 2) {
        return nm.Mock(QStringLiteral("ActivateElsewhere"), {profile, state}).toString();
    }
    void SetBehaviour(const char* what, const char* mode) {
        nm.Mock(QStringLiteral("SetBehaviour"), {what, mode});
    }
    // A LAN, a Wi-Fi and two on-demand profiles, in that order.
    void AddPhonebook() {
        AddProfile("有線", "802-3-ethernet");
        AddProfile("自宅Wi-Fi", "802-11-wireless");
        vpn = AddProfile("社内VPN", "vpn");
        AddProfile("モバイル", "gsm");
    }
    bool WaitEvents(size_t count, std::chrono::milliseconds limit = 5s) {
        return RunUntil([&] { return events.size() >= count; }, limit);
    }
};

TEST_F(TVeltaRASTest, WithoutNetworkManagerOrAnyBusEverythingFailsAndNothingFires) {
    Start(false);
    EXPECT_TRUE(ras->ServiceError());
    EXPECT_EQ(ras->EntryCount(), -1);
    EXPECT_EQ(ras->GetEntryName(0), "");
    EXPECT_EQ(ras->ActiveEntryCount(), -1);
    EXPECT_FALSE(ras->HangUp());
    EXPECT_FALSE(ras->Dial(0));
    ras->SetWatching(true);
    EXPECT_FALSE(ras->FWatching);
    RunFor(350ms);
    EXPECT_TRUE(events.empty());

    const QString name = QStringLiteral("pim-test-no-bus");
    {
        TVeltaRAS none(
            QDBusConnection::connectToBus(QStringLiteral("unix:path=/nonexistent/bus"), name));
        EXPECT_TRUE(none.ServiceError());
        EXPECT_EQ(none.EntryCount(), -1);
    }
    QDBusConnection::disconnectFromBus(name);
}

TEST_F(TVeltaRASTest, ThePhonebookListsOnlyOnDemandProfilesInOrder) {
    Start();
    AddPhonebook();
    EXPECT_FALSE(ras->ServiceError());
    EXPECT_EQ(ras->EntryCount(), 2);
    EXPECT_EQ(ras->GetEntryName(0), cp932::FromUtf8("社内VPN"));
    EXPECT_EQ(ras->GetEntryName(1), cp932::FromUtf8("モバイル"));
    for (int beyond : {2, -1, 100})
        EXPECT_EQ(ras->GetEntryName(beyond), "") << beyond;
}

// One dial at a time, its outcome reported once from the event loop, never from
// inside Dial; a failed one, or one past its bound, taken down.
TEST_F(TVeltaRASTest, EachOutcomeOfADialIsReportedOnce) {
    const struct {
        const char* activation;
        bool dialled;
        Events events;
    } cases[] = {
        {"activate", true, {"connect 社内VPN"}},
        {"authenticate", true, {"authenticate 社内VPN", "connect 社内VPN"}},
        {"fail", true, {"error 社内VPN"}},
        {"hang", true, {"error 社内VPN"}},
        {"refuse", false, {}},
    };
    Start();
    AddPhonebook();
    ras->DialLimit = 600;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.activation);
        ASSERT_TRUE(ras->HangUp());
        events.clear();
        SetBehaviour("activation", c.activation);
        EXPECT_EQ(ras->Dial(0), c.dialled);
        EXPECT_FALSE(ras->Dial(1));
        EXPECT_TRUE(events.empty());
        ASSERT_TRUE(WaitEvents(c.events.size()));
        RunFor(200ms); // and nothing more
        EXPECT_EQ(events, c.events);
        const bool up = !c.events.empty() && c.events.back().starts_with("connect");
        EXPECT_TRUE(RunUntil([&] { return nm.ActivePaths().isEmpty() == !up; }, 2s));
        EXPECT_EQ(ras->ActiveEntryCount(), up ? 1 : 0);
    }
    SetBehaviour("activation", "activate");
    EXPECT_TRUE(ras->Dial(1)) << "the next may follow";
    ASSERT_TRUE(WaitEvents(1));
    EXPECT_EQ(events.back(), "connect モバイル");
    EXPECT_FALSE(ras->Dial(2)) << "no such entry";
}

TEST_F(TVeltaRASTest, TheWatchReportsConnectionsMadeElsewhere) {
    Start();
    AddPhonebook();
    ras->SetWatching(true);
    const QString half = ActivateElsewhere(vpn, 1); // still activating: not up
    RunFor(250ms);
    EXPECT_TRUE(events.empty());
    EXPECT_EQ(ras->ActiveEntryCount(), 0);
    nm.Mock(QStringLiteral("DropActive"), {half});

    const QString up = ActivateElsewhere(vpn);
    ASSERT_TRUE(WaitEvents(1, 1s));
    nm.Mock(QStringLiteral("DropActive"), {up});
    ASSERT_TRUE(WaitEvents(2, 1s));
    EXPECT_EQ(events, (Events{"first connect", "all disconnected"}));

    // Switching the watch off and on while a connection stays up reports it once.
    ActivateElsewhere(vpn);
    ASSERT_TRUE(WaitEvents(3, 1s));
    ras->SetWatching(false);
    ras->SetWatching(true);
    RunFor(350ms);
    EXPECT_EQ(events.size(), 3u);
}

// Only on-demand connections are taken down; one that never goes fails after its bound.
TEST_F(TVeltaRASTest, HangUpTakesDownOnlyOnDemandConnectionsWithinItsBound) {
    Start();
    EXPECT_TRUE(ras->HangUp()) << "nothing to hang up";
    const QString lanActive = ActivateElsewhere(AddProfile("有線", "802-3-ethernet"));
    vpn = AddProfile("社内VPN", "vpn");
    ActivateElsewhere(vpn);
    EXPECT_EQ(ras->ActiveEntryCount(), 1);
    EXPECT_TRUE(ras->HangUp());
    EXPECT_EQ(nm.ActivePaths(), QStringList{lanActive});
    EXPECT_EQ(ras->ActiveEntryCount(), 0);

    ActivateElsewhere(vpn);
    ras->HangUpLimit = 300;
    for (const char* deactivation : {"stuck", "refuse"}) {
        SetBehaviour("deactivation", deactivation);
        EXPECT_FALSE(ras->HangUp()) << deactivation;
    }
}

} // namespace
} // namespace pim
