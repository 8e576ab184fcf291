// The Dovecot fixture itself: the mail it is given comes back byte for byte,
// logins are checked for real, TLS needs the test authority, and it cleans up.
#include "support/DovecotServer.h"
#include "support/MailGenerator.h"
#include "support/Pop3TestClient.h"

#include <csignal>
#include <cstdio>
#include <filesystem>
#include <gtest/gtest.h>
#include <unistd.h>

namespace pim::test {
namespace {

std::vector<MailUser> Users() {
    MailUser alice{"alice", "s3cret!", {}};
    alice.messages.push_back(
        MakeMessage(EncodeIso2022JpHeader("来週の定例会議の議題について"),
                    EncodeIso2022JpHeader("佐藤 花子", 6) + " <hanako@example.jp>",
                    "Mon, 2 Dec 2024 09:15:32 +0900",
                    ToIso2022Jp("お疲れさまです。\n議題は下記の通りです。\n")));
    // Lines that must be byte-stuffed on the way out and unstuffed on the way in.
    alice.messages.push_back(MakeMessage("Dot lines", "Bob <bob@example.com>",
                                         "Tue, 3 Dec 2024 18:02:11 +0000",
                                         "Type a single dot:\n.\n..twice\n.bashrc\nend\n"));
    alice.messages.push_back(MakeAttachmentMessage(
        EncodeIso2022JpHeader("【資料送付】第3四半期 売上報告書"), "keiri@example.jp",
        "Wed, 4 Dec 2024 10:00:00 +0900", ToIso2022Jp("資料を添付します。\n")));
    MailUser bob{"bob", "hunter2", {}};
    return {alice, bob};
}

class DovecotFixtureTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (const std::string reason = DovecotServer::SkipReason(); !reason.empty())
            GTEST_SKIP() << reason;
    }

    // A session logged in as `user`, its greeting and login checked.
    static void Login(Pop3TestClient& client, uint16_t port, const MailUser& user) {
        ASSERT_TRUE(client.Connect(port));
        ASSERT_TRUE(client.ReadLine().value_or("").starts_with("+OK"));
        ASSERT_TRUE(client.Command("USER " + user.name).value_or("").starts_with("+OK"));
        ASSERT_TRUE(client.Command("PASS " + user.password).value_or("").starts_with("+OK"));
    }
};

TEST_F(DovecotFixtureTest, ServesEachUsersMailByteForByte) {
    const auto users = Users();
    DovecotServer server;
    ASSERT_TRUE(server.Start(users)) << server.error();

    Pop3TestClient client;
    Login(client, server.Port(), users[0]);
    size_t total = 0;
    for (const auto& message : users[0].messages)
        total += message.size();
    EXPECT_EQ(client.Command("STAT"), "+OK 3 " + std::to_string(total) + "\r\n");
    for (size_t i = 0; i < users[0].messages.size(); ++i) {
        ASSERT_TRUE(client.Send("RETR " + std::to_string(i + 1) + "\r\n"));
        const auto reply = client.ReadMultiline();
        ASSERT_TRUE(reply.has_value()) << "RETR " << i + 1;
        EXPECT_EQ(Unstuff(*reply), users[0].messages[i]) << "RETR " << i + 1;
        if (i == 1) {
            EXPECT_NE(reply->find("\r\n..\r\n...twice\r\n..bashrc\r\n"), std::string::npos);
        }
    }
    EXPECT_TRUE(client.Command("RETR 4").value_or("").starts_with("-ERR"));
    EXPECT_TRUE(client.Command("QUIT").value_or("").starts_with("+OK"));
    EXPECT_TRUE(client.PeerClosed());

    Pop3TestClient empty;
    Login(empty, server.Port(), users[1]);
    EXPECT_EQ(empty.Command("STAT"), "+OK 0 0\r\n");
}

TEST_F(DovecotFixtureTest, RefusesWrongPasswordsAndUnknownUsers) {
    const auto users = Users();
    DovecotServer server;
    ASSERT_TRUE(server.Start(users)) << server.error();

    Pop3TestClient client;
    ASSERT_TRUE(client.Connect(server.Port()));
    ASSERT_TRUE(client.ReadLine().has_value());
    for (const auto& [user, password] : {std::pair{"alice", "S3CRET!"},
                                         {"alice", "hunter2"},
                                         {"carol", "s3cret!"},
                                         {"alice", ""}}) {
        client.Command(std::string("USER ") + user);
        EXPECT_TRUE(
            client.Command(std::string("PASS ") + password).value_or("").starts_with("-ERR"))
            << user << " / " << password;
    }
    // Failures do not lock the account or slow the next login down.
    EXPECT_TRUE(client.Command("USER alice").value_or("").starts_with("+OK"));
    EXPECT_TRUE(client.Command("PASS s3cret!").value_or("").starts_with("+OK"));
}

