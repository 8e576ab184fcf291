// A panel's StatusNotifierWatcher coming and going on a private session bus.
#include "platform/TrayWatch.h"

#include "support/EventLoop.h"
#include "support/PrivateBus.h"

#include <gtest/gtest.h>

namespace pim {
namespace {

using namespace std::chrono_literals;

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

} // namespace
} // namespace pim

#include "TrayWatchTest.moc"
