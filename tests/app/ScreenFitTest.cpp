#include "app/ScreenFit.h"

#include "support/EventLoop.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <QWindow>
#include <gtest/gtest.h>

namespace pim {
namespace {

using namespace std::chrono_literals;

TEST(ScreenFit, AWindowOffEveryScreenIsMovedWholeIntoTheNearest) {
    const QRect laptop(0, 0, 1024, 768), right(1024, 0, 1920, 1080);
    const std::tuple<const char*, QPoint, QList<QRect>, QPoint> cases[] = {
        {"whole on a screen: kept", {600, 400}, {laptop}, {600, 400}},
        {"whole on two screens together: kept", {900, 100}, {laptop, right}, {900, 100}},
        {"saved at 1x, shown at 2x: up to the corner", {600, 400}, {{0, 0, 512, 384}}, {162, 84}},
        {"hanging off the bottom only: up", {100, 600}, {laptop}, {100, 468}},
        {"under a panel: beside it", {10, 10}, {{48, 0, 976, 768}}, {48, 10}},
        {"on a monitor no longer there: the nearest", {3200, 200}, {laptop, right}, {2594, 200}},
        {"mostly on the second screen: into that one", {1000, 900}, {laptop, right}, {1024, 780}},
        {"no screen known: kept", {-500, -500}, {}, {-500, -500}},
    };
    for (const auto& [what, saved, screens, shown] : cases)
        EXPECT_EQ(PlaceOnScreen({saved, QSize(350, 300)}, screens), shown) << what;
    // Larger than the screen: the caption's corner stays on it.
    EXPECT_EQ(PlaceOnScreen({400, 300, 350, 300}, {QRect(0, 0, 320, 240)}), QPoint(0, 0));
}

// Painted while the window's outline hid part of it, a child must be painted
// anew there when the outline grows, not left blank.
TEST(ScreenFit, AnUncoveredChildIsPaintedWhereTheOutlineHidItBefore) {
    QWidget window;
    window.resize(100, 100);
    auto* child = new QWidget(&window);
    child->setGeometry(0, 0, 100, 100);
    child->setAutoFillBackground(true);
    child->setPalette(QPalette(Qt::white));
    window.show();
    ASSERT_TRUE(test::RunUntil([&] { return window.windowHandle()->isExposed(); }, 5s));
    window.setMask(QRegion(0, 0, 100, 50));
    child->setPalette(QPalette(Qt::black)); // painted under the outline only
    test::RunFor(50ms);
    window.setMask(QRegion(0, 0, 100, 100));
    RepaintUncovered(&window, QRegion(0, 50, 100, 50));
    test::RunFor(50ms);
    const QImage shown = window.screen()->grabWindow(window.winId()).toImage();
    ASSERT_FALSE(shown.isNull());
    EXPECT_EQ(shown.pixelColor(50, 75).name(), QStringLiteral("#000000")) << "the part it hid";
}

} // namespace
} // namespace pim