TEST_F(DovecotFixtureTest, StopEndsTheServerAndTheDestructorRemovesItsFolder) {
    std::string folder;
    {
        DovecotServer server;
        ASSERT_TRUE(server.Start({{"alice", "pw", {MakeMessage("Hi", "a@example.jp", "", "x")}}}))
            << server.error();
        folder = server.Folder();
        const pid_t pid = server.Pid();
        const uint16_t port = server.Port();
        server.Stop();
        EXPECT_FALSE(server.Running());
        EXPECT_NE(::kill(pid, 0), 0) << "the master process must be gone";
        Pop3TestClient client;
        EXPECT_FALSE(client.Connect(port)) << "nothing may listen on the old port";

        // A second start in the same object gets a fresh folder and works.
        ASSERT_TRUE(server.Start({{"bob", "pw", {}}})) << server.error();
        EXPECT_NE(server.Folder(), folder);
        EXPECT_FALSE(std::filesystem::exists(folder));
        folder = server.Folder();
    }
    EXPECT_FALSE(std::filesystem::exists(folder));
}

TEST_F(DovecotFixtureTest, BadUsersAreRefusedBeforeAnythingStarts) {
    DovecotServer server;
    EXPECT_FALSE(server.Start({{"al:ice", "pw", {}}}));
    EXPECT_NE(server.error().find("al:ice"), std::string::npos);
    EXPECT_FALSE(server.Start({{"alice", "pass:word", {}}}));
    EXPECT_FALSE(server.Running());
}

// curl's exit status and what it wrote to stdout.
std::pair<int, std::string> Curl(const std::string& arguments) {
    const std::string command = "curl -s --max-time 20 " + arguments + " 2>/dev/null";
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe)
        return {-1, {}};
    std::string output;
    char chunk[65536];
    while (const size_t got = std::fread(chunk, 1, sizeof chunk, pipe))
        output.append(chunk, got);
    const int status = ::pclose(pipe);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, output};
}

class DovecotTlsTest : public DovecotFixtureTest {
protected:
    void SetUp() override {
        if (std::string reason = DovecotServer::SkipReason(true); !reason.empty())
            GTEST_SKIP() << reason;
        if (::access("/usr/bin/curl", X_OK) != 0)
            GTEST_SKIP() << "curl not installed (scripts/setup installs it)";
    }
};

TEST_F(DovecotTlsTest, CurlFetchesOverTlsOnlyWhenItTrustsTheTestAuthority) {
    const auto users = Users();
    DovecotServer server;
    ASSERT_TRUE(server.Start(users, true)) << server.error();
    ASSERT_NE(server.TlsPort(), 0);
    ASSERT_NE(server.TlsPort(), server.Port());
    const std::string login = " -u alice:s3cret! ";
    const std::string tls = "pop3s://127.0.0.1:" + std::to_string(server.TlsPort());
    const std::string ca = " --cacert " + server.CaCertificatePath();

    auto [status, output] = Curl(ca + login + tls + "/1");
    EXPECT_EQ(status, 0);
    EXPECT_EQ(output, users[0].messages[0]);

    // STLS on the plain port, with the certificate checked the same way.
    std::tie(status, output) = Curl(ca + " --ssl-reqd" + login +
                                    "pop3://127.0.0.1:" + std::to_string(server.Port()) + "/2");
    EXPECT_EQ(status, 0);
    EXPECT_EQ(output, users[0].messages[1]);

    // The certificate names localhost; curl reaches it at 127.0.0.1 under either name.
    const std::string port = std::to_string(server.TlsPort());
    std::tie(status, output) = Curl(ca + " --resolve localhost:" + port + ":127.0.0.1" + login +
                                    "pop3s://localhost:" + port + "/1");
    EXPECT_EQ(status, 0);
    EXPECT_EQ(output, users[0].messages[0]);

    for (const std::string& refused :
         {login + tls + "/1",
          " --cacert " + server.UntrustedCaCertificatePath() + login + tls + "/1",
          ca + " --resolve mail.example.jp:" + port + ":127.0.0.1" + login +
              "pop3s://mail.example.jp:" + port + "/1"}) {
        std::tie(status, output) = Curl(refused);
        EXPECT_NE(status, 0) << refused;
        EXPECT_EQ(output, "") << refused;
    }
}

} // namespace
} // namespace pim::test
