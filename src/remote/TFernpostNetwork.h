// A station of the Fernpost network: UDP broadcast texts between programs on
// one LAN — who is logged in, absence notes, messages, and remote menus with
// input prompts. Every byte on the wire is as other stations (Windows ones
// included) expect it. Runs on the Qt event loop of the GUI thread.
#pragma once

#include "remote/FernpostProtocol.h"

#include <QDateTime>
#include <QObject>
#include <QTimer>
#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

class QUdpSocket;

namespace pim {

struct TFPN_LoginUserInformation {
    std::string HandleName;
    std::string MachineName;
    std::string IPAddress;
    std::string Discrimination;
    int Version = 0;
    bool Absence = false;
    bool Menu = false;
};

class TFernpostNetwork : public QObject {
    Q_OBJECT
public:
    explicit TFernpostNetwork(QObject* parent = nullptr);
    ~TFernpostNetwork() override;

    // --- transport -------------------------------------------------------------
    uint16_t PortNo = 51000;
    std::string BroadcastIP; // further destinations, dotted IPv4, separated by "&|"
    bool Security = false;
    // Where a broadcast goes; tests use the loopback broadcast 127.255.255.255.
    std::string BroadcastAddress = "255.255.255.255";
    int SocketNo() const; // -1 while stopped
    const std::string& IPAddress() const { return FIPAddress; }
    const std::string& MachineName() const { return FMachineName; }

    // --- identity and presence ----------------------------------------------------
    std::string Discrimination = "FPN";
    int Version = 100;
    std::string HandleName;
    bool Absence = false;
    std::string AbsenceMessage;
    bool Menu = false;
    bool LoginStates() const { return FLoginStates; }
    int LoginCount() const { return static_cast<int>(LoginUsers.size()); }
    // The peers, in order of arrival (at most 256).
    std::vector<TFPN_LoginUserInformation> LoginUsers;

    // The time source, for the one-minute expiry and the arrival times.
    std::function<QDateTime()> Now = [] { return QDateTime::currentDateTime(); };
    // How often texts that never completed are looked for (ms), from the next Open.
    int HousekeepingInterval = 5000;

    bool Open();
    void Close();
    bool Login();
    bool Logout();
    bool InfoChange();
    bool InputSelect(const std::string& message, const std::string& selectList,
                     const std::string& selectReturn, const std::string& selectDiscrimination,
                     const std::string& machineName, const std::string& discrimination);
    bool InputLine(const std::string& message, const std::string& messageLine,
                   const std::string& lineDiscrimination, const std::string& machineName,
                   const std::string& discrimination);
    bool InputMessage(const std::string& message, const std::string& machineName,
                      const std::string& discrimination);

    // The console side of a menu dialogue (sent by consoles such as fpn-console,
    // never by Pim itself): ask a station for its menu, answer a prompt.
    bool MenuCheck(const std::string& ipAddress, const std::string& discrimination);
    bool InputReturn(const std::string& inputDiscrimination, const std::string& inputReturn,
                     const std::string& ipAddress, const std::string& discrimination);

    // Sends `text` (a command text) with a fresh PacketID: broadcast and then
    // every BroadcastIP address when `address` is empty, else to `address` only.
    // False, and nothing sent, for a text the wire cannot carry.
    bool SendText(const std::string& text, const std::string& address = {});

    // The address prompts for `machineName` go to: that of the first peer of
    // that name. Empty when there is none.
    std::string FindPeerIP(const std::string& machineName) const;
    // The longest Message an InputMessage to that console can carry (0 when it
    // is not in the table).
    size_t InputMessageRoom(const std::string& machineName,
                            const std::string& discrimination) const;
    // Inside an event handler: the source address of the text being handled.
    const std::string& RecvSenderIP() const { return recvSender_; }

