// The program on a real X server with a window manager, at the scales of real
// screens, where the offscreen tests cannot look: rows, labels and buttons
// against the fonts they are drawn in, the first paint, the saved place, a
// hidden start. The pictures stay in screenshots/ for a person to look at.
#include "common/Cp932.h"
#include "common/HexKey.h"
#include "support/MailboxServer.h"
#include "support/Spawn.h"
#include "support/TempDir.h"

#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QScreen>
#include <QStandardPaths>
#include <algorithm>
#include <cmath>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <memory>
#include <poll.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <xcb/xcb.h>

namespace pim {
namespace {

using namespace std::chrono_literals;

// A process of the test's, ended by SIGTERM, then SIGKILL.
struct Child {
    pid_t pid;
    ~Child() {
        ::kill(pid, SIGTERM);
        for (int i = 0; i < 500 && ::waitpid(pid, nullptr, WNOHANG) != pid; ++i)
            std::this_thread::sleep_for(10ms);
        ::kill(pid, SIGKILL);
        ::waitpid(pid, nullptr, 0);
    }
};

xcb_connection_t* X() {
    return qGuiApp->nativeInterface<QNativeInterface::QX11Application>()->connection();
}
xcb_window_t Root() {
    return xcb_setup_roots_iterator(xcb_get_setup(X())).data->root;
}
template <typename T>
std::unique_ptr<T, decltype(&std::free)> Reply(T* reply) {
    return {reply, &std::free};
}
QByteArray Property(xcb_window_t window, const char* name) {
    const auto atom = Reply(
        xcb_intern_atom_reply(X(), xcb_intern_atom(X(), 0, uint16_t(strlen(name)), name), nullptr));
    const auto reply = Reply(xcb_get_property_reply(
        X(),
        xcb_get_property(X(), 0, window, atom ? atom->atom : 0, XCB_GET_PROPERTY_TYPE_ANY, 0, 4096),
        nullptr));
    return reply ? QByteArray(static_cast<const char*>(xcb_get_property_value(reply.get())),
                              xcb_get_property_value_length(reply.get()))
                 : QByteArray();
}
bool Within(const std::function<bool()>& done, std::chrono::milliseconds limit) {
    for (auto waited = 0ms; waited < limit; waited += 50ms, std::this_thread::sleep_for(50ms))
        if (done())
            return true;
    return false;
}

// Xvfb on a free display and openbox on it, with this test's Qt on that display.
class XDesktop : public ::testing::Environment {
public:
    static inline std::string missing, display;

