// A private D-Bus daemon, and on it NetworkManager as python3-dbusmock plays it
// (with nm_template.py). Nothing touches the machine's own system bus.
#pragma once

#include "support/TempDir.h"

#include <QDBusConnection>
#include <QString>
#include <sys/types.h>

namespace pim::test {

class NetworkManagerMock {
public:
    NetworkManagerMock() = default;
    ~NetworkManagerMock();
    NetworkManagerMock(const NetworkManagerMock&) = delete;
    NetworkManagerMock& operator=(const NetworkManagerMock&) = delete;

    // Why it cannot run here; empty when it can.
    static QString SkipReason();

    // Starts the bus and, unless `withNetworkManager` is false, the mock on it.
    bool Start(bool withNetworkManager = true);
    QDBusConnection Bus() const { return bus_; }
    // For a second peer on the same bus.
    QString Address() const { return QString::fromStdString("unix:path=" + dir_.file("bus")); }
    const QString& error() const { return error_; }

    QString AddProfile(const QString& name, const QString& kind);
    QString ActivateElsewhere(const QString& profile, uint state = 2);
    void DropActive(const QString& activePath);
    // "activation": activate | fail | hang | refuse | authenticate
    // "deactivation": remove | stuck | refuse
    void SetBehaviour(const QString& what, const QString& mode);
    QStringList ActivePaths() const;

private:
    QVariant CallMock(const QString& method, const QVariantList& arguments);

    TempDir dir_;
    pid_t daemon_ = -1;
    pid_t mock_ = -1;
    QString connectionName_;
    QDBusConnection bus_{QString()};
    QString error_;
};

} // namespace pim::test
