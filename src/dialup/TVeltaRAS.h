// The dial-up component: the on-demand connections of NetworkManager (VPN,
// WireGuard, mobile broadband, PPPoE/ADSL, Bluetooth) play the part of the
// phonebook and the dial-up connections. The LAN and Wi-Fi are never touched.
// Whether NetworkManager is there, and the phonebook, are asked at creation and
// arrive later: nothing at start waits for it.
#pragma once

#include "dialup/NetworkManager.h"
#include "settings/DialupPhonebook.h"

#include <QObject>
#include <QTimer>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace pim {

class TVeltaRAS : public QObject, public DialupPhonebook {
    Q_OBJECT
public:
    explicit TVeltaRAS(QDBusConnection bus = QDBusConnection::systemBus(),
                       QObject* parent = nullptr);
    ~TVeltaRAS() override;

    std::function<void(TVeltaRAS* sender)> OnFirstConnect;
    std::function<void(TVeltaRAS* sender)> OnAllDeconnect;
    std::function<void(TVeltaRAS* sender, const std::string& dialName)> OnConnectAuthenticate;
    std::function<void(TVeltaRAS* sender, const std::string& dialName)> OnConnect;
    std::function<void(TVeltaRAS* sender, const std::string& dialName)> OnConnectError;
    // Once: when the bus has said NetworkManager is not there, or when the first
    // read of its phonebook has ended, whether it worked or not. Not for a
    // component made without a bus, which knows at once.
    std::function<void(TVeltaRAS* sender)> OnReady;

    // NetworkManager is not on the bus (known once the bus has answered): every
    // operation then returns its failure value and no event but OnReady fires.
    bool ServiceError() override { return FServiceError; }
    bool Ready() const { return ready_; }
    // From the phonebook as last read, kept up to date as NetworkManager's
    // profiles change; never waits. -1 while it has not been read (a failed read
    // is asked again). At most 100 entries are listed.
    int EntryCount() override;
    // CP932; empty for an index outside 0..99 or beyond the entries.
    std::string GetEntryName(int index) override;
    // For a check, which may wait: the phonebook is read now when it has not
    // arrived yet.
    void AwaitPhonebook();
    // Connections of those kinds that are fully up; -1 when it cannot be asked.
    int ActiveEntryCount();

    // Takes down every active connection of those kinds and waits, keeping the
    // event loop running, until each is gone. False when one cannot be taken down
    // or does not go within HangUpLimit.
    bool HangUp();
    // Starts bringing up entry `index` of the phonebook, read now if it has not
    // arrived yet. True: OnConnect or OnConnectError follows.
    bool Dial(int index);
    void SetWatching(bool value);
    // The bus it asks NetworkManager on.
    const QDBusConnection& Bus() const { return nm_.Bus(); }

    // Bounds and intervals, in milliseconds; tests shorten them.
    int WatchInterval = 3000;
    int DialLimit = 120000;  // a dial that neither succeeds nor fails by then has failed
    int HangUpLimit = 30000; // per connection
    int DialPollInterval = 250;

    bool FConnected = false;
    bool FWatching = false;

private slots:
    void ProfilesChanged();

private:
    void ServiceAnswered(bool there);
    void Listen();
    void ReadPhonebook();
    void PhonebookRead(std::optional<std::vector<NetworkManager::Profile>> profiles);
    void WatchTick();
    void DialTick();
    void DialFinished(bool connected);

    NetworkManager nm_;
    bool FServiceError = false;
    bool there_ = false; // the bus said NetworkManager is on it
    bool ready_ = false;
    std::optional<std::vector<NetworkManager::Profile>> phonebook_;
    bool reading_ = false;
    bool readAgain_ = false;  // the profiles changed during the read
    unsigned readNumber_ = 0; // a read overtaken by a check's own is dropped
    QTimer watchTimer_;
    QTimer dialPoll_;
    QTimer dialLimit_;
    QString FRasConn; // the active connection being dialled; empty when none
    std::string FDialName;
    bool authenticating_ = false;
    bool watchAsked_ = false; // the watch's read has not been answered yet
};

} // namespace pim
