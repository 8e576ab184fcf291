// Listens on a test's Fernpost port over the loopback broadcast and hands back
// every text sent there, without its PacketID; injects texts as a peer would.
#pragma once

#include "common/Random.h"
#include "remote/FernpostProtocol.h"
#include "remote/PimStation.h"
#include "remote/TFernpostNetwork.h"
#include "support/EventLoop.h"

#include <QNetworkDatagram>
#include <QUdpSocket>
#include <unistd.h>

namespace pim::test {

inline constexpr const char* kLoopbackBroadcast = "127.255.255.255";

// A port of its own for each test, so tests running side by side do not hear
// each other.
inline uint16_t FreshPort() {
    static int serial = 0;
    return static_cast<uint16_t>(20000 + (::getpid() * 37 + serial++ * 101) % 40000);
}

// The datagrams of `command` with a fresh PacketID.
inline std::vector<std::string> Datagrams(const std::string& command) {
    return *fpn::MakeDatagrams(
        fpn::PacketId(QDateTime::currentDateTime(), Random(100000)) + command, false);
}

class WireTap {
public:
    explicit WireTap(uint16_t port) : port_(port) {
        socket_.bind(QHostAddress::AnyIPv4, port,
                     QUdpSocket::ShareAddress | QUdpSocket::ReuseAddressHint);
        // A text of 255 datagrams arrives at once.
        socket_.setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption, 1 << 20);
        QObject::connect(&socket_, &QUdpSocket::readyRead, [this] {
            while (socket_.hasPendingDatagrams()) {
                const QNetworkDatagram d = socket_.receiveDatagram(512);
                if (d.data().startsWith('\1'))
                    firstDatagrams.push_back(d.data().toStdString());
                std::string text;
                if (buffers_.Add(d.senderAddress().toString().toStdString(), d.data().toStdString(),
                                 QDateTime::currentDateTime(),
                                 text) == fpn::Reassembly::Result::Complete)
                    texts.push_back(text.substr(fpn::kPacketIdBytes));
            }
        });
    }

    // Texts heard so far whose command is `command` (without "FPMESSAGE:").
    std::vector<std::string> Heard(const std::string& command) const {
        std::vector<std::string> found;
        std::copy_if(
            texts.begin(), texts.end(), std::back_inserter(found),
            [&](const std::string& t) { return fpn::GetField(t, 0) == "FPMESSAGE:" + command; });
        return found;
    }

    // Waits until `count` texts of `command` were heard.
    bool WaitFor(const std::string& command, size_t count = 1) {
        return RunUntil([&] { return Heard(command).size() >= count; }, std::chrono::seconds(3));
    }

    // Sends `command` with a fresh PacketID to the port, as a peer would.
    void Send(const std::string& command) {
        for (const std::string& d : Datagrams(command))
            SendDatagram(d);
    }
    void SendDatagram(const std::string& datagram) {
        socket_.writeDatagram(datagram.data(), static_cast<qint64>(datagram.size()),
                              QHostAddress(kLoopbackBroadcast), port_);
    }

    std::vector<std::string> texts;
    std::vector<std::string> firstDatagrams; // of each text, as sent

private:
    uint16_t port_;
    QUdpSocket socket_;
    fpn::Reassembly buffers_;
};

// Opens `station` as Pim's, on `port` over the loopback broadcast, and logs it in.
inline bool OpenPimStation(TFernpostNetwork& station, uint16_t port) {
    ConfigureAsPim(station);
    station.PortNo = port;
    station.BroadcastAddress = kLoopbackBroadcast;
    station.HandleName = "Pim <taro>";
    return station.Open() && station.Login();
}

// Hands `command` to `station` as if `sender` had sent it, with a fresh PacketID.
inline void Inject(TFernpostNetwork& station, const std::string& command,
                   const std::string& sender = "10.9.8.7") {
    for (const std::string& d : Datagrams(command))
        station.ReceiveDatagram(sender, d);
}

} // namespace pim::test
