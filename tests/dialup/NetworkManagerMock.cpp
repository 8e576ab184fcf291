#include "NetworkManagerMock.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVariant>

namespace pim::test {

namespace {

const QString kService = QStringLiteral("org.freedesktop.NetworkManager");

} // namespace

bool NetworkManagerMock::Start(bool withNetworkManager) {
    if (!bus_.Start())
        return false;
    return !withNetworkManager ||
           bus_.StartMock({"--system", "--template", PIM_NM_TEMPLATE}, true, kService);
}

bool NetworkManagerMock::StartLogind() {
    return bus_.StartMock({"--system", "--template", "logind"}, true,
                          QStringLiteral("org.freedesktop.login1"));
}

QVariant NetworkManagerMock::CallMock(const QString& method, const QVariantList& arguments,
                                      const QString& service, const QString& path) {
    const QDBusMessage reply =
        bus_.Call(service, path, QStringLiteral("org.freedesktop.DBus.Mock"), method, arguments);
    if (reply.type() != QDBusMessage::ReplyMessage)
        return {};
    return reply.arguments().value(0);
}

QString NetworkManagerMock::AddProfile(const QString& name, const QString& kind) {
    return CallMock(QStringLiteral("AddProfile"), {name, kind}).toString();
}

QString NetworkManagerMock::ActivateElsewhere(const QString& profile, uint state) {
    return CallMock(QStringLiteral("ActivateElsewhere"), {profile, state}).toString();
}

void NetworkManagerMock::DropActive(const QString& activePath) {
    CallMock(QStringLiteral("DropActive"), {activePath});
}

void NetworkManagerMock::SetBehaviour(const QString& what, const QString& mode) {
    CallMock(QStringLiteral("SetBehaviour"), {what, mode});
}

void NetworkManagerMock::SetConnectivity(uint value) {
    CallMock(QStringLiteral("UpdateProperties"),
             {kService, QVariantMap{{QStringLiteral("Connectivity"), QVariant::fromValue(value)}}},
             kService, QStringLiteral("/org/freedesktop/NetworkManager"));
}

void NetworkManagerMock::SetState(uint value) {
    CallMock(QStringLiteral("SetGlobalConnectionState"), {QVariant::fromValue(value)});
}

void NetworkManagerMock::PrepareForSleep(bool sleeping) {
    CallMock(QStringLiteral("EmitSignal"),
             {QStringLiteral("org.freedesktop.login1.Manager"), QStringLiteral("PrepareForSleep"),
              QStringLiteral("b"), QVariantList{sleeping}},
             QStringLiteral("org.freedesktop.login1"), QStringLiteral("/org/freedesktop/login1"));
}

QStringList NetworkManagerMock::ActivePaths() const {
    QDBusMessage message = QDBusMessage::createMethodCall(
        kService, QStringLiteral("/org/freedesktop/NetworkManager"),
        QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    message.setArguments(
        {QStringLiteral("org.freedesktop.NetworkManager"), QStringLiteral("ActiveConnections")});
    const QDBusMessage reply = Bus().call(message, QDBus::Block, 10000);
    QStringList paths;
    if (reply.type() != QDBusMessage::ReplyMessage)
        return paths;
    const QVariant value = qvariant_cast<QDBusVariant>(reply.arguments().value(0)).variant();
    for (const QDBusObjectPath& path : qdbus_cast<QList<QDBusObjectPath>>(value))
        paths << path.path();
    return paths;
}

} // namespace pim::test
