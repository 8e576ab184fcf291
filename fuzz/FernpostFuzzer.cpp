// Arbitrary datagrams from a few senders reach a logged-in station that answers
// menu requests and prompts: it never crashes, and its peer table keeps at most
// 256 records, one per (machine, kind).
//
// The input is a sequence of records separated by "~~". A record's first byte
// picks what it is: bits 0-1 the sender (one of four addresses); with bits 6-7
// both set and bit 5 clear, an action of the station itself (bits 0-1: log in
// again, announce a change, ask itself for its menu, restart); otherwise bit 2
// says whether the rest is one raw datagram (0) or a command text (1) that is
// framed, scrambled when bit 3 is set, cut into datagrams and delivered in the
// order of bits 4-5 (as sent, reversed, without the first, each twice). "$IP" in
// a text stands for the station's own address, so that directed texts reach it.
//
// With bits 5-7 all set, the record is a body instead, read in pieces by
// BodyDecoder (or, with bit 2, by a Reassembly in an order of its own) and by
// the plain rule for a whole body, which must agree. Bits 0-1: the rest is the
// body as it stands (0), or a text framed as a station frames it (1), framed
// with its CR LF pairs kept and a length the seed picks (2), framed and
// scrambled (3); bits 3-4: pieces of 0-2, 0-16, 1-510 or 510 bytes. The byte
// after the first seeds the length, the cutting, the order and the key. A
// station is started only for records of the other kinds.
//
// Answers go to the loopback broadcast address on a port of this process only.
#include "common/Bytes.h"
#include "common/Cp932.h"
#include "common/HexKey.h"
#include "remote/FernpostProtocol.h"
#include "remote/TFernpostNetwork.h"

#include <QCoreApplication>
#include <QUdpSocket>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <numeric>
#include <optional>
#include <set>
#include <span>
#include <vector>

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

// The body as the reassembly read it before it decoded fragments on arrival:
// the fragments joined with CR LF after each, every CR LF pair removed, the
// flag, unscrambling after "1", "\|" back to CR LF, then the length field.
std::optional<std::string> WholeBody(std::span<const std::string_view> fragments) {
    std::string joined;
    for (const std::string_view fragment : fragments) {
        joined += fragment;
        joined += "\r\n";
    }
    // Removing a pair and scanning again from the start leaves what a stack leaves.
    std::string text;
    text.reserve(joined.size());
    for (const char c : joined) {
        if (c == '\n' && !text.empty() && text.back() == '\r')
            text.pop_back();
        else
            text.push_back(c);
    }
    if (text.empty())
        return std::nullopt;
    const char flag = text.front();
    text.erase(0, 1);
    if (flag == '1') {
        if (text.size() % 2 != 0)
            return std::nullopt;
        text = pim::HexKeyDecode(text);
    }
    text = pim::ReplaceAll(text, "\\|", "\r\n");
    if (text.size() < 5)
        return std::nullopt;
    // Leading spaces, a sign, then nothing but digits.
    const std::string_view field = std::string_view(text).substr(0, 5);
    size_t i = std::min(field.find_first_not_of(' '), field.size());
    const bool negative = i < field.size() && field[i] == '-';
    if (i < field.size() && (field[i] == '-' || field[i] == '+'))
        ++i;
    if (i == field.size())
        return std::nullopt;
    long length = 0;
    for (; i < field.size(); ++i) {
        if (field[i] < '0' || field[i] > '9')
            return std::nullopt;
        length = length * 10 + (field[i] - '0');
    }
    if (static_cast<long>(text.size()) < (negative ? -length : length) + 5)
        return std::nullopt;
    return text.substr(5);
}

struct Dice {
    uint32_t state;
    size_t Roll(size_t faces) {
        state = state * 1103515245u + 12345u;
        return (state >> 16) % faces;
    }
    // Whether to compare after step `i` of `n`: the whole body is read again
    // each time, so a long body is compared at about 32 steps and the last.
    bool Compare(size_t i, size_t n) { return n <= 32 || i + 1 == n || Roll(n) < 32; }
};

// Pieces of at least `least` bytes, so that a reassembly needs at most 255.
std::vector<std::string_view> Cut(std::string_view body, unsigned sizes, size_t least, Dice& dice) {
    static constexpr size_t kBounds[][2] = {{0, 2}, {0, 16}, {1, 510}, {510, 510}};
    const size_t lo = std::max(kBounds[sizes][0], least);
    const size_t hi = std::max(kBounds[sizes][1], lo);
    std::vector<std::string_view> pieces;
    for (size_t at = 0; at < body.size();) {
        const size_t size = std::min(lo + dice.Roll(hi - lo + 1), body.size() - at);
        pieces.push_back(body.substr(at, size));
        at += size;
    }
    return pieces;
}

