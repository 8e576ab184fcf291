#include "dialup/NetworkManager.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusVariant>
#include <memory>

using ConnectionSettings = QMap<QString, QVariantMap>;
Q_DECLARE_METATYPE(ConnectionSettings)

namespace pim {

namespace {

const QString& kService = NetworkManager::kService;
const QString& kProperties = NetworkManager::kProperties;
const QString& kManager = kService; // its interface has its name
const QString kActive = QStringLiteral("org.freedesktop.NetworkManager.Connection.Active");
const QString kVpn = QStringLiteral("org.freedesktop.NetworkManager.VPN.Connection");
const QString kDevice = QStringLiteral("org.freedesktop.NetworkManager.Device");

// A NetworkManager that hangs must not hang the program for D-Bus's 25 seconds.
constexpr int kCallTimeout = 5000;
// Nothing waits for an asked read: a busy NetworkManager (at login) gets longer.
constexpr int kAskTimeout = 25000;

constexpr uint32_t kVpnNeedAuth = 3;
constexpr uint32_t kDeviceNeedAuth = 60;

std::optional<QDBusMessage> Call(const QDBusConnection& bus, const QString& path,
                                 const QString& interface, const QString& method,
                                 const QVariantList& arguments = {}) {
    QDBusMessage message = QDBusMessage::createMethodCall(kService, path, interface, method);
    message.setArguments(arguments);
    // Asked before the bus has said whether NetworkManager runs: never start it.
    message.setAutoStartService(false);
    QDBusMessage reply = bus.call(message, QDBus::Block, kCallTimeout);
    if (reply.type() != QDBusMessage::ReplyMessage)
        return std::nullopt;
    return reply;
}

// The reply, from the event loop; empty for an error, with its name in `error`.
using Answer = std::function<void(std::optional<QDBusMessage> reply, const QString& error)>;

void Ask(const QDBusConnection& bus, QDBusMessage message, QObject* context, Answer answer) {
    // A read never starts NetworkManager where it does not run.
    message.setAutoStartService(false);
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(message, kAskTimeout), context);
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, context,
                     [watcher, answer = std::move(answer)] {
                         watcher->deleteLater();
                         const QDBusMessage reply = watcher->reply();
                         if (reply.type() == QDBusMessage::ReplyMessage)
                             answer(reply, {});
                         else
                             answer(std::nullopt, reply.errorName());
                     });
}

void Ask(const QDBusConnection& bus, const QString& path, const QString& interface,
         const QString& method, const QVariantList& arguments, QObject* context, Answer answer) {
    QDBusMessage message = QDBusMessage::createMethodCall(kService, path, interface, method);
    message.setArguments(arguments);
    Ask(bus, std::move(message), context, std::move(answer));
}

std::optional<NetworkManager::Profile> OnDemandProfile(const QString& path,
                                                       const QDBusMessage& settings) {
    if (settings.arguments().isEmpty())
        return std::nullopt;
    const auto map = qdbus_cast<ConnectionSettings>(settings.arguments().first());
    const QVariantMap connection = map.value(QStringLiteral("connection"));
    const QString type = connection.value(QStringLiteral("type")).toString();
    if (!NetworkManager::IsOnDemandType(type))
        return std::nullopt;
    return NetworkManager::Profile{path, connection.value(QStringLiteral("id")).toString(), type};
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

// Of a read's errors, those where NetworkManager did not answer; any other says
// the object was removed meanwhile.
bool NoAnswer(const QString& error) {
    return error == QLatin1String("org.freedesktop.DBus.Error.NoReply") ||
           error == QLatin1String("org.freedesktop.DBus.Error.Timeout");
}

} // namespace

NetworkManager::NetworkManager(QDBusConnection bus) : bus_(std::move(bus)) {
    qDBusRegisterMetaType<ConnectionSettings>();
}

void NetworkManager::AskAvailable(QObject* context, std::function<void(bool)> answer) const {
    QDBusMessage message = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("NameHasOwner"));
    message << kService;
    Ask(bus_, std::move(message), context,
        [answer = std::move(answer)](std::optional<QDBusMessage> reply, const QString&) {
            answer(reply && !reply->arguments().isEmpty() && reply->arguments().first().toBool());
        });
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
        // One that fails was removed meanwhile.
        if (const auto settings = Call(bus_, path, kConnection, QStringLiteral("GetSettings")))
            if (auto profile = OnDemandProfile(path, *settings))
                profiles.push_back(std::move(*profile));
    }
    return profiles;
}

