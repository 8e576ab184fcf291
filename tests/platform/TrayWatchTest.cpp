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

class TrayWatchTest : public ::testing::Test {
protected:
    test::PrivateBus bus;
    QThread panelThread;
    Watcher watcher;
    QDBusConnection panel{QString()};

    void SetUp() override {
        if (const QString reason = test::PrivateBus::SkipReason(); !reason.isEmpty())
            GTEST_SKIP() << reason.toStdString();
        ASSERT_TRUE(bus.Start()) << bus.error().toStdString();
        panel = QDBusConnection::connectToBus(bus.Address(), QStringLiteral("pim-test-panel"));
        // Registered first: what the bus hangs on the object then moves along with it.
        ASSERT_TRUE(panel.registerObject(QStringLiteral("/StatusNotifierWatcher"), &watcher,
                                         QDBusConnection::ExportAllProperties |
                                             QDBusConnection::ExportAllSignals));
        watcher.moveToThread(&panelThread);
        panelThread.start();
    }
    void TearDown() override {
        panel.unregisterObject(QStringLiteral("/StatusNotifierWatcher"));
        panelThread.quit();
        panelThread.wait();
        panel = QDBusConnection(QString());
        QDBusConnection::disconnectFromBus(QStringLiteral("pim-test-panel"));
    }
    // The bus relays a signal only from the object's own thread.
    void Emit(void (Watcher::*signal)()) {
        QMetaObject::invokeMethod(&watcher, [this, signal] { emit(watcher.*signal)(); });
    }
    void PanelStarts(bool withHost) {
        watcher.host = withHost;
        ASSERT_TRUE(panel.registerService(kWatcher));
    }
};

TEST_F(TrayWatchTest, AWatcherWithAHostIsReportedEachTimeItComesOrGoes) {
    TrayWatch watch(bus.Bus());
    int changes = 0;
    QObject::connect(&watch, &TrayWatch::changed, [&] { ++changes; });
    EXPECT_FALSE(watch.Present());

    PanelStarts(true);
    ASSERT_TRUE(test::RunUntil([&] { return changes == 1; }, 10s));
    EXPECT_TRUE(watch.Present());

    panel.unregisterService(kWatcher);
    ASSERT_TRUE(test::RunUntil([&] { return changes == 2; }, 10s));
    EXPECT_FALSE(watch.Present());

    // A watcher is no tray until a host registers with it.
    PanelStarts(false);
    watcher.host = true;
    Emit(&Watcher::StatusNotifierHostRegistered);
    ASSERT_TRUE(test::RunUntil([&] { return changes == 3; }, 10s));
    EXPECT_TRUE(watch.Present());

    watcher.host = false;
    Emit(&Watcher::StatusNotifierHostUnregistered);
    ASSERT_TRUE(test::RunUntil([&] { return changes == 4; }, 10s));
    EXPECT_FALSE(watch.Present());
}

TEST_F(TrayWatchTest, AHostThereAtStartIsKnownAtOnceAndNoBusMeansNoTray) {
    PanelStarts(true);
    EXPECT_TRUE(TrayWatch(bus.Bus()).Present());
    EXPECT_FALSE(TrayWatch(QDBusConnection(QString())).Present());
}

} // namespace
} // namespace pim

#include "TrayWatchTest.moc"
