// The program on a real X server with a window manager, at the scales of real
// screens, where the offscreen tests cannot look: rows and labels against the
// fonts they are drawn in, the first paint, the saved place, a hidden start.
// The pictures stay in screenshots/ for a person to look at.
#include "common/Cp932.h"
#include "common/HexKey.h"
#include "settings/IniFile.h"
#include "support/EventLoop.h"
#include "support/MailboxServer.h"
#include "support/Spawn.h"
#include "support/TempDir.h"
#include "support/XServer.h"

#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QScreen>
#include <QStandardPaths>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <gtest/gtest.h>
#include <memory>
#include <set>
#include <xcb/xcb.h>
#include <xcb/xtest.h>

namespace pim {
namespace {

using namespace std::chrono_literals;

// A process of the test's, ended by SIGTERM, then SIGKILL, when the last holder goes.
using Child = std::shared_ptr<void>;
Child Start(const std::vector<std::string>& argv, const std::vector<std::string>& env) {
    const pid_t pid = test::Spawn(argv, env, "/dev/null");
    return Child(nullptr, [pid](void*) {
        if (pid > 0)
            ::kill(pid, SIGTERM), test::WaitExit(pid, 5s);
    });
}

xcb_connection_t* x = nullptr; // the test's own connection, once the desktop runs
xcb_window_t root = 0;
template <typename T>
std::unique_ptr<T, decltype(&std::free)> Reply(T* reply) {
    return {reply, &std::free};
}
QByteArray Property(xcb_window_t window, const char* name) {
    const auto reply = Reply(xcb_get_property_reply(
        x, xcb_get_property(x, 0, window, test::XAtom(x, name), XCB_GET_PROPERTY_TYPE_ANY, 0, 4096),
        nullptr));
    return reply ? QByteArray(static_cast<const char*>(xcb_get_property_value(reply.get())),
                              xcb_get_property_value_length(reply.get()))
                 : QByteArray();
}

// Xvfb on a free display and openbox on it, with this test's Qt on that display.
class XDesktop : public ::testing::Environment {
public:
    static inline std::string display;

    void SetUp() override {
        const QString xvfb = QStandardPaths::findExecutable(QStringLiteral("Xvfb")),
                      openbox = QStandardPaths::findExecutable(QStringLiteral("openbox"));
        if (xvfb.isEmpty() || openbox.isEmpty())
            GTEST_SKIP() << "needs Xvfb and openbox (packages xvfb, openbox)";
        int pipe[2];
        ASSERT_EQ(::pipe(pipe), 0);
        ::fcntl(pipe[0], F_SETFD, FD_CLOEXEC);
        xvfb_ = Start({xvfb.toStdString(), "-displayfd", std::to_string(pipe[1]), "-screen", "0",
                       "1024x768x24", "-nolisten", "tcp"},
                      {});
        ::close(pipe[1]);
        display = test::ReadXvfbDisplay(pipe[0]);
        ASSERT_FALSE(display.empty()) << "Xvfb did not start";
        openbox_ = Start({openbox.toStdString()}, {"DISPLAY=" + display});
        qputenv("DISPLAY", QByteArray::fromStdString(display));
        qputenv("QT_QPA_PLATFORM", "xcb");
        qunsetenv("QT_SCALE_FACTOR"); // this side reads the screen's own pixels
        app_ = std::make_unique<QGuiApplication>(argc_, argv_);
        x = app_->nativeInterface<QNativeInterface::QX11Application>()->connection();
        root = xcb_setup_roots_iterator(xcb_get_setup(x)).data->root;
        ASSERT_TRUE(test::RunUntil(
            [] { return !Property(root, "_NET_SUPPORTING_WM_CHECK").isEmpty(); }, 20s))
            << "openbox did not start";
        xcb_warp_pointer(x, XCB_NONE, root, 0, 0, 0, 0, 0, 0); // nothing hovered
        xcb_flush(x);
        QDir().mkpath(QStringLiteral("screenshots"));
    }
    // The application before its display goes.
    void TearDown() override { app_.reset(), openbox_.reset(), xvfb_.reset(); }

private:
    Child xvfb_, openbox_;
    std::unique_ptr<QGuiApplication> app_;
    int argc_ = 1;
    char* argv_[2] = {const_cast<char*>("screen_tests"), nullptr};
};

[[maybe_unused]] const auto* const desktop = ::testing::AddGlobalTestEnvironment(new XDesktop);

// Pim run from a folder of its own on the test's display, at a scale, with the
// accounts "サンプル" (user demo) and, for two, "サブ" (user sub).
class ScreenTest : public ::testing::Test {
protected:
    test::TempDir dir;
    test::MailboxServer server;
    Child pim;
    double scale = 1;

