// Receiving one text on the Fernpost network: every datagram joins its slot and
// the slot is tested for completion. The largest text the wire carries (99999
// bytes, plain) against a 1 KB one, in order and reversed; and single datagrams
// into a slot that holds all but the last fragment of the largest text, where a
// completion test that joined the whole text each time made every datagram
// cost as much as the text (goals: a datagram under 20 us, the largest text
// under 5 ms).
#include "remote/FernpostProtocol.h"
#include "remote/TFernpostNetwork.h"

#include <QCoreApplication>
#include <QUdpSocket>
#include <algorithm>
#include <benchmark/benchmark.h>

namespace {

using pim::TFernpostNetwork;
namespace fpn = pim::fpn;

const QDateTime kNow(QDate(2026, 12, 5), QTime(13, 7, 9));

// A text for `address` and kind "Pim" of exactly `size` bytes, PacketID included;
// `serial` makes the PacketID, so consecutive texts are not taken for copies.
std::string Message(size_t size, const std::string& address, int serial) {
    std::string text =
        fpn::PacketId(kNow, serial) +
        fpn::CommandText("MESSAGE", {address, "Pim", "h", "PC", "", "FPN", "ID", ""});
    while (text.size() < size)
        text += text.size() % 64 == 63 ? '\n' : 'x';
    return text;
}

std::vector<std::string> Datagrams(const std::string& text, bool security) {
    auto datagrams = fpn::MakeDatagrams(text, security);
    if (!datagrams)
        std::abort();
    return *datagrams;
}

// Reversed: the largest text arriving last datagram first, so that the datagram
// that fills the last gap has the whole text behind it.
void Reassemble(benchmark::State& state, bool security, bool reversed = false) {
    auto datagrams = Datagrams(Message(static_cast<size_t>(state.range(0)), "", 1), security);
    if (reversed)
        std::reverse(datagrams.begin(), datagrams.end());
    std::string text;
    for (auto _ : state) {
        fpn::Reassembly reassembly;
        for (const std::string& datagram : datagrams)
            reassembly.Add("192.168.1.5", datagram, kNow, text);
        benchmark::DoNotOptimize(text);
    }
    state.counters["datagrams"] = static_cast<double>(datagrams.size());
    state.SetBytesProcessed(state.iterations() * state.range(0));
}

void BM_Reassembly(benchmark::State& state) {
    Reassemble(state, false);
}
BENCHMARK(BM_Reassembly)->Arg(1000)->Arg(fpn::kMaxTextBytes)->Unit(benchmark::kMicrosecond);

void BM_ReassemblyScrambled(benchmark::State& state) {
    Reassemble(state, true);
}
BENCHMARK(BM_ReassemblyScrambled)->Arg(1000)->Arg(49000)->Unit(benchmark::kMicrosecond);

void BM_ReassemblyReversed(benchmark::State& state) {
    Reassemble(state, false, true);
}
BENCHMARK(BM_ReassemblyReversed)->Arg(fpn::kMaxTextBytes)->Unit(benchmark::kMicrosecond);

// One datagram into a slot that holds all but the last fragment of the largest
// text: the last one itself (which completes the text), or, as a hostile
// station sends it over and over, an empty fragment in the last one's place.
void OneDatagram(benchmark::State& state, bool completing) {
    const auto datagrams = Datagrams(Message(fpn::kMaxTextBytes, "", 1), false);
    const std::string last =
        completing ? datagrams.back() : std::string{static_cast<char>(datagrams.size()), '\0'};
    std::string text;
    fpn::Reassembly reassembly;
    const auto fill = [&] {
        reassembly.Clear();
        for (size_t i = 0; i + 1 < datagrams.size(); ++i)
            reassembly.Add("192.168.1.5", datagrams[i], kNow, text);
    };
    fill();
    for (auto _ : state) {
        if (completing) {
            state.PauseTiming();
            fill();
            state.ResumeTiming();
        }
        benchmark::DoNotOptimize(reassembly.Add("192.168.1.5", last, kNow, text));
    }
}

void BM_LastDatagram(benchmark::State& state) {
    OneDatagram(state, true);
}
BENCHMARK(BM_LastDatagram)->Unit(benchmark::kMicrosecond);

void BM_RepeatedEmptyFragment(benchmark::State& state) {
    OneDatagram(state, false);
}
BENCHMARK(BM_RepeatedEmptyFragment)->Unit(benchmark::kMicrosecond);

// Through a logged-in station: reassembly, duplicate check and the handler.
// Its socket is on a free port and answers only the loopback broadcast address.
void BM_ReceiveDatagram(benchmark::State& state) {
    static int argc = 1;
    static char name[] = "fernpost_bench";
    static char* argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);

    QUdpSocket probe;
    probe.bind(QHostAddress::AnyIPv4, 0);
    TFernpostNetwork station;
    station.Discrimination = "Pim";
    station.BroadcastAddress = "127.255.255.255";
    station.PortNo = probe.localPort();
    probe.close();
    size_t received = 0;
    station.OnMessage = [&](TFernpostNetwork*, const std::string& message, auto&&...) {
        received += message.size();
    };
    if (!station.Open() || !station.Login()) {
        state.SkipWithError("cannot open a station on the loopback broadcast address");
        return;
    }
    // More distinct texts than the station remembers PacketIDs.
    std::vector<std::vector<std::string>> texts;
    for (int serial = 0; serial < 12; ++serial)
        texts.push_back(Datagrams(
            Message(static_cast<size_t>(state.range(0)), station.IPAddress(), serial), false));
    size_t next = 0;
    for (auto _ : state) {
        for (const std::string& datagram : texts[next])
            station.ReceiveDatagram("192.168.1.5", datagram);
        next = (next + 1) % texts.size();
    }
    if (received == 0)
        state.SkipWithError("no text was dispatched");
    state.counters["datagrams"] = static_cast<double>(texts[0].size());
    state.SetBytesProcessed(state.iterations() * state.range(0));
    station.Close();
}
BENCHMARK(BM_ReceiveDatagram)->Arg(1000)->Arg(fpn::kMaxTextBytes)->Unit(benchmark::kMicrosecond);

void BM_MakeDatagrams(benchmark::State& state) {
    const std::string text = Message(static_cast<size_t>(state.range(0)), "", 1);
    for (auto _ : state)
        benchmark::DoNotOptimize(fpn::MakeDatagrams(text, false));
    state.SetBytesProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_MakeDatagrams)->Arg(1000)->Arg(fpn::kMaxTextBytes)->Unit(benchmark::kMicrosecond);

} // namespace
