#include "dialup/NetworkManager.h"

#include <QDBusArgument>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusVariant>

using ConnectionSettings = QMap<QString, QVariantMap>;
Q_DECLARE_METATYPE(ConnectionSettings)

namespace pim {

namespace {

const QString& kService = NetworkManager::kService;
const QString& kProperties = NetworkManager::kProperties;
const QString& kManager = kService; // its interface has its name
const QString kSettingsPath = QStringLiteral("/org/freedesktop/NetworkManager/Settings");
const QString kSettings = QStringLiteral("org.freedesktop.NetworkManager.Settings");
const QString kConnection = QStringLiteral("org.freedesktop.NetworkManager.Settings.Connection");
const QString kActive = QStringLiteral("org.freedesktop.NetworkManager.Connection.Active");
const QString kVpn = QStringLiteral("org.freedesktop.NetworkManager.VPN.Connection");
const QString kDevice = QStringLiteral("org.freedesktop.NetworkManager.Device");

// A NetworkManager that hangs must not hang the program for D-Bus's 25 seconds.
constexpr int kCallTimeout = 5000;

constexpr uint32_t kVpnNeedAuth = 3;
constexpr uint32_t kDeviceNeedAuth = 60;

std::optional<QDBusMessage> Call(const QDBusConnection& bus, const QString& path,
                                 const QString& interface, const QString& method,
                                 const QVariantList& arguments = {}) {
    QDBusMessage message = QDBusMessage::createMethodCall(kService, path, interface, method);
    message.setArguments(arguments);
    QDBusMessage reply = bus.call(message, QDBus::Block, kCallTimeout);
    if (reply.type() != QDBusMessage::ReplyMessage)
        return std::nullopt;
    return reply;
}

std::optional<QVariant> Property(const QDBusConnection& bus, const QString& path,
                                 const QString& interface, const QString& name) {
    const auto reply = Call(bus, path, kProperties, QStringLiteral("Get"), {interface, name});
    if (!reply || reply->arguments().isEmpty())
        return std::nullopt;
    return qvariant_cast<QDBusVariant>(reply->arguments().first()).variant();
}

std::optional<QVariantMap> AllProperties(const QDBusConnection& bus, const QString& path,
                                         const QString& interface) {
    const auto reply = Call(bus, path, kProperties, QStringLiteral("GetAll"), {interface});
    if (!reply || reply->arguments().isEmpty())
        return std::nullopt;
    return qdbus_cast<QVariantMap>(reply->arguments().first());
}

std::vector<QString> Paths(const QVariant& value) {
    std::vector<QString> paths;
    for (const QDBusObjectPath& path : qdbus_cast<QList<QDBusObjectPath>>(value))
        paths.push_back(path.path());
    return paths;
}

uint32_t UInt(const QVariant& value) {
    return value.toUInt();
}

} // namespace

NetworkManager::NetworkManager(QDBusConnection bus) : bus_(std::move(bus)) {
    qDBusRegisterMetaType<ConnectionSettings>();
}

bool NetworkManager::Available() const {
    return bus_.isConnected() && bus_.interface() &&
           bus_.interface()->isServiceRegistered(kService).value();
}

bool NetworkManager::IsOnDemandType(const QString& type) {
    static const QStringList kinds = {"vpn",   "wireguard", "gsm",      "cdma",
                                      "pppoe", "adsl",      "bluetooth"};
    return kinds.contains(type);
}

std::optional<std::vector<NetworkManager::Profile>> NetworkManager::OnDemandProfiles() const {
    const auto reply = Call(bus_, kSettingsPath, kSettings, QStringLiteral("ListConnections"));
    if (!reply || reply->arguments().isEmpty())
        return std::nullopt;
    std::vector<Profile> profiles;
    for (const QString& path : Paths(reply->arguments().first())) {
        const auto settings = Call(bus_, path, kConnection, QStringLiteral("GetSettings"));
        if (!settings || settings->arguments().isEmpty())
            continue; // removed meanwhile
        const auto map = qdbus_cast<ConnectionSettings>(settings->arguments().first());
        const QVariantMap connection = map.value(QStringLiteral("connection"));
        const QString type = connection.value(QStringLiteral("type")).toString();
        if (IsOnDemandType(type))
            profiles.push_back({path, connection.value(QStringLiteral("id")).toString(), type});
    }
    return profiles;
}

std::optional<NetworkManager::Active> NetworkManager::ActiveConnection(const QString& path) const {
    const auto properties = AllProperties(bus_, path, kActive);
    if (!properties)
        return std::nullopt;
    Active active{path, properties->value(QStringLiteral("Type")).toString(),
                  UInt(properties->value(QStringLiteral("State"))), false};
    if (active.state != Activating)
        return active;
    if (properties->value(QStringLiteral("Vpn")).toBool()) {
        const auto vpnState = Property(bus_, path, kVpn, QStringLiteral("VpnState"));
        active.needsAuthentication = vpnState && UInt(*vpnState) == kVpnNeedAuth;
    } else {
        for (const QString& device : Paths(properties->value(QStringLiteral("Devices")))) {
            const auto state = Property(bus_, device, kDevice, QStringLiteral("State"));
            active.needsAuthentication |= state && UInt(*state) == kDeviceNeedAuth;
        }
    }
    return active;
}

std::optional<std::vector<NetworkManager::Active>> NetworkManager::OnDemandActive() const {
    const auto list = Property(bus_, kManagerPath, kManager, QStringLiteral("ActiveConnections"));
    if (!list)
        return std::nullopt;
    std::vector<Active> result;
    for (const QString& path : Paths(*list)) {
        // One that went away since the list was read is simply not there.
        const auto properties = AllProperties(bus_, path, kActive);
        if (!properties)
            continue;
        const QString type = properties->value(QStringLiteral("Type")).toString();
        if (IsOnDemandType(type))
            result.push_back({path, type, UInt(properties->value(QStringLiteral("State"))), false});
    }
    return result;
}

std::optional<QString> NetworkManager::Activate(const QString& profilePath) const {
    const QDBusObjectPath none(QStringLiteral("/"));
    const auto reply = Call(bus_, kManagerPath, kManager, QStringLiteral("ActivateConnection"),
                            {QVariant::fromValue(QDBusObjectPath(profilePath)),
                             QVariant::fromValue(none), QVariant::fromValue(none)});
    if (!reply || reply->arguments().isEmpty())
        return std::nullopt;
    return qvariant_cast<QDBusObjectPath>(reply->arguments().first()).path();
}

bool NetworkManager::Deactivate(const QString& activePath) const {
    return Call(bus_, kManagerPath, kManager, QStringLiteral("DeactivateConnection"),
                {QVariant::fromValue(QDBusObjectPath(activePath))})
        .has_value();
}

std::optional<uint32_t> NetworkManager::Connectivity() const {
    const auto value = Property(bus_, kManagerPath, kManager, QStringLiteral("Connectivity"));
    return value ? std::optional(UInt(*value)) : std::nullopt;
}

std::optional<uint32_t> NetworkManager::State() const {
    const auto value = Property(bus_, kManagerPath, kManager, QStringLiteral("State"));
    return value ? std::optional(UInt(*value)) : std::nullopt;
}

} // namespace pim
