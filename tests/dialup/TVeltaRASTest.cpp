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
using test::RunFor;
using test::RunUntil;

class TVeltaRASTest : public ::testing::Test {
protected:
    test::NetworkManagerMock nm;
    std::unique_ptr<TVeltaRAS> ras;
    std::vector<std::string> events;

    void SetUp() override {
        if (const QString reason = test::NetworkManagerMock::SkipReason(); !reason.isEmpty())
            GTEST_SKIP() << reason.toStdString();
    }

    void Start(bool withNetworkManager = true) {
        ASSERT_TRUE(nm.Start(withNetworkManager)) << nm.error().toStdString();
        ras = std::make_unique<TVeltaRAS>(nm.Bus());
        ras->WatchInterval = 100;
        ras->DialPollInterval = 20;
        ras->OnFirstConnect = [this](TVeltaRAS*) { events.push_back("first connect"); };
        ras->OnAllDeconnect = [this](TVeltaRAS*) { events.push_back("all disconnected"); };
        ras->OnConnect = [this](TVeltaRAS*, const std::string& name) {
            events.push_back("connect " + cp932::ToUtf8(name));
        };
        ras->OnConnectAuthenticate = [this](TVeltaRAS*, const std::string& name) {
            events.push_back("authenticate " + cp932::ToUtf8(name));
        };
        ras->OnConnectError = [this](TVeltaRAS*, const std::string& name) {
            events.push_back("error " + cp932::ToUtf8(name));
        };
    }

    // A LAN, a Wi-Fi and two on-demand profiles, in that order.
    QString vpn;
    void AddPhonebook() {
        nm.AddProfile(QStringLiteral("有線"), QStringLiteral("802-3-ethernet"));
        nm.AddProfile(QStringLiteral("自宅Wi-Fi"), QStringLiteral("802-11-wireless"));
        vpn = nm.AddProfile(QStringLiteral("社内VPN"), QStringLiteral("vpn"));
        nm.AddProfile(QStringLiteral("モバイル"), QStringLiteral("gsm"));
    }

    bool WaitEvents(size_t count, std::chrono::milliseconds limit = 5s) {
        return RunUntil([&] { return events.size() >= count; }, limit);
    }
};

TEST_F(TVeltaRASTest, WithoutNetworkManagerEverythingFailsAndNothingFires) {
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
}

