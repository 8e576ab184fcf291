// A station's session and menus: texts injected as a peer would send them, and
// what the station sends heard on the loopback broadcast.
#include "WireTap.h"
#include "common/Cp932.h"

#include <QLocale>
#include <QPointer>
#include <QTimer>
#include <gtest/gtest.h>
#include <optional>

namespace pim {
namespace {

using fpn::CommandText;
using fpn::GetField;
using namespace std::chrono_literals;

const std::string kPeerIp = "10.9.8.7";

std::string LoginText(const std::string& machine, const std::string& disc,
                      const std::string& handle, const std::string& ip = kPeerIp) {
    return CommandText("LOGIN", {machine, ip, disc, handle, "100", "0", "1"});
}

class StationTest : public ::testing::Test {
protected:
    uint16_t port = test::FreshPort();
    test::WireTap tap{port};
    TFernpostNetwork station;
    std::vector<std::string> events;

    void SetUp() override {
        ASSERT_TRUE(test::OpenPimStation(station, port));
        // Its own LOGIN comes back to it, and it answers itself.
        ASSERT_TRUE(tap.WaitFor("LOGIN_OK"));
        test::RunFor(50ms);
        tap.texts.clear();
        station.LoginUsers.clear();
        station.OnLogin = [this](auto*, auto& handle, auto& machine, auto&, auto& disc, auto...) {
            events.push_back("login " + handle + " " + machine + " " + disc);
        };
        station.OnInfoChange = [this](auto*, auto& machine, auto& handle, auto...) {
            events.push_back("change " + machine + " " + handle);
        };
        station.OnLogout = [this](auto*, auto& handle, auto&, auto&, auto&) {
            events.push_back("logout " + handle);
        };
    }