void NetworkManager::ReadOnDemandProfiles(QObject* context, ProfilesAnswer answer) const {
    Ask(bus_, kSettingsPath, kSettings, QStringLiteral("ListConnections"), {}, context,
        [bus = bus_, context, answer = std::move(answer)](std::optional<QDBusMessage> reply,
                                                          const QString&) {
            if (!reply || reply->arguments().isEmpty())
                return answer(std::nullopt);
            const std::vector<QString> paths = Paths(reply->arguments().first());
            if (paths.empty())
                return answer(std::vector<Profile>{});
            // Every profile asked at once; the answer when the last has answered.
            struct Reading {
                std::vector<std::optional<Profile>> found;
                size_t waiting = 0;
                bool failed = false;
            };
            auto reading = std::make_shared<Reading>();
            reading->found.resize(paths.size());
            reading->waiting = paths.size();
            for (size_t i = 0; i < paths.size(); ++i) {
                Ask(bus, paths[i], kConnection, QStringLiteral("GetSettings"), {}, context,
                    [reading, answer, i, path = paths[i]](std::optional<QDBusMessage> settings,
                                                          const QString& error) {
                        if (settings)
                            reading->found[i] = OnDemandProfile(path, *settings);
                        else if (NoAnswer(error))
                            reading->failed = true; // a list with gaps would shift the entries
                        if (--reading->waiting != 0)
                            return;
                        if (reading->failed)
                            return answer(std::nullopt);
                        std::vector<Profile> profiles;
                        for (auto& profile : reading->found)
                            if (profile)
                                profiles.push_back(std::move(*profile));
                        answer(std::move(profiles));
                    });
            }
        });
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

void NetworkManager::ReadOnDemandActivated(QObject* context,
                                           std::function<void(std::optional<int>)> answer) const {
    Ask(bus_, kManagerPath, kProperties, QStringLiteral("Get"),
        {kManager, QStringLiteral("ActiveConnections")}, context,
        [bus = bus_, context, answer = std::move(answer)](std::optional<QDBusMessage> reply,
                                                          const QString&) {
            if (!reply || reply->arguments().isEmpty())
                return answer(std::nullopt);
            const std::vector<QString> paths =
                Paths(qvariant_cast<QDBusVariant>(reply->arguments().first()).variant());
            if (paths.empty())
                return answer(0);
            struct Counting {
                size_t waiting = 0;
                int up = 0;
                bool failed = false;
            };
            auto counting = std::make_shared<Counting>();
            counting->waiting = paths.size();
            for (const QString& path : paths) {
                Ask(bus, path, kProperties, QStringLiteral("GetAll"), {kActive}, context,
                    [counting, answer](std::optional<QDBusMessage> properties,
                                       const QString& error) {
                        if (properties && !properties->arguments().isEmpty()) {
                            const auto map =
                                qdbus_cast<QVariantMap>(properties->arguments().first());
                            counting->up +=
                                IsOnDemandType(map.value(QStringLiteral("Type")).toString()) &&
                                UInt(map.value(QStringLiteral("State"))) == Activated;
                        } else if (NoAnswer(error)) {
                            counting->failed = true;
                        }
                        if (--counting->waiting == 0)
                            answer(counting->failed ? std::nullopt
                                                    : std::optional<int>(counting->up));
                    });
            }
        });
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

void NetworkManager::ReadManagerValue(const QString& name, QObject* context,
                                      std::function<void(std::optional<uint32_t>)> answer) const {
    Ask(bus_, kManagerPath, kProperties, QStringLiteral("Get"), {kManager, name}, context,
        [answer = std::move(answer)](std::optional<QDBusMessage> reply, const QString&) {
            if (!reply || reply->arguments().isEmpty())
                return answer(std::nullopt);
            answer(UInt(qvariant_cast<QDBusVariant>(reply->arguments().first()).variant()));
        });
}

} // namespace pim
