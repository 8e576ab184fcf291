// A private D-Bus daemon, and on it NetworkManager as python3-dbusmock plays it
// (with nm_template.py), and logind when asked. Nothing touches the machine's
// own system bus.
#pragma once

#include "support/PrivateBus.h"

#include <QDBusArgument>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusVariant>

namespace pim::test {

inline const QString kNetworkManager = QStringLiteral("org.freedesktop.NetworkManager");

class NetworkManagerMock : public PrivateBus {
public:
    // The bus and, unless `withNetworkManager` is false, the mock on it.
    bool StartWith(bool withNetworkManager = true) {
        return Start() &&
               (!withNetworkManager ||
                StartMock({"--system", "--template", PIM_NM_TEMPLATE}, true, kNetworkManager));
    }
    bool StartLogind() {
        return StartMock({"--system", "--template", "logind"}, true,
                         QStringLiteral("org.freedesktop.login1"));
    }
    // A method of the mock: nm_template.py's (AddProfile, ActivateElsewhere,
    // DropActive, SetBehaviour) or dbusmock's own on `path` of `service`.
    QVariant Mock(const QString& method, const QVariantList& arguments,
                  const QString& service = kNetworkManager,
                  const QString& path = QStringLiteral("/org/freedesktop")) {
        return Call(service, path, QStringLiteral("org.freedesktop.DBus.Mock"), method, arguments)
            .arguments()
            .value(0);
    }
    QStringList ActivePaths() {
        const QDBusMessage reply =
            Call(kNetworkManager, QStringLiteral("/org/freedesktop/NetworkManager"),
                 QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"),
                 {kNetworkManager, QStringLiteral("ActiveConnections")});
        QStringList paths;
        const QVariant value = qvariant_cast<QDBusVariant>(reply.arguments().value(0)).variant();
        for (const QDBusObjectPath& path : qdbus_cast<QList<QDBusObjectPath>>(value))
            paths << path.path();
        return paths;
    }
};

} // namespace pim::test
