// Memory stays flat however large a message is: only what the header extraction
// reads is kept.
#include "pop3/TVeltaPOP3.h"
#include "support/EventLoop.h"
#include "support/ScriptedServer.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

// Under AddressSanitizer freed memory must be reused at once, or its quarantine
// would look like growth.
extern "C" const char* __asan_default_options() {
    return "quarantine_size_mb=0:thread_local_quarantine_size_kb=0";
}

namespace pim {
namespace {

using namespace std::chrono_literals;

long StatusKb(const std::string& key) {
    const std::string status = test::ReadFile("/proc/self/status");
    return std::stol(status.substr(status.find(key + ":") + key.size() + 1));
}

TEST(TVeltaPOP3Memory, AFiftyMegabyteMessageCostsLessThanTwoMegabytes) {
    size_t size = 10 * 1024; // a small first session sets up what a socket needs
    test::ScriptedServer server([&](test::ServerConnection& c) {
        if (!(c.Send("+OK\r\n") && c.ReadLine() == "CAPA" &&
              c.Command("+OK\r\nUSER\r\n.") == "USER u" && c.Command("+OK") == "PASS p" &&
              c.Command("+OK") == "STAT" && c.Command("+OK 1 1") == "RETR 1" &&
              c.Send("+OK\r\nSubject: big\r\nFrom: a@example.jp\r\n\r\n")))
            return;
        std::string block;
        while (block.size() < 64 * 1024)
            block += std::string(76, 'A') + "\r\n";
        for (size_t sent = 0; sent < size && c.Send(block); sent += block.size()) {
        }
        if (c.Command(".") == "QUIT")
            c.Send("+OK\r\n");
    });
    TVeltaPOP3 pop3;
    bool ended = false;
    int mails = 0;
    pop3.OnConnect = [](TVeltaPOP3* p, int) {
        QMetaObject::invokeMethod(
            p, [p] { p->Retr(1); }, Qt::QueuedConnection);
    };
    pop3.OnGetMailInformation = [&](TVeltaPOP3* p, const std::string&, const std::string&,
                                    const std::string&) {
        ++mails;
        QMetaObject::invokeMethod(
            p, [p] { p->Quit(); }, Qt::QueuedConnection);
    };
    pop3.OnDisconnect = [&](TVeltaPOP3*) { ended = true; };
    pop3.OnError = [&](TVeltaPOP3*, uint8_t) { ended = true; };
    const std::string host = "127.0.0.1:" + std::to_string(server.Port());
    ASSERT_TRUE(pop3.Connect(host, "u", "p"));
    ASSERT_TRUE(test::RunUntil([&] { return ended; }, 10s));
    ASSERT_EQ(mails, 1);

    size = 50u * 1024 * 1024;
    ended = false;
    test::WriteFile("/proc/self/clear_refs", "5"); // the peak starts again from here
    const long before = StatusKb("VmRSS");
    ASSERT_TRUE(pop3.Connect(host, "u", "p"));
    ASSERT_TRUE(test::RunUntil([&] { return ended; }, 60s));
    const long peak = StatusKb("VmHWM");
    EXPECT_EQ(mails, 2);
    EXPECT_LT(peak - before, 2048) << "peak " << peak << " kB, before " << before << " kB";
}

} // namespace
} // namespace pim
