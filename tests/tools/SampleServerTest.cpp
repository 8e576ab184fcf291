// The sample POP3 server as a process: what it says on the wire, byte for byte.
#include "support/Pop3TestClient.h"
#include "support/TempDir.h"

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace pim::test {
namespace {

using namespace std::chrono_literals;

// The running tool; killed when the test ends.
class SampleServer {
public:
    explicit SampleServer(std::vector<std::string> options) {
        int out[2];
        if (::pipe2(out, O_CLOEXEC) != 0)
            return;
        std::vector<std::string> args = {SAMPLE_SERVER};
        args.insert(args.end(), options.begin(), options.end());
        std::vector<char*> argv;
        for (auto& arg : args)
            argv.push_back(arg.data());
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        ::posix_spawn_file_actions_init(&actions);
        ::posix_spawn_file_actions_adddup2(&actions, out[1], 1);
        ::posix_spawn_file_actions_adddup2(&actions, out[1], 2);
        if (::posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ) != 0)
            pid_ = -1;
        ::posix_spawn_file_actions_destroy(&actions);
        ::close(out[1]);
        output_ = out[0];
    }
    ~SampleServer() {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
        if (output_ >= 0)
            ::close(output_);
    }

    // The first line it prints, without its line end; empty after 10 s of silence.
    std::string FirstLine() {
        std::string line;
        char c = 0;
        pollfd readable{output_, POLLIN, 0};
        while (::poll(&readable, 1, 10000) == 1 && ::read(output_, &c, 1) == 1 && c != '\n')
            line += c;
        return line;
    }

    uint16_t Port() {
        const std::string line = FirstLine();
        return line.starts_with("PORT ") ? static_cast<uint16_t>(std::stoi(line.substr(5))) : 0;
    }

    // The exit status, or -1 while it still runs after `limit`.
    int ExitStatus(std::chrono::milliseconds limit) {
        for (auto waited = 0ms;; waited += 10ms) {
            int status = 0;
            if (::waitpid(pid_, &status, WNOHANG) == pid_) {
                pid_ = -1;
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            }
            if (waited >= limit)
                return -1;
            std::this_thread::sleep_for(10ms);
        }
    }

private:
    pid_t pid_ = -1;
    int output_ = -1;
};

// A session past greeting and login.
void LogIn(Pop3TestClient& client, uint16_t port, const std::string& user = "demo",
           const std::string& password = "demo") {
    ASSERT_TRUE(client.Connect(port));
    ASSERT_TRUE(client.ReadLine().value_or("").starts_with("+OK"));
    ASSERT_TRUE(client.Command("USER " + user).value_or("").starts_with("+OK"));
    ASSERT_TRUE(client.Command("PASS " + password).value_or("").starts_with("+OK"));
}

class SampleServerTest : public ::testing::Test {
protected:
    TempDir dir;

    void SetUp() override {
        WriteFile(dir.file("1.eml"), "Subject: dots\r\n\r\n.\r\n..two\r\n.x\r\nend\r\n");
        // Bare LF on disk, no line end at the very end.
        WriteFile(dir.file("2.eml"), "Subject: lf\n\nline\nlast");
        WriteFile(dir.file("notes.txt"), "not mail");
    }
};

TEST_F(SampleServerTest, SessionByteForByte) {
    SampleServer server({"--mailbox", dir.path()});
    const uint16_t port = server.Port();
    ASSERT_NE(port, 0);
    Pop3TestClient client;
    ASSERT_TRUE(client.Connect(port));
    EXPECT_EQ(client.ReadLine(), "+OK Pim sample POP3 server ready\r\n");

    // Nothing but USER, PASS and QUIT before the login.
    EXPECT_TRUE(client.Command("STAT").value_or("").starts_with("-ERR"));
    EXPECT_TRUE(client.Command("PASS demo").value_or("").starts_with("-ERR")) << "PASS needs USER";
    EXPECT_EQ(client.Command("USER demo"), "+OK send PASS\r\n");
    EXPECT_TRUE(client.Command("PASS wrong").value_or("").starts_with("-ERR"));
    EXPECT_TRUE(client.Command("PASS demo").value_or("").starts_with("-ERR"))
        << "a failed PASS starts over at USER";
    EXPECT_TRUE(client.Command("USER nobody").value_or("").starts_with("+OK"));
    EXPECT_TRUE(client.Command("PASS demo").value_or("").starts_with("-ERR"));
    EXPECT_TRUE(client.Command("user demo").value_or("").starts_with("+OK"));
    EXPECT_EQ(client.Command("PASS demo"), "+OK maildrop has 2 messages (61 octets)\r\n");

    EXPECT_EQ(client.Command("STAT"), "+OK 2 61\r\n");
    EXPECT_EQ(client.Command("stat"), "+OK 2 61\r\n");
    ASSERT_TRUE(client.Send("RETR 1\r\n"));
    EXPECT_EQ(client.ReadMultiline(),
              "+OK 36 octets\r\nSubject: dots\r\n\r\n..\r\n...two\r\n..x\r\nend\r\n.\r\n");
    ASSERT_TRUE(client.Send("RETR 2\r\n"));
    EXPECT_EQ(client.ReadMultiline(), "+OK 25 octets\r\nSubject: lf\r\n\r\nline\r\nlast\r\n.\r\n");

    for (const char* refused :
         {"RETR 3", "RETR 0", "RETR -1", "RETR +1", "RETR x", "RETR", "RETR 1 2", "LIST", "UIDL 1",
          "TOP 1 0", "DELE 1", "NOOP", "RSET", "CAPA", "STAT 1", "", "USER demo"})
        EXPECT_TRUE(client.Command(refused).value_or("").starts_with("-ERR")) << refused;

    EXPECT_EQ(client.Command("QUIT"), "+OK bye\r\n");
    EXPECT_TRUE(client.PeerClosed());
}

TEST_F(SampleServerTest, QuitBeforeLoginAndOverlongLinesEndTheSession) {
    SampleServer server({"--mailbox", dir.path()});
    const uint16_t port = server.Port();
    Pop3TestClient client;
    ASSERT_TRUE(client.Connect(port));
    ASSERT_TRUE(client.ReadLine().has_value());
    EXPECT_EQ(client.Command("QUIT"), "+OK bye\r\n");
    EXPECT_TRUE(client.PeerClosed());

    ASSERT_TRUE(client.Connect(port));
    ASSERT_TRUE(client.ReadLine().has_value());
    ASSERT_TRUE(client.Send(std::string(5000, 'A')));
    EXPECT_EQ(client.ReadLine(), "-ERR line too long\r\n");
    EXPECT_TRUE(client.PeerClosed());
}

TEST_F(SampleServerTest, OneLoginAtATimeAndConnectionsOneAfterAnother) {
    SampleServer server({"--mailbox", dir.path(), "--user", "taro", "--pass", "pass word"});
    const uint16_t port = server.Port();
    Pop3TestClient first;
    LogIn(first, port, "taro", "pass word");

    Pop3TestClient second;
    ASSERT_TRUE(second.Connect(port));
    EXPECT_TRUE(second.ReadLine().value_or("").starts_with("+OK")) << "greets while busy";
    second.Command("USER taro");
    EXPECT_EQ(second.Command("PASS pass word"), "-ERR [IN-USE] maildrop already locked\r\n");
    EXPECT_EQ(first.Command("STAT"), "+OK 2 61\r\n") << "the first session is unharmed";
    EXPECT_EQ(first.Command("QUIT"), "+OK bye\r\n");
    EXPECT_TRUE(first.PeerClosed());
    second.Command("USER taro");
    EXPECT_TRUE(second.Command("PASS pass word").value_or("").starts_with("+OK"));

    // A client that vanishes without QUIT frees the maildrop too.
    second.Close();
    for (int session = 0; session < 5; ++session) {
        Pop3TestClient next;
        ASSERT_TRUE(next.Connect(port));
        ASSERT_TRUE(next.ReadLine().has_value());
        next.Command("USER taro");
        std::string reply = next.Command("PASS pass word").value_or("");
        // The server may see the vanished client's end a moment after this login.
        for (int retry = 0; reply.starts_with("-ERR [IN-USE]") && retry < 100; ++retry) {
            std::this_thread::sleep_for(20ms);
            next.Command("USER taro");
            reply = next.Command("PASS pass word").value_or("");
        }
        EXPECT_TRUE(reply.starts_with("+OK")) << "session " << session << ": " << reply;
        EXPECT_EQ(next.Command("QUIT"), "+OK bye\r\n");
        EXPECT_TRUE(next.PeerClosed());
    }
    Pop3TestClient demo;
    ASSERT_TRUE(demo.Connect(port));
    ASSERT_TRUE(demo.ReadLine().has_value());
    demo.Command("USER demo");
    EXPECT_TRUE(demo.Command("PASS demo").value_or("").starts_with("-ERR"));
}

TEST(SampleServerBundled, ServesSixRealisticSampleMessages) {
    SampleServer server({});
    const uint16_t port = server.Port();
    ASSERT_NE(port, 0);
    Pop3TestClient client;
    LogIn(client, port);
    const std::string stat = client.Command("STAT").value_or("");
    ASSERT_TRUE(stat.starts_with("+OK 6 ")) << stat;

    size_t total = 0;
    int isoSubjects = 0, utf8Subjects = 0, stuffedLines = 0;
    for (int i = 1; i <= 6; ++i) {
        ASSERT_TRUE(client.Send("RETR " + std::to_string(i) + "\r\n"));
        const std::string reply = client.ReadMultiline().value_or("");
        const std::string message = Unstuff(reply);
        EXPECT_EQ(reply.substr(0, reply.find("\r\n")),
                  "+OK " + std::to_string(message.size()) + " octets");
        total += message.size();
        for (const char* header : {"\r\nFrom: ", "\r\nSubject: ", "\r\nDate: ", "\r\n\r\n"})
            EXPECT_NE(message.find(header), std::string::npos) << i << header;
        for (size_t at = 0; (at = message.find('\n', at + 1)) != std::string::npos;)
            EXPECT_EQ(message[at - 1], '\r') << "message " << i << " has a bare LF";
        const size_t subjectAt = message.find("\r\nSubject: ");
        ASSERT_NE(subjectAt, std::string::npos) << i;
        const std::string subject = message.substr(subjectAt + 11, 16);
        isoSubjects += subject == "=?ISO-2022-JP?B?";
        utf8Subjects += subject.starts_with("=?UTF-8?B?");
        stuffedLines += reply.find("\r\n..\r\n") != std::string::npos;
    }
    EXPECT_EQ(stat, "+OK 6 " + std::to_string(total) + "\r\n");
    EXPECT_GE(isoSubjects, 3);
    EXPECT_EQ(utf8Subjects, 1);
    EXPECT_EQ(stuffedLines, 1) << "one sample holds a line with a lone dot";
}

TEST(SampleServerOptions, RefusesBadOptionsAndMissingMailboxes) {
    for (const std::vector<std::string>& options : {std::vector<std::string>{"--port", "110"},
                                                    {"--port", "70000"},
                                                    {"--port", "x"},
                                                    {"--mailbox", "/nonexistent/pim-mailbox"},
                                                    {"--user", ""}}) {
        SampleServer server(options);
        EXPECT_EQ(server.FirstLine().rfind("pop3-sample-server: ", 0), 0u) << options[0];
        EXPECT_EQ(server.ExitStatus(10s), 2) << options[0];
    }
}

} // namespace
} // namespace pim::test
