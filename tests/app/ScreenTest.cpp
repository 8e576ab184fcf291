// The program on a real X server with a window manager, at the scales of real
// screens, where the offscreen tests cannot look: rows, labels and buttons
// against the fonts they are drawn in, the first paint, the saved place. The
// pictures stay in screenshots/ for a person to look at.
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
class Child {
public:
    Child(std::vector<std::string> argv, const std::vector<std::string>& changes,
          const std::string& output = {})
        : pid_(test::Spawn(std::move(argv), changes, output)) {}
    ~Child() {
        if (pid_ <= 0)
            return;
        ::kill(pid_, SIGTERM);
        for (auto waited = 0ms; waited < 5s && ::waitpid(pid_, nullptr, WNOHANG) != pid_;
             waited += 10ms)
            std::this_thread::sleep_for(10ms);
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
    }
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;
    bool Started() const { return pid_ > 0; }

private:
    pid_t pid_;
};

template <typename T>
using XReply = std::unique_ptr<T, decltype(&std::free)>;

xcb_connection_t* X() {
    return qGuiApp->nativeInterface<QNativeInterface::QX11Application>()->connection();
}

xcb_window_t Root() {
    return xcb_setup_roots_iterator(xcb_get_setup(X())).data->root;
}

xcb_atom_t Atom(const char* name) {
    const XReply<xcb_intern_atom_reply_t> reply(
        xcb_intern_atom_reply(
            X(), xcb_intern_atom(X(), 0, static_cast<uint16_t>(strlen(name)), name), nullptr),
        &std::free);
    return reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
}

QByteArray Property(xcb_window_t window, const char* name) {
    const XReply<xcb_get_property_reply_t> reply(
        xcb_get_property_reply(
            X(), xcb_get_property(X(), 0, window, Atom(name), XCB_GET_PROPERTY_TYPE_ANY, 0, 4096),
            nullptr),
        &std::free);
    if (!reply)
        return {};
    return QByteArray(static_cast<const char*>(xcb_get_property_value(reply.get())),
                      xcb_get_property_value_length(reply.get()));
}

// Xvfb on a free display and openbox on it, with this test's Qt on that display.
class XDesktop : public ::testing::Environment {
public:
    static inline std::string missing; // why the tests are skipped
    static inline std::string broken;  // why they fail
    static inline std::string display;

