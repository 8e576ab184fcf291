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

TEST_F(ProcessTest, ASecondStartIsAnsweredByTheFirstEvenPastGarbageAndSilence) {
    const pid_t first = Start();
    WaitForLock();
    int silent = -1;
    for (auto waited = 0ms; waited < 20s && silent < 0; waited += 20ms) {
        std::this_thread::sleep_for(20ms);
        silent = ConnectToSocket();
    }
    ASSERT_GE(silent, 0) << "the first instance listens beside its lock";
    const std::string bad[] = {"\x80garbage\n", "Pim: show\nand more"};
    std::vector<int> peers;
    for (const std::string& bytes : bad) {
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

TEST_F(ProcessTest, AKilledInstanceDoesNotBlockTheNextStartNorLeaveItUnreachable) {
    const pid_t first = Start();
    WaitForLock();
    for (auto waited = 0ms; waited < 20s && !std::filesystem::exists(dir.file("Pim.socket"));
         waited += 20ms)
        std::this_thread::sleep_for(20ms);
    Stop(first); // its socket stays behind
    ASSERT_TRUE(std::filesystem::exists(dir.file("Pim.socket")));
    const pid_t next = Start();
    WaitForLock();
    EXPECT_EQ(WaitExit(next, 300ms), -1);
    ExpectSecondStartAnswered();
    Stop(next);
}

TEST_F(ProcessTest, SessionSignalsEndItInOrderAndSaveTheWindowPlace) {
    for (const int signalNumber : {SIGTERM, SIGINT, SIGHUP}) {
        test::WriteFile(dir.file("Pim.INI"), "[MainWindow]\r\nType=1\r\nLeft=12\r\nTop=34\r\n"
                                             "[Setting]\r\nSettingEndCheck=1\r\n");
        const pid_t pid = Start();
        WaitForLock();
        ::kill(pid, signalNumber);
        EXPECT_EQ(WaitExit(pid, 10s), 0) << "signal " << signalNumber;
        const IniFile ini = IniFile::Load(dir.file("Pim.INI"));
        EXPECT_EQ(ini.Value("MainWindow", "Left"), "12");
        EXPECT_EQ(ini.Value("MainWindow", "Top"), "34");
        EXPECT_EQ(ini.Value("MainWindow", "Type"), "1");
        std::filesystem::remove(dir.file("Pim.INI"));
    }
}

TEST_F(ProcessTest, AProfileThatIsAFifoNeitherHangsTheStartNorIsReplaced) {
    const std::string profile = dir.file("Pim.INI");
    ASSERT_EQ(::mkfifo(profile.c_str(), 0600), 0);
    const pid_t pid = Start();
    WaitForLock();
    // Its message box is open meanwhile; the signal ends the program all the same.
    ::kill(pid, SIGTERM);
    const int exit = WaitExit(pid, 10s);
    if (exit < 0)
        Stop(pid);
    EXPECT_EQ(exit, 0);
    struct stat info {};
    ASSERT_EQ(::lstat(profile.c_str(), &info), 0);
    EXPECT_TRUE(S_ISFIFO(info.st_mode));
}

TEST_F(ProcessTest, AFileSizeLimitFailsTheSaveButNeitherKillsNorLeavesATemporaryFile) {
    const std::string profile = dir.file("Pim.INI");
    const std::string text =
        "[MainWindow]\r\nType=1\r\nLeft=12\r\nTop=34\r\n; " + std::string(200, 'x') + "\r\n";
    test::WriteFile(profile, text);
    const pid_t pid = Start();
    WaitForLock();
    rlimit limit{};
    ASSERT_EQ(::prlimit(pid, RLIMIT_FSIZE, nullptr, &limit), 0);
    limit.rlim_cur = 64; // smaller than the file Pim writes at the end
    ASSERT_EQ(::prlimit(pid, RLIMIT_FSIZE, &limit, nullptr), 0);
    ::kill(pid, SIGTERM);
    EXPECT_EQ(WaitExit(pid, 10s), 0);
    EXPECT_EQ(test::ReadFile(profile), text);
    for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
        EXPECT_EQ(entry.path().filename().string().rfind(".Pim.INI.", 0), std::string::npos)
            << entry.path();
}

} // namespace
} // namespace pim