    // The start of a text directed to the station.
    std::string ToStation(const std::string& command) const {
        return "FPMESSAGE:" + command + "&|" + station.IPAddress() + "&|Pim";
    }
    void Inject(const std::string& text) { test::Inject(station, text); }
};

TEST_F(StationTest, PeersAreUpdatedAddedAndRemovedInOrderAndEveryLoginIsAnswered) {
    Inject(LoginText("PC02", "FPN", "hanako"));
    Inject(LoginText("PC02", "FPN", "hanako")); // nothing changed: answered, no event
    Inject(LoginText("PC03", "FPN", "jiro"));
    Inject(CommandText("INFO_CHANGE", {"PC02", "FPN", kPeerIp, "hanako2", "100", "0", "1"}));
    Inject(CommandText("INFO_CHANGE", {"PC04", "Pim", kPeerIp, "saburo", "100", "1", "0"}));
    Inject(CommandText("LOGOUT", {"PC02", "FPN"}));
    Inject(CommandText("LOGOUT", {"PC09", "FPN"})); // unknown: nothing
    // The answer to its own LOGIN tells of a peer too.
    Inject(ToStation("LOGIN_OK") + "&|PC05&|10.1.1.5&|FPN&|goro&|100&|0&|1");
    EXPECT_EQ(events, (std::vector<std::string>{"login hanako PC02 FPN", "login jiro PC03 FPN",
                                                "change PC02 hanako2", "login saburo PC04 Pim",
                                                "logout hanako2", "login goro PC05 FPN"}));
    ASSERT_EQ(station.LoginCount(), 3);
    EXPECT_TRUE(station.LoginUsers[1].Absence);
    ASSERT_TRUE(tap.WaitFor("LOGIN_OK", 3));
    const std::string me = station.MachineName(), ip = station.IPAddress();
    EXPECT_EQ(tap.Heard("LOGIN_OK")[1], CommandText("LOGIN_OK", {kPeerIp, "FPN", me, ip, "Pim",
                                                                 "Pim <taro>", "100", "0", "1"}));
    // Its own announcements as a peer reads them, and none of its texts in clear.
    station.Absence = true;
    ASSERT_TRUE(station.InfoChange());
    station.Logout();
    ASSERT_TRUE(station.Login());
    ASSERT_TRUE(tap.WaitFor("LOGIN"));
    EXPECT_EQ(tap.Heard("INFO_CHANGE").at(0),
              CommandText("INFO_CHANGE", {me, "Pim", ip, "Pim <taro>", "100", "1", "1"}));
    EXPECT_EQ(tap.Heard("LOGIN").at(0),
              CommandText("LOGIN", {me, ip, "Pim", "Pim <taro>", "100", "1", "1"}));
    for (const std::string& datagram : tap.firstDatagrams)
        EXPECT_EQ(datagram.at(1), '1') << "not scrambled";
}

// Answers in the order asked, and only to texts that say where to answer.
TEST_F(StationTest, DirectedTextsAreAnsweredOnlyWhenTheyAreForItAndSayWhereTo) {
    std::vector<std::string> messages;
    station.OnMessage = [&](auto*, auto& message, auto& id, auto& handle, auto&, auto& disc,
                            auto& time) {
        messages.push_back(message + id + " " + handle + " " + disc + cp932::ToUtf8(time));
    };
    station.OnInputText = [&](auto*, auto& text, auto& tag, auto& handle, auto& machine,
                              auto& disc) {
        messages.push_back(text + " " + tag + " " + handle + " " + machine + " " + disc);
    };
    Inject(ToStation("INPUT_TEXT") + "&|hanako&|PC02&|FPN&|Tag&|text");
    const std::string from = "&|" + kPeerIp + "&|FPN";
    station.Absence = true;
    Inject(ToStation("HUZAI_CHECK") + from); // no note: "Nothing"
    Inject("FPMESSAGE:HUZAI_CHECK&|10.0.0.99&|Pim" + from);
    Inject("FPMESSAGE:HUZAI_CHECK&|" + station.IPAddress() + "&|FPN" + from);
    // Arrival times are told on the twelve-hour clock of the locale.
    for (const int hour : {13, 0}) {
        station.Now = [hour] { return QDateTime(QDate(2026, 12, 5), QTime(hour, 7, 9)); };
        const std::string id = std::to_string(hour);
        Inject(ToStation("MESSAGE") + "&|hanako&|PC02" + (hour ? "&|&|FPN" : from) + "&|" + id +
               "&|m");
    }
    station.AbsenceMessage = "外出中";
    Inject(ToStation("HUZAI_CHECK") + from);
    ASSERT_TRUE(tap.WaitFor("HUZAI_MESSAGE", 2));
    test::RunFor(50ms);
    const std::string me = "&|Pim <taro>&|" + station.MachineName() + "&|Pim";
    EXPECT_EQ(tap.texts,
              (std::vector<std::string>{"FPMESSAGE:HUZAI_MESSAGE" + from + me + "&|Nothing",
                                        "FPMESSAGE:MESSAGE_OK" + from + me + "&|0",
                                        "FPMESSAGE:HUZAI_MESSAGE" + from + me + "&|外出中"}));
    const std::string pm = QLocale::system().pmText().toStdString(),
                      am = QLocale::system().amText().toStdString();
    EXPECT_EQ(messages,
              (std::vector<std::string>{"text Tag hanako PC02 FPN",
                                        "m13 hanako FPN2026年12月05日 " + pm + " 1時07分09秒",
                                        "m0 hanako FPN2026年12月05日 " + am + " 12時07分09秒"}));
}

TEST_F(StationTest, PromptsGoOnlyToConsolesInTheTableUntilItLogsOut) {
    const std::string labels = cp932::FromUtf8("メールチェック開始&:着信メール確認");
    EXPECT_FALSE(station.InputSelect("m", labels, "MailCheck&:Mail", "1", "PC02", "FPN"));
    Inject(LoginText("PC02", "Pim", "other pim", "10.5.5.5"));
    Inject(LoginText("PC02", "FPN", "console"));
    EXPECT_TRUE(station.InputSelect("m\r\nline", labels, "MailCheck&:Mail", "1", "PC02", "FPN"));
    events.clear();
    EXPECT_TRUE(station.Logout());
    EXPECT_EQ(station.LoginCount(), 0);
    EXPECT_FALSE(station.InputReturn("Info", "1", "10.5.5.5", "FPN") ||
                 station.MenuCheck("10.5.5.5", "FPN"));
    // Logged out, it neither answers nor records anyone.
    Inject(LoginText("PC03", "FPN", "jiro"));
    ASSERT_TRUE(tap.WaitFor("LOGOUT"));
    test::RunFor(100ms);
    ASSERT_EQ(tap.texts.size(), 4u) << "no answer after the logout";
    // The first record with that machine name gives the address.
    EXPECT_EQ(tap.texts[2],
              CommandText("INPUT_SELECT", {"10.5.5.5", "FPN", "Pim <taro>", station.MachineName(),
                                           "Pim", "1", "m\r\nline", labels, "MailCheck&:Mail"}));
    EXPECT_EQ(tap.texts[3], CommandText("LOGOUT", {station.MachineName(), "Pim"}));
    EXPECT_TRUE(events.empty());
}

TEST_F(StationTest, AFullTableGivesUpThePeerHeardLeastRecentlyAndBadDataIsIgnored) {
    // A full table, filled directly: 256 answers at once could overflow the
    // socket buffers of a busy machine. None of these was heard since.
    for (int i = 0; i < 256; ++i)
        station.LoginUsers.push_back(
            {"h", "PC" + std::to_string(i), kPeerIp, "FPN", 100, false, true});
    // Announced again, unchanged, or a console in use from its own address: heard now.
    Inject(CommandText("INFO_CHANGE", {"PC0", "FPN", kPeerIp, "h", "100", "0", "1"}));
    Inject(ToStation("INPUT_RETURN") + "&|h&|PC1&|FPN&|Menu&|Mail");
    test::Inject(station, ToStation("INPUT_RETURN") + "&|h&|PC2&|FPN&|Menu&|Mail", "10.5.5.5");
    Inject(LoginText("PC999", "FPN", "late", "10.7.7.7"));
    Inject(CommandText("LOGIN", {"PC1000", "10.6.6.6", "FPN", "bad", "1.0", "0", "1"}));
    Inject(CommandText("INFO_CHANGE", {"PC2", "FPN", kPeerIp, "h2", "100", "yes", "1"}));
    Inject(LoginText("PC1001", "FPN", "later", "10.7.7.8"));
    Inject(LoginText("PC1002", "FPN", "latest", "10.7.7.9"));
    EXPECT_EQ(station.LoginCount(), 256);
    EXPECT_EQ(events, (std::vector<std::string>{"login late PC999 FPN", "login later PC1001 FPN",
                                                "login latest PC1002 FPN"}))
        << "no event for the bad LOGIN or the bad change";
    std::string kept;
    for (size_t i = 0; i < 6; ++i)
        kept += station.LoginUsers[i].MachineName + " ";
    EXPECT_EQ(kept, "PC0 PC1 PC999 PC1001 PC1002 PC5 ");
    // PC999's, PC1001's and PC1002's: the bad LOGIN is not answered.
    ASSERT_TRUE(tap.WaitFor("LOGIN_OK", 3));
    test::RunFor(100ms);
    EXPECT_EQ(tap.Heard("LOGIN_OK").size(), 3u);
}

// Texts flooding in from the LAN are read a share at a time: what else the program
// waits for runs between the shares, and every text is still handled.
TEST_F(StationTest, AFloodLeavesTheProgramItsTurnAndLosesNothing) {
    std::optional<size_t> handledBeforeTheProgramsTurn;
    station.OnLogin = [&](auto*, auto&&...) {
        events.push_back("login");
        if (events.size() == 1)
            QTimer::singleShot(0, [&] { handledBeforeTheProgramsTurn = events.size(); });
    };
    const int flood = 100; // well within a socket's buffer
    for (int i = 0; i < flood; ++i)
        tap.Send(CommandText("INFO_CHANGE",
                             {"PC" + std::to_string(i), "FPN", kPeerIp, "h", "100", "0", "1"}));
    ASSERT_TRUE(test::RunUntil([&] { return events.size() == size_t(flood); }, 5s));
    EXPECT_LT(handledBeforeTheProgramsTurn.value_or(flood), size_t(flood));
}

// A copy of a text, even from another address, is handled once. Over the
// station's own socket, a datagram longer than any station sends is dropped
// whole: cut to 512 bytes it would be a whole LOGIN.
TEST_F(StationTest, WhatTheWireCannotCarryIsRefusedAndCopiesAreHandledOnce) {
    EXPECT_FALSE(station.SendText(std::string(70000, 'x')));
    station.PortNo = 0; // a port no datagram can go to
    EXPECT_FALSE(station.SendText("FPMESSAGE:X"));
    station.PortNo = port;
    const auto login = [](const std::string& ip) {
        return test::Datagrams(LoginText("PC05", "FPN", "hanako", ip))[0];
    };
    const std::string copied = login(kPeerIp);
    station.ReceiveDatagram(kPeerIp, copied);
    station.ReceiveDatagram("10.9.8.6", copied);
    tap.SendDatagram(login("10.5.0.5") + std::string(600, 'x'));
    tap.SendDatagram(login("10.5.0.6"));
    ASSERT_TRUE(tap.WaitFor("LOGIN_OK", 2));
    test::RunFor(100ms);
    ASSERT_EQ(tap.texts.size(), 4u) << "the tap's own LOGINs, two answers and nothing else";
    const auto answers = tap.Heard("LOGIN_OK");
    EXPECT_EQ(GetField(answers[0], 1) + " " + GetField(answers[1], 1), kPeerIp + " 10.5.0.6");

    // Twenty slots: the 21st text pushes one out, and that is reported.
    int overflows = 0;
    station.OnErrorRecvOverflow = [&](auto*) { ++overflows; };
    const std::string first = (*fpn::MakeDatagrams(std::string(3000, 'y'), false))[0];
    for (int i = 0; i < 21; ++i)
        station.ReceiveDatagram("10.2.0." + std::to_string(i), first);
    EXPECT_EQ(overflows, 1);
    // Closed, it says goodbye; opened again, it has no absence note and no
    // console of before in its table.
    Inject(LoginText("PC02", "FPN", "hanako"));
    station.Absence = true;
    station.AbsenceMessage = "away";
    station.Close();
    EXPECT_TRUE(!station.Absence && station.AbsenceMessage.empty());
    EXPECT_FALSE(station.SendText("FPMESSAGE:X")) << "nothing goes out while closed";
    EXPECT_TRUE(tap.WaitFor("LOGOUT"));
    ASSERT_TRUE(station.Open() && station.Login());
    EXPECT_FALSE(station.InputMessage("m", "PC02", "FPN"));
}

// As when the options dialog turns the login off and on while a handler waits
// (for a dial-up connection, say): the socket whose text is being handled is
// closed, and a new one opened. The closed one must outlive the delivery of
// its own signal, which is still under way.
TEST_F(StationTest, AHandlerMayCloseAndReopenTheStationInAnEventLoopOfItsOwn) {
    QPointer<QUdpSocket> handled;
    bool outlivedTheHandler = false;
    station.OnMenuRequest = [&](auto*, auto&, auto&, auto&) {
        handled = station.findChild<QUdpSocket*>();
        QEventLoop wait;
        QTimer::singleShot(0, &wait, [&] {
            QEventLoop dialog;
            QTimer::singleShot(0, &dialog, [&] {
                station.Close();
                EXPECT_TRUE(station.Open() && station.Login());
                dialog.quit();
            });
            dialog.exec();
        });
        QTimer::singleShot(100, &wait, &QEventLoop::quit);
        wait.exec();
        outlivedTheHandler = !handled.isNull();
    };
    const std::string check = ToStation("MENU_CHECK") + "&|hanako&|PC02&|10.1.1.1&|FPN";
    tap.Send(check);
    ASSERT_TRUE(test::RunUntil([&] { return outlivedTheHandler; }, 3s));
    EXPECT_TRUE(test::RunUntil([&] { return handled.isNull(); }, 3s)) << "deleted afterwards";
    // Without a handler, the request is refused to the requester.
    station.OnMenuRequest = nullptr;
    tap.Send(check);
    ASSERT_TRUE(tap.WaitFor("MENU_NOTHING"));
    EXPECT_EQ(tap.Heard("MENU_NOTHING")[0],
              CommandText("MENU_NOTHING",
                          {"10.1.1.1", "FPN", "Pim <taro>", station.MachineName(), "Pim"}));
}

} // namespace
} // namespace pim
