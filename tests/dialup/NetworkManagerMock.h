// A private D-Bus daemon, and on it NetworkManager as python3-dbusmock plays it
// (with nm_template.py), and logind when asked. Nothing touches the machine's
// own system bus.
#pragma once

#include "support/PrivateBus.h"

#include <QDBusConnection>
#include <QString>

namespace pim::test {

class NetworkManagerMock {
public:
    // Why it cannot run here; empty when it can.
    static QString SkipReason() { return PrivateBus::SkipReason(); }

    // Starts the bus and, unless `withNetworkManager` is false, the mock on it.
    bool Start(bool withNetworkManager = true);
    QDBusConnection Bus() const { return bus_.Bus(); }
    const QString& error() const { return bus_.error(); }

    QString AddProfile(const QString& name, const QString& kind);
    QString ActivateElsewhere(const QString& profile, uint state = 2);
    void DropActive(const QString& activePath);
    // "activation": activate | fail | hang | refuse | authenticate
    // "deactivation": remove | stuck | refuse
    void SetBehaviour(const QString& what, const QString& mode);
    QStringList ActivePaths() const;

    // NetworkManager's Connectivity, announced as today's NetworkManager does
    // (org.freedesktop.DBus.Properties); its State as older ones did (StateChanged
    // and a PropertiesChanged of its own interface).
    void SetConnectivity(uint value);
    void SetState(uint value);

    // logind on the same bus: dbusmock's template.
    bool StartLogind();
    void PrepareForSleep(bool sleeping);

private:
    QVariant CallMock(const QString& method, const QVariantList& arguments,
                      const QString& service = QStringLiteral("org.freedesktop.NetworkManager"),
                      const QString& path = QStringLiteral("/org/freedesktop"));

    PrivateBus bus_;
};

} // namespace pim::test
