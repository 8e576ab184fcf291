// The program as a process: one instance per user, which a second start shows,
// an orderly end on the signals a session sends, and a Wayland session.
#include "settings/IniFile.h"
#include "support/EventLoop.h"
#include "support/PrivateBus.h"
#include "support/Spawn.h"
#include "support/TempDir.h"

#include <QDBusVariant>
#include <QFile>
#include <QLibraryInfo>
#include <filesystem>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>

namespace pim {
namespace {

using namespace std::chrono_literals;

class ProcessTest : public ::testing::Test {
protected:
    test::TempDir dir; // the session's runtime folder; the program, its Pim.INI and its lock too
    std::string program = dir.file("pim");
    // No session bus: a tray watch must not ask the machine's.
    std::vector<std::string> session{"QT_QPA_PLATFORM=offscreen", "DISPLAY",
                                     "DBUS_SESSION_BUS_ADDRESS=unix:path=" + dir.file("no-bus")};
    pid_t compositor = -1;

    void SetUp() override { std::filesystem::copy_file(PIM_BINARY, program); }
    void TearDown() override {
        if (compositor > 0) // with the helpers in its group
            ::kill(-compositor, SIGKILL), ::waitpid(compositor, nullptr, 0);
    }

    // Started once it holds its lock; `output`: a file for what it prints.
    pid_t Start(const std::string& output = {}, bool waitForLock = true) {
        std::vector<std::string> changes = session;
        changes.insert(changes.end(), {"XDG_RUNTIME_DIR=" + dir.path(), "HOME=" + dir.path()});
        const pid_t pid = test::Spawn({program}, test::ForPim(changes), output);
        EXPECT_GT(pid, 0);
        const auto lockHeld = [&] {
            const int fd = ::open(dir.file("Pim.lock").c_str(), O_RDWR | O_CLOEXEC);
            const bool held = fd >= 0 && ::flock(fd, LOCK_EX | LOCK_NB) != 0;
            return ::close(fd), held;
        };
        EXPECT_TRUE(!waitForLock || test::RunUntil(lockHeld, 20s));
        return pid;
    }
    // A connection to the instance's socket once it listens; -1 when it never does.
    int Connect(std::chrono::milliseconds limit = 20s) const {
        sockaddr_un address{AF_UNIX, {}};
        dir.file("Pim.socket").copy(address.sun_path, sizeof address.sun_path - 1);
        for (auto waited = 0ms;; waited += 20ms) {
            const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
            if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0)
                return fd;
            ::close(fd);
            if (waited >= limit)
                return -1;
            std::this_thread::sleep_for(20ms);
        }
    }
    // A second start that is answered ends at once, saying nothing.
    void ExpectSecondStartAnswered() {
        EXPECT_EQ(test::WaitExit(Start(dir.file("second.log"), false), 30s), 0);
        EXPECT_EQ(test::ReadFile(dir.file("second.log")), "");
    }
};

// A killed instance leaves its socket behind: the next start takes its place
// and answers a second start, past peers that send garbage or nothing.
TEST_F(ProcessTest, ASecondStartIsAnsweredPastAKilledInstanceGarbageAndSilence) {
    const pid_t killed = Start();
    ASSERT_GE(::close(Connect()), 0) << "the first instance listens beside its lock";
    test::WaitExit(killed, 0ms);
    ASSERT_TRUE(std::filesystem::exists(dir.file("Pim.socket")));

    const pid_t first = Start();
    const int silent = Connect();
    ASSERT_GE(silent, 0);
    std::vector<int> peers;
    for (const std::string bytes : {"\x80garbage\n", "Pim: show\nand more"}) {
        peers.push_back(Connect(0ms));
        ASSERT_EQ(::send(peers.back(), bytes.data(), bytes.size(), MSG_NOSIGNAL),
                  ssize_t(bytes.size()));
    }
    ExpectSecondStartAnswered();
    for (const int peer : peers) { // dropped without an answer
        pollfd readable{peer, POLLIN, 0};
        char byte = 0;
        EXPECT_EQ(::poll(&readable, 1, 20000), 1);
        EXPECT_LE(::recv(peer, &byte, 1, MSG_DONTWAIT), 0);
        ::close(peer);
    }
    EXPECT_EQ(test::WaitExit(first, 0ms), -1) << "the first instance must keep running";
    ::close(silent);
}

// The signals a session sends end it in order, saving the window's place; a
// profile that is a FIFO neither hangs the start nor is replaced; a file-size
// limit fails the save but neither kills it nor leaves a temporary file.
TEST_F(ProcessTest, SessionSignalsEndItInOrderAndTheSaveNeverHarmsTheProfile) {
    const std::string profile = dir.file("Pim.INI");
    const std::string text = "[MainWindow]\r\nType=1\r\nLeft=12\r\nTop=34\r\n; " +
                             std::string(200, 'x') + "\r\n[Setting]\r\nSettingEndCheck=1\r\n";
    // ' ': a plain profile, 'F': a FIFO, 'L': a file-size limit.
    for (const auto& [signal, kind] : std::initializer_list<std::pair<int, char>>{
             {SIGTERM, ' '}, {SIGINT, ' '}, {SIGHUP, ' '}, {SIGTERM, 'F'}, {SIGTERM, 'L'}}) {
        SCOPED_TRACE(std::to_string(signal) + kind);
        std::filesystem::remove(profile);
        ASSERT_EQ(
            kind == 'F' ? ::mkfifo(profile.c_str(), 0600) : (test::WriteFile(profile, text), 0), 0);
        // What it prints goes where no file-size limit applies, whatever the test's output is.
        const pid_t pid = Start(kind == 'L' ? "/dev/null" : "");
        rlimit limit{64, RLIM_INFINITY}; // smaller than the file Pim writes at the end
        ASSERT_EQ(kind == 'L' ? ::prlimit(pid, RLIMIT_FSIZE, &limit, nullptr) : 0, 0);
        // With a FIFO its message box is open meanwhile; the signal ends it all the same.
        ::kill(pid, signal);
        EXPECT_EQ(test::WaitExit(pid, 10s), 0);
        EXPECT_EQ(std::filesystem::is_fifo(profile), kind == 'F');
        if (kind == 'F')
            continue;
        const IniFile ini = IniFile::Load(profile);
        for (const auto& [key, value] : {std::pair{"Left", "12"}, {"Top", "34"}, {"Type", "1"}})
            EXPECT_EQ(ini.Value("MainWindow", key), value);
        EXPECT_TRUE(kind != 'L' || test::ReadFile(profile) == text) << "the save failed";
        for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
            EXPECT_FALSE(entry.path().filename().string().starts_with(".Pim.INI.")) << entry.path();
    }
}

// A headless compositor and a panel's tray on a private session bus.
TEST_F(ProcessTest, OnWaylandItShowsItsTrayIconAnswersASecondStartAndKeepsItsPlace) {
    if (::access("/usr/bin/weston", X_OK) != 0 ||
        !QFile::exists(QLibraryInfo::path(QLibraryInfo::PluginsPath) +
                       QStringLiteral("/platforms/libqwayland-generic.so")))
        GTEST_SKIP() << "weston or Qt's Wayland platform plugin (qt6-wayland) is not installed";
    if (const QString reason = test::PrivateBus::SkipReason(); !reason.isEmpty())
        GTEST_SKIP() << reason.toStdString();
    compositor = test::Spawn({"/usr/bin/weston", "--backend=headless-backend.so", "--no-config",
                              "--socket=pim-test-wayland"},
                             {"XDG_RUNTIME_DIR=" + dir.path()}, dir.file("weston.log"), true);
    ASSERT_TRUE(
        test::RunUntil([&] { return std::filesystem::exists(dir.file("pim-test-wayland")); }, 20s))
        << test::ReadFile(dir.file("weston.log"));

    const QString watcher = QStringLiteral("org.kde.StatusNotifierWatcher");
    const QString path = QStringLiteral("/StatusNotifierWatcher");
    const QString mock = QStringLiteral("org.freedesktop.DBus.Mock");
    test::PrivateBus bus;
    ASSERT_TRUE(bus.Start() &&
                bus.StartMock({watcher.toStdString(), path.toStdString(), watcher.toStdString()},
                              false, watcher))
        << bus.error().toStdString();
    // A panel whose tray host is already there.
    bus.Call(watcher, path, mock, QStringLiteral("AddProperty"),
             {watcher, QStringLiteral("IsStatusNotifierHostRegistered"),
              QVariant::fromValue(QDBusVariant(true))});
    bus.Call(watcher, path, mock, QStringLiteral("AddMethod"),
             {watcher, QStringLiteral("RegisterStatusNotifierItem"), QStringLiteral("s"), QString(),
              QString()});
    ASSERT_TRUE(bus.error().isEmpty()) << bus.error().toStdString();

    test::WriteFile(dir.file("Pim.INI"), "[MainWindow]\r\nLeft=12\r\nTop=34\r\n[Setting]\r\n"
                                         "SettingTask=1\r\nSettingEndCheck=0\r\n");
    // Qt's Wayland client and its D-Bus tray icon leave these behind at exit.
    test::WriteFile(dir.file("leaks.supp"),
                    "leak:libwayland-client.so\nleak:QDBusMetaObject::createMetaObject\n");
    // Shared memory only: a graphics driver's EGL, which differs from machine to
    // machine and leaks at exit, is never loaded.
    session = {"QT_QPA_PLATFORM=wayland",
               "QT_WAYLAND_CLIENT_BUFFER_INTEGRATION=none",
               "WAYLAND_DISPLAY=pim-test-wayland",
               "WAYLAND_SOCKET",
               "DISPLAY",
               "DBUS_SESSION_BUS_ADDRESS=" + bus.Address().toStdString(),
               "LSAN_OPTIONS=fast_unwind_on_malloc=0:suppressions=" + dir.file("leaks.supp")};
    const std::string log = dir.file("pim.log");
    const pid_t pim = Start(log);
    EXPECT_TRUE(test::RunUntil(
        [&] { return !bus.Logged(watcher, "RegisterStatusNotifierItem").empty(); }, 60s))
        << test::ReadFile(log);

    ExpectSecondStartAnswered();
    ::kill(pim, SIGTERM);
    EXPECT_EQ(test::WaitExit(pim, 30s), 0) << "it ran on after the second start\n"
                                           << test::ReadFile(log);
    // Wayland does not tell where the window is: the place saved before is kept.
    const std::string saved = test::ReadFile(dir.file("Pim.INI"));
    EXPECT_NE(saved.find("Left=12\r\nTop=34\r\n"), std::string::npos) << saved;
}

} // namespace
} // namespace pim
