// A panel's StatusNotifierWatcher coming and going on a private session bus.
#include "platform/TrayWatch.h"

#include "support/EventLoop.h"
#include "support/PrivateBus.h"

#include <QDBusConnection>
#include <QThread>
#include <atomic>
#include <gtest/gtest.h>

namespace pim {
namespace {

using namespace std::chrono_literals;

const QString kWatcher = QStringLiteral("org.kde.StatusNotifierWatcher");

// Answers from a thread of its own, as another process would while Pim waits.
class Watcher : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierWatcher")
    Q_PROPERTY(bool IsStatusNotifierHostRegistered READ HostRegistered)
public:
    std::atomic<bool> host = false;
    bool HostRegistered() const { return host; }
signals:
    void StatusNotifierHostRegistered();
    void StatusNotifierHostUnregistered();
};

TEST(TrayWatch, AWatcherWithAHostIsATrayKnownAtStartAndEachTimeItComesOrGoes) {
    if (const QString reason = test::PrivateBus::SkipReason(); !reason.isEmpty())
        GTEST_SKIP() << reason.toStdString();
    EXPECT_FALSE(TrayWatch(QDBusConnection(QString())).Present()) << "no bus, no tray";
    test::PrivateBus bus;
    ASSERT_TRUE(bus.Start()) << bus.error().toStdString();
    QDBusConnection panel = QDBusConnection::connectToBus(bus.Address(), QStringLiteral("panel"));
    QThread panelThread; // outlives the watcher that lives in it
    Watcher watcher;
    // Registered first: what the bus hangs on the object then moves along with it.
    ASSERT_TRUE(panel.registerObject(QStringLiteral("/StatusNotifierWatcher"), &watcher,
                                     QDBusConnection::ExportAllProperties |
                                         QDBusConnection::ExportAllSignals));
    watcher.moveToThread(&panelThread);
    panelThread.start();
    watcher.host = true;
    panel.registerService(kWatcher);

    TrayWatch watch(bus.Bus());
    EXPECT_TRUE(watch.Present());
    int changes = 0;
    QObject::connect(&watch, &TrayWatch::changed, [&] { ++changes; });
    const auto next = [&](bool present) {
        EXPECT_TRUE(test::RunUntil([&] { return changes == 1; }, 10s));
        EXPECT_EQ(watch.Present(), present);
        changes = 0;
    };
    // The bus relays a signal only from the object's own thread.
    const auto emitted = [&](void (Watcher::*signal)()) {
        QMetaObject::invokeMethod(&watcher, [&watcher, signal] { emit(watcher.*signal)(); });
    };
    panel.unregisterService(kWatcher);
    next(false);
    panel.registerService(kWatcher);
    next(true);
    panel.unregisterService(kWatcher);
    next(false);
    // A watcher is no tray until a host registers with it.
    watcher.host = false;
    panel.registerService(kWatcher);
    watcher.host = true;
    emitted(&Watcher::StatusNotifierHostRegistered);
    next(true);
    watcher.host = false;
    emitted(&Watcher::StatusNotifierHostUnregistered);
    next(false);

    panel.unregisterObject(QStringLiteral("/StatusNotifierWatcher"));
    panelThread.quit();
    panelThread.wait();
    panel = QDBusConnection(QString());
    QDBusConnection::disconnectFromBus(QStringLiteral("panel"));
}

} // namespace
} // namespace pim

#include "TrayWatchTest.moc"