TEST(TVeltaRAS, WithoutAnyBusItIsAServiceError) {
    const QString name = QStringLiteral("pim-test-no-bus");
    {
        TVeltaRAS ras(
            QDBusConnection::connectToBus(QStringLiteral("unix:path=/nonexistent/bus"), name));
        EXPECT_TRUE(ras.ServiceError());
        EXPECT_EQ(ras.EntryCount(), -1);
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
    EXPECT_EQ(ras->GetEntryName(2), "");
    EXPECT_EQ(ras->GetEntryName(-1), "");
    EXPECT_EQ(ras->GetEntryName(100), "");
}

TEST_F(TVeltaRASTest, ADialThatSucceedsReportsOnceAndAllowsTheNext) {
    Start();
    AddPhonebook();
    ASSERT_TRUE(ras->Dial(0));
    EXPECT_FALSE(ras->Dial(1)) << "one dial at a time";
    EXPECT_TRUE(events.empty()) << "never from inside Dial";
    ASSERT_TRUE(WaitEvents(1));
    EXPECT_EQ(events, std::vector<std::string>{"connect 社内VPN"});
    EXPECT_EQ(ras->ActiveEntryCount(), 1);
    EXPECT_TRUE(ras->Dial(1));
    ASSERT_TRUE(WaitEvents(2));
    EXPECT_EQ(events.back(), "connect モバイル");
}

TEST_F(TVeltaRASTest, AFailedDialIsReportedAndTakenDown) {
    Start();
    AddPhonebook();
    nm.SetBehaviour("activation", "fail");
    ASSERT_TRUE(ras->Dial(0));
    ASSERT_TRUE(WaitEvents(1));
    EXPECT_EQ(events, std::vector<std::string>{"error 社内VPN"});
    EXPECT_TRUE(RunUntil([&] { return nm.ActivePaths().isEmpty(); }, 2s));
    nm.SetBehaviour("activation", "activate");
    EXPECT_TRUE(ras->Dial(0));
}

TEST_F(TVeltaRASTest, AuthenticationIsReportedOnTheWayUp) {
    Start();
    AddPhonebook();
    nm.SetBehaviour("activation", "authenticate");
    ASSERT_TRUE(ras->Dial(0));
    ASSERT_TRUE(WaitEvents(2));
    EXPECT_EQ(events, (std::vector<std::string>{"authenticate 社内VPN", "connect 社内VPN"}));
}

TEST_F(TVeltaRASTest, ADialRefusedAtOnceReturnsFalseAndFiresNothing) {
    Start();
    AddPhonebook();
    nm.SetBehaviour("activation", "refuse");
    EXPECT_FALSE(ras->Dial(0));
    EXPECT_FALSE(ras->Dial(2)) << "no such entry";
    RunFor(200ms);
    EXPECT_TRUE(events.empty());
}

TEST_F(TVeltaRASTest, ADialThatNeverCompletesFailsAfterItsBound) {
    Start();
    AddPhonebook();
    nm.SetBehaviour("activation", "hang");
    ras->DialLimit = 300;
    ASSERT_TRUE(ras->Dial(0));
    RunFor(150ms);
    EXPECT_TRUE(events.empty());
    ASSERT_TRUE(WaitEvents(1));
    EXPECT_EQ(events, std::vector<std::string>{"error 社内VPN"});
    EXPECT_TRUE(nm.ActivePaths().isEmpty()) << "the half-made connection is taken down";
}

TEST_F(TVeltaRASTest, TheWatchReportsConnectionsMadeElsewhere) {
    Start();
    AddPhonebook();
    ras->SetWatching(true);
    const QString half = nm.ActivateElsewhere(vpn, 1); // still activating: not up
    RunFor(250ms);
    EXPECT_TRUE(events.empty());
    EXPECT_EQ(ras->ActiveEntryCount(), 0);
    nm.DropActive(half);

    const QString up = nm.ActivateElsewhere(vpn);
    ASSERT_TRUE(WaitEvents(1, 1s));
    nm.DropActive(up);
    ASSERT_TRUE(WaitEvents(2, 1s));
    EXPECT_EQ(events, (std::vector<std::string>{"first connect", "all disconnected"}));

    // Switching the watch off and on while a connection stays up reports it once.
    nm.ActivateElsewhere(vpn);
    ASSERT_TRUE(WaitEvents(3, 1s));
    ras->SetWatching(false);
    ras->SetWatching(true);
    RunFor(350ms);
    EXPECT_EQ(events.size(), 3u);
}

TEST_F(TVeltaRASTest, HangUpTakesDownOnlyOnDemandConnections) {
    Start();
    EXPECT_TRUE(ras->HangUp()) << "nothing to hang up";
    const QString lan = nm.AddProfile(QStringLiteral("有線"), QStringLiteral("802-3-ethernet"));
    const QString lanActive = nm.ActivateElsewhere(lan);
    vpn = nm.AddProfile(QStringLiteral("社内VPN"), QStringLiteral("vpn"));
    nm.ActivateElsewhere(vpn);
    EXPECT_EQ(ras->ActiveEntryCount(), 1);
    EXPECT_TRUE(ras->HangUp());
    EXPECT_EQ(nm.ActivePaths(), QStringList{lanActive});
    EXPECT_EQ(ras->ActiveEntryCount(), 0);
}

TEST_F(TVeltaRASTest, AConnectionThatNeverGoesMakesHangUpFailAfterItsBound) {
    Start();
    vpn = nm.AddProfile(QStringLiteral("社内VPN"), QStringLiteral("vpn"));
    nm.ActivateElsewhere(vpn);
    nm.SetBehaviour("deactivation", "stuck");
    ras->HangUpLimit = 300;
    EXPECT_FALSE(ras->HangUp());
    nm.SetBehaviour("deactivation", "refuse");
    EXPECT_FALSE(ras->HangUp());
}

} // namespace
} // namespace pim
