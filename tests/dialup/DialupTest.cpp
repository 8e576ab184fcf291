// Dialling through NetworkManager, and the checks a wake or a returning network brings.
#include "common/Cp932.h"
#include "dialup/TVeltaRAS.h"
#include "dialup/WakeCheck.h"
#include "dialup/WakeWatch.h"
#include "settings/SettingsFile.h"
#include "support/EventLoop.h"
#include "support/PrivateBus.h"
#include "support/TempDir.h"

#include <QDBusArgument>
#include <QDBusConnectionInterface>
#include <QDBusVariant>
#include <csignal>
#include <gtest/gtest.h>
#include <memory>
#include <sstream>
#include <string>
#include <tuple>

namespace pim {
namespace {

using namespace std::chrono_literals;

using Events = std::vector<std::string>;
using test::RunFor;
using test::RunUntil;

const QString kNetworkManager = "org.freedesktop.NetworkManager";

// A private D-Bus daemon as the system bus, with NetworkManager played by
// python3-dbusmock (with nm_template.py), and logind when asked. Nothing
// touches the machine's own system bus.
class SystemBusTest : public ::testing::Test {
protected:
    test::PrivateBus bus;

    void SetUp() override {
        if (const QString reason = test::PrivateBus::SkipReason(); !reason.isEmpty())
            GTEST_SKIP() << reason.toStdString();
    }
    bool Start(bool logind) {
        return bus.Start() &&
               bus.StartMock({"--system", "--template", PIM_NM_TEMPLATE}, true, kNetworkManager) &&
               (!logind || bus.StartMock({"--system", "--template", "logind"}, true,
                                         "org.freedesktop.login1"));
    }
    // A method of a mock: nm_template.py's (AddProfile, ActivateElsewhere,
    // DropActive, SetBehaviour, FailReads) or dbusmock's own on `path` of `service`.
    QVariant Mock(const QString& method, const QVariantList& arguments = {},
                  const QString& path = "/org/freedesktop",
                  const QString& service = kNetworkManager) {
        return bus.Call(service, path, "org.freedesktop.DBus.Mock", method, arguments)
            .arguments()
            .value(0);
    }
    // logind tells of a resume.
    void Resume() {
        Mock("EmitSignal",
             {"org.freedesktop.login1.Manager", "PrepareForSleep", "b", QVariantList{false}},
             "/org/freedesktop/login1", "org.freedesktop.login1");
    }
};

// The dial-up component against the NetworkManager of nm_template.py.
class TVeltaRASTest : public SystemBusTest {
protected:
    std::unique_ptr<TVeltaRAS> ras;
    Events events;