    static bool White(QRgb p) { return qRed(p) >= 235 && qGreen(p) >= 235 && qBlue(p) >= 235; }
    static bool Dark(QRgb p) { return qRed(p) <= 40 && qGreen(p) <= 40 && qBlue(p) <= 40; }
    static bool Highlight(QRgb p) { return qBlue(p) > qRed(p) + 60; }
    std::vector<std::string> Environment(double factor, const std::string& lang) const {
        return test::ForPim({"DISPLAY=" + XDesktop::display, "QT_QPA_PLATFORM",
                             "QT_SCALE_FACTOR=" + QString::number(factor).toStdString(),
                             "XDG_RUNTIME_DIR=" + dir.path(), "HOME=" + dir.path(),
                             "DBUS_SESSION_BUS_ADDRESS=unix:path=" + dir.file("no-bus")},
                            lang);
    }
    void Run(int accounts, const std::string& settings, double factor, const std::string& lang) {
        std::string ini;
        for (int i = 0; i < accounts; ++i)
            ini += "[Account" + std::to_string(i) +
                   "]\r\nEnabled=1\r\nName=" + cp932::FromUtf8(i ? "サブ" : "サンプル") +
                   "\r\nHostName=" + server.Host() + "\r\nUserID=" + (i ? "sub" : "demo") +
                   "\r\nPassword=" + EncodePassword("pw") + "\r\n";
        test::WriteFile(dir.file("Pim.INI"), ini + "[Setting]\r\n" + settings);
        scale = factor;
        std::filesystem::copy_file(PIM_BINARY, dir.file("pim"),
                                   std::filesystem::copy_options::skip_existing);
        pim = Start({dir.file("pim")}, Environment(factor, lang));
    }
    // Pim's main window, once its caption holds `title`; it is the only client.
    static xcb_window_t Window(const QString& title) {
        xcb_window_t found = 0;
        test::RunUntil(
            [&] {
                const QByteArray clients = Property(root, "_NET_CLIENT_LIST");
                for (qsizetype i = 0; i + 4 <= clients.size() && !found; i += 4) {
                    std::memcpy(&found, clients.constData() + i, 4);
                    if (!QString::fromUtf8(Property(found, "_NET_WM_NAME")).contains(title))
                        found = 0;
                }
                return found != 0;
            },
            30s);
        EXPECT_NE(found, 0u) << "no window titled " << title.toStdString();
        return found;
    }
    // WM_STATE 1 shown, 3 minimised, 0 or none withdrawn (hidden in the tray).
    static bool State(xcb_window_t window, char wanted) {
        return test::RunUntil([&] { return (Property(window, "WM_STATE") + '\0')[0] == wanted; },
                              5s);
    }
    static QRect Geometry(xcb_window_t window) {
        const auto size = Reply(xcb_get_geometry_reply(x, xcb_get_geometry(x, window), nullptr));
        const auto at = Reply(xcb_translate_coordinates_reply(
            x, xcb_translate_coordinates(x, window, root, 0, 0), nullptr));
        return size && at ? QRect(at->dst_x, at->dst_y, size->width, size->height) : QRect();
    }
    static QImage Grab(const QRect& at) {
        return QGuiApplication::primaryScreen()
            ->grabWindow(0, at.x(), at.y(), at.width(), at.height())
            .toImage()
            .convertToFormat(QImage::Format_RGB32);
    }
    // The window as the screen shows it, once the parts that should stand
    // still do (the check button and the status strip move on their own).
    QImage Picture(xcb_window_t window, const QString& file) {
        const auto still = [&](const QImage& image) {
            return std::pair(image.copy(Native(QRect(125, 60, 225, 240))),
                             image.copy(Native(QRect(300, 5, 45, 20))));
        };
        QImage last, now = Grab(Geometry(window));
        for (int i = 0; i < 30 && (i == 0 || still(now) != still(last)); ++i) {
            std::this_thread::sleep_for(300ms);
            last = std::exchange(now, Grab(Geometry(window)));
        }
        EXPECT_TRUE(now.save(file));
        return now;
    }
    // A key by its keysym, a button, or the pointer to `at`, as if by hand.
    static void Input(uint8_t type, xcb_keysym_t keyOrButton, QPoint at = {}) {
        uint8_t detail = uint8_t(keyOrButton);
        if (type == XCB_KEY_PRESS || type == XCB_KEY_RELEASE) {
            const xcb_setup_t* setup = xcb_get_setup(x);
            const uint8_t first = setup->min_keycode, count = setup->max_keycode - first + 1;
            const auto map = Reply(xcb_get_keyboard_mapping_reply(
                x, xcb_get_keyboard_mapping(x, first, count), nullptr));
            const xcb_keysym_t* syms = xcb_get_keyboard_mapping_keysyms(map.get());
            int i = 0;
            while (i < xcb_get_keyboard_mapping_keysyms_length(map.get()) && syms[i] != keyOrButton)
                ++i;
            detail = uint8_t(first + i / map->keysyms_per_keycode);
        }
        xcb_test_fake_input(x, type, detail, XCB_CURRENT_TIME, root, int16_t(at.x()),
                            int16_t(at.y()), 0);
        xcb_flush(x);
    }
    static void Key(xcb_keysym_t key) { Input(XCB_KEY_PRESS, key), Input(XCB_KEY_RELEASE, key); }
    // A rectangle of the design, in the screen's pixels.
    QRect Native(const QRect& r) const {
        return QRect(QPoint(int(std::ceil(r.left() * scale)), int(std::ceil(r.top() * scale))),
                     QPoint(int(std::floor((r.right() + 1) * scale)) - 1,
                            int(std::floor((r.bottom() + 1) * scale)) - 1));
    }
};

// Saved at 600,400 on the 1024 x 768 screen, the window is moved whole onto the
// screen at 2x (512 x 384). At 1.5x a check that ended while the window opened,
// filling the trees half hidden by the growing outline, once left the first row
// blank. An English locale reads English, with the same rows and labels whole.
// Its name, the scale, the locale, the accounts, and the caption after the check.
using Screen = std::tuple<const char*, double, const char*, int, const char*>;

class ScreenScaleTest : public ScreenTest, public ::testing::WithParamInterface<Screen> {};

TEST_P(ScreenScaleTest, RowsAndLabelsFitAndTheWindowIsOnScreen) {
    const auto& [name, factor, lang, accounts, done] = GetParam();
    for (const char* user : {"demo", "sub"})
        server.Set(user, test::Box({user}));
    Run(accounts,
        "ScheduleRun=1\r\nSettingEndCheck=0\r\n[MainWindow]\r\nType=1\r\nLeft=600\r\nTop=400\r\n",
        factor, lang);
    const xcb_window_t window = Window(QString::fromUtf8(done));
    const QImage shown =
        Picture(window, "screenshots/x11-main-" + QString::fromLatin1(name) + ".png");
    EXPECT_TRUE(QRect(0, 0, 1024, 768).contains(Geometry(window))) << "moved whole on screen";
    // The first row highlighted from the tree's top, then each account row
    // whole: as many bands of icon and name as accounts, the last as tall as
    // the first and ending inside, and no scroll bar at the right edge.
    const QRect tree = Native(QRect(15, 101, 320, 1));
    const int edge = tree.right() - int(3 * scale);
    int bottom = tree.top(), highlighted = 0;
    while (bottom < shown.height() && !Dark(shown.pixel(edge, bottom)))
        ++bottom; // down to the black panel under the tree
    while (tree.top() + highlighted < bottom &&
           Highlight(shown.pixel(edge, tree.top() + highlighted)))
        ++highlighted;
    EXPECT_GE(highlighted, int(16 * scale)) << "the first row, selected, from the tree's top";
    std::vector<std::pair<int, int>> bands; // [from, to)
    for (int y = tree.top(); y < bottom; ++y) {
        const QRgb right = shown.pixel(edge, y);
        ASSERT_TRUE(White(right) || Highlight(right)) << "a scroll bar at y " << y << "?";
        bool ink = false;
        for (int x = tree.left() + 1; x < tree.left() + int(200 * scale) && !ink; ++x)
            ink = !White(shown.pixel(x, y));
        if (White(right) && ink && !bands.empty() && bands.back().second == y)
            bands.back().second = y + 1;
        else if (White(right) && ink)
            bands.push_back({y, y + 1});
    }
    ASSERT_EQ(bands.size(), size_t(accounts)) << "tree rows " << tree.top() << ".." << bottom;
    EXPECT_GE(bands.back().second - bands.back().first,
              bands.front().second - bands.front().first - int(std::ceil(scale)))
        << "the last account row is cut";
    EXPECT_LT(bands.back().second, bottom - 1) << "the last account row ends at the edge";
}

INSTANTIATE_TEST_SUITE_P(
    Screens, ScreenScaleTest,
    ::testing::Values(Screen{"Japanese2x", 2, "ja_JP.UTF-8", 2, "着信メール"},
                      Screen{"Japanese1_5x", 1.5, "ja_JP.UTF-8", 1, "着信メール"},
                      Screen{"English1x", 1, "en_US.UTF-8", 2, "<Mail: 2> Auto check"}),
    [](const auto& info) { return std::string(std::get<0>(info.param)); });

// A check that brings more new mail than the list shows scrolls the newest of
// it into view, selected; a size kept in Pim.INI holds across a start, at 1x and 1.5x.
class ScreenSizeTest : public ScreenTest, public ::testing::WithParamInterface<double> {};

TEST_P(ScreenSizeTest, TheNewestMailIsInViewAndAKeptSizeHoldsAcrossAStart) {
    std::vector<std::string> subjects;
    for (int i = 1; i <= 30; ++i) // the first also "m29": lines are not found by their text
        subjects.push_back("m" + std::to_string(i == 1 ? 29 : i));
    server.Set("demo", test::Box(subjects));
    const std::string settings =
        "ScheduleRun=1\r\nSettingEndCheck=0\r\n[MainWindow]\r\nType=1\r\nLeft=100\r\nTop=50\r\n";
    Run(1, settings, GetParam(), "ja_JP.UTF-8");
    xcb_window_t window = Window(QStringLiteral("着信メール"));
    const QImage shown =
        Picture(window, QStringLiteral("screenshots/x11-newest-%1x.png").arg(scale));
    const QRect list = Native(QRect(200, 165, 1, 120)); // the mail tree's rows
    const auto selected = [&](const QImage& image) {    // its lowest line highlighted
        int y = -1;
        for (int at = list.top(); at <= list.bottom(); ++at)
            y = Highlight(image.pixel(list.x(), at)) ? at : y;
        return y;
    };
    EXPECT_GT(selected(shown), list.center().y())
        << "the newest message, last in the list, selected in view";
    // A check that brings nothing leaves the account and the line the user
    // chose selected; one that brings mail selects the newest.
    const auto click = [&](QPoint at) { // and what the check it starts shows
        const int passes = server.passes;
        Input(XCB_MOTION_NOTIFY, 0, Geometry(window).topLeft() + at);
        Input(XCB_BUTTON_PRESS, 1), Input(XCB_BUTTON_RELEASE, 1);
        test::RunUntil([&] { return server.passes > passes; }, 2s), test::RunFor(500ms);
        return Picture(window, QStringLiteral("screenshots/x11-click-%1x.png").arg(scale));
    };
    const QPoint account = Native(QRect(200, 131, 1, 1)).topLeft(), // "サンプル"
        check = Native(QRect(34, 55, 1, 1)).topLeft();
    const QImage own = click(account);
    int newest = selected(own), row = 0; // the newest line and its height
    while (Highlight(own.pixel(list.x(), newest - row)))
        ++row;
    click(QPoint(list.x(), newest - row - row / 2));
    const QImage kept = click(check);
    EXPECT_TRUE(Highlight(kept.pixel(account)));
    EXPECT_NEAR(selected(kept), newest - row, 2) << "the line above the newest";
    subjects.push_back("m31"), server.Set("demo", test::Box(subjects));
    EXPECT_GT(selected(click(check)), newest - row / 2) << "the newest message";

    // A larger size kept in Pim.INI opens as the screen rounds it, and is saved
    // back within the pixel the scale rounds.
    pim.reset();
    Run(1, settings + "Width=400\r\nHeight=330\r\n", scale, "ja_JP.UTF-8");
    window = Window(QStringLiteral("着信メール"));
    const auto sized = [&] { // as the screen rounds it
        const QSize off = Geometry(window).size() - QSize(400, 330) * scale;
        return std::abs(off.width()) <= 2 && std::abs(off.height()) <= 2;
    };
    EXPECT_TRUE(test::RunUntil(sized, 5s))
        << Geometry(window).width() << "x" << Geometry(window).height();
    Picture(window, QStringLiteral("screenshots/x11-sized-%1x.png").arg(scale));
    pim.reset();
    const IniFile saved = IniFile::Load(dir.file("Pim.INI"));
    EXPECT_NEAR(saved.ReadInteger("MainWindow", "Width", 0), 400, 1);
    EXPECT_NEAR(saved.ReadInteger("MainWindow", "Height", 0), 330, 1);
}

INSTANTIATE_TEST_SUITE_P(Scales, ScreenSizeTest, ::testing::Values(1.0, 1.5),
                         [](const auto& info) { return info.param == 1 ? "1x" : "1_5x"; });

// Started hidden with no tray to hide in, folded, the window waits minimised
// in the taskbar, not shown; an X11 tray that comes later takes it in, and the
// icon swings for the mail waiting once the tray has embedded it, which may
// come late: until then nobody sees it. For a tray that comes later Qt makes
// the icon's window anew, and the swing once waited for the first one. A
// second start from a launcher then shows it with the launcher's startup id,
// which tells the window manager that the user asked for it.
TEST_F(ScreenTest, AHiddenStartWaitsMinimisedForATrayThatShowsTheSwingAndASecondStartShowsIt) {
    server.Set("demo", test::Box({"waiting"}));
    Run(1,
        "SettingRunHide=1\r\nSettingEndCheck=0\r\nSettingTask=1\r\nSettingTaskbar=1\r\n"
        "SettingAutoShow=0\r\nSettingNotification=0\r\nScheduleRun=1\r\n[MainWindow]\r\nType=0\r\n",
        1, "ja_JP.UTF-8");
    const xcb_window_t window = Window(QStringLiteral("着信メール")); // the check ended
    const auto state = [&](char wanted) { return State(window, wanted); };
    EXPECT_TRUE(state(3));
    xcb_connection_t* panel = xcb_connect(XDesktop::display.c_str(), nullptr); // the tray's own
    const xcb_window_t tray = test::PlayTray(panel, root);
    EXPECT_TRUE(state(0));
    test::RunFor(1s); // the icon not embedded yet
    xcb_window_t slot = 0;
    ASSERT_TRUE(test::RunUntil(
        [&] { return (slot = test::DockIcons(panel, root, tray, slot)) != 0; }, 10s));
    std::set<QByteArray> frames;
    test::RunUntil(
        [&] {
            const QImage icon = Grab({1000, 0, 22, 22});
            frames.emplace(reinterpret_cast<const char*>(icon.constBits()), icon.sizeInBytes());
            return frames.size() >= 4;
        },
        5s);
    EXPECT_GE(frames.size(), 4u) << "the icon stands still";
    // The launcher hears its busy cursor ended in whole 20-byte pieces (this id
    // fills two), read on the panel's connection (Qt reads its own). One without
    // an id of its own then leaves none that would date it back, and no message.
    const uint32_t hearRoot = XCB_EVENT_MASK_PROPERTY_CHANGE;
    xcb_change_window_attributes(panel, root, XCB_CW_EVENT_MASK, &hearRoot);
    xcb_flush(panel);
    QByteArray heard;
    const auto hear = [&] {
        while (xcb_generic_event_t* e = xcb_poll_for_event(panel)) {
            const auto* m = reinterpret_cast<xcb_client_message_event_t*>(e);
            if ((e->response_type & 0x7f) == XCB_CLIENT_MESSAGE &&
                (m->type == test::XAtom(panel, "_NET_STARTUP_INFO_BEGIN") ||
                 m->type == test::XAtom(panel, "_NET_STARTUP_INFO")))
                heard.append(reinterpret_cast<const char*>(m->data.data8), 20);
            std::free(e);
        }
        return heard.size() >= 40;
    };
    for (const char* id : {"launcher-1-test_TIME123456", ""}) {
        std::vector<std::string> env = Environment(1, "ja_JP.UTF-8");
        env.push_back(std::string("DESKTOP_STARTUP_ID=") + id);
        EXPECT_EQ(test::WaitExit(test::Spawn({dir.file("pim")}, env, "/dev/null"), 30s), 0);
        EXPECT_TRUE(state(1));
        EXPECT_TRUE(test::RunUntil([&] { return Property(window, "_NET_STARTUP_ID") == id; }, 5s));
        EXPECT_TRUE(test::RunUntil(hear, 5s));
    }
    test::RunFor(300ms);
    hear();
    EXPECT_EQ(heard, QByteArray("remove: ID=\"launcher-1-test_TIME123456\"") + '\0');
    xcb_disconnect(panel); // and its tray: none for the next test
}

// At every start the window menu opens beside the window and "_" minimises
// it. The frame once told Qt its own first place, 0,0, a moment after the
// window was shown elsewhere: the menu opened at the screen's corner, and the
// move that set the place right came while minimising, which maps it again.
// At the last start, the window shown keeps the keyboard while a tray comes and
// takes it in as a tool window, and when the tray goes again: Tab moves the
// focus frame. The X focus once stayed on the window made anew while Qt gave
// its widgets none.
TEST_F(ScreenTest, EveryStartOpensTheMenuBesideTheWindowKeepsTheKeyboardAndMinimises) {
    // Where a menu of Pim's shows: a window over the others, not the window manager's.
    const auto Menu = [] {
        QPoint menu;
        const auto tree = Reply(xcb_query_tree_reply(x, xcb_query_tree(x, root), nullptr));
        const xcb_window_t* children = xcb_query_tree_children(tree.get());
        for (int i = 0; i < xcb_query_tree_children_length(tree.get()); ++i) {
            const auto attributes = Reply(xcb_get_window_attributes_reply(
                x, xcb_get_window_attributes(x, children[i]), nullptr));
            const QRect at = Geometry(children[i]);
            if (attributes && attributes->override_redirect && at.width() > 50 &&
                attributes->map_state == XCB_MAP_STATE_VIEWABLE)
                menu = at.topLeft();
        }
        return menu;
    };
    for (int start = 0; start < 6; ++start) {
        pim.reset();
        Run(0, "SettingEndCheck=0\r\nSettingTask=1\r\nSettingTaskbar=1\r\n", 1, "ja_JP.UTF-8");
        const xcb_window_t window = Window(QStringLiteral("Pim"));
        ASSERT_TRUE(State(window, 1));
        test::RunFor(300ms); // the frame's word comes a moment later
        const QRect shown = Geometry(window);
        for (const auto& [type, key] : {std::pair{XCB_KEY_PRESS, 0xffe1},
                                        {XCB_KEY_PRESS, 0xffc7},
                                        {XCB_KEY_RELEASE, 0xffc7},
                                        {XCB_KEY_RELEASE, 0xffe1}})
            Input(type, key); // Shift+F10
        QPoint menu;
        test::RunUntil([&] { return !(menu = Menu()).isNull(); }, 5s);
        EXPECT_TRUE(shown.contains(menu))
            << "start " << start << ": the menu at " << menu.x() << "," << menu.y()
            << ", the window at " << shown.x() << "," << shown.y();
        Key(0xff1b); // Escape
        test::RunUntil([&] { return Menu().isNull(); }, 5s);
        if (start == 5) {
            const auto kind = [&] { return Property(window, "_NET_WM_WINDOW_TYPE"); };
            const auto tabMovesTheFocus = [&] {
                test::RunFor(500ms); // the window manager's focus settles
                const QImage before = Grab(Geometry(window));
                Key(0xff09); // Tab
                return test::RunUntil([&] { return Grab(Geometry(window)) != before; }, 3s);
            };
            const QByteArray normal = kind();
            const xcb_window_t tray = test::PlayTray(x, root);
            ASSERT_TRUE(test::RunUntil([&] { return kind() != normal; }, 5s)) << "no tool window";
            EXPECT_TRUE(State(window, 1));
            EXPECT_TRUE(tabMovesTheFocus()) << "after the tray came";
            xcb_destroy_window(x, tray);
            xcb_flush(x);
            ASSERT_TRUE(test::RunUntil([&] { return kind() == normal; }, 5s));
            EXPECT_TRUE(tabMovesTheFocus()) << "after the tray went";
        }
        Input(XCB_MOTION_NOTIFY, 0, Geometry(window).topLeft() + QPoint(317, 15)); // on "_"
        Input(XCB_BUTTON_PRESS, 1), Input(XCB_BUTTON_RELEASE, 1);
        EXPECT_TRUE(State(window, 3)) << "start " << start << ": not minimised";
    }
}

} // namespace
} // namespace pim
