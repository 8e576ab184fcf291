#include "platform/SingleInstance.h"

#include "support/EventLoop.h"
#include "support/ScopedEnv.h"
#include "support/TempDir.h"

#include <future>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace pim {
namespace {

using namespace std::chrono_literals;

TEST(SingleInstance, ARuntimeFolderThatIsNoUsableFolderFallsBackToTmp) {
    test::TempDir dir;
    test::WriteFile(dir.file("file"), "");
    const std::string tmp = "/tmp/Pim-" + std::to_string(::getuid());
    const struct {
        std::string runtime;
        std::string base;
    } cases[] = {
        {dir.path(), dir.file("Pim")}, {"", tmp},
        {"relative/folder", tmp},      {dir.file("missing"), tmp},
        {dir.file("file"), tmp},
    };
    for (const auto& c : cases) {
        test::ScopedEnv runtime("XDG_RUNTIME_DIR", c.runtime);
        EXPECT_EQ(SingleInstance::LockPath(), c.base + ".lock") << c.runtime;
        EXPECT_EQ(SingleInstance::SocketPath(), c.base + ".socket") << c.runtime;
    }
}

int Connect(const std::string& path) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    path.copy(address.sun_path, sizeof address.sun_path - 1);
    EXPECT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    return fd;
}

bool ClosedWithoutAnswer(int fd) {
    pollfd readable{fd, POLLIN, 0};
    char byte;
    return ::poll(&readable, 1, 0) == 1 && ::recv(fd, &byte, 1, MSG_DONTWAIT) == 0;
}

TEST(ShowRequestServer, OnlyTheRequestShowsAndNoOtherPeerHoldsItUp) {
    test::TempDir dir;
    const std::string path = dir.file("Pim.socket");
    {
        // The socket of a Pim that crashed.
        const int stale = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        path.copy(address.sun_path, sizeof address.sun_path - 1);
        ASSERT_EQ(::bind(stale, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
        ::close(stale);
    }
    ShowRequestServer server;
    ASSERT_TRUE(server.Listen(path));
    int shown = 0;
    QObject::connect(&server, &ShowRequestServer::showRequested, [&] { ++shown; });

    const int silent = Connect(path);
    const int garbage = Connect(path);
    const int tooMuch = Connect(path);
    ASSERT_EQ(::send(garbage, "GET / HTTP/1.0\r\n\r\n", 18, 0), 18);
    ASSERT_EQ(::send(tooMuch, "Pim: show\nand more", 18, 0), 18);
    std::future<bool> answered =
        std::async(std::launch::async, [&] { return SingleInstance::ShowRunning(path, 5s); });
    ASSERT_TRUE(
        test::RunUntil([&] { return answered.wait_for(0s) == std::future_status::ready; }, 10s));
    EXPECT_TRUE(answered.get());
    EXPECT_EQ(shown, 1);
    EXPECT_TRUE(test::RunUntil(
        [&] { return ClosedWithoutAnswer(garbage) && ClosedWithoutAnswer(tooMuch); }, 10s));
    EXPECT_EQ(shown, 1);
    for (const int fd : {silent, garbage, tooMuch})
        ::close(fd);
}

} // namespace
} // namespace pim
