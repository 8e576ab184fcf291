// A private D-Bus daemon, and on it NetworkManager as python3-dbusmock plays it
// (with nm_template.py), and logind when asked. Nothing touches the machine's
// own system bus.
#pragma once

#include "support/PrivateBus.h"

#include <QDBusArgument>
#include <QDBusVariant>

namespace pim::test {

inline const QString kNetworkManager = "org.freedesktop.NetworkManager";

class NetworkManagerMock : public PrivateBus {
public:
    bool StartWith(bool logind = false) {
        return Start() &&
               StartMock({"--system", "--template", PIM_NM_TEMPLATE}, true, kNetworkManager) &&
               (!logind ||
                StartMock({"--system", "--template", "logind"}, true, "org.freedesktop.login1"));
    }
    // A method of the mock: nm_template.py's (AddProfile, ActivateElsewhere,
    // DropActive, SetBehaviour) or dbusmock's own on `path` of `service`.
    QString Mock(const QString& method, const QVariantList& arguments,
                 const QString& service = kNetworkManager,
                 const QString& path = "/org/freedesktop") {
        return Call(service, path, "org.freedesktop.DBus.Mock", method, arguments)
            .arguments()
            .value(0)
            .toString();
    }
    QStringList ActivePaths() {
        QStringList paths;
        const QDBusMessage reply =
            Call(kNetworkManager, "/org/freedesktop/NetworkManager",
                 "org.freedesktop.DBus.Properties", "Get", {kNetworkManager, "ActiveConnections"});
        for (const QDBusObjectPath& path : qdbus_cast<QList<QDBusObjectPath>>(
                 qvariant_cast<QDBusVariant>(reply.arguments().value(0)).variant()))
            paths << path.path();
        return paths;
    }
};

} // namespace pim::test