    void SetUp() override {
        SystemBusTest::SetUp();
        if (IsSkipped())
            return;
        ASSERT_TRUE(Start(false)) << bus.error().toStdString();
        ras = std::make_unique<TVeltaRAS>(bus.Bus());
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
    // A LAN, a Wi-Fi and two on-demand profiles, in that order; the first on-demand one.
    QString AddPhonebook() {
        Mock("AddProfile", {"有線", "802-3-ethernet"});
        Mock("AddProfile", {"自宅Wi-Fi", "802-11-wireless"});
        const QString vpn = Mock("AddProfile", {"社内VPN", "vpn"}).toString();
        Mock("AddProfile", {"モバイル", "gsm"});
        return vpn;
    }
    QStringList ActivePaths() {
        QStringList paths;
        const QDBusMessage reply = bus.Call(kNetworkManager, "/org/freedesktop/NetworkManager",
                                            "org.freedesktop.DBus.Properties", "Get",
                                            {kNetworkManager, "ActiveConnections"});
        for (const QDBusObjectPath& path : qdbus_cast<QList<QDBusObjectPath>>(
                 qvariant_cast<QDBusVariant>(reply.arguments().value(0)).variant()))
            paths << path.path();
        return paths;
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
    // Read again as NetworkManager announces each new profile.
    ASSERT_TRUE(RunUntil([&] { return ras->EntryCount() == 2; }, 5s));
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
        // Dial(1) while the first dial is under way; nothing told from inside Dial.
        EXPECT_EQ((std::tuple{ras->Dial(0), ras->Dial(1), events}),
                  std::tuple(dialled, false, Events{}));
        ASSERT_TRUE(WaitEvents(told.size()));
        RunFor(200ms); // and nothing more
        EXPECT_EQ(events, told);
        const bool up = !told.empty() && told.back().starts_with("connect");
        EXPECT_TRUE(RunUntil([&] { return ActivePaths().isEmpty() == !up; }, 2s));
        EXPECT_EQ(ras->ActiveEntryCount(), up ? 1 : 0);
    }
    Mock("SetBehaviour", {"activation", "activate"});
    EXPECT_TRUE(ras->Dial(1)) << "the next may follow";
    ASSERT_TRUE(WaitEvents(1));
    EXPECT_EQ(events.back(), "connect モバイル");
    EXPECT_FALSE(ras->Dial(2)) << "no such entry";
}

// A NetworkManager that was not there at the start is heard from once it
// comes: its profiles, and the ones it adds later.
TEST_F(SystemBusTest, ANetworkManagerThatComesLateIsHeardFromThen) {
    ASSERT_TRUE(bus.Start()) << bus.error().toStdString();
    TVeltaRAS ras(bus.Bus());
    ASSERT_TRUE(RunUntil([&] { return ras.Ready() && ras.ServiceError(); }, 5s));
    ASSERT_TRUE(bus.StartMock({"--system", "--template", PIM_NM_TEMPLATE}, true, kNetworkManager));
    Mock("AddProfile", {"社内VPN", "vpn"});
    ASSERT_TRUE(RunUntil([&] { return ras.EntryCount() == 1; }, 5s));
    Mock("AddProfile", {"モバイル", "gsm"});
    EXPECT_TRUE(RunUntil([&] { return ras.EntryCount() == 2; }, 5s));
    EXPECT_FALSE(ras.ServiceError());
    // A read it refused leaves none, and is asked again when they are wanted.
    const QString settings = "org.freedesktop.NetworkManager.Settings";
    const auto listing = [&](const QString& code) {
        Mock("AddMethod", {settings, "ListConnections", "", "ao", code},
             "/org/freedesktop/NetworkManager/Settings");
    };
    listing(
        "raise dbus.exceptions.DBusException('busy', name='org.freedesktop.DBus.Error.Failed')");
    TVeltaRAS later(bus.Bus());
    ASSERT_TRUE(RunUntil([&] { return later.Ready(); }, 5s));
    listing("ret = self.Get('" + settings + "', 'Connections')");
    EXPECT_TRUE(RunUntil([&] { return later.EntryCount() == 2; }, 5s));
}

// The watch reports connections made elsewhere; only on-demand ones are taken
// down, and one that never goes fails after its bound.
TEST_F(TVeltaRASTest, TheWatchReportsConnectionsMadeElsewhereAndHangUpTakesDownOnlyOnDemandOnes) {
    EXPECT_TRUE(ras->HangUp()) << "nothing to hang up";
    const QVariant lan =
        Mock("ActivateElsewhere", {Mock("AddProfile", {"LAN", "802-3-ethernet"}), 2u});
    const QString vpn = AddPhonebook();
    ras->SetWatching(true);
    // A read that fails is no news, up or down.
    const auto failing = [&] {
        Mock("FailReads", {true}), RunFor(300ms), Mock("FailReads", {false});
    };
    failing();
    const QVariant half = Mock("ActivateElsewhere", {vpn, 1u}); // still activating: not up
    RunFor(250ms);
    EXPECT_EQ(std::pair(events, ras->ActiveEntryCount()), std::pair(Events{}, 0));
    Mock("DropActive", {half});
    const QVariant up = Mock("ActivateElsewhere", {vpn, 2u});
    ASSERT_TRUE(WaitEvents(1));
    Mock("DropActive", {up});
    ASSERT_TRUE(WaitEvents(2));
    Mock("ActivateElsewhere", {vpn, 2u});
    ASSERT_TRUE(WaitEvents(3));
    // Switching the watch off and on while a connection stays up reports it once.
    ras->SetWatching(false);
    ras->SetWatching(true);
    RunFor(350ms);
    failing();
    EXPECT_EQ(std::pair(events, ras->ActiveEntryCount()),
              std::pair(Events{"first connect", "all disconnected", "first connect"}, 1));
    EXPECT_TRUE(ras->HangUp());
    EXPECT_EQ(ActivePaths(), QStringList{lan.toString()});
    Mock("ActivateElsewhere", {vpn, 2u});
    ras->HangUpLimit = 300;
    for (const char* deactivation : {"stuck", "refuse"}) {
        Mock("SetBehaviour", {"deactivation", deactivation});
        EXPECT_FALSE(ras->HangUp()) << deactivation;
    }
}

// When a resume or the network's return starts a check: events in at given
// times, the wait each asks for and whether the check starts when it is over.
struct Scenario {
    const char* name;
    // Steps "<ms> <event> [value] [-> <wait asked in ms> | -> check]" apart by
    // commas; "due" asks whether the check starts, "-> check" when it does.
    const char* steps;
    // automatic, running, offline, the user's interval
    WakeCheck::Conditions when{true, false, false, 1min};
};

const Scenario kScenarios[] = {
    {"a resume checks once after five seconds", "0 resume -> 5000, 5000 due -> check, 5001 due"},
    {"going to sleep asks for nothing and drops a wait",
     "0 connectivity 1, 10 connectivity 4 -> 2000, 20 sleep, 2010 due"},
    {"none, portal or limited becoming full checks after two seconds",
     "0 connectivity 3, 1 connectivity 4 -> 2000, 2001 due -> check, 3000 connectivity 2,"
     "3001 connectivity 4 -> 2000, 5001 due -> check, 6000 connectivity 1,"
     "6001 connectivity 4 -> 2000, 8001 due -> check"},
    {"full again, or full after unknown, is no return",
     "0 connectivity 4, 1 connectivity 0, 2 connectivity 4, 3 due"},
    {"the state: connected globally after disconnected, asleep, local, site or disconnecting",
     "0 state 20, 1 state 40, 2 state 70 -> 2000, 2002 due -> check, 3000 state 60,"
     "3001 state 70 -> 2000, 4000 state 50, 4001 state 70 -> 2000, 5000 state 10,"
     "5001 state 70 -> 2000, 5002 state 70, 7001 due -> check, 8000 state 30,"
     "8001 state 70 -> 2000"},
    {"connecting when first heard, then connected", "0 state 40, 1 state 70 -> 2000"},
    {"the network's return during a resume's wait shares it",
     "0 connectivity 1, 0 resume -> 5000, 1000 connectivity 4 -> 4000, 1001 state 70,"
     "5000 due -> check, 5001 due"},
    {"a resume during the network's wait makes it longer",
     "0 state 20, 0 state 70 -> 2000, 1000 resume -> 5000, 6000 due -> check"},
    {"a resume with the network still down waits for its return",
     "0 connectivity 1, 0 resume -> 5000, 5000 due, 8000 connectivity 4 -> 2000,"
     "10000 due -> check"},
    {"a resume with no connection waits for one, even one the probe finds limited",
     "0 state 20, 0 resume -> 5000, 5000 due, 8000 state 60 -> 2000, 8000 connectivity 3,"
     "10000 due -> check"},
    {"a resume where the probe is blocked: limited, a site, still checks",
     "0 state 60, 0 connectivity 3, 0 resume -> 5000, 5000 due -> check"},
    {"a run that ended less than the one-minute interval ago",
     "0 ended, 10000 resume -> 5000, 15000 due, 54999 resume -> 5000, 59999 due,"
     "60000 resume -> 5000, 65000 due -> check"},
    {"a link dropping every minute, a ten-minute interval: one check in five minutes",
     "0 connectivity 1, 1 connectivity 4 -> 2000, 2001 due -> check, 3000 ended,"
     "60000 connectivity 1, 60001 connectivity 4 -> 2000, 62001 due,"
     "120000 connectivity 1, 120001 connectivity 4 -> 2000, 122001 due,"
     "240000 connectivity 1, 240001 connectivity 4 -> 2000, 242001 due,"
     "301000 connectivity 1, 301001 connectivity 4 -> 2000, 303001 due -> check",
     {true, false, false, 10min}},
    {"offline", "0 resume -> 5000, 5000 due", {true, false, true}},
    {"a run under way", "0 resume -> 5000, 5000 due", {true, true, false}},
    {"the automatic check off", "0 resume -> 5000, 5000 due", {false, false, false}},
};

TEST(WakeCheck, EventsWaitsAndChecks) {
    for (const Scenario& scenario : kScenarios) {
        WakeCheck::Duration now{0};
        WakeCheck check([&now] { return now; });
        std::istringstream steps(scenario.steps);
        for (std::string step; std::getline(steps, step, ',');) {
            SCOPED_TRACE(std::string(scenario.name) + ": " + step);
            std::istringstream in(step);
            int at = 0;
            uint32_t value = 0;
            std::string event, arrow, expected = "-";
            in >> at >> event;
            if (event == "connectivity" || event == "state")
                in >> value;
            in >> arrow >> expected;
            now = WakeCheck::Duration(at);
            if (event == "due") {
                EXPECT_EQ((std::pair{check.Due(scenario.when), check.Pending()}),
                          std::pair(expected == "check", false));
            } else if (event == "ended") {
                check.RunEnded();
            } else {
                const auto wait = event == "connectivity" ? check.Connectivity(value)
                                  : event == "state"      ? check.NetworkState(value)
                                                          : check.PrepareForSleep(event == "sleep");
                EXPECT_EQ(wait ? std::to_string(wait->count()) : "-", expected);
            }
        }
    }
}

// The wake watch with short waits, and how often it asked whether the program
// allows a check (it always does), started one, and told of the wake-up.
struct Watch {
    WakeWatch watch;
    int asked = 0, checks = 0, wakes = 0;
    explicit Watch(const QDBusConnection& bus) : watch(bus) {
        watch.Check().ResumeSettle = 200ms;
        watch.Check().NetworkSettle = 100ms;
        watch.Conditions = [this] { return ++asked, WakeCheck::Conditions{true, false, false}; };
        watch.OnCheck = [this](WakeWatch*) { ++checks; };
        watch.OnWake = [this](WakeWatch*) { ++wakes; };
    }
};

// The check after a resume or the network's return, with logind and
// NetworkManager played by python3-dbusmock.
TEST_F(SystemBusTest, OneCheckAfterAResumeOrTheNetworksReturnWhenTheProgramAllows) {
    ASSERT_TRUE(Start(true)) << bus.error().toStdString();
    // Connectivity as today's NetworkManager announces it; State as older ones did.
    const auto connectivity = [&](uint value) {
        Mock("UpdateProperties", {kNetworkManager, QVariantMap{{"Connectivity", value}}},
             "/org/freedesktop/NetworkManager");
    };
    const auto state = [&](uint value) { Mock("SetGlobalConnectionState", {value}); };
    Watch w(bus.Bus());
    // Each kind of signal alone, then all together: one check each time. Last,
    // a resume just after a run, which the program does not allow: it is told
    // all the same, for the connections held open.
    const std::function<void()> sends[] = {
        [&] { connectivity(3), connectivity(4); }, [&] { state(20), state(70); },
        [&] { connectivity(1), state(20), Resume(), state(70), connectivity(4); },
        [&] { w.watch.RunEnded(), Resume(); }};
    for (int i = 0; i < 4; ++i) {
        SCOPED_TRACE(i);
        sends[i]();
        ASSERT_TRUE(test::RunUntil([&] { return w.asked > i; }, 5s));
        test::RunFor(300ms); // and no second
        EXPECT_EQ(std::tuple(w.asked, w.checks, w.wakes),
                  std::tuple(i + 1, std::min(i + 1, 3), i + 1));
    }
}

// NetworkManager busy at login (stopped here: it takes every call and answers
// none until it goes on). Making the dial-up component and the wake watch and
// loading the settings wait for none of its answers, and use them when they
// come: the phonebook gives the dial name, the network's state tells a resume to wait.
TEST_F(SystemBusTest, NothingAtStartWaitsForABusyNetworkManager) {
    ASSERT_TRUE(Start(true)) << bus.error().toStdString();
    Mock("AddProfile", {"社内VPN", "vpn"});
    Mock("SetGlobalConnectionState", {20u});
    Mock("SetConnectivity", {1u});
    const size_t reads = bus.Logged(kNetworkManager, "ListConnections").size();
    const uint nm = bus.Bus().interface()->servicePid(kNetworkManager).value();
    ASSERT_EQ(::kill(pid_t(nm), SIGSTOP), 0);
    test::TempDir dir;
    TSettings settings;
    TAccounts accounts;
    TVeltaRAS ras(bus.Bus());
    Watch watch(bus.Bus());
    ras.OnReady = [&](TVeltaRAS*) { LoadDialupSettings(ras, settings); };
    LoadSettings(dir.file("Pim.INI"), ras, {800, 600}, settings, accounts);
    RunFor(200ms);
    EXPECT_EQ(std::pair(ras.EntryCount(), settings.CustomizeDialName),
              std::pair(-1, std::string()));
    ::kill(pid_t(nm), SIGCONT);
    ASSERT_TRUE(RunUntil([&] { return ras.Ready(); }, 5s));
    EXPECT_EQ(std::tuple(ras.EntryCount(), settings.CustomizeDialName,
                         bus.Logged(kNetworkManager, "ListConnections").size()),
              std::tuple(1, cp932::FromUtf8("社内VPN"), reads + 1)); // the phonebook asked once
    Resume();
    ASSERT_TRUE(RunUntil([&] { return watch.asked == 1; }, 5s));
    EXPECT_EQ(watch.checks, 0) << "the network is down";
}

} // namespace
} // namespace pim
