// The program in a Wayland session: a headless compositor, a panel's tray and a
// notification service on a private session bus, and mail waiting at start.
#include "common/HexKey.h"
#include "support/EventLoop.h"
#include "support/MailboxServer.h"
#include "support/PrivateBus.h"
#include "support/Spawn.h"
#include "support/TempDir.h"

#include <QDBusVariant>
#include <QFile>
#include <QLibraryInfo>
#include <csignal>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utility>

namespace pim {
namespace {

using namespace std::chrono_literals;

const char* const kWeston = "/usr/bin/weston";
const char* const kSocket = "pim-test-wayland";
const QString kWatcher = QStringLiteral("org.kde.StatusNotifierWatcher");
const QString kWatcherPath = QStringLiteral("/StatusNotifierWatcher");
const QString kNotifications = QStringLiteral("org.freedesktop.Notifications");
const QString kNotificationsPath = QStringLiteral("/org/freedesktop/Notifications");

class WaylandTest : public ::testing::Test {
protected:
    test::TempDir dir; // the session's runtime folder; Pim, its Pim.INI and its lock too
    std::string program = dir.file("pim");
    test::PrivateBus bus;
    test::MailboxServer server;
    pid_t compositor = -1;
    pid_t pim = -1;

    void SetUp() override {
        if (::access(kWeston, X_OK) != 0)
            GTEST_SKIP() << "weston is not installed";
        if (!QFile::exists(QLibraryInfo::path(QLibraryInfo::PluginsPath) +
                           QStringLiteral("/platforms/libqwayland-generic.so")))
            GTEST_SKIP() << "Qt's Wayland platform plugin (qt6-wayland) is not installed";
        if (const QString reason = test::PrivateBus::SkipReason(); !reason.isEmpty())
            GTEST_SKIP() << reason.toStdString();
        std::filesystem::copy_file(PIM_BINARY, program);

        // Its helpers (shell, keyboard) share its process group and end with it.
        compositor = test::Spawn({kWeston, "--backend=headless-backend.so", "--no-config",
                                  std::string("--socket=") + kSocket},
                                 {"XDG_RUNTIME_DIR=" + dir.path()}, dir.file("weston.log"), true);
        ASSERT_GT(compositor, 0);
        ASSERT_TRUE(test::RunUntil([&] { return std::filesystem::exists(dir.file(kSocket)); }, 20s))
            << test::ReadFile(dir.file("weston.log"));

        ASSERT_TRUE(bus.Start()) << bus.error().toStdString();
        ASSERT_TRUE(bus.StartMock({"--template", "notification_daemon"}, false, kNotifications))
            << bus.error().toStdString();
        // A panel whose tray host is already there.
        ASSERT_TRUE(bus.StartMock(
            {kWatcher.toStdString(), kWatcherPath.toStdString(), kWatcher.toStdString()}, false,
            kWatcher))
            << bus.error().toStdString();
        const QString mock = QStringLiteral("org.freedesktop.DBus.Mock");
        bus.Call(kWatcher, kWatcherPath, mock, QStringLiteral("AddProperty"),
                 {kWatcher, QStringLiteral("IsStatusNotifierHostRegistered"),
                  QVariant::fromValue(QDBusVariant(true))});
        bus.Call(kWatcher, kWatcherPath, mock, QStringLiteral("AddMethod"),
                 {kWatcher, QStringLiteral("RegisterStatusNotifierItem"), QStringLiteral("s"),
                  QString(), QString()});
        ASSERT_TRUE(bus.error().isEmpty()) << bus.error().toStdString();
    }

    void TearDown() override {
        if (pim > 0) {
            ::kill(pim, SIGKILL);
            ::waitpid(pim, nullptr, 0);
        }
        if (compositor > 0) {
            ::kill(-compositor, SIGKILL);
            ::waitpid(compositor, nullptr, 0);
        }
    }

    pid_t Start(const std::string& output) {
        // Qt's Wayland client and its D-Bus tray icon leave these behind at exit.
        test::WriteFile(dir.file("leaks.supp"),
                        "leak:libwayland-client.so\nleak:QDBusMetaObject::createMetaObject\n");
        return test::Spawn(
            {program},
            test::ForPim(
                {"XDG_RUNTIME_DIR=" + dir.path(), "HOME=" + dir.path(), "QT_QPA_PLATFORM=wayland",
                 std::string("WAYLAND_DISPLAY=") + kSocket, "WAYLAND_SOCKET", "DISPLAY",
                 "DBUS_SESSION_BUS_ADDRESS=" + bus.Address().toStdString(),
                 "LSAN_OPTIONS=fast_unwind_on_malloc=0:suppressions=" + dir.file("leaks.supp")}),
            output);
    }

    // The exit status; -1 when it still ran after `limit` (it is killed then).
    static int WaitExit(pid_t pid, std::chrono::milliseconds limit) {
        int status = 0;
        bool ended = false;
        if (!test::RunUntil(
                [&] { return ended = ended || ::waitpid(pid, &status, WNOHANG) == pid; }, limit)) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, nullptr, 0);
            return -1;
        }
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }

    std::vector<QVariantList> Calls(const QString& service, const QString& path,
                                    const char* method) {
        return bus.MockCalls(service, path, QString::fromLatin1(method));
    }
};

TEST_F(WaylandTest, PimShowsItsTrayIconNotifiesNewMailAndAnswersASecondStart) {
    test::Mailbox box;
    box.messages = {test::SimpleMessage("one"), test::SimpleMessage("two")};
    server.Set("demo", box);
    test::WriteFile(
        dir.file("Pim.INI"),
        "[MainWindow]\r\nLeft=12\r\nTop=34\r\n[Account0]\r\nEnabled=1\r\nName=Demo\r\nHostName=" +
            server.Host() + "\r\nUserID=demo\r\nPassword=" + EncodePassword("pw") +
            "\r\n[Setting]\r\nSettingTask=1\r\nScheduleRun=1\r\nSettingEndCheck=0\r\n");
    const std::string log = dir.file("pim.log");
    pim = Start(log);
    ASSERT_GT(pim, 0);

    EXPECT_TRUE(test::RunUntil(
        [&] { return !Calls(kWatcher, kWatcherPath, "RegisterStatusNotifierItem").empty(); }, 60s))
        << test::ReadFile(log);
    ASSERT_TRUE(test::RunUntil(
        [&] { return !Calls(kNotifications, kNotificationsPath, "Notify").empty(); }, 60s))
        << test::ReadFile(log);
    EXPECT_EQ(Calls(kNotifications, kNotificationsPath, "Notify")[0].value(3).toString(),
              QStringLiteral("新着メールが 2 通あります"));

    EXPECT_EQ(WaitExit(Start(dir.file("second.log")), 30s), 0);
    EXPECT_EQ(test::ReadFile(dir.file("second.log")), "");
    if (::waitpid(pim, nullptr, WNOHANG) != 0)
        pim = -1;
    ASSERT_GT(pim, 0) << "the first Pim ended\n" << test::ReadFile(log);

    ::kill(pim, SIGTERM);
    EXPECT_EQ(WaitExit(std::exchange(pim, -1), 30s), 0) << test::ReadFile(log);
    // Wayland does not tell where the window is: the place saved before is kept.
    const std::string saved = test::ReadFile(dir.file("Pim.INI"));
    EXPECT_NE(saved.find("Left=12\r\nTop=34\r\n"), std::string::npos) << saved;
}

} // namespace
} // namespace pim
