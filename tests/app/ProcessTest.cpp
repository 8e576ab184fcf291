// The program as a process: one instance per user, and an orderly end on the
// signals a session sends.
#include "settings/IniFile.h"
#include "support/TempDir.h"

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace pim {
namespace {

using namespace std::chrono_literals;

class ProcessTest : public ::testing::Test {
protected:
    test::TempDir dir; // holds the program, its Pim.INI and its lock
    std::string program = dir.file("pim");

    void SetUp() override { std::filesystem::copy_file(PIM_BINARY, program); }

    pid_t Start() {
        std::vector<std::string> env = {"XDG_RUNTIME_DIR=" + dir.path(), "HOME=" + dir.path(),
                                        "QT_QPA_PLATFORM=offscreen"};
        for (char** e = environ; *e; ++e) {
            const std::string entry = *e;
            if (entry.rfind("XDG_RUNTIME_DIR=", 0) && entry.rfind("HOME=", 0) &&
                entry.rfind("QT_QPA_PLATFORM=", 0) && entry.rfind("DISPLAY=", 0))
                env.push_back(entry);
        }
        std::vector<char*> envp;
        for (auto& e : env)
            envp.push_back(e.data());
        envp.push_back(nullptr);
        char* argv[] = {program.data(), nullptr};
        pid_t pid = 0;
        EXPECT_EQ(::posix_spawn(&pid, program.c_str(), nullptr, nullptr, argv, envp.data()), 0);
        return pid;
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

TEST_F(ProcessTest, ASecondStartEndsAtOnceAndSilently) {
    const pid_t first = Start();
    WaitForLock();
    const pid_t second = Start();
    EXPECT_EQ(WaitExit(second, 1000ms), 0);
    EXPECT_EQ(WaitExit(first, 0ms), -1) << "the first instance must keep running";
    Stop(first);
}

TEST_F(ProcessTest, AKilledInstanceDoesNotBlockTheNextStart) {
    const pid_t first = Start();
    WaitForLock();
    Stop(first);
    const pid_t next = Start();
    WaitForLock();
    EXPECT_EQ(WaitExit(next, 300ms), -1);
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
