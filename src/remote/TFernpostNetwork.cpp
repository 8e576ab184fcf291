#include "remote/TFernpostNetwork.h"

#include "common/Cp932.h"
#include "common/Random.h"
#include "remote/LocalStation.h"

#include <QHostAddress>
#include <QLocale>
#include <QNetworkDatagram>
#include <QUdpSocket>
#include <algorithm>
#include <charconv>
#include <utility>

namespace pim {

namespace {

using fpn::CommandText;
using fpn::GetField;

constexpr size_t kMaxPeers = 256;

std::string Flag(bool value) {
    return value ? "1" : "0";
}

// Version, Absence and Menu travel as decimal numbers.
std::optional<int> Decimal(const std::string& text) {
    int value = 0;
    const char* begin = text.data() + (!text.empty() && text[0] == '+' ? 1 : 0);
    const auto [end, error] = std::from_chars(begin, text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    return value;
}

// A peer's data from fields: machine, discrimination, ip and handle as given,
// then version, absence and menu in fields `numbers`, +1, +2. Empty when a
// number is not one.
std::optional<TFPN_LoginUserInformation> PeerFrom(const std::string& text, size_t machine,
                                                  size_t discrimination, size_t ip, size_t handle,
                                                  size_t numbers) {
    const auto version = Decimal(GetField(text, numbers));
    const auto absence = Decimal(GetField(text, numbers + 1));
    const auto menu = Decimal(GetField(text, numbers + 2));
    if (!version || !absence || !menu)
        return std::nullopt;
    return TFPN_LoginUserInformation{GetField(text, handle),
                                     GetField(text, machine),
                                     GetField(text, ip),
                                     GetField(text, discrimination),
                                     *version,
                                     *absence != 0,
                                     *menu != 0};
}

} // namespace

TFernpostNetwork::TFernpostNetwork(QObject* parent) : QObject(parent) {
    SeedRandom();
    connect(&housekeeping_, &QTimer::timeout, this, &TFernpostNetwork::Housekeeping);
}

TFernpostNetwork::~TFernpostNetwork() {
    if (socket_)
        Close();
}

int TFernpostNetwork::SocketNo() const {
    return socket_ ? static_cast<int>(socket_->socketDescriptor()) : -1;
}

bool TFernpostNetwork::Open() {
    if (socket_)
        return false;
    socket_ = new QUdpSocket(this);
    // Several stations on one machine share the port.
    if (!socket_->bind(QHostAddress::AnyIPv4, PortNo,
                       QUdpSocket::ShareAddress | QUdpSocket::ReuseAddressHint)) {
        Close();
        return false;
    }
    connect(socket_, &QUdpSocket::readyRead, this, &TFernpostNetwork::ReadSocket);
    recvBuffers_.Clear();
    recvHistory_.Clear();
    FMachineName = LocalMachineName();
    FIPAddress = LocalIPv4Address();
    housekeeping_.start(HousekeepingInterval);
    return true;
}

void TFernpostNetwork::Close() {
    if (FLoginStates)
        Logout();
    housekeeping_.stop();
    if (socket_) {
        socket_->disconnect(this);
        socket_->close();
        if (reading_ > 0)
            closedWhileReading_.push_back(socket_);
        else
            socket_->deleteLater();
        socket_ = nullptr;
    }
    recvBuffers_.Clear();
    LoginUsers.clear();
    peerHeard_.clear();
    FMachineName.clear();
    FIPAddress.clear();
    AbsenceMessage.clear();
    Absence = false;
    FLoginStates = false;
}

bool TFernpostNetwork::SendText(const std::string& text, const std::string& address) {
    const std::string full = fpn::PacketId(Now(), Random(100000)) + text;
    if (!address.empty())
        return SendDatagrams(full, address);
    if (!SendDatagrams(full, {}))
        return false;
    for (size_t i = 0;; ++i) {
        const std::string extra = GetField(BroadcastIP, i);
        if (extra.empty())
            break;
        SendDatagrams(full, extra);
    }
    return true;
}

bool TFernpostNetwork::SendDatagrams(const std::string& text, const std::string& address) {
    const QHostAddress destination(
        QString::fromStdString(address.empty() ? BroadcastAddress : address));
    if (!socket_ || destination.isNull() || destination.protocol() != QAbstractSocket::IPv4Protocol)
        return false;
    const auto datagrams = fpn::MakeDatagrams(text, Security);
    if (!datagrams)
        return false;
    for (const std::string& datagram : *datagrams) {
        const auto size = static_cast<qint64>(datagram.size());
        if (socket_->writeDatagram(datagram.data(), size, destination, PortNo) != size)
            return false;
    }
    return true;
}

void TFernpostNetwork::ReadSocket() {
    QUdpSocket* const socket = socket_;
    ++reading_;
    // A handler may close the station (and open it anew) meanwhile. A flood from
    // the LAN is read a share at a time, so that the program's timers still run:
    // the socket tells of what is left at the event loop's next turn.
    int share = kDatagramsPerTurn;
    while (socket_ == socket && socket->hasPendingDatagrams()) {
        if (share-- == 0)
            break;
        // One byte more than a datagram may have, so that a longer one shows.
        const QNetworkDatagram datagram =
            socket->receiveDatagram(static_cast<qint64>(fpn::kDatagramBytes + 1));
        const QByteArray data = datagram.data();
        QHostAddress sender = datagram.senderAddress();
        if (sender.protocol() == QAbstractSocket::IPv6Protocol) {
            bool ok = false;
            const quint32 v4 = sender.toIPv4Address(&ok);
            if (ok)
                sender = QHostAddress(v4);
        }
        ReceiveDatagram(sender.toString().toStdString(),
                        std::string_view(data.constData(), static_cast<size_t>(data.size())));
    }
    // Back in the outermost frame only the emitting code of the socket is left
    // above: a deletion posted now happens after it.
    if (--reading_ == 0) {
        for (QUdpSocket* closed : closedWhileReading_)
            closed->deleteLater();
        closedWhileReading_.clear();
    }
}

void TFernpostNetwork::ReceiveDatagram(const std::string& sender, std::string_view datagram) {
    std::string text;
    switch (recvBuffers_.Add(sender, datagram, Now(), text)) {
    case fpn::Reassembly::Result::Overflow:
        // An incomplete text lost its slot to this one.
        if (OnErrorRecvOverflow)
            OnErrorRecvOverflow(this);
        break;
    case fpn::Reassembly::Result::Complete:
        Dispatch(text, sender);
        break;
    default:
        break;
    }
}

void TFernpostNetwork::Housekeeping() {
    recvBuffers_.Expire(Now());
}

void TFernpostNetwork::Dispatch(const std::string& text, const std::string& sender) {
    const std::string id = text.substr(0, fpn::kPacketIdBytes);
    // A copy of a text already handled (the BroadcastIP copy of a broadcast).
    if (recvHistory_.Seen(id))
        return;
    if (!FLoginStates)
        return;
    // A handler may run an event loop in which another text arrives.
    const std::string outer = std::exchange(recvSender_, sender);
    Handle(text.substr(std::min(text.size(), fpn::kPacketIdBytes)));
    recvSender_ = outer;
}

bool TFernpostNetwork::Directed(const std::string& text) const {
    return GetField(text, 1) == FIPAddress && GetField(text, 2) == Discrimination;
}

std::string TFernpostNetwork::OwnData(bool ipFirst) const {
    std::vector<std::string> fields = {FMachineName};
    if (ipFirst)
        fields.insert(fields.end(), {FIPAddress, Discrimination});
    else
        fields.insert(fields.end(), {Discrimination, FIPAddress});
    fields.insert(fields.end(), {HandleName, std::to_string(Version), Flag(Absence), Flag(Menu)});
    std::string joined;
    for (const std::string& field : fields) {
        joined += fpn::kFieldSeparator;
        joined += field;
    }
    return joined;
}

void TFernpostNetwork::Handle(const std::string& text) {
    const std::string command = GetField(text, 0);
    const auto field = [&](size_t n) { return GetField(text, n); };
    const auto directedTo = [&](const std::string& name) {
        return command == "FPMESSAGE:" + name && Directed(text);
    };

    if (command == "FPMESSAGE:LOGIN") {
        auto peer = PeerFrom(text, 1, 3, 2, 4, 5);
        if (!peer)
            return;
        SendText("FPMESSAGE:LOGIN_OK&|" + field(2) + "&|" + field(3) + OwnData(true));
        UpdatePeer(std::move(*peer));
    } else if (command == "FPMESSAGE:INFO_CHANGE") {
        if (auto peer = PeerFrom(text, 1, 2, 3, 4, 5))
            UpdatePeer(std::move(*peer));
    } else if (command == "FPMESSAGE:LOGOUT") {
        RemovePeer(field(1), field(2));
    } else if (directedTo("LOGIN_OK")) {
        if (auto peer = PeerFrom(text, 3, 5, 4, 6, 7))
            UpdatePeer(std::move(*peer));
    } else if (directedTo("HUZAI_CHECK")) {
        const std::string note = Absence && !AbsenceMessage.empty() ? AbsenceMessage : "Nothing";
        SendText(CommandText("HUZAI_MESSAGE",
                             {field(3), field(4), HandleName, FMachineName, Discrimination, note}));
    } else if (directedTo("HUZAI_MESSAGE")) {
        if (OnAbsenceMessage)
            OnAbsenceMessage(this, field(6), field(3), field(4), field(5), RecvTime());
    } else if (directedTo("MESSAGE")) {
        if (!field(5).empty())
            SendText(CommandText("MESSAGE_OK", {field(5), field(6), HandleName, FMachineName,
                                                Discrimination, field(7)}));
        if (OnMessage)
            OnMessage(this, field(8), field(7), field(3), field(4), field(6), RecvTime());
    } else if (directedTo("MESSAGE_OK")) {
        if (OnMessageOk)
            OnMessageOk(this, field(6), field(3), field(4), field(5));
    } else if (directedTo("OPEN_CHECK")) {
        if (OnMessageOpen)
            OnMessageOpen(this, field(6), field(3), field(4), field(5));
    } else if (directedTo("MENU_CHECK")) {
        PeerHeard(field(4), field(6));
        if (Menu && OnMenuRequest)
            OnMenuRequest(this, field(3), field(4), field(6));
        else
            SendText(CommandText("MENU_NOTHING",
                                 {field(5), field(6), HandleName, FMachineName, Discrimination}));
    } else if (directedTo("MENU_NOTHING")) {
        if (OnMenuNothing)
            OnMenuNothing(this, field(3), field(4), field(5));
    } else if (directedTo("INPUT_SELECT")) {
        if (OnInputSelect)
            OnInputSelect(this, field(7), field(8), field(9), field(6), field(3), field(4),
                          field(5));
    } else if (directedTo("INPUT_LINE")) {
        if (OnInputLine)
            OnInputLine(this, field(7), field(8), field(6), field(3), field(4), field(5));
    } else if (directedTo("INPUT_TEXT")) {
        if (OnInputText)
            OnInputText(this, field(7), field(6), field(3), field(4), field(5));
    } else if (directedTo("INPUT_RETURN")) {
        PeerHeard(field(4), field(5));
        if (OnInputReturn)
            OnInputReturn(this, field(6), field(7), field(3), field(4), field(5));
    } else if (directedTo("INPUT_MESSAGE")) {
        if (OnInputMessage)
            OnInputMessage(this, field(6), field(3), field(4), field(5), RecvTime());
    }
}

void TFernpostNetwork::UpdatePeer(TFPN_LoginUserInformation peer) {
    peerHeard_[{peer.MachineName, peer.Discrimination}] = ++heardSerial_;
    for (TFPN_LoginUserInformation& known : LoginUsers) {
        if (known.MachineName != peer.MachineName || known.Discrimination != peer.Discrimination)
            continue;
        if (known.HandleName == peer.HandleName && known.IPAddress == peer.IPAddress &&
            known.Version == peer.Version && known.Absence == peer.Absence &&
            known.Menu == peer.Menu)
            return;
        known = peer;
        // The handler gets a copy: it may change the table (log out, for one).
        if (OnInfoChange)
            OnInfoChange(this, peer.MachineName, peer.HandleName, peer.IPAddress,
                         peer.Discrimination, peer.Version, peer.Absence, peer.Menu);
        return;
    }
    if (LoginUsers.size() < kMaxPeers) {
        LoginUsers.push_back(peer);
    } else {
        // A full table takes a newcomer in place of the peer announced least
        // recently, so that fake logins cannot lock the others out for good.
        const auto heard = [this](const TFPN_LoginUserInformation& p) {
            const auto it = peerHeard_.find({p.MachineName, p.Discrimination});
            return it == peerHeard_.end() ? 0 : it->second;
        };
        const auto oldest =
            std::min_element(LoginUsers.begin(), LoginUsers.end(),
                             [&](const auto& a, const auto& b) { return heard(a) < heard(b); });
        peerHeard_.erase({oldest->MachineName, oldest->Discrimination});
        *oldest = peer;
    }
    if (OnLogin)
        OnLogin(this, peer.HandleName, peer.MachineName, peer.IPAddress, peer.Discrimination,
                peer.Version, peer.Absence, peer.Menu);
}

// A console in use is heard, though it announces itself only at its start: a
// full table must not give it up for newcomers.
void TFernpostNetwork::PeerHeard(const std::string& machineName,
                                 const std::string& discrimination) {
    const bool known = std::any_of(LoginUsers.begin(), LoginUsers.end(), [&](const auto& p) {
        return p.MachineName == machineName && p.Discrimination == discrimination &&
               p.IPAddress == recvSender_;
    });
    if (known)
        peerHeard_[{machineName, discrimination}] = ++heardSerial_;
}

void TFernpostNetwork::RemovePeer(const std::string& machineName,
                                  const std::string& discrimination) {
    for (auto it = LoginUsers.begin(); it != LoginUsers.end(); ++it) {
        if (it->MachineName != machineName || it->Discrimination != discrimination)
            continue;
        const TFPN_LoginUserInformation gone = *it;
        LoginUsers.erase(it);
        peerHeard_.erase({machineName, discrimination});
        if (OnLogout)
            OnLogout(this, gone.HandleName, gone.MachineName, gone.IPAddress, gone.Discrimination);
        return;
    }
}

bool TFernpostNetwork::Login() {
    if (!socket_ || FLoginStates)
        return false;
    FLoginStates = true;
    return SendText("FPMESSAGE:LOGIN" + OwnData(true));
}

bool TFernpostNetwork::Logout() {
    if (!FLoginStates)
        return false;
    const bool sent = SendText(CommandText("LOGOUT", {FMachineName, Discrimination}));
    FLoginStates = false;
    LoginUsers.clear();
    peerHeard_.clear();
    return sent;
}

bool TFernpostNetwork::InfoChange() {
    if (!FLoginStates)
        return false;
    return SendText("FPMESSAGE:INFO_CHANGE" + OwnData(false));
}

std::string TFernpostNetwork::FindPeerIP(const std::string& machineName) const {
    for (const TFPN_LoginUserInformation& peer : LoginUsers) {
        if (peer.MachineName == machineName)
            return peer.IPAddress;
    }
    return {};
}

std::optional<std::string>
TFernpostNetwork::PromptText(const std::string& command, const std::string& machineName,
                             const std::string& discrimination,
                             const std::vector<std::string>& fields) const {
    const std::string address = FindPeerIP(machineName);
    if (address.empty() || !FLoginStates)
        return std::nullopt;
    std::vector<std::string> all = {address, discrimination, HandleName, FMachineName,
                                    Discrimination};
    all.insert(all.end(), fields.begin(), fields.end());
    return CommandText(command, all);
}

bool TFernpostNetwork::SendPrompt(const std::string& command, const std::string& machineName,
                                  const std::string& discrimination,
                                  const std::vector<std::string>& fields) {
    const auto text = PromptText(command, machineName, discrimination, fields);
    return text && SendText(*text);
}

size_t TFernpostNetwork::InputMessageRoom(const std::string& machineName,
                                          const std::string& discrimination) const {
    const auto envelope = PromptText("INPUT_MESSAGE", machineName, discrimination, {""});
    const size_t used = envelope ? fpn::kPacketIdBytes + envelope->size() : 0;
    const size_t room = fpn::MaxTextBytes(Security);
    return envelope && used < room ? room - used : 0;
}

bool TFernpostNetwork::InputSelect(const std::string& message, const std::string& selectList,
                                   const std::string& selectReturn,
                                   const std::string& selectDiscrimination,
                                   const std::string& machineName,
                                   const std::string& discrimination) {
    return SendPrompt("INPUT_SELECT", machineName, discrimination,
                      {selectDiscrimination, message, selectList, selectReturn});
}

bool TFernpostNetwork::InputLine(const std::string& message, const std::string& messageLine,
                                 const std::string& lineDiscrimination,
                                 const std::string& machineName,
                                 const std::string& discrimination) {
    return SendPrompt("INPUT_LINE", machineName, discrimination,
                      {lineDiscrimination, message, messageLine});
}

bool TFernpostNetwork::InputMessage(const std::string& message, const std::string& machineName,
                                    const std::string& discrimination) {
    return SendPrompt("INPUT_MESSAGE", machineName, discrimination, {message});
}

bool TFernpostNetwork::MenuCheck(const std::string& ipAddress, const std::string& discrimination) {
    if (!FLoginStates)
        return false;
    return SendText(CommandText("MENU_CHECK", {ipAddress, discrimination, HandleName, FMachineName,
                                               FIPAddress, Discrimination}));
}

bool TFernpostNetwork::InputReturn(const std::string& inputDiscrimination,
                                   const std::string& inputReturn, const std::string& ipAddress,
                                   const std::string& discrimination) {
    if (!FLoginStates)
        return false;
    return SendText(
        CommandText("INPUT_RETURN", {ipAddress, discrimination, HandleName, FMachineName,
                                     Discrimination, inputDiscrimination, inputReturn}));
}

std::string TFernpostNetwork::RecvTime() const {
    const QDateTime now = Now();
    const QLocale locale = QLocale::system();
    const int hour = now.time().hour() % 12 == 0 ? 12 : now.time().hour() % 12;
    const QString text = now.toString(QStringLiteral("yyyy年MM月dd日 ")) +
                         (now.time().hour() < 12 ? locale.amText() : locale.pmText()) +
                         QStringLiteral(" %1時").arg(hour) +
                         now.toString(QStringLiteral("mm分ss秒"));
    return cp932::FromUnicode(text);
}

} // namespace pim