    void SetUp() override {
        const QString xvfb = QStandardPaths::findExecutable(QStringLiteral("Xvfb"));
        const QString openbox = QStandardPaths::findExecutable(QStringLiteral("openbox"));
        if (xvfb.isEmpty() || openbox.isEmpty()) {
            missing = "needs Xvfb and openbox (packages xvfb, openbox)";
            return;
        }
        // Xvfb writes the display it found to the pipe's end it is given.
        int pipe[2];
        ASSERT_EQ(::pipe2(pipe, 0), 0);
        ::fcntl(pipe[0], F_SETFD, FD_CLOEXEC);
        xvfb_ = std::make_unique<Child>(
            std::vector<std::string>{xvfb.toStdString(), "-displayfd", std::to_string(pipe[1]),
                                     "-screen", "0", "1024x768x24", "-nolisten", "tcp"},
            std::vector<std::string>{}, "/dev/null");
        ::close(pipe[1]);
        // The number, then a line end: closed before that, Xvfb ends.
        std::string number;
        pollfd ready{pipe[0], POLLIN, 0};
        char byte = 0;
        while (number.find('\n') == std::string::npos && ::poll(&ready, 1, 20000) == 1 &&
               ::read(pipe[0], &byte, 1) == 1)
            number += byte;
        ::close(pipe[0]);
        if (number.find('\n') == std::string::npos) {
            broken = "Xvfb did not start";
            return;
        }
        display = ":" + std::to_string(std::atoi(number.c_str()));
        openbox_ =
            std::make_unique<Child>(std::vector<std::string>{openbox.toStdString()},
                                    std::vector<std::string>{"DISPLAY=" + display}, "/dev/null");
        qputenv("DISPLAY", QByteArray::fromStdString(display));
        qputenv("QT_QPA_PLATFORM", "xcb");
        qunsetenv("QT_SCALE_FACTOR"); // this side reads the screen's own pixels
        app_ = std::make_unique<QGuiApplication>(argc_, argv_);
        // The window manager is there once it names its check window.
        for (auto waited = 0ms; waited < 20s; waited += 50ms) {
            if (!Property(Root(), "_NET_SUPPORTING_WM_CHECK").isEmpty())
                break;
            std::this_thread::sleep_for(50ms);
        }
        if (Property(Root(), "_NET_SUPPORTING_WM_CHECK").isEmpty())
            broken = "openbox did not start";
        // Nothing hovered.
        xcb_warp_pointer(X(), XCB_NONE, Root(), 0, 0, 0, 0, 0, 0);
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
bool Lime(QRgb p) {
    return qGreen(p) >= 128 && qRed(p) < 100 && qBlue(p) < 100;
}
double Luminance(QRgb p) {
    const auto linear = [](int c) {
        const double v = c / 255.0;
        return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * linear(qRed(p)) + 0.7152 * linear(qGreen(p)) + 0.0722 * linear(qBlue(p));
}

// Pim run from a folder of its own on the test's display, at a scale.
class ScreenTest : public ::testing::Test {
protected:
    test::TempDir dir;
    test::MailboxServer server;
    std::unique_ptr<Child> pim;
    double scale = 1;

    void SetUp() override {
        if (!XDesktop::missing.empty())
            GTEST_SKIP() << XDesktop::missing;
        ASSERT_EQ(XDesktop::broken, "");
        QDir().mkpath(QStringLiteral("screenshots"));
    }

    // The accounts "サンプル" (user demo) and, with `second`, "サブ" (user sub);
    // `settings` follow [Setting].
    void WriteProfile(bool second, const std::string& settings) {
        std::string ini;
        const char* names[] = {"サンプル", "サブ"};
        for (int i = 0; i < (second ? 2 : 1); ++i)
            ini += "[Account" + std::to_string(i) +
                   "]\r\nEnabled=1\r\nName=" + cp932::FromUtf8(names[i]) +
                   "\r\nHostName=" + server.Host() + "\r\nUserID=" + (i ? "sub" : "demo") +
                   "\r\nPassword=" + EncodePassword("pw") + "\r\n";
        test::WriteFile(dir.file("Pim.INI"), ini + "[Setting]\r\n" + settings);
    }
    static test::Mailbox OneMessage(const std::string& subject) {
        test::Mailbox box;
        box.messages = {test::SimpleMessage(subject)};
        return box;
    }

    // `lang`: the locale, and with it the language of the texts.
    void Start(double factor, const std::string& lang = "ja_JP.UTF-8") {
        scale = factor;
        std::filesystem::copy_file(PIM_BINARY, dir.file("pim"));
        pim = std::make_unique<Child>(
            std::vector<std::string>{dir.file("pim")},
            test::ForPim({"DISPLAY=" + XDesktop::display, "QT_QPA_PLATFORM",
                          "QT_SCALE_FACTOR=" + QString::number(factor).toStdString(),
                          "XDG_RUNTIME_DIR=" + dir.path(), "HOME=" + dir.path(),
                          "DBUS_SESSION_BUS_ADDRESS=unix:path=" + dir.file("no-bus")},
                         lang));
        ASSERT_TRUE(pim->Started());
    }

    // Pim's main window, once its caption holds `title`.
    xcb_window_t Window(const QString& title) {
        for (auto waited = 0ms; waited < 30s; waited += 50ms) {
            const QByteArray clients = Property(Root(), "_NET_CLIENT_LIST");
            for (qsizetype i = 0; i + 4 <= clients.size(); i += 4) {
                xcb_window_t window = 0;
                std::memcpy(&window, clients.constData() + i, 4);
                const QString name = QString::fromUtf8(Property(window, "_NET_WM_NAME"));
                if (name.startsWith(QStringLiteral("Pim - ")) && name.contains(title))
                    return window;
            }
            std::this_thread::sleep_for(50ms);
        }
        ADD_FAILURE() << "no window titled " << title.toStdString();
        return 0;
    }

    static QRect Geometry(xcb_window_t window) {
        const XReply<xcb_get_geometry_reply_t> size(
            xcb_get_geometry_reply(X(), xcb_get_geometry(X(), window), nullptr), &std::free);
        const XReply<xcb_translate_coordinates_reply_t> at(
            xcb_translate_coordinates_reply(
                X(), xcb_translate_coordinates(X(), window, Root(), 0, 0), nullptr),
            &std::free);
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
        const auto still = [&](const QImage& image) {
            return std::pair(image.copy(Native(QRect(125, 60, 225, 240))),
                             image.copy(Native(QRect(300, 5, 45, 20))));
        };
        QImage last = grab();
        for (auto waited = 0ms; waited < 10s; waited += 300ms) {
            std::this_thread::sleep_for(300ms);
            QImage now = grab();
            const bool same = now.size() == last.size() && still(now) == still(last);
            last = now;
            if (same)
                break;
        }
        EXPECT_TRUE(last.save(file));
        return last;
    }

    // A rectangle of the design, in the screen's pixels.
    QRect Native(const QRect& r) const {
        return QRect(QPoint(int(std::ceil(r.left() * scale)), int(std::ceil(r.top() * scale))),
                     QPoint(int(std::floor((r.right() + 1) * scale)) - 1,
                            int(std::floor((r.bottom() + 1) * scale)) - 1));
    }

    // The account tree's column of pixels near its right edge, from its top to
    // the black panel under it: [top, bottom).
    std::pair<int, int> AccountTreeSpan(const QImage& window) const {
        const QRect tree = Native(QRect(15, 101, 320, 1));
        const int x = tree.right() - int(3 * scale);
        int bottom = tree.top();
        while (bottom < window.height() && !Dark(window.pixel(x, bottom)))
            ++bottom;
        return {tree.top(), bottom};
    }

    // Each account row whole inside the tree: as many bands of icon and name
    // below the highlighted first row as accounts, the last one as tall as
    // the others and ending inside, and no scroll bar.
    void ExpectAccountRowsWhole(const QImage& window, int accounts) {
        const auto [top, bottom] = AccountTreeSpan(window);
        const QRect tree = Native(QRect(15, 101, 320, 1));
        const int edge = tree.right() - int(3 * scale);
        std::vector<std::pair<int, int>> bands; // [from, to)
        for (int y = top; y < bottom; ++y) {
            const QRgb right = window.pixel(edge, y);
            ASSERT_TRUE(White(right) || Highlight(right))
                << "something at the right edge of the tree at y " << y << " (a scroll bar?)";
            bool ink = false;
            for (int x = tree.left() + 1; x < tree.left() + int(200 * scale) && !ink; ++x)
                ink = !White(window.pixel(x, y));
            if (!White(right) || !ink)
                continue;
            if (bands.empty() || bands.back().second != y)
                bands.push_back({y, y + 1});
            else
                bands.back().second = y + 1;
        }
        ASSERT_EQ(bands.size(), size_t(accounts)) << "tree rows " << top << ".." << bottom;
        const int first = bands.front().second - bands.front().first;
        const int last = bands.back().second - bands.back().first;
        EXPECT_GE(last, first - int(std::ceil(scale))) << "the last account row is cut";
        EXPECT_LT(bands.back().second, bottom - 1) << "the last account row ends at the edge";
    }

    // The date's text inside its label: lit, but not in the label's last column.
    void ExpectDateInsideItsLabel(const QImage& window) {
        const QRect label = Native(QRect(199, 75, 99, 12));
        const QRect lastColumn = Native(QRect(297, 75, 1, 12));
        int lit = 0, litAtEdge = 0;
        for (int y = label.top(); y <= label.bottom(); ++y)
            for (int x = label.left(); x <= label.right(); ++x)
                if (Lime(window.pixel(x, y)))
                    (lastColumn.contains(x, y) ? litAtEdge : lit)++;
        EXPECT_GT(lit, 0);
        EXPECT_EQ(litAtEdge, 0) << "the text runs into the label's edge";
    }

    // The "_" reads on the caption: its darkest or lightest pixel against the
    // caption around it, at least 3 : 1.
    void ExpectMinimiseReadable(const QImage& window) {
        const QImage button = window.copy(Native(QRect(310, 8, 14, 14)));
        std::vector<double> light;
        for (int y = 0; y < button.height(); ++y)
            for (int x = 0; x < button.width(); ++x)
                light.push_back(Luminance(button.pixel(x, y)));
        std::sort(light.begin(), light.end());
        const double ground = light[light.size() / 2];
        const double glyph =
            ground - light.front() > light.back() - ground ? light.front() : light.back();
        const double contrast = (std::max(ground, glyph) + 0.05) / (std::min(ground, glyph) + 0.05);
        EXPECT_GE(contrast, 3.0);
    }
};

// Saved at 600,400 on the 1024 x 768 screen, the window is kept there at 1x and
// moved whole onto the screen at 2x (512 x 384) and 1.5x (682.67 pixels of Qt's,
// rounded). At 1.5x a check that ended while the window opened, filling the trees
// half hidden by the growing outline, once left the first row blank. An English
// locale reads English, with the same rows and labels whole.
struct Screen {
    double factor;
    const char* lang;
    int accounts;
    bool held;        // the first picture while the check waits for the password's answer
    QPoint at;        // where it shows while checking
    const char* done; // in the caption after the check
};

class ScreenScaleTest : public ScreenTest, public ::testing::WithParamInterface<Screen> {};

TEST_P(ScreenScaleTest, RowsLabelAndCaptionButtonsFitAndTheWindowIsOnScreen) {
    const Screen& c = GetParam();
    std::promise<void> answer;
    WriteProfile(c.accounts == 2, "ScheduleRun=1\r\nSettingEndCheck=0\r\n[MainWindow]\r\n"
                                  "Type=1\r\nLeft=600\r\nTop=400\r\n");
    test::Mailbox held = OneMessage("Hello");
    if (c.held)
        held.passAnswerWaits = answer.get_future().share();
    server.Set("demo", held);
    server.Set("sub", OneMessage("Sub"));
    Start(c.factor, c.lang);
    const QString suffix =
        QString::fromLatin1(c.lang).left(2) + QString::number(c.factor) + QStringLiteral("x.png");

    if (c.held) {
        const xcb_window_t window = Window(QStringLiteral("チェック中"));
        ASSERT_NE(window, 0u);
        const QImage before = Picture(window, QStringLiteral("screenshots/x11-checking-") + suffix);
        EXPECT_EQ(Geometry(window).topLeft(), c.at) << "kept where saved, or moved on screen";
        ExpectDateInsideItsLabel(before);
        ExpectMinimiseReadable(before);
        answer.set_value();
    }
    const xcb_window_t window = Window(QString::fromUtf8(c.done));
    ASSERT_NE(window, 0u);
    const QImage shown = Picture(window, QStringLiteral("screenshots/x11-main-") + suffix);
    const QRect place = Geometry(window);
    EXPECT_TRUE(QRect(0, 0, 1024, 768).contains(place))
        << place.x() << "," << place.y() << " " << place.width() << "x" << place.height();
    const auto [top, bottom] = AccountTreeSpan(shown);
    const int edge = Native(QRect(15, 101, 320, 1)).right() - int(3 * scale);
    int highlighted = 0;
    while (top + highlighted < bottom && Highlight(shown.pixel(edge, top + highlighted)))
        ++highlighted;
    EXPECT_GE(highlighted, int(16 * scale)) << "the first row, selected, from the tree's top";
    ExpectAccountRowsWhole(shown, c.accounts);
    ExpectDateInsideItsLabel(shown);
}

INSTANTIATE_TEST_SUITE_P(
    Screens, ScreenScaleTest,
    ::testing::Values(Screen{1, "ja_JP.UTF-8", 2, true, {600, 400}, "着信メール"},
                      Screen{2, "ja_JP.UTF-8", 2, true, {324, 168}, "着信メール"},
                      Screen{1.5, "ja_JP.UTF-8", 1, false, {}, "着信メール"},
                      Screen{1, "en_US.UTF-8", 2, false, {}, "<Mail: 2> Auto check"}));

// Started hidden with no tray to hide in, folded, the window waits minimised
// in the taskbar, not shown.
TEST_F(ScreenTest, AHiddenStartWithoutATrayIsMinimised) {
    WriteProfile(false, "SettingRunHide=1\r\nSettingEndCheck=0\r\n[MainWindow]\r\nType=0\r\n");
    Start(1);
    const xcb_window_t window = Window(QStringLiteral("自動チェック"));
    ASSERT_NE(window, 0u);
    constexpr uint32_t kIconic = 3;
    uint32_t state = 0;
    for (auto waited = 0ms; waited < 5s && state != kIconic; waited += 50ms) {
        std::this_thread::sleep_for(50ms);
        const QByteArray wmState = Property(window, "WM_STATE");
        if (wmState.size() >= 4)
            std::memcpy(&state, wmState.constData(), 4);
    }
    EXPECT_EQ(state, kIconic);
}

} // namespace
} // namespace pim
