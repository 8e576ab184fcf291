// The sample POP3 server as a process: one session on the wire, byte for byte.
#include "support/Pop3TestClient.h"
#include "support/TempDir.h"

#include <csignal>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace pim::test {
namespace {

struct Reaped {
    pid_t pid = -1;
    ~Reaped() {
        if (pid > 0 && ::kill(pid, SIGKILL) == 0)
            ::waitpid(pid, nullptr, 0);
    }
};

TEST(SampleServerTest, ServesAMailboxFolderAndRefusesWhatItLacks) {
    TempDir dir;
    WriteFile(dir.file("1.eml"), "Subject: dots\r\n\r\n.\r\n..two\r\nend\r\n");
    // Bare LF on disk, no line end at the very end.
    WriteFile(dir.file("2.eml"), "Subject: lf\n\nline\nlast");
    WriteFile(dir.file("notes.txt"), "not mail");

    int out[2];
    ASSERT_EQ(::pipe2(out, O_CLOEXEC), 0);
    std::string program = SAMPLE_SERVER, option = "--mailbox", folder = dir.path();
    char* argv[] = {program.data(), option.data(), folder.data(), nullptr};
    posix_spawn_file_actions_t actions;
    ::posix_spawn_file_actions_init(&actions);
    ::posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    Reaped server;
    ASSERT_EQ(::posix_spawn(&server.pid, argv[0], &actions, nullptr, argv, environ), 0);
    ::posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    std::string line;
    char c = 0;
    pollfd readable{out[0], POLLIN, 0};
    while (::poll(&readable, 1, 10000) == 1 && ::read(out[0], &c, 1) == 1 && c != '\n')
        line += c;
    ::close(out[0]);
    ASSERT_TRUE(line.starts_with("PORT ")) << line;

    Pop3TestClient client;
    ASSERT_TRUE(client.Connect(static_cast<uint16_t>(std::stoi(line.substr(5)))));
    EXPECT_EQ(client.ReadLine(), "+OK Pim sample POP3 server ready\r\n");
    EXPECT_TRUE(client.Command("STAT").value_or("").starts_with("-ERR"));
    EXPECT_EQ(client.Command("USER demo"), "+OK send PASS\r\n");
    EXPECT_TRUE(client.Command("PASS wrong").value_or("").starts_with("-ERR"));
    EXPECT_TRUE(client.Command("PASS demo").value_or("").starts_with("-ERR"))
        << "a failed PASS starts over at USER";
    EXPECT_TRUE(client.Command("USER demo").value_or("").starts_with("+OK"));
    EXPECT_EQ(client.Command("PASS demo"), "+OK maildrop has 2 messages (57 octets)\r\n");
    ASSERT_TRUE(client.Send("RETR 1\r\n"));
    EXPECT_EQ(client.ReadMultiline(),
              "+OK 32 octets\r\nSubject: dots\r\n\r\n..\r\n...two\r\nend\r\n.\r\n");
    ASSERT_TRUE(client.Send("RETR 2\r\n"));
    EXPECT_EQ(client.ReadMultiline(), "+OK 25 octets\r\nSubject: lf\r\n\r\nline\r\nlast\r\n.\r\n");
    for (const char* refused : {"RETR 3", "RETR 0", "RETR x", "DELE 1"})
        EXPECT_TRUE(client.Command(refused).value_or("").starts_with("-ERR")) << refused;
    EXPECT_EQ(client.Command("QUIT"), "+OK bye\r\n");
    EXPECT_TRUE(client.PeerClosed());
}

} // namespace
} // namespace pim::test
