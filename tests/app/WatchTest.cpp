// The program watches its IMAP accounts from its start on, with no check at
// start-up: a real Dovecot, the desktop's notification service played on a
// private session bus.
#include "common/HexKey.h"
#include "support/DovecotServer.h"
#include "support/MailboxServer.h"
#include "support/PimProgram.h"
#include "support/PrivateBus.h"

#include <gtest/gtest.h>

namespace pim {
namespace {

// Only what arrives while it runs is news: the mail there at its start is
// listed without a word.
TEST(WatchTest, PushStartsWithTheProgramAndOnlyWhatArrivesWhileItRunsIsAnnounced) {
    if (const std::string reason = test::DovecotServer::SkipReason(); !reason.empty())
        GTEST_SKIP() << reason;
    if (const QString reason = test::PrivateBus::SkipReason(); !reason.isEmpty())
        GTEST_SKIP() << reason.toStdString();
    test::DovecotServer dovecot;
    ASSERT_TRUE(dovecot.Start({{"jiro", "pw", {test::SimpleMessage("before")}}}))
        << dovecot.error();
    test::PrivateBus bus;
    const QString service = QStringLiteral("org.freedesktop.Notifications");
    ASSERT_TRUE(bus.Start() && bus.StartMock({"--template", "notification_daemon"}, false, service))
        << bus.error().toStdString();
    test::PimProgram pim({"DBUS_SESSION_BUS_ADDRESS=" + bus.Address().toStdString()});
    test::WriteFile(pim.File("Pim.INI"),
                    "[Account0]\r\nEnabled=1\r\nName=Jiro\r\nHostName=imap://127.0.0.1:" +
                        std::to_string(dovecot.ImapPort()) +
                        "\r\nUserID=jiro\r\nPassword=" + EncodePassword("pw") +
                        "\r\n[Setting]\r\nScheduleRun=0\r\nSettingRunHide=1\r\n");
    const auto notices = [&] { return bus.Logged(service, "Notify"); };
    pim.Start();
    ASSERT_TRUE(pim.WaitSeen(1)) << pim.Log();
    test::RunFor(std::chrono::milliseconds(500));
    EXPECT_EQ(notices().size(), 0u) << "nothing there at the start is news";
    ASSERT_EQ(dovecot.Doveadm({"save", "-u", "jiro"}, test::SimpleMessage("pushed")), "");
    ASSERT_TRUE(pim.WaitSeen(2)) << "pushed";
    ASSERT_TRUE(test::RunUntil([&] { return notices().size() == 1; }, std::chrono::seconds(5)));
    EXPECT_NE(notices().back().find("pushed"), std::string::npos) << notices().back();
    EXPECT_EQ(pim.Stop(), 0);
}

} // namespace
} // namespace pim