void CheckDecoder(std::span<const std::string_view> pieces, Dice& dice) {
    pim::fpn::BodyDecoder decoder;
    for (size_t i = 0; i < pieces.size(); ++i) {
        decoder.Feed(pieces[i]);
        if (!dice.Compare(i, pieces.size()))
            continue;
        const auto expected = WholeBody(pieces.first(i + 1));
        Check(decoder.Complete() == expected.has_value());
        if (expected) {
            Check(decoder.Take() == *expected);
            return;
        }
    }
}

void CheckReassembly(std::span<const std::string_view> pieces, Dice& dice) {
    std::vector<size_t> order(pieces.size());
    std::iota(order.begin(), order.end(), size_t{0});
    const size_t how = dice.Roll(3); // as sent, reversed, shuffled
    if (how == 1)
        std::reverse(order.begin(), order.end());
    else if (how == 2)
        for (size_t i = order.size(); i > 1; --i)
            std::swap(order[i - 1], order[dice.Roll(i)]);

    pim::fpn::Reassembly buffers;
    const QDateTime now(QDate(2026, 12, 5), QTime(13, 7, 10));
    std::vector<std::string_view> arrived(pieces.size());
    for (size_t k = 0; k < order.size(); ++k) {
        const size_t i = order[k];
        std::string datagram(1, static_cast<char>(i + 1));
        datagram += pieces[i];
        datagram.push_back('\0');
        arrived[i] = pieces[i].substr(0, pieces[i].find('\0'));
        std::string text;
        const auto result = buffers.Add(kSenders[1], datagram, now, text);
        const bool complete = result == pim::fpn::Reassembly::Result::Complete;
        Check(complete || result == pim::fpn::Reassembly::Result::Incomplete);
        if (!complete && !dice.Compare(k, order.size()))
            continue;
        // The text is read up to the first fragment missing; an empty one is missing.
        const auto gap = std::find(arrived.begin(), arrived.end(), std::string_view());
        const auto expected = WholeBody(std::span(arrived.begin(), gap));
        Check(complete == expected.has_value());
        if (complete) {
            Check(text == *expected);
            return;
        }
    }
}

void CheckBody(unsigned control, std::string_view record) {
    if (record.empty())
        return;
    const auto seed = static_cast<unsigned char>(record.front());
    Dice dice{seed};
    const std::string_view rest = record.substr(1);
    if (rest.size() > pim::fpn::kMaxTextBytes)
        return;
    std::string body(rest);
    if (control & 3) {
        // With its pairs kept a text reads shorter than framed; a length the
        // seed picks, mostly within the text, still lets it complete.
        const bool kept = (control & 3) == 2;
        char length[8];
        std::snprintf(length, sizeof length, "%5zu",
                      kept ? dice.Roll(rest.size() + 1) : rest.size());
        const std::string framed =
            kept ? length + body : pim::ReplaceAll(length + body, "\r\n", "\\|");
        body = (control & 3) == 3 ? "1" + pim::HexKeyEncode(framed, seed) : "0" + framed;
    }
    const size_t least = (body.size() + pim::fpn::kMaxDatagrams - 1) / pim::fpn::kMaxDatagrams;
    if (!(control & 4))
        CheckDecoder(Cut(body, (control >> 3) & 3, 0, dice), dice);
    else if (least <= pim::fpn::kPayloadBytes)
        CheckReassembly(Cut(body, (control >> 3) & 3, least, dice), dice);
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
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    std::vector<std::string_view> records;
    for (size_t start = 0; start <= input.size();) {
        size_t end = input.find(kDelimiter, start);
        if (end == std::string_view::npos)
            end = input.size();
        const std::string_view record = input.substr(start, end - start);
        start = end + kDelimiter.size();
        if (record.empty())
            continue;
        const auto control = static_cast<unsigned char>(record.front());
        if ((control & 0xE0) == 0xE0)
            CheckBody(control, record.substr(1));
        else
            records.push_back(record);
    }
    // Bodies alone need no station, and go faster without one.
    if (records.empty())
        return 0;

    pim::TFernpostNetwork fpn;
    fpn.Discrimination = "Pim";
    fpn.HandleName = "fuzz";
    fpn.Menu = true;
    fpn.BroadcastAddress = "127.255.255.255";
    fpn.PortNo = g_port;
    fpn.Now = [] { return QDateTime(QDate(2026, 12, 5), QTime(13, 7, 10)); };
    Answering(fpn);
    Check(Start(fpn));

    int serial = 0;
    for (const std::string_view record : records) {
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
