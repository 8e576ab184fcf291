// The program as a process: one instance per user, which a second start shows,
// and an orderly end on the signals a session sends.
#include "settings/IniFile.h"
#include "support/Spawn.h"
#include "support/TempDir.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace pim {
namespace {

using namespace std::chrono_literals;

class ProcessTest : public ::testing::Test {
protected:
    test::TempDir dir; // holds the program, its Pim.INI and its lock
    std::string program = dir.file("pim");

    void SetUp() override { std::filesystem::copy_file(PIM_BINARY, program); }

    // `errors`: a file for what it prints.
    pid_t Start(const std::string& errors = {}) {
        // No session bus: a tray watch must not ask the machine's.
        const pid_t pid = test::Spawn(
            {program},
            test::ForPim({"XDG_RUNTIME_DIR=" + dir.path(), "HOME=" + dir.path(),
                          "QT_QPA_PLATFORM=offscreen",
                          "DBUS_SESSION_BUS_ADDRESS=unix:path=" + dir.file("no-bus"), "DISPLAY"}),
            errors);
        EXPECT_GT(pid, 0);
        return pid;
    }

    // A second start that was answered ends with 0 and says nothing.
    void ExpectSecondStartAnswered() {
        const std::string errors = dir.file("second.err");
        const pid_t second = Start(errors);
        EXPECT_EQ(WaitExit(second, 20s), 0);
        EXPECT_EQ(test::ReadFile(errors), "");
    }

    int ConnectToSocket() const {
        const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        dir.file("Pim.socket").copy(address.sun_path, sizeof address.sun_path - 1);
        if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0)
            return fd;
        ::close(fd);
        return -1;
    }

    // A connection once the instance listens; -1 when it never does.
    int Connected() const {
        for (auto waited = 0ms; waited < 20s; waited += 20ms) {
            if (const int fd = ConnectToSocket(); fd >= 0)
                return fd;
            std::this_thread::sleep_for(20ms);
        }
        return -1;
    }

    bool LockHeld() const {
        const int fd = ::open(dir.file("Pim.lock").c_str(), O_RDWR | O_CLOEXEC);
        if (fd < 0)
            return false;
        const bool held = ::flock(fd, LOCK_EX | LOCK_NB) != 0;
        ::close(fd);
        return held;
    }

    void WaitForLock() {
        for (auto waited = 0ms; waited < 20s && !LockHeld(); waited += 20ms)
            std::this_thread::sleep_for(20ms);
        ASSERT_TRUE(LockHeld());
    }

    // The exit status, or -1 when the process is still running after `limit`.
    static int WaitExit(pid_t pid, std::chrono::milliseconds limit) {
        for (auto waited = 0ms;; waited += 10ms) {
            int status = 0;
            if (::waitpid(pid, &status, WNOHANG) == pid)
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            if (waited >= limit)
                return -1;
            std::this_thread::sleep_for(10ms);
        }
    }

    static void Stop(pid_t pid) {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, nullptr, 0);
    }
};

// A killed instance leaves its socket behind: the next start takes its place
// and answers a second start, past peers that send garbage or nothing.
TEST_F(ProcessTest, ASecondStartIsAnsweredPastAKilledInstanceGarbageAndSilence) {
    const pid_t killed = Start();
    WaitForLock();
    const int before = Connected();
    ASSERT_GE(before, 0) << "the first instance listens beside its lock";
    ::close(before);
    Stop(killed);
    ASSERT_TRUE(std::filesystem::exists(dir.file("Pim.socket")));

    const pid_t first = Start();
    WaitForLock();
    const int silent = Connected();
    ASSERT_GE(silent, 0);
    std::vector<int> peers;
    for (const std::string bytes : {"\x80garbage\n", "Pim: show\nand more"}) {
        peers.push_back(ConnectToSocket());
        ASSERT_EQ(::send(peers.back(), bytes.data(), bytes.size(), MSG_NOSIGNAL),
                  ssize_t(bytes.size()));
    }
    ExpectSecondStartAnswered();
    for (const int peer : peers) {
        pollfd readable{peer, POLLIN, 0};
        char byte = 0;
        EXPECT_EQ(::poll(&readable, 1, 20000), 1);
        // Dropped without an answer; with bytes left unread, the close is a reset.
        const ssize_t got = ::recv(peer, &byte, 1, MSG_DONTWAIT);
        EXPECT_TRUE(got == 0 || (got < 0 && errno == ECONNRESET)) << got;
        ::close(peer);
    }
    EXPECT_EQ(WaitExit(first, 0ms), -1) << "the first instance must keep running";
    ::close(silent);
    Stop(first);
}

// The signals a session sends end it in order, saving the window's place; a
// profile that is a FIFO neither hangs the start nor is replaced; a file-size
// limit fails the save but neither kills it nor leaves a temporary file.
TEST_F(ProcessTest, SessionSignalsEndItInOrderAndTheSaveNeverHarmsTheProfile) {
    const std::string profile = dir.file("Pim.INI");
    const std::string text =
        "[MainWindow]\r\nType=1\r\nLeft=12\r\nTop=34\r\n; " + std::string(200, 'x') + "\r\n";
    const struct {
        int signal;
        bool fifo, limited;
    } rows[] = {{SIGTERM, false, false},
                {SIGINT, false, false},
                {SIGHUP, false, false},
                {SIGTERM, true, false},
                {SIGTERM, false, true}};
    for (const auto& row : rows) {
        SCOPED_TRACE(std::to_string(row.signal) + (row.fifo ? " FIFO" : "") +
                     (row.limited ? " limited" : ""));
        std::filesystem::remove(profile);
        if (row.fifo)
            ASSERT_EQ(::mkfifo(profile.c_str(), 0600), 0);
        else
            test::WriteFile(profile, text + "[Setting]\r\nSettingEndCheck=1\r\n");
        const pid_t pid = Start();
        WaitForLock();
        if (row.limited) {
            rlimit limit{};
            ASSERT_EQ(::prlimit(pid, RLIMIT_FSIZE, nullptr, &limit), 0);
            limit.rlim_cur = 64; // smaller than the file Pim writes at the end
            ASSERT_EQ(::prlimit(pid, RLIMIT_FSIZE, &limit, nullptr), 0);
        }
        // With a FIFO its message box is open meanwhile; the signal ends it all the same.
        ::kill(pid, row.signal);
        const int exit = WaitExit(pid, 10s);
        if (exit < 0)
            Stop(pid);
        EXPECT_EQ(exit, 0);
        if (row.fifo) {
            struct stat info {};
            ASSERT_EQ(::lstat(profile.c_str(), &info), 0);
            EXPECT_TRUE(S_ISFIFO(info.st_mode));
            continue;
        }
        const IniFile ini = IniFile::Load(profile);
        EXPECT_EQ(ini.Value("MainWindow", "Left"), "12");
        EXPECT_EQ(ini.Value("MainWindow", "Top"), "34");
        EXPECT_EQ(ini.Value("MainWindow", "Type"), "1");
        if (row.limited) {
            EXPECT_EQ(test::ReadFile(profile), text + "[Setting]\r\nSettingEndCheck=1\r\n");
        }
        for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
            EXPECT_FALSE(entry.path().filename().string().starts_with(".Pim.INI.")) << entry.path();
    }
}

} // namespace
} // namespace pim