    // Events; every string is CP932.
    using S = const std::string&;
    std::function<void(TFernpostNetwork*)> OnErrorRecvOverflow;
    std::function<void(TFernpostNetwork*, S handleName, S machineName, S ipAddress,
                       S discrimination, int version, bool absence, bool menu)>
        OnLogin;
    std::function<void(TFernpostNetwork*, S machineName, S handleName, S ipAddress,
                       S discrimination, int version, bool absence, bool menu)>
        OnInfoChange;
    std::function<void(TFernpostNetwork*, S handleName, S machineName, S ipAddress,
                       S discrimination)>
        OnLogout;
    std::function<void(TFernpostNetwork*, S absenceMessage, S handleName, S machineName,
                       S discrimination, S recvTime)>
        OnAbsenceMessage;
    std::function<void(TFernpostNetwork*, S message, S messageID, S handleName, S machineName,
                       S discrimination, S recvTime)>
        OnMessage;
    std::function<void(TFernpostNetwork*, S messageID, S handleName, S machineName,
                       S discrimination)>
        OnMessageOk;
    std::function<void(TFernpostNetwork*, S messageID, S handleName, S machineName,
                       S discrimination)>
        OnMessageOpen;
    std::function<void(TFernpostNetwork*, S handleName, S machineName, S discrimination)>
        OnMenuRequest;
    std::function<void(TFernpostNetwork*, S handleName, S machineName, S discrimination)>
        OnMenuNothing;
    std::function<void(TFernpostNetwork*, S message, S selectList, S selectReturn,
                       S selectDiscrimination, S handleName, S machineName, S discrimination)>
        OnInputSelect;
    std::function<void(TFernpostNetwork*, S message, S messageLine, S lineDiscrimination,
                       S handleName, S machineName, S discrimination)>
        OnInputLine;
    std::function<void(TFernpostNetwork*, S message, S textDiscrimination, S handleName,
                       S machineName, S discrimination)>
        OnInputText;
    std::function<void(TFernpostNetwork*, S inputDiscrimination, S inputReturn, S handleName,
                       S machineName, S discrimination)>
        OnInputReturn;
    std::function<void(TFernpostNetwork*, S message, S handleName, S machineName, S discrimination,
                       S recvTime)>
        OnInputMessage;

    // Hands one received datagram to reassembly and dispatch, as the socket does.
    void ReceiveDatagram(const std::string& sender, std::string_view datagram);

private:
    void ReadSocket();
    void Housekeeping();
    void Dispatch(const std::string& text, const std::string& sender);
    void Handle(const std::string& text);
    bool SendDatagrams(const std::string& text, const std::string& address);
    bool Directed(const std::string& text) const;
    std::string RecvTime() const;
    void UpdatePeer(TFPN_LoginUserInformation peer);
    void RemovePeer(const std::string& machineName, const std::string& discrimination);
    void PeerHeard(const std::string& machineName, const std::string& discrimination);
    bool SendPrompt(const std::string& command, const std::string& machineName,
                    const std::string& discrimination, const std::vector<std::string>& fields);
    std::optional<std::string> PromptText(const std::string& command,
                                          const std::string& machineName,
                                          const std::string& discrimination,
                                          const std::vector<std::string>& fields) const;
    std::string OwnData(bool ipFirst) const;

    QUdpSocket* socket_ = nullptr;
    QTimer housekeeping_;
    std::string FIPAddress;
    std::string FMachineName;
    bool FLoginStates = false;
    fpn::Reassembly recvBuffers_;
    fpn::PacketHistory recvHistory_;
    std::string recvSender_;
    // When each peer, by (MachineName, Discrimination), was last announced.
    std::map<std::pair<std::string, std::string>, uint64_t> peerHeard_;
    uint64_t heardSerial_ = 0;
    static constexpr int kDatagramsPerTurn = 64;
    // ReadSocket frames on the stack, and sockets closed meanwhile: a socket
    // deleted while its own readyRead is being delivered pulls the ground from
    // under Qt, even by deleteLater when a handler runs a nested event loop.
    int reading_ = 0;
    std::vector<QUdpSocket*> closedWhileReading_;
};

} // namespace pim
