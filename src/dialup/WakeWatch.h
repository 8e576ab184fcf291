// Listens on the system bus for the end of a sleep (logind) and for the network
// coming back (NetworkManager), and says when that calls for a check. Without
// either service it simply never says so.
#pragma once

#include "dialup/WakeCheck.h"

#include <QDBusConnection>
#include <QObject>
#include <QStringList>
#include <QTimer>
#include <QVariantMap>
#include <functional>

namespace pim {

class WakeWatch : public QObject {
    Q_OBJECT
public:
    explicit WakeWatch(QDBusConnection bus = QDBusConnection::systemBus(),
                       QObject* parent = nullptr);

    // Asked once the network has had its time to settle.
    std::function<WakeCheck::Conditions()> Conditions;
    // A check should start now.
    std::function<void(WakeWatch* sender)> OnCheck;
    // The machine woke or the network came back, whether a check starts or
    // not: connections held open may be dead. After OnCheck.
    std::function<void(WakeWatch* sender)> OnWake;

    // Any run's end, however it was started.
    void RunEnded() { check_.RunEnded(); }
    // The decision, for its waits (tests shorten them).
    WakeCheck& Check() { return check_; }

private slots:
    void PrepareForSleep(bool sleeping);
    void PropertiesChanged(const QString& interface, const QVariantMap& changed,
                           const QStringList& invalidated);
    void ManagerPropertiesChanged(const QVariantMap& changed);
    void StateChanged(uint state);

private:
    void Wait(std::optional<WakeCheck::Duration> wait);
    void Settled();

    WakeCheck check_;
    QTimer timer_;
    bool heard_ = false; // NetworkManager told of a change in its network
};

} // namespace pim
