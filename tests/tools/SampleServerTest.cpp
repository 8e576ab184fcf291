// The sample POP3 server as a process: one session on the wire, byte for byte.
#include "support/ScriptedServer.h"
#include "support/Spawn.h"
#include "support/TempDir.h"

#include <csignal>
#include <gtest/gtest.h>

namespace pim::test {
namespace {

using namespace std::chrono_literals;

TEST(SampleServerTest, ServesAMailboxFolderAndRefusesWhatItLacks) {
    TempDir dir;
    WriteFile(dir.file("1.eml"), "Subject: dots\r\n\r\n.\r\n..two\r\nend\r\n");
    // Bare LF on disk, no line end at the very end.
    WriteFile(dir.file("2.eml"), "Subject: lf\n\nline\nlast");
    WriteFile(dir.file("notes.txt"), "not mail");
    const pid_t server = Spawn({SAMPLE_SERVER, "--mailbox", dir.path()}, {}, dir.file("out"));
    const std::shared_ptr<void> reaped(
        nullptr, [&](void*) { ::kill(server, SIGKILL), WaitExit(server, 5s); });
    std::string out;
    for (int i = 0; i < 1000 && out.find('\n') == std::string::npos; ++i)
        std::this_thread::sleep_for(10ms), out = ReadFile(dir.file("out"));
    ASSERT_TRUE(out.starts_with("PORT ")) << out;
    ServerConnection client = ServerConnection::To(static_cast<uint16_t>(std::stoi(out.substr(5))));
    EXPECT_EQ(client.ReadLine(), "+OK Pim sample POP3 server ready");
    // A failed PASS starts over at USER.
    for (const char* command : {"STAT", "USER demo", "PASS wrong", "PASS demo"})
        EXPECT_EQ(client.Command(command)[0], command[0] == 'U' ? '+' : '-') << command;
    EXPECT_TRUE(client.Command("USER demo").starts_with("+OK"));
    EXPECT_EQ(client.Command("PASS demo"), "+OK maildrop has 2 messages (57 octets)");
    ASSERT_TRUE(client.Send("RETR 1\r\nRETR 2\r\n"));
    EXPECT_EQ(client.ReadThrough("\r\n.\r\n"),
              "+OK 32 octets\r\nSubject: dots\r\n\r\n..\r\n...two\r\nend\r\n.\r\n");
    EXPECT_EQ(client.ReadThrough("\r\n.\r\n"),
              "+OK 25 octets\r\nSubject: lf\r\n\r\nline\r\nlast\r\n.\r\n");
    for (const char* refused : {"RETR 3", "RETR 0", "RETR x", "DELE 1"})
        EXPECT_TRUE(client.Command(refused).starts_with("-ERR")) << refused;
    EXPECT_EQ(client.Command("QUIT"), "+OK bye");
    EXPECT_TRUE(client.WaitClosed(10s));
}

} // namespace
} // namespace pim::test
