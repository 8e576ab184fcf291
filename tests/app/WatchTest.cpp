// The program watches its IMAP accounts from its start on, with no check at
// start-up: a real Dovecot, the desktop's notification service played on a
// private session bus.
#include "common/HexKey.h"
#include "support/DovecotServer.h"
#include "support/MailboxServer.h"
#include "support/PimProgram.h"
#include "support/PrivateBus.h"

#include <gtest/gtest.h>
#include <tuple>

namespace pim {
namespace {

// Only what arrives while it runs is news: the mail there at its start, also
// what came while it was not running, is listed without a word.
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
    const auto deliver = [&](const char* subject) {
        return dovecot.Doveadm({"save", "-u", "jiro"}, test::SimpleMessage(subject));
    };
    for (const auto& [before, pushed, count] :
         {std::tuple{"", "first push", 2}, {"while away", "second push", 4}}) {
        SCOPED_TRACE(pushed);
        ASSERT_EQ(*before ? deliver(before) : "", "");
        const size_t told = notices().size();
        pim.Start();
        ASSERT_TRUE(pim.WaitSeen(count - 1)) << pim.Log();
        test::RunFor(std::chrono::milliseconds(500));
        EXPECT_EQ(notices().size(), told) << "nothing there at the start is news";
        ASSERT_EQ(deliver(pushed), "");
        ASSERT_TRUE(pim.WaitSeen(count)) << "pushed";
        ASSERT_TRUE(
            test::RunUntil([&] { return notices().size() == told + 1; }, std::chrono::seconds(5)));
        EXPECT_NE(notices().back().find(pushed), std::string::npos) << notices().back();
        ASSERT_EQ(pim.Stop(), 0);
    }
}

} // namespace
} // namespace pim
