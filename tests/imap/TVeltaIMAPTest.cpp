// The IMAP client kept open against a real Dovecot: it idles after its check,
// tells of new mail the moment it is delivered, checks again on the open
// connection, and tells of its end.
#include "support/CheckClient.h"
#include "support/DovecotServer.h"
#include "support/EventLoop.h"
#include "support/TempDir.h"

#include <QTcpServer>
#include <cstdio>
#include <gtest/gtest.h>
#include <regex>

namespace pim {
namespace {

using namespace std::chrono_literals;
using namespace std::string_literals;

// What cannot go out does not: not even a connection is opened, and the check
// hears why once Connect has returned. Such a login is not tried again.
TEST(TVeltaIMAP, CredentialsThatCannotGoOutAreRefusedBeforeConnecting) {
    QTcpServer server;
    ASSERT_TRUE(server.listen(QHostAddress::LocalHost));
    const std::string host = "imap://127.0.0.1:" + std::to_string(server.serverPort());
    for (const auto& [user, password] : {std::pair{"taro"s, "se\0cret"s},
                                         {"ta\0ro"s, "pw"s},
                                         {"taro"s, std::string(16385, 'x')}}) {
        test::ImapClient client;
        client.checker.OnDropped = [&](TVeltaIMAP*, uint8_t) { client.log.push_back("dropped"); };
        ASSERT_TRUE(client.Connect(host, user, password));
        EXPECT_TRUE(client.log.empty());
        ASSERT_TRUE(test::RunUntil([&] { return client.ended; }, 5s)) << password.size();
        EXPECT_EQ(client.log, std::vector<std::string>{"error 4"});
        EXPECT_NE(client.checker.ErrorReason(), "");
        EXPECT_EQ(client.checker.SecurityOutcome(), TlsOutcome{});
    }
    test::RunFor(100ms);
    EXPECT_FALSE(server.hasPendingConnections());
}

TEST(TVeltaIMAPDovecot, KeptOpenItIdlesTellsOfChangesChecksAgainAndTellsOfItsEnd) {
    if (const std::string reason = test::DovecotServer::SkipReason(); !reason.empty())
        GTEST_SKIP() << reason;
    test::DovecotServer dovecot;
    ASSERT_TRUE(dovecot.Start({{"hanako", "pw", {"Subject: one\r\n\r\nx\r\n"}}}))
        << dovecot.error();
    const std::string host = "imap://127.0.0.1:" + std::to_string(dovecot.ImapPort());
    test::ImapClient client;
    TVeltaIMAP& imap = client.checker;
    int pushes = 0, drops = 0;
    imap.OnPush = [&](TVeltaIMAP*) { ++pushes; };
    imap.OnDropped = [&](TVeltaIMAP*, uint8_t error) {
        ++drops, client.log.push_back("dropped " + std::to_string(error));
    };
    imap.KeepOpen(true);
    const auto check = [&] {
        client.log.clear(), client.mails.clear();
        EXPECT_TRUE(client.Connect(host, "hanako", "pw"));
        return test::RunUntil([&] { return client.ended; }, 10s);
    };
    ASSERT_TRUE(check());
    EXPECT_EQ(client.log, (std::vector<std::string>{"connect 1", "mail one", "disconnect"}));
    ASSERT_TRUE(test::RunUntil([&] { return imap.IsIdling(); }, 5s));
    // The system keeps asking the idle connection's other end (timer 2 of
    // /proc/net/tcp: keep-alive), so that a lost one is found: the remote port,
    // the state established, the queues, the timer.
    char remote[40];
    std::snprintf(remote, sizeof remote, ":%04X 01 \\S+ 02:", dovecot.ImapPort());
    EXPECT_TRUE(std::regex_search(test::ReadFile("/proc/net/tcp"), std::regex(remote)));

    ASSERT_EQ(dovecot.Doveadm({"save", "-u", "hanako"}, "Subject: two\r\n\r\ny\r\n"), "");
    EXPECT_TRUE(test::RunUntil([&] { return pushes == 1; }, 5s)) << "delivered, told at once";
    imap.RenewInterval = 100;
    ASSERT_TRUE(check());
    EXPECT_EQ(client.log,
              (std::vector<std::string>{"connect 2", "mail one", "mail two", "disconnect"}));
    const std::string log = test::ReadFile(dovecot.File("dovecot.log")), login = "Login: user=<";
    const size_t first = log.find(login);
    EXPECT_TRUE(first != log.npos && first == log.rfind(login)) << "one login: checked again on it";
    ASSERT_TRUE(test::RunUntil([&] { return imap.IsIdling(); }, 5s));

    // Renewed again and again, it still hears; the server gone, the end is told once.
    test::RunFor(500ms);
    ASSERT_EQ(dovecot.Doveadm({"save", "-u", "hanako"}, "Subject: three\r\n\r\nz\r\n"), "");
    EXPECT_TRUE(test::RunUntil([&] { return pushes == 2; }, 5s));
    dovecot.Stop();
    EXPECT_TRUE(test::RunUntil([&] { return drops == 1; }, 10s));
    EXPECT_FALSE(imap.IsIdling() || imap.SessionOpen());
    EXPECT_EQ(pushes, 2);
}

} // namespace
} // namespace pim
