// Arbitrary datagrams from a few senders reach a logged-in station that answers
// menu requests and prompts: it never crashes, and its peer table keeps at most
// 256 records, one per (machine, kind).
//
// The input is a sequence of records separated by "~~". A record's first byte
// picks what it is: bits 0-1 the sender (one of four addresses); with bits 6-7
// both set, an action of the station itself (bits 0-1: log in again, announce a
// change, ask itself for its menu, restart); otherwise bit 2 says whether the
// rest is one raw datagram (0) or a command text (1) that is framed, scrambled
// when bit 3 is set, cut into datagrams and delivered in the order of bits 4-5
// (as sent, reversed, without the first, each twice). "$IP" in a text stands
// for the station's own address, so that directed texts reach it.
//
// Answers go to the loopback broadcast address on a port of this process only.
#include "common/Bytes.h"
#include "common/Cp932.h"
#include "remote/FernpostProtocol.h"
#include "remote/TFernpostNetwork.h"

#include <QCoreApplication>
#include <QUdpSocket>
#include <algorithm>
#include <cstdlib>
#include <set>

namespace {

constexpr std::string_view kDelimiter = "~~";
const char* const kSenders[] = {"127.0.0.1", "10.0.0.2", "10.0.0.3", "192.168.1.20"};
uint16_t g_port = 0;

void Check(bool condition) {
    if (!condition)
        std::abort();
}

void CheckPeers(const pim::TFernpostNetwork& fpn) {
    Check(fpn.LoginCount() <= 256);
    std::set<std::pair<std::string, std::string>> keys;
    for (const auto& peer : fpn.LoginUsers)
        Check(keys.emplace(peer.MachineName, peer.Discrimination).second);
}

// The station answers as a host with a menu would, so prompts go out too.
void Answering(pim::TFernpostNetwork& fpn) {
    using S = const std::string&;
    fpn.OnMenuRequest = [](pim::TFernpostNetwork* s, S, S machine, S kind) {
        s->InputSelect("menu", "a&:b", "A&:B", "Main", machine, kind);
    };
    fpn.OnInputReturn = [](pim::TFernpostNetwork* s, S tag, S, S, S machine, S kind) {
        if (tag == "Main")
            s->InputLine("password", "pw", "Pass", machine, kind);
        else
            s->InputMessage("done\r\n", machine, kind);
    };
}

bool Start(pim::TFernpostNetwork& fpn) {
    return fpn.Open() && fpn.Login();
}

void Act(pim::TFernpostNetwork& fpn, unsigned action) {
    switch (action & 3) {
    case 0:
        fpn.Logout();
        fpn.Login();
        break;
    case 1:
        fpn.InfoChange();
        break;
    case 2:
        fpn.MenuCheck(fpn.IPAddress(), fpn.Discrimination);
        break;
    default:
        fpn.Close();
        Start(fpn);
    }
}

void Deliver(pim::TFernpostNetwork& fpn, unsigned control, std::string_view payload, int& serial) {
    const std::string sender = kSenders[control & 3];
    if (!(control & 4)) {
        fpn.ReceiveDatagram(sender, payload);
        return;
    }
    const QDateTime sent(QDate(2026, 12, 5), QTime(13, 7, 9));
    const std::string text = pim::fpn::PacketId(sent, serial++ % 100000) +
                             pim::ReplaceAll(payload, "$IP", fpn.IPAddress());
    auto datagrams = pim::fpn::MakeDatagrams(text, control & 8);
    if (!datagrams)
        return;
    switch ((control >> 4) & 3) {
    case 1:
        std::reverse(datagrams->begin(), datagrams->end());
        break;
    case 2:
        datagrams->erase(datagrams->begin());
        break;
    case 3: {
        const auto copy = *datagrams;
        datagrams->insert(datagrams->end(), copy.begin(), copy.end());
        break;
    }
    default:
        break;
    }
    for (const std::string& datagram : *datagrams)
        fpn.ReceiveDatagram(sender, datagram);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    static QCoreApplication app(*argc, *argv);
    // A port no other program uses: the station's answers stay in this process.
    QUdpSocket probe;
    probe.bind(QHostAddress::AnyIPv4, 0);
    g_port = probe.localPort();
    return g_port == 0 ? 1 : 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    pim::TFernpostNetwork fpn;
    fpn.Discrimination = "Pim";
    fpn.HandleName = "fuzz";
    fpn.Menu = true;
    fpn.BroadcastAddress = "127.255.255.255";
    fpn.PortNo = g_port;
    fpn.Now = [] { return QDateTime(QDate(2026, 12, 5), QTime(13, 7, 10)); };
    Answering(fpn);
    Check(Start(fpn));

    const std::string_view input(reinterpret_cast<const char*>(data), size);
    int serial = 0;
    for (size_t start = 0; start <= input.size();) {
        size_t end = input.find(kDelimiter, start);
        if (end == std::string_view::npos)
            end = input.size();
        const std::string_view record = input.substr(start, end - start);
        start = end + kDelimiter.size();
        if (record.empty())
            continue;
        const auto control = static_cast<unsigned char>(record.front());
        if ((control & 0xC0) == 0xC0)
            Act(fpn, control);
        else
            Deliver(fpn, control, record.substr(1), serial);
        Check(fpn.LoginCount() <= 256);
    }
    CheckPeers(fpn);
    fpn.Close();
    Check(fpn.LoginCount() == 0);
    return 0;
}
