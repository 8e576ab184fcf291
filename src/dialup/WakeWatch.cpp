#include "dialup/WakeWatch.h"

#include "dialup/NetworkManager.h"

namespace pim {

namespace {

const QString kLogin = QStringLiteral("org.freedesktop.login1");
const QString kLoginPath = QStringLiteral("/org/freedesktop/login1");
const QString kLoginManager = QStringLiteral("org.freedesktop.login1.Manager");

} // namespace

WakeWatch::WakeWatch(QDBusConnection bus, QObject* parent) : QObject(parent) {
    timer_.setSingleShot(true);
    // A coarse timer may fire early, before the network has settled.
    timer_.setTimerType(Qt::PreciseTimer);
    connect(&timer_, &QTimer::timeout, this, &WakeWatch::Settled);
    if (!bus.isConnected())
        return;
    // Matched by name: a service that starts later is heard all the same.
    bus.connect(kLogin, kLoginPath, kLoginManager, QStringLiteral("PrepareForSleep"), this,
                SLOT(PrepareForSleep(bool)));
    bus.connect(NetworkManager::kService, NetworkManager::kManagerPath, NetworkManager::kProperties,
                QStringLiteral("PropertiesChanged"), this,
                SLOT(PropertiesChanged(QString, QVariantMap, QStringList)));
    // Older NetworkManagers announce their changes only on their own interface.
    bus.connect(NetworkManager::kService, NetworkManager::kManagerPath, NetworkManager::kService,
                QStringLiteral("PropertiesChanged"), this,
                SLOT(ManagerPropertiesChanged(QVariantMap)));
    bus.connect(NetworkManager::kService, NetworkManager::kManagerPath, NetworkManager::kService,
                QStringLiteral("StateChanged"), this, SLOT(StateChanged(uint)));
    // Where the network stands now, so that its return can be told: asked, not
    // waited for. A change heard before the answer is newer than it.
    const NetworkManager nm(bus);
    nm.ReadManagerValue(QStringLiteral("Connectivity"), this, [this](auto value) {
        if (value && !heard_)
            check_.Connectivity(*value);
    });
    nm.ReadManagerValue(QStringLiteral("State"), this, [this](auto value) {
        if (value && !heard_)
            check_.NetworkState(*value);
    });
}

void WakeWatch::Wait(std::optional<WakeCheck::Duration> wait) {
    if (wait)
        timer_.start(*wait);
}

void WakeWatch::PrepareForSleep(bool sleeping) {
    Wait(check_.PrepareForSleep(sleeping));
    if (!check_.Pending())
        timer_.stop();
}

void WakeWatch::PropertiesChanged(const QString& interface, const QVariantMap& changed,
                                  const QStringList&) {
    if (interface == NetworkManager::kService)
        ManagerPropertiesChanged(changed);
}

void WakeWatch::ManagerPropertiesChanged(const QVariantMap& changed) {
    if (const auto it = changed.find(QStringLiteral("Connectivity")); it != changed.end()) {
        heard_ = true;
        Wait(check_.Connectivity(it->toUInt()));
    }
    if (const auto it = changed.find(QStringLiteral("State")); it != changed.end()) {
        heard_ = true;
        Wait(check_.NetworkState(it->toUInt()));
    }
}

void WakeWatch::StateChanged(uint state) {
    heard_ = true;
    Wait(check_.NetworkState(state));
}

void WakeWatch::Settled() {
    const bool start = check_.Due(Conditions ? Conditions() : WakeCheck::Conditions{});
    if (start && OnCheck)
        OnCheck(this);
    if (OnWake)
        OnWake(this);
}

} // namespace pim