    void SetUp() override {
        const QString xvfb = QStandardPaths::findExecutable(QStringLiteral("Xvfb"));
        const QString openbox = QStandardPaths::findExecutable(QStringLiteral("openbox"));
        if (xvfb.isEmpty() || openbox.isEmpty()) {
            missing = "needs Xvfb and openbox (packages xvfb, openbox)";
            return;
        }
        // Xvfb writes the display it found, then a line end, to the pipe's end it is given.
        int pipe[2];
        ASSERT_EQ(::pipe2(pipe, 0), 0);
        ::fcntl(pipe[0], F_SETFD, FD_CLOEXEC);
        xvfb_.reset(
            new Child{test::Spawn({xvfb.toStdString(), "-displayfd", std::to_string(pipe[1]),
                                   "-screen", "0", "1024x768x24", "-nolisten", "tcp"},
                                  {}, "/dev/null")});
        ::close(pipe[1]);
        std::string number;
        pollfd ready{pipe[0], POLLIN, 0};
        char byte = 0;
        while (number.find('\n') == std::string::npos && ::poll(&ready, 1, 20000) == 1 &&
               ::read(pipe[0], &byte, 1) == 1)
            number += byte;
        ::close(pipe[0]);
        ASSERT_NE(number.find('\n'), std::string::npos) << "Xvfb did not start";
        display = ":" + std::to_string(std::atoi(number.c_str()));
        openbox_.reset(
            new Child{test::Spawn({openbox.toStdString()}, {"DISPLAY=" + display}, "/dev/null")});
        qputenv("DISPLAY", QByteArray::fromStdString(display));
        qputenv("QT_QPA_PLATFORM", "xcb");
        qunsetenv("QT_SCALE_FACTOR"); // this side reads the screen's own pixels
        app_ = std::make_unique<QGuiApplication>(argc_, argv_);
        ASSERT_TRUE(
            Within([] { return !Property(Root(), "_NET_SUPPORTING_WM_CHECK").isEmpty(); }, 20s))
            << "openbox did not start";
        xcb_warp_pointer(X(), XCB_NONE, Root(), 0, 0, 0, 0, 0, 0); // nothing hovered
        xcb_flush(X());
    }
    void TearDown() override {
        app_.reset(); // before its display goes
        openbox_.reset();
        xvfb_.reset();
    }

private:
    std::unique_ptr<Child> xvfb_, openbox_;
    std::unique_ptr<QGuiApplication> app_;
    int argc_ = 1;
    char name_[13] = "screen_tests";
    char* argv_[2] = {name_, nullptr};
};

[[maybe_unused]] const auto* const desktop = ::testing::AddGlobalTestEnvironment(new XDesktop);

bool White(QRgb p) {
    return qRed(p) >= 235 && qGreen(p) >= 235 && qBlue(p) >= 235;
}
bool Dark(QRgb p) {
    return qRed(p) <= 40 && qGreen(p) <= 40 && qBlue(p) <= 40;
}
bool Highlight(QRgb p) {
    return qBlue(p) > qRed(p) + 60;
}
double Luminance(QRgb p) {
    const auto linear = [](int c) {
        const double v = c / 255.0;
        return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * linear(qRed(p)) + 0.7152 * linear(qGreen(p)) + 0.0722 * linear(qBlue(p));
}

// Pim run from a folder of its own on the test's display, at a scale, with the
// accounts "サンプル" (user demo) and, for two, "サブ" (user sub).
class ScreenTest : public ::testing::Test {
protected:
    test::TempDir dir;
    test::MailboxServer server;
    std::unique_ptr<Child> pim;
    double scale = 1;

    void SetUp() override {
        if (!XDesktop::missing.empty())
            GTEST_SKIP() << XDesktop::missing;
        ASSERT_FALSE(XDesktop::display.empty());
        QDir().mkpath(QStringLiteral("screenshots"));
    }
    void Start(int accounts, const std::string& settings, double factor,
               const std::string& lang = "ja_JP.UTF-8") {
        std::string ini;
        for (int i = 0; i < accounts; ++i)
            ini += "[Account" + std::to_string(i) +
                   "]\r\nEnabled=1\r\nName=" + cp932::FromUtf8(i ? "サブ" : "サンプル") +
                   "\r\nHostName=" + server.Host() + "\r\nUserID=" + (i ? "sub" : "demo") +
                   "\r\nPassword=" + EncodePassword("pw") + "\r\n";
        test::WriteFile(dir.file("Pim.INI"), ini + "[Setting]\r\n" + settings);
        scale = factor;
        std::filesystem::copy_file(PIM_BINARY, dir.file("pim"));
        pim.reset(new Child{
            test::Spawn({dir.file("pim")},
                        test::ForPim({"DISPLAY=" + XDesktop::display, "QT_QPA_PLATFORM",
                                      "QT_SCALE_FACTOR=" + QString::number(factor).toStdString(),
                                      "XDG_RUNTIME_DIR=" + dir.path(), "HOME=" + dir.path(),
                                      "DBUS_SESSION_BUS_ADDRESS=unix:path=" + dir.file("no-bus")},
                                     lang))});
        ASSERT_GT(pim->pid, 0);
    }
    // Pim's main window, once its caption holds `title`.
    static xcb_window_t Window(const QString& title) {
        xcb_window_t found = 0;
        Within(
            [&] {
                const QByteArray clients = Property(Root(), "_NET_CLIENT_LIST");
                for (qsizetype i = 0; i + 4 <= clients.size() && !found; i += 4) {
                    xcb_window_t window = 0;
                    std::memcpy(&window, clients.constData() + i, 4);
                    const QString name = QString::fromUtf8(Property(window, "_NET_WM_NAME"));
                    if (name.startsWith(QStringLiteral("Pim - ")) && name.contains(title))
                        found = window;
                }
                return found != 0;
            },
            30s);
        EXPECT_NE(found, 0u) << "no window titled " << title.toStdString();
        return found;
    }
    static QRect Geometry(xcb_window_t window) {
        const auto size =
            Reply(xcb_get_geometry_reply(X(), xcb_get_geometry(X(), window), nullptr));
        const auto at = Reply(xcb_translate_coordinates_reply(
            X(), xcb_translate_coordinates(X(), window, Root(), 0, 0), nullptr));
        return size && at ? QRect(at->dst_x, at->dst_y, size->width, size->height) : QRect();
    }
    // The window as the screen shows it, once the parts that should stand
    // still do (the check button and the status strip move on their own).
    QImage Picture(xcb_window_t window, const QString& file) {
        const auto grab = [&] {
            const QRect at = Geometry(window);
            return QGuiApplication::primaryScreen()
                ->grabWindow(0, at.x(), at.y(), at.width(), at.height())
                .toImage()
                .convertToFormat(QImage::Format_RGB32);
        };
        QImage last = grab(), now;
        const auto still = [&](const QImage& image) {
            return std::pair(image.copy(Native(QRect(125, 60, 225, 240))),
                             image.copy(Native(QRect(300, 5, 45, 20))));
        };
        for (int i = 0; i < 30; ++i, last = now) {
            std::this_thread::sleep_for(300ms);
            now = grab();
            if (now.size() == last.size() && still(now) == still(last))
                break;
        }
        EXPECT_TRUE(now.save(file));
        return now;
    }
    // A rectangle of the design, in the screen's pixels.
    QRect Native(const QRect& r) const {
        return QRect(QPoint(int(std::ceil(r.left() * scale)), int(std::ceil(r.top() * scale))),
                     QPoint(int(std::floor((r.right() + 1) * scale)) - 1,
                            int(std::floor((r.bottom() + 1) * scale)) - 1));
    }
    // The first row highlighted from the tree's top, then each account row
    // whole: as many bands of icon and name as accounts, the last as tall as
    // the first and ending inside, and no scroll bar at the right edge.
    void ExpectAccountRowsWhole(const QImage& window, int accounts) {
        const QRect tree = Native(QRect(15, 101, 320, 1));
        const int edge = tree.right() - int(3 * scale);
        int bottom = tree.top(), highlighted = 0;
        while (bottom < window.height() && !Dark(window.pixel(edge, bottom)))
            ++bottom; // down to the black panel under the tree
        while (tree.top() + highlighted < bottom &&
               Highlight(window.pixel(edge, tree.top() + highlighted)))
            ++highlighted;
        EXPECT_GE(highlighted, int(16 * scale)) << "the first row, selected, from the tree's top";
        std::vector<std::pair<int, int>> bands; // [from, to)
        for (int y = tree.top(); y < bottom; ++y) {
            const QRgb right = window.pixel(edge, y);
            ASSERT_TRUE(White(right) || Highlight(right)) << "a scroll bar at y " << y << "?";
            bool ink = false;
            for (int x = tree.left() + 1; x < tree.left() + int(200 * scale) && !ink; ++x)
                ink = !White(window.pixel(x, y));
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
    // The date's text lit inside its label, not in the label's last column.
    void ExpectDateInsideItsLabel(const QImage& window) {
        const QRect label = Native(QRect(199, 75, 99, 12)), last = Native(QRect(297, 75, 1, 12));
        int lit = 0, litAtEdge = 0;
        for (int y = label.top(); y <= label.bottom(); ++y)
            for (int x = label.left(); x <= label.right(); ++x) {
                const QRgb p = window.pixel(x, y);
                if (qGreen(p) >= 128 && qRed(p) < 100 && qBlue(p) < 100)
                    (last.contains(x, y) ? litAtEdge : lit)++;
            }
        EXPECT_GT(lit, 0);
        EXPECT_EQ(litAtEdge, 0) << "the text runs into the label's edge";
    }
};

// Saved at 600,400 on the 1024 x 768 screen, the window is moved whole onto the
// screen at 2x (512 x 384), its date and "_" readable while a check waits. At
// 1.5x a check that ended while the window opened, filling the trees half hidden
// by the growing outline, once left the first row blank. An English locale
// reads English, with the same rows and labels whole.
struct Screen {
    double factor;
    const char* lang;
    int accounts;
    bool held;        // a first picture while the check waits for the password's answer
    const char* done; // in the caption after the check
};

class ScreenScaleTest : public ScreenTest, public ::testing::WithParamInterface<Screen> {};

TEST_P(ScreenScaleTest, RowsLabelAndCaptionButtonsFitAndTheWindowIsOnScreen) {
    const Screen& c = GetParam();
    std::promise<void> answer;
    test::Mailbox held;
    held.messages = {test::SimpleMessage("Hello")};
    if (c.held)
        held.passAnswerWaits = answer.get_future().share();
    server.Set("demo", held);
    held.messages = {test::SimpleMessage("Sub")};
    held.passAnswerWaits = {};
    server.Set("sub", held);
    Start(c.accounts,
          "ScheduleRun=1\r\nSettingEndCheck=0\r\n[MainWindow]\r\nType=1\r\nLeft=600\r\nTop=400\r\n",
          c.factor, c.lang);
    const QString suffix = QString::fromLatin1(c.lang).left(2) + QString::number(c.factor) + ".png";
    if (c.held) {
        const xcb_window_t window = Window(QStringLiteral("チェック中"));
        const QImage before = Picture(window, "screenshots/x11-checking-" + suffix);
        EXPECT_EQ(Geometry(window).topLeft(), QPoint(324, 168)) << "moved whole on screen";
        ExpectDateInsideItsLabel(before);
        // The "_" against the caption around it, at least 3 : 1.
        std::vector<double> light;
        const QImage button = before.copy(Native(QRect(310, 8, 14, 14)));
        for (int y = 0; y < button.height(); ++y)
            for (int x = 0; x < button.width(); ++x)
                light.push_back(Luminance(button.pixel(x, y)));
        std::sort(light.begin(), light.end());
        const double ground = light[light.size() / 2];
        const double glyph =
            ground - light.front() > light.back() - ground ? light.front() : light.back();
        EXPECT_GE((std::max(ground, glyph) + 0.05) / (std::min(ground, glyph) + 0.05), 3.0);
        answer.set_value();
    }
    const xcb_window_t window = Window(QString::fromUtf8(c.done));
    const QImage shown = Picture(window, "screenshots/x11-main-" + suffix);
    EXPECT_TRUE(QRect(0, 0, 1024, 768).contains(Geometry(window)));
    ExpectAccountRowsWhole(shown, c.accounts);
    ExpectDateInsideItsLabel(shown);
}

INSTANTIATE_TEST_SUITE_P(Screens, ScreenScaleTest,
                         ::testing::Values(Screen{2, "ja_JP.UTF-8", 2, true, "着信メール"},
                                           Screen{1.5, "ja_JP.UTF-8", 1, false, "着信メール"},
                                           Screen{1, "en_US.UTF-8", 2, false,
                                                  "<Mail: 2> Auto check"}));

// Started hidden with no tray to hide in, folded, the window waits minimised
// in the taskbar, not shown.
TEST_F(ScreenTest, AHiddenStartWithoutATrayIsMinimised) {
    Start(1, "SettingRunHide=1\r\nSettingEndCheck=0\r\n[MainWindow]\r\nType=0\r\n", 1);
    const xcb_window_t window = Window(QStringLiteral("自動チェック"));
    EXPECT_TRUE(Within(
        [&] { // WM_STATE IconicState
            const QByteArray state = Property(window, "WM_STATE");
            return state.size() >= 4 && state[0] == 3 && state[1] == 0;
        },
        5s));
}

} // namespace
} // namespace pim
