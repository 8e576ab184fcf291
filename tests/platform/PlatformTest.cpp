// The tray watch, desktop entries, program icons, sound, help and one instance.
#include "common/Cp932.h"
#include "platform/Activation.h"
#include "platform/Autostart.h"
#include "platform/DesktopEntry.h"
#include "platform/Help.h"
#include "platform/MessageBox.h"
#include "platform/ProgramIcons.h"
#include "platform/SingleInstance.h"
#include "platform/Sound.h"
#include "platform/TrayWatch.h"
#include "support/EventLoop.h"
#include "support/PrivateBus.h"
#include "support/ScopedEnv.h"
#include "support/TempDir.h"

#include <QCoreApplication>
#include <QDialog>
#include <QFile>
#include <QImage>
#include <QLocalSocket>
#include <QPixmap>
#include <QProcess>
#include <QShortcut>
#include <atomic>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace pim {
namespace {

using namespace std::chrono_literals;

// A panel's StatusNotifierWatcher coming and going on a private session bus. First
// in the file: moc loses the namespace after the raw strings further down.
const QString kWatcher = QStringLiteral("org.kde.StatusNotifierWatcher");

// It answers while the test's event loop runs: only the watch's first question,
// asked before there is a watcher here, waits for its answer.
class Watcher : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierWatcher")
    Q_PROPERTY(bool IsStatusNotifierHostRegistered MEMBER host)
public:
    bool host = true;
signals:
    void StatusNotifierHostRegistered();
    void StatusNotifierHostUnregistered();
};

TEST(TrayWatch, AWatcherWithAHostIsATrayEachTimeItComesOrGoes) {
    if (const QString reason = test::PrivateBus::SkipReason(); !reason.isEmpty())
        GTEST_SKIP() << reason.toStdString();
    EXPECT_FALSE(TrayWatch(QDBusConnection(QString())).Present()) << "no bus, no tray";
    test::PrivateBus bus;
    ASSERT_TRUE(bus.Start()) << bus.error().toStdString();
    TrayWatch watch(bus.Bus());
    EXPECT_FALSE(watch.Present());
    int changes = 0;
    QObject::connect(&watch, &TrayWatch::changed, [&] { ++changes; });
    const auto next = [&](bool present) {
        EXPECT_TRUE(test::RunUntil([&] { return changes == 1; }, 10s));
        EXPECT_EQ(watch.Present(), present);
        changes = 0;
    };
    QDBusConnection panel = QDBusConnection::connectToBus(bus.Address(), QStringLiteral("panel"));
    Watcher watcher;
    ASSERT_TRUE(panel.registerObject(QStringLiteral("/StatusNotifierWatcher"), &watcher,
                                     QDBusConnection::ExportAllContents));
    panel.registerService(kWatcher);
    next(true);
    // A watcher is no tray until a host registers with it.
    watcher.host = false;
    emit watcher.StatusNotifierHostUnregistered();
    next(false);
    watcher.host = true;
    emit watcher.StatusNotifierHostRegistered();
    next(true);
    panel.unregisterService(kWatcher);
    next(false);

    panel.unregisterObject(QStringLiteral("/StatusNotifierWatcher"));
    panel = QDBusConnection(QString());
    QDBusConnection::disconnectFromBus(QStringLiteral("panel"));
}

