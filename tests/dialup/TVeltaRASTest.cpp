// The dial-up component against NetworkManager played by python3-dbusmock on a
// private bus.
#include "dialup/TVeltaRAS.h"

#include "NetworkManagerMock.h"
#include "common/Cp932.h"
#include "support/EventLoop.h"

#include <gtest/gtest.h>
#include <memory>
#include <tuple>

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

    void SetUp() override {
        if (const QString reason = test::PrivateBus::SkipReason(); !reason.isEmpty())
            GTEST_SKIP() << reason.toStdString();
        ASSERT_TRUE(nm.StartWith()) << nm.error().toStdString();
        ras = std::make_unique<TVeltaRAS>(nm.Bus());
        ras->WatchInterval = 100;
        ras->DialPollInterval = 20;
        ras->OnFirstConnect = [this](TVeltaRAS*) { events.push_back("first connect"); };
        ras->OnAllDeconnect = [this](TVeltaRAS*) { events.push_back("all disconnected"); };
        const auto told = [this](const char* what) {
            return [this, what](TVeltaRAS*, auto& name) {
                events.push_back(what + cp932::ToUtf8(name));
            };
        };
        ras->OnConnect = told("connect ");
        ras->OnConnectAuthenticate = told("auth ");
        ras->OnConnectError = told("error ");
    }
    QString Mock(const char* method, const QVariantList& arguments) {
        return nm.Mock(method, arguments);
    }
    // A LAN, a Wi-Fi and two on-demand profiles, in that order; the first on-demand one.
    QString AddPhonebook() {
        Mock("AddProfile", {"有線", "802-3-ethernet"});
        Mock("AddProfile", {"自宅Wi-Fi", "802-11-wireless"});
        const QString vpn = Mock("AddProfile", {"社内VPN", "vpn"});
        Mock("AddProfile", {"モバイル", "gsm"});
        return vpn;
    }
    bool WaitEvents(size_t count) {
        return RunUntil([&] { return events.size() >= count; }, 5s);
    }
};

// The phonebook lists only on-demand profiles. One dial at a time, its outcome
// reported once from the event loop, never from inside Dial; a failed one, or
// one past its bound, taken down.
TEST_F(TVeltaRASTest, EachOutcomeOfADialIsReportedOnce) {
    AddPhonebook();
    EXPECT_EQ(ras->EntryCount(), 2);
    EXPECT_EQ(ras->GetEntryName(0), cp932::FromUtf8("社内VPN"));
    EXPECT_EQ(ras->GetEntryName(1), cp932::FromUtf8("モバイル"));
    EXPECT_EQ(ras->GetEntryName(2) + ras->GetEntryName(-1), "");
    // How the mock activates, whether the dial starts, what is reported.
    const std::tuple<const char*, bool, Events> cases[] = {
        {"activate", true, {"connect 社内VPN"}},
        {"authenticate", true, {"auth 社内VPN", "connect 社内VPN"}},
        {"fail", true, {"error 社内VPN"}},
        {"hang", true, {"error 社内VPN"}},
        {"refuse", false, {}},
    };
    ras->DialLimit = 600;
    for (const auto& [activation, dialled, told] : cases) {
        SCOPED_TRACE(activation);
        ASSERT_TRUE(ras->HangUp());
        events.clear();
        Mock("SetBehaviour", {"activation", activation});
        EXPECT_EQ(ras->Dial(0), dialled);
        EXPECT_FALSE(ras->Dial(1));
        EXPECT_TRUE(events.empty());
        ASSERT_TRUE(WaitEvents(told.size()));
        RunFor(200ms); // and nothing more
        EXPECT_EQ(events, told);
        const bool up = !told.empty() && told.back().starts_with("connect");
        EXPECT_TRUE(RunUntil([&] { return nm.ActivePaths().isEmpty() == !up; }, 2s));
        EXPECT_EQ(ras->ActiveEntryCount(), up ? 1 : 0);
    }
    Mock("SetBehaviour", {"activation", "activate"});
    EXPECT_TRUE(ras->Dial(1)) << "the next may follow";
    ASSERT_TRUE(WaitEvents(1));
    EXPECT_EQ(events.back(), "connect モバイル");
    EXPECT_FALSE(ras->Dial(2)) << "no such entry";
}

// The watch reports connections made elsewhere; only on-demand ones are taken
// down, and one that never goes fails after its bound.
TEST_F(TVeltaRASTest, TheWatchReportsConnectionsMadeElsewhereAndHangUpTakesDownOnlyOnDemandOnes) {
    EXPECT_TRUE(ras->HangUp()) << "nothing to hang up";
    const QString lan =
        Mock("ActivateElsewhere", {Mock("AddProfile", {"LAN", "802-3-ethernet"}), 2u});
    const QString vpn = AddPhonebook();
    ras->SetWatching(true);
    const QString half = Mock("ActivateElsewhere", {vpn, 1u}); // still activating: not up
    RunFor(250ms);
    EXPECT_TRUE(events.empty());
    EXPECT_EQ(ras->ActiveEntryCount(), 0);
    Mock("DropActive", {half});
    const QString up = Mock("ActivateElsewhere", {vpn, 2u});
    ASSERT_TRUE(WaitEvents(1));
    Mock("DropActive", {up});
    ASSERT_TRUE(WaitEvents(2));
    Mock("ActivateElsewhere", {vpn, 2u});
    ASSERT_TRUE(WaitEvents(3));
    // Switching the watch off and on while a connection stays up reports it once.
    ras->SetWatching(false);
    ras->SetWatching(true);
    RunFor(350ms);
    EXPECT_EQ(events, (Events{"first connect", "all disconnected", "first connect"}));
    EXPECT_EQ(ras->ActiveEntryCount(), 1);
    EXPECT_TRUE(ras->HangUp());
    EXPECT_EQ(nm.ActivePaths(), QStringList{lan});
    Mock("ActivateElsewhere", {vpn, 2u});
    ras->HangUpLimit = 300;
    for (const char* deactivation : {"stuck", "refuse"}) {
        Mock("SetBehaviour", {"deactivation", deactivation});
        EXPECT_FALSE(ras->HangUp()) << deactivation;
    }
}

} // namespace
} // namespace pim
