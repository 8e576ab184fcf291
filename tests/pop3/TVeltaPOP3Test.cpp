// The component against a scripted POP3 server on loopback.
#include "pop3/TVeltaPOP3.h"

#include "common/Cp932.h"
#include "support/CheckClient.h"
#include "support/EventLoop.h"
#include "support/ScriptedServer.h"

#include <gtest/gtest.h>
#include <set>

namespace pim {
namespace {

using namespace std::chrono_literals;
using test::RunUntil;
using test::ScriptedServer;
using test::ServerConnection;

// A slow but steady server is read to the end: each piece comes well within
// the time-out, all of them take far longer. Meanwhile a second Connect is refused.
// One whose every answer comes within the time-out is cut at ten of them.
TEST(TVeltaPOP3, ASlowButSteadyServerIsReadToTheEndAndTheOnlySession) {
    const std::string message = "+OK\r\nSubject: slow\r\nFrom: a@example.jp\r\n\r\nbody\r\n.\r\n";
    for (const bool endless : {false, true}) {
        ScriptedServer server([&](ServerConnection& c) {
            if (!c.Send("+OK hello\r\n") || c.ReadLine() != "CAPA" ||
                c.Command("+OK\r\nUSER\r\n.") != "USER taro" || c.Command("+OK") != "PASS secret" ||
                c.Command("+OK") != "STAT")
                return;
            if (endless) {
                c.Send("+OK 40 40000\r\n");
                while (c.ReadLine().starts_with("RETR"))
                    std::this_thread::sleep_for(300ms), c.Send(message);
                return;
            }
            if (c.Command("+OK 1 1000") != "RETR 1")
                return;
            for (size_t at = 0; at < message.size(); at += message.size() / 12 + 1) {
                std::this_thread::sleep_for(120ms);
                c.Send(std::string_view(message).substr(at, message.size() / 12 + 1));
            }
            if (c.ReadLine() == "QUIT")
                c.Send("+OK bye\r\n");
        });
        test::Pop3Client client;
        client.checker.TimeOutCount = 400;
        ASSERT_TRUE(client.Connect(server.Port(), "localhost"));
        EXPECT_FALSE(client.Connect(server.Port()));
        ASSERT_TRUE(RunUntil([&] { return client.ended; }, 10s));
        if (endless)
            EXPECT_TRUE(client.log.back() == "error 1" && client.mails.size() < 20);
        else
            EXPECT_EQ(client.log,
                      (std::vector<std::string>{"connect 1", "mail slow", "disconnect"}));
        EXPECT_FALSE(client.checker.SessionOpen());
        EXPECT_EQ(server.Accepted(), 1);
    }
}

// An abandoned lookup, by destruction or at a time-out, keeps nothing that
// LeakSanitizer would fail this program for at its exit. Qt answers a name looked
// up in the last minute from its cache, so each lookup spells localhost anew.
TEST(TVeltaPOP3, AnAbandonedLookupLeavesNothingBehind) {
    int spelling = 1;
    const auto newName = [&] {
        std::string name = "localhost";
        for (size_t k = 0; k < name.size(); ++k)
            name[k] = static_cast<char>(spelling >> k & 1 ? std::toupper(name[k]) : name[k]);
        return ++spelling, name;
    };
    const uint16_t port = ScriptedServer::ClosedPort();
    for (int i = 0; i < 5; ++i)
        ASSERT_TRUE(TVeltaPOP3().Connect(newName() + ":" + std::to_string(port), "u", "p"));
    test::Pop3Client client;
    client.checker.TimeOutCount = 1; // often over before the lookup
    for (int i = 0; i < 10; ++i) {
        ASSERT_TRUE(client.Connect(port, newName()));
        ASSERT_TRUE(RunUntil([&] { return client.ended; }, 10s));
    }
    test::RunFor(200ms);
}

// A server that fails the upgrade hears nothing more in clear text: no USER, not
// even QUIT. A refused STLS is in the transcripts; one that no longer offers it
// is refused in the Dovecot check runs.
TEST(TVeltaPOP3, NothingGoesOutInClearTextWhenTlsFails) {
    std::vector<std::string> wire; // what the client sent after its TLS hello
    std::atomic<bool> served = false;
    ScriptedServer server([&](ServerConnection& c) {
        if (c.Send("+OK hello\r\n") && c.ReadLine() == "CAPA" &&
            c.Command("+OK\r\nSTLS\r\nUSER\r\n.") == "STLS" &&
            c.Send("+OK go ahead\r\n+OK 0 0\r\n")) {
            c.ReadLine(200ms); // the client's hello has no line end
            c.Send("-ERR this is no TLS\r\n");
            for (std::string line; !(line = c.ReadLine(5s)).empty();)
                wire.push_back(line);
        }
        served = true;
    });
    test::Pop3Client client;
    ASSERT_TRUE(client.Connect(server.Port()));
    ASSERT_TRUE(RunUntil([&] { return client.ended; }, 10s));
    EXPECT_EQ(client.log, (std::vector<std::string>{"error 2"}));
    const TlsOutcome outcome = client.checker.SecurityOutcome();
    EXPECT_EQ(std::tuple(outcome.Failure, outcome.Offered, outcome.Encrypted),
              std::tuple(TlsFailure::Handshake, true, false));
    ASSERT_TRUE(RunUntil([&] { return served.load(); }, 5s));
    // A failed handshake leaves bytes of its own; none of them is a command.
    for (const std::string& line : wire)
        for (const char* command : {"USER", "PASS", "QUIT", "CAPA"})
            EXPECT_EQ(line.find(command), std::string::npos) << line;
    // Where TLS comes first (pop3s), a server speaking in clear fails the handshake too.
    ScriptedServer plain([](ServerConnection& c) { c.Send("+OK hello\r\n"), c.ReadLine(2s); });
    test::Pop3Client implicit;
    ASSERT_TRUE(implicit.checker.Connect("pop3s://127.0.0.1:" + std::to_string(plain.Port()),
                                         "taro", "secret"));
    ASSERT_TRUE(RunUntil([&] { return implicit.ended; }, 10s));
    EXPECT_EQ(implicit.checker.SecurityOutcome().Failure, TlsFailure::Handshake);
}

// Why no connection came up, for POP3 and IMAP alike: a closed port, a name no
// resolver can know (an empty label is refused before any lookup, so nothing
// leaves the machine), and a connect that hangs until the reply time-out (a
// listening socket whose queue is full drops the SYN).
TEST(TVeltaPOP3, WhyNoConnectionCameUpIsToldForPop3AndImapAlike) {
    const std::string closed = std::to_string(ScriptedServer::ClosedPort());
    uint16_t port = 0;
    const int listener = test::LoopbackSocket(port);
    ::listen(listener, 0);
    const ServerConnection queued = ServerConnection::To(port); // fills it, never accepted
    const std::string hanging = std::to_string(port);
    const std::pair<std::string, ConnectFailure> rows[] = {
        {"127.0.0.1:" + closed, ConnectFailure::Refused},
        {"imaps://nohost..invalid", ConnectFailure::HostNotFound},
        {"127.0.0.1:" + hanging, ConnectFailure::TimedOut}};
    for (const auto& [host, failure] : rows) {
        test::Pop3Client pop3;
        test::ImapClient imap;
        MailChecker& checker =
            host.starts_with("imap") ? static_cast<MailChecker&>(imap.checker) : pop3.checker;
        checker.TimeOutCount = 500;
        ASSERT_TRUE(checker.Connect(host, "taro", "secret")) << host;
        ASSERT_TRUE(RunUntil([&] { return pop3.ended || imap.ended; }, 10s));
        EXPECT_EQ(checker.SecurityOutcome().Connect, failure) << host;
    }
    ::close(listener);
}

} // namespace
} // namespace pim