TEST(DesktopEntryTest, ReadsTheDesktopEntryGroupAndTheFirstWordOfExec) {
    const DesktopEntry entry = ParseDesktopEntry("Icon=before\r\n# Icon=comment\r\n"
                                                 "[Desktop Entry]\r\nIcon[ja]=localized\r\n"
                                                 "  Icon  =  mail\\sbox  \r\nExec=mail\r\n"
                                                 "[Desktop Action Compose]\r\nIcon=action\r\n"
                                                 "Exec=compose\r\nHidden=true\r\n");
    EXPECT_EQ(entry.icon, "mail box");
    EXPECT_EQ(entry.program, "mail");
    EXPECT_FALSE(entry.hidden);
    EXPECT_TRUE(ParseDesktopEntry("[Desktop Entry]\nHidden=1").hidden);
    EXPECT_FALSE(ParseDesktopEntry("[Desktop Entry]\nHidden=True").hidden);
    for (const auto& [exec, program] : std::initializer_list<std::pair<const char*, const char*>>{
             {R"('/opt/it''s mail' %f)", "/opt/its mail"},
             {R"(/opt/it\'s\ mail)", "/opt/it's mail"},
             {R"("/opt/a\\\\b\\"c\\$" x)", R"(/opt/a\b"c$)"},
             {R"(env LANG=C\tTZ=UTC\nmail %u)", "mail"},
             {R"(%U)", ""},
             {R"(mail "--x)", ""}})
        EXPECT_EQ(ParseDesktopEntry(QByteArray("\n[Desktop Entry]\nExec=") + exec).program, program)
            << exec;
}

// Whatever the path, the entry's Exec= reads back as that path; the entry is
// on only while it is there, shown, and starts a Pim.
TEST(Autostart, TheEntryStartsTheProgramWhateverItsPathAndSaysWhetherItIsOn) {
    const QString path =
        QString::fromUtf8("/my \"it's\" a\\b\\\\c/$HOME`x`/100%/タブ\t/new\nline/pim");
    const QByteArray text = AutostartEntry(path);
    EXPECT_EQ(ParseDesktopEntry(text).program, path) << text.toStdString();
    EXPECT_EQ(text.count('\n'), 9) << "one line per key, a new line in the path escaped";
    test::TempDir dir;
    const test::ScopedEnv config("XDG_CONFIG_HOME", dir.file("config"));
    const QString program = QString::fromStdString(dir.file("bin dir/Pim-2"));
    const std::string entry = dir.file("config/autostart/pim.desktop");
    EXPECT_EQ(AutostartPath().toStdString(), entry);
    EXPECT_FALSE(AutostartOn(program));
    ASSERT_TRUE(SetAutostart(program, true));
    EXPECT_TRUE(AutostartOn(program));
    for (const auto& [lines, on] : std::initializer_list<std::pair<const char*, bool>>{
             {"Exec=/usr/bin/Pim-2 --x", true},
             {"Exec=/usr/bin/pim\nHidden=true", false},
             {"Exec=/usr/bin/mail", false},
             {"Exec=pim\nX-GNOME-Autostart-enabled=false", false}}) {
        test::WriteFile(entry, std::string("[Desktop Entry]\n") + lines + "\n");
        EXPECT_EQ(AutostartOn(program), on) << lines;
    }
    ASSERT_TRUE(SetAutostart(program, false));
    EXPECT_FALSE(QFile::exists(QString::fromStdString(entry)));
    EXPECT_TRUE(SetAutostart(program, false)) << "nothing to remove";
    EXPECT_FALSE(SetAutostart(QStringLiteral("pim"), true)) << "a path that is not absolute";
    // A relative XDG_CONFIG_HOME does not count.
    const test::ScopedEnv relative("XDG_CONFIG_HOME", "config");
    const test::ScopedEnv home("HOME", dir.path());
    EXPECT_EQ(AutostartPath().toStdString(), dir.file(".config/autostart/pim.desktop"));
}

namespace fs = std::filesystem;
using Colors = std::vector<QRgb>;
using test::ScopedEnv;

constexpr QRgb kRed = 0xffff0000, kGreen = 0xff00ff00, kBlue = 0xff0000ff, kYellow = 0xffffff00;

void WriteImage(const std::string& path, QRgb color) {
    QImage image(16, 16, QImage::Format_ARGB32);
    image.fill(color);
    test::WriteFile(path, "");
    image.save(QString::fromStdString(path), "PNG");
}

// Every icon has a colour of its own, so the colours tell which icons came back.
Colors ColorsOf(const std::string& program) {
    Colors colors;
    for (const QIcon& icon : ProgramIcons(QString::fromStdString(program)))
        colors.push_back(icon.pixmap(16).toImage().pixel(8, 8));
    return colors;
}

// A program's icons are those of the entries naming it, home folder first,
// else the theme's icon named like it; hostile files are skipped, and bounded.
TEST(ProgramIcons, EntriesInFolderOrderElseTheThemeIconAndHostileFilesAreBounded) {
    // Data folders home, sys1 and sys2 in that order, and a theme of four coloured icons.
    test::TempDir dir;
    const ScopedEnv dataHome{"XDG_DATA_HOME", dir.file("home")};
    const ScopedEnv dataDirs{"XDG_DATA_DIRS", dir.file("sys1") + ":relative:" + dir.file("sys2")};
    test::WriteFile(dir.file("icons/t/index.theme"),
                    "[Icon Theme]\nName=t\nDirectories=16/apps\n[16/apps]\nSize=16\nType=Fixed\n");
    for (const auto& [name, color] : {std::pair{"pimred", kRed},
                                      {"pimgreen", kGreen},
                                      {"pimblue", kBlue},
                                      {"pimyellow", kYellow}})
        WriteImage(dir.file("icons/t/16/apps/") + name + ".png", color);
    QIcon::setFallbackSearchPaths({});
    QIcon::setThemeSearchPaths({QString::fromStdString(dir.file("icons"))});
    QIcon::setThemeName(QStringLiteral("t"));
    const auto entry = [&](const std::string& file, std::string keys) { // "@/": the test's folder
        for (size_t i; (i = keys.find("@/")) != std::string::npos;)
            keys.replace(i, 1, dir.path());
        test::WriteFile(dir.file(file), "[Desktop Entry]\n" + keys + "\n");
    };
    const std::string apps = "home/applications/";
    const std::string big =
        "[Desktop Entry]\nExec=pimmail\nIcon=pimred\n" + std::string(65536, '#');
    test::WriteFile(dir.file(apps + "big.desktop"), big);
    test::WriteFile(dir.file("big.desktop"), big);
    std::string junk;
    for (int i = 0; i < 60000; ++i)
        junk += "\"\\[=\n\0\xff"[i * 7919 % 7];
    test::WriteFile(dir.file(apps + "junk.desktop"),
                    junk + "\n[Desktop Entry]\nExec=pimmail\nIcon=pimyellow\n");
    ASSERT_EQ(::mkfifo(dir.file(apps + "fifo.desktop").c_str(), 0600), 0);
    fs::create_symlink("loop.desktop", dir.file(apps + "loop.desktop"));
    fs::create_directory_symlink("..", dir.file(apps + "up"));
    entry("elsewhere/applications/linked.desktop", "Exec=pimmail\nIcon=pimblue");
    fs::create_directory_symlink("../../elsewhere/applications", dir.file(apps + "linked"));
    WriteImage(dir.file("huge.png"), kRed);
    fs::resize_file(dir.file("huge.png"), 17 << 20); // still a good image, but too large to read
    entry(apps + "huge.desktop", "Exec=pimmail\nIcon=@/huge.png");
    entry("sys1/applications/ok.desktop", "Exec=pimmail\nIcon=pimgreen");
    EXPECT_EQ(ColorsOf("/usr/bin/pimmail"), (Colors{kYellow, kGreen}));
    // The mailer's icon by its number in Pim.INI, which may be anything.
    EXPECT_EQ(ProgramIcon("/usr/bin/pimmail", 1).pixmap(16).toImage().pixel(8, 8), kGreen);
    EXPECT_TRUE(ProgramIcon("/usr/bin/pimmail", 2).isNull());
    EXPECT_EQ(ColorsOf("/usr/local/bin/pimyellow"), Colors{kYellow});
    EXPECT_TRUE(ColorsOf(dir.file("big.desktop")).empty());
    EXPECT_TRUE(ColorsOf(dir.file(apps + "fifo.desktop")).empty());
    for (int i = 100; i < 400; ++i) {
        WriteImage(dir.file("many/") + std::to_string(i) + ".png", kBlue);
        entry("sys2/applications/" + std::to_string(i) + ".desktop",
              "Exec=many\nIcon=@/many/" + std::to_string(i) + ".png");
    }
    EXPECT_EQ(ColorsOf("/usr/bin/many").size(), 256u);
}

// The player is a module found at run time: a wrong place or a missing export
// would only show as a silent Pim.
TEST(Sound, TheWavePlayerModuleIsFoundAndLoads) {
    EXPECT_TRUE(WavePlayerFound());
    // A file that is not there plays nothing and does not fail.
    PlayArrivalSound(2, QStringLiteral("/nonexistent/arrival.wav"));
}

// The box handler goes with the test's boxes, however it ends.
class HelpPageTest : public ::testing::Test {
protected:
    void TearDown() override { SetMessageBoxHandler({}); }
};

// F1 asks xdg-open for the page at the context's anchor; one that cannot be
// shown (xdg-open fails after it started) is told with where it is.
TEST_F(HelpPageTest, F1OpensThePageAtItsAnchorOrTellsWhereItIs) {
    test::TempDir dir;
    const std::string opened = dir.file("opened"), opener = dir.file("xdg-open");
    const ScopedEnv path("PATH", dir.path());
    std::vector<std::string> boxes;
    SetMessageBoxHandler([&](std::string_view text, unsigned flags) {
        boxes.push_back(cp932::ToUtf8(text) + (flags == mb::IconExclamation ? "" : " flags?"));
        return IDOK;
    });
    test::WriteFile(opener, "#!/bin/sh\necho \"$@\" > '" + opened + "'\nexit 3\n");
    std::filesystem::permissions(opener, std::filesystem::perms::owner_all);
    QDialog dialog;
    EnableContextHelp(&dialog);
    SetHelpContext(&dialog, 27);
    emit dialog.findChild<QShortcut*>()->activated(); // F1
    // The box comes once xdg-open has ended, and it ends before its process goes.
    ASSERT_TRUE(test::RunUntil(
        [&] { return QCoreApplication::instance()->findChildren<QProcess*>().isEmpty(); }, 5s));
    EXPECT_EQ(test::ReadFile(opened),
              HelpUrl(27).toString(QUrl::FullyEncoded).toStdString() + "\n");
    EXPECT_EQ(boxes, std::vector<std::string>{
                         "ヘルプのページを開くことができませんでした。\r\rページの場所:\r" +
                         HelpUrl().toLocalFile().toStdString()});
    EXPECT_EQ(HelpUrl(27).fragment() + HelpUrl().fragment(), QStringLiteral("help-27"));
}

// Without a private runtime folder of the user's own, the lock goes to a folder
// under the home folder, else to one in /tmp that only this user can reach:
// never to a file another user can own, nor where another user decides.
TEST(SingleInstance, TheLockGoesToAFolderOnlyThisUserCanReach) {
    test::TempDir dir;
    const std::string tmp = dir.file("tmp"), home = dir.file("home"), runtime = dir.file("run");
    for (const std::string& folder : {tmp, home, runtime})
        fs::create_directories(folder), ::chmod(folder.c_str(), 0700);
    const std::string own = tmp + "/Pim-" + std::to_string(::getuid());
    char host[256] = {};
    ::gethostname(host, sizeof host - 1);
    const bool root = ::getuid() == 0;
    // What lies at /tmp/Pim-<uid> before a start without a home folder; whether it is used.
    const std::pair<std::function<void()>, bool> squats[] = {
        {[] {}, true},
        {[&] { fs::create_directory(own), ::chmod(own.c_str(), 0755); }, false},
        {[&] { fs::create_directory(own), ::chmod(own.c_str(), 0777); }, false},
        {[&] { test::WriteFile(own, ""); }, false},
        {[&] { ::symlink(runtime.c_str(), own.c_str()); }, false},
        {[&] {
             fs::create_directory(own), ::chmod(own.c_str(), 0700),
                 ::chown(own.c_str(), 65534, 65534);
         },
         !root},
    };
    for (const auto& [plant, used] : squats) {
        fs::remove_all(own);
        plant();
        EXPECT_EQ(SingleInstance::BasePath("relative", tmp, ""), used ? own + "/Pim" : "");
        // With a home folder, nothing in /tmp matters.
        EXPECT_EQ(SingleInstance::BasePath(nullptr, tmp, home), home + "/.cache/Pim/" + host);
    }
    struct stat info {};
    EXPECT_EQ(::lstat((home + "/.cache/Pim").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);
    EXPECT_EQ(SingleInstance::BasePath(runtime.c_str(), tmp, home), runtime + "/Pim");
    ::chmod(runtime.c_str(), 0770);
    EXPECT_NE(SingleInstance::BasePath(runtime.c_str(), tmp, ""), runtime + "/Pim")
        << "open to a group";
    if (root) { // a stale runtime folder of another user's
        ::chmod(runtime.c_str(), 0700), ::chown(runtime.c_str(), 65534, 65534);
        EXPECT_NE(SingleInstance::BasePath(runtime.c_str(), tmp, ""), runtime + "/Pim");
    }
    fs::remove_all(home + "/.cache/Pim");
    test::WriteFile(home + "/.cache/Pim", "");
    fs::remove_all(own);
    EXPECT_EQ(SingleInstance::BasePath(nullptr, tmp, home), own + "/Pim");
}

// One Pim holds the lock, a second finds it held; also where the lock file is
// descriptor 0 (started with standard input closed).
TEST(SingleInstance, OnePimHoldsTheLockEvenStartedWithoutStandardInput) {
    test::TempDir dir;
    ::chmod(dir.path().c_str(), 0700);
    test::ScopedEnv runtime("XDG_RUNTIME_DIR", dir.path());
    const int input = ::dup(0);
    ::close(0);
    SingleInstance first, second;
    const SingleInstance::Outcome one = first.Acquire(), two = second.Acquire();
    ::dup2(input, 0), ::close(input);
    EXPECT_EQ(one, SingleInstance::Outcome::Acquired);
    EXPECT_EQ(two, SingleInstance::Outcome::HeldElsewhere);
}

TEST(SingleInstance, TheShowRequestCarriesAnActivationTokenAndNothingElse) {
    using enum ShowRequestState;
    for (const auto& [bytes, state, token] :
         std::initializer_list<std::tuple<QByteArray, ShowRequestState, QByteArray>>{
             {"Pim: show\n", Complete, ""},
             {"Pim: show wl\thost;1;2 x_TIME42\n", Complete, "wl\thost;1;2 x_TIME42"},
             {"Pim: show \tx11\n", Complete, "\tx11"},
             {"Pim: show a\tb\tc\n", Bad, ""},
             {"Pim: show " + QByteArray(512, 'k') + "\n", Complete, QByteArray(512, 'k')},
             {"Pim: sh", Partial, ""},
             {"Pim: show", Partial, ""},
             {"Pim: show tok", Partial, ""},
             {"Pim: show " + QByteArray(513, 'k'), Bad, ""},
             {"Pim: show \n", Bad, ""},
             {"Pim: showx\n", Bad, ""},
             {"Pim: show t\x01k\n", Bad, ""},
             {"Pim: show\nmore", Bad, ""},
             {"pim: show\n", Bad, ""}}) {
        QByteArray got;
        EXPECT_EQ(CheckShowRequest(bytes, &got), state) << bytes.toStdString();
        EXPECT_EQ(got, token) << bytes.toStdString();
    }
    for (const auto& [id, time] : std::initializer_list<std::pair<QByteArray, uint32_t>>{
             {"kde;1;2_TIME4294967295", 4294967295u},
             {"a_TIME1_TIME77", 77},
             {"a_TIME4294967296", 0},
             {"a_TIMEx", 0},
             {"a", 0}})
        EXPECT_EQ(StartupIdTime(id), time) << id.toStdString();
}

// A second start asks only a socket of its own user's, and passes the token on.
TEST(SingleInstance, ASecondStartTalksOnlyToItsOwnUsersPimAndPassesTheToken) {
    test::TempDir dir;
    ShowRequestServer server;
    ASSERT_TRUE(server.Listen(dir.file("Pim.socket")));
    std::vector<QByteArray> tokens;
    QObject::connect(&server, &ShowRequestServer::showRequested,
                     [&](const QByteArray& token) { tokens.push_back(token); });
    // As many peers as it holds at once, saying nothing: dropped in time, they
    // leave room for the starts after them.
    QLocalSocket silent[8];
    int dropped = 0;
    for (QLocalSocket& peer : silent) {
        QObject::connect(&peer, &QLocalSocket::disconnected, [&] { ++dropped; });
        peer.connectToServer(QString::fromStdString(dir.file("Pim.socket")));
    }
    EXPECT_TRUE(test::RunUntil([&] { return dropped == 8; }, 10s));
    for (const auto& [token, owner, shown] :
         std::initializer_list<std::tuple<QByteArray, uid_t, bool>>{
             {"wayland-token_1\tx11_TIME5", ::getuid(), true},
             {QByteArray(512, 'k'), ::getuid(), true}, // the longest request, whole
             {"bad\ntoken", ::getuid(), true},
             {"planted", ::getuid() + 1, false}}) {
        std::atomic<int> result = -1;
        std::thread second([&, token = token, owner = owner] {
            result = SingleInstance::ShowRunning(dir.file("Pim.socket"), 2s, token, owner);
        });
        EXPECT_TRUE(test::RunUntil([&] { return result != -1; }, 10s));
        second.join();
        EXPECT_EQ(result, shown) << token.toStdString();
    }
    EXPECT_EQ(tokens,
              (std::vector<QByteArray>{"wayland-token_1\tx11_TIME5", QByteArray(512, 'k'), ""}));
    // A Pim that holds the lock but never listens has shown nothing.
    EXPECT_FALSE(SingleInstance::ShowRunning(dir.file("none.socket"), 200ms, "", ::getuid()));
}

} // namespace
} // namespace pim

#include "PlatformTest.moc"
