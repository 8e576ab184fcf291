// The dial-up component: the on-demand connections of NetworkManager (VPN,
// WireGuard, mobile broadband, PPPoE/ADSL, Bluetooth) play the part of the
// phonebook and the dial-up connections. The LAN and Wi-Fi are never touched.
#pragma once

#include "dialup/NetworkManager.h"
#include "settings/DialupPhonebook.h"

#include <QObject>
#include <QTimer>
#include <functional>
#include <string>

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

    // NetworkManager did not answer when the component was made: every operation
    // then returns its failure value and no event ever fires.
    bool ServiceError() override { return FServiceError; }
    // -1 when NetworkManager cannot be asked. At most 100 entries are listed.
    int EntryCount() override;
    // CP932; empty for an index outside 0..99 or beyond the entries.
    std::string GetEntryName(int index) override;
    // Connections of those kinds that are fully up; -1 when it cannot be asked.
    int ActiveEntryCount();

    // Takes down every active connection of those kinds and waits, keeping the
    // event loop running, until each is gone. False when one cannot be taken down
    // or does not go within HangUpLimit.
    bool HangUp();
    // Starts bringing up entry `index`. True: OnConnect or OnConnectError follows.
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

private:
    void WatchTick();
    void DialTick();
    void DialFinished(bool connected);

    NetworkManager nm_;
    bool FServiceError = false;
    QTimer watchTimer_;
    QTimer dialPoll_;
    QTimer dialLimit_;
    QString FRasConn; // the active connection being dialled; empty when none
    std::string FDialName;
    bool authenticating_ = false;
};

} // namespace pim
