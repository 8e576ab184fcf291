// The little of NetworkManager that dial-up control needs, over D-Bus: the
// on-demand connection profiles (our phonebook), the active connections, and
// activating and deactivating them. Every call is bounded; the reads that the
// start needs are also asked without waiting, their answers coming from the
// event loop.
#pragma once

#include <QDBusConnection>
#include <QString>
#include <functional>
#include <optional>
#include <vector>

class QObject;

namespace pim {

class NetworkManager {
public:
    // Where NetworkManager answers, and how its objects tell of changes.
    static inline const QString kService = QStringLiteral("org.freedesktop.NetworkManager");
    static inline const QString kManagerPath = QStringLiteral("/org/freedesktop/NetworkManager");
    static inline const QString kProperties = QStringLiteral("org.freedesktop.DBus.Properties");
    static inline const QString kSettingsPath =
        QStringLiteral("/org/freedesktop/NetworkManager/Settings");
    static inline const QString kSettings =
        QStringLiteral("org.freedesktop.NetworkManager.Settings");
    static inline const QString kConnection =
        QStringLiteral("org.freedesktop.NetworkManager.Settings.Connection");

    // NetworkManager's own values for an active connection.
    enum ActiveState : uint32_t {
        Unknown = 0,
        Activating = 1,
        Activated = 2,
        Deactivating = 3,
        Deactivated = 4,
    };

    struct Profile {
        QString path;
        QString id;
        QString type;
    };
    struct Active {
        QString path;
        QString type;
        uint32_t state = Unknown;
        bool needsAuthentication = false; // asking for secrets or authenticating
    };

    explicit NetworkManager(QDBusConnection bus);

    // Whether NetworkManager is on the bus, as the bus answers; `context` going
    // first drops the answer, as for the reads below.
    void AskAvailable(QObject* context, std::function<void(bool)> answer) const;

    // The profiles of the kinds a user brings up on demand (VPN, WireGuard,
    // mobile broadband, PPPoE/ADSL, Bluetooth), in NetworkManager's order.
    std::optional<std::vector<Profile>> OnDemandProfiles() const;
    // The same, asked without waiting; empty when NetworkManager did not answer.
    using ProfilesAnswer = std::function<void(std::optional<std::vector<Profile>>)>;
    void ReadOnDemandProfiles(QObject* context, ProfilesAnswer answer) const;
    // The active connections of those kinds, whatever their state.
    std::optional<std::vector<Active>> OnDemandActive() const;
    // How many of them are fully up, asked without waiting; empty when
    // NetworkManager did not answer.
    void ReadOnDemandActivated(QObject* context,
                               std::function<void(std::optional<int>)> answer) const;
    // One active connection; empty when it no longer exists.
    std::optional<Active> ActiveConnection(const QString& path) const;

    // The path of the new active connection; empty when NetworkManager refuses.
    std::optional<QString> Activate(const QString& profilePath) const;
    bool Deactivate(const QString& activePath) const;

    // NetworkManager's own Connectivity and State of the whole machine.
    // One of them (`name` "Connectivity" or "State"), asked without waiting.
    void ReadManagerValue(const QString& name, QObject* context,
                          std::function<void(std::optional<uint32_t>)> answer) const;

    static bool IsOnDemandType(const QString& type);
    const QDBusConnection& Bus() const { return bus_; }

private:
    QDBusConnection bus_;
};

} // namespace pim
