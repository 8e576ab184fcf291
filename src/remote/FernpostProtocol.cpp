#include "remote/FernpostProtocol.h"

#include "common/Bytes.h"
#include "common/HexKey.h"

#include <cstdio>

namespace pim::fpn {

namespace {

constexpr std::string_view kCrLf = "\r\n";
constexpr std::string_view kWireCrLf = "\\|";

// Removes every CR LF pair, scanning again after each removal as the original
// does: a CR before a removed pair and an LF after it form a new pair. A stack
// gives the same result in one pass.
std::string RemoveCrLfPairs(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        if (c == '\n' && !out.empty() && out.back() == '\r')
            out.pop_back();
        else
            out.push_back(c);
    }
    return out;
}

// The length field: five characters, leading spaces allowed, then a decimal number.
std::optional<long> ReadLength(std::string_view field) {
    size_t i = 0;
    while (i < field.size() && field[i] == ' ')
        ++i;
    bool negative = false;
    if (i < field.size() && (field[i] == '-' || field[i] == '+'))
        negative = field[i++] == '-';
    if (i == field.size())
        return std::nullopt;
    long value = 0;
    for (; i < field.size(); ++i) {
        if (field[i] < '0' || field[i] > '9')
            return std::nullopt;
        value = value * 10 + (field[i] - '0');
    }
    return negative ? -value : value;
}

} // namespace

std::string PacketId(const QDateTime& local, int random) {
    const QDate date = local.date();
    const QTime time = local.time();
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%4d%2d%2d%2d%2d%2d%3d%5d", date.year(), date.month(),
                  date.day(), time.hour(), time.minute(), time.second(), time.msec(), random);
    return buffer;
}

std::string GetField(std::string_view text, size_t n) {
    size_t start = 0;
    for (size_t i = 0; i < n; ++i) {
        const size_t next = text.find(kFieldSeparator, start);
        if (next == std::string_view::npos)
            return {};
        start = next + kFieldSeparator.size();
    }
    const size_t end = text.find(kFieldSeparator, start);
    return std::string(text.substr(start, end == std::string_view::npos ? end : end - start));
}

std::string CommandText(std::string_view command, const std::vector<std::string>& fields) {
    std::string text = "FPMESSAGE:" + std::string(command);
    for (const std::string& field : fields) {
        text += kFieldSeparator;
        text += field;
    }
    return text;
}

std::optional<std::vector<std::string>> MakeDatagrams(std::string_view text, bool security) {
    if (text.size() > kMaxTextBytes)
        return std::nullopt;
    char length[8];
    std::snprintf(length, sizeof length, "%5zu", text.size());
    const std::string framed =
        ReplaceAll(std::string(length) + std::string(text), kCrLf, kWireCrLf);
    const std::string body = security ? "1" + HexKeyEncode(framed) : "0" + framed;

    // The trailing NUL counts as a byte of the body: a body of a multiple of 510
    // bytes ends with a datagram of its number and the NUL alone.
    const size_t count = (body.size() + 1 + kPayloadBytes - 1) / kPayloadBytes;
    if (count > kMaxDatagrams)
        return std::nullopt;
    std::vector<std::string> datagrams;
    datagrams.reserve(count);
    for (size_t i = 0; i < count; ++i) {
        const std::string_view payload =
            std::string_view(body).substr(std::min(body.size(), i * kPayloadBytes), kPayloadBytes);
        std::string datagram(1, static_cast<char>(i + 1));
        datagram += payload;
        datagram.push_back('\0');
        // A final fragment of 509 bytes goes out as a full datagram, with two NULs.
        if (payload.size() == kPayloadBytes - 1)
            datagram.push_back('\0');
        datagrams.push_back(std::move(datagram));
    }
    return datagrams;
}

std::optional<std::string> CompleteText(const std::vector<std::string>& fragments) {
    // The first fragment holds the flag and the length: without it a later
    // fragment's bytes would be read as both, and could "complete" a wrong text.
    if (fragments.empty() || fragments.front().empty())
        return std::nullopt;
    std::string joined;
    for (const std::string& fragment : fragments) {
        joined += fragment;
        joined += kCrLf;
    }
    std::string text = RemoveCrLfPairs(joined);
    if (text.empty())
        return std::nullopt;
    const char flag = text.front();
    text.erase(0, 1);
    if (flag == '1') {
        // Only whole bytes count: a lone last digit would decode into a wrong byte
        // and let the text complete one datagram early.
        if (text.size() % 2 != 0)
            return std::nullopt;
        text = HexKeyDecode(text);
    }
    text = ReplaceAll(text, kWireCrLf, kCrLf);
    if (text.size() < 5)
        return std::nullopt;
    const auto length = ReadLength(std::string_view(text).substr(0, 5));
    if (!length || static_cast<long>(text.size()) < *length + 5)
        return std::nullopt;
    return text.substr(5);
}

Reassembly::Result Reassembly::Add(const std::string& sender, std::string_view datagram,
                                   const QDateTime& now, std::string& completed) {
    // Fragment number 0 would stand before the first fragment.
    if (datagram.empty() || datagram.front() == '\0')
        return Result::Dropped;
    const size_t index = static_cast<unsigned char>(datagram.front()) - 1u;

    Slot* chosen = nullptr;
    Slot* free = nullptr;
    for (Slot& slot : slots_) {
        if (slot.sender == sender &&
            (slot.fragments.size() <= index || slot.fragments[index].empty()))
            chosen = &slot;
        if (slot.sender.empty())
            free = &slot;
    }
    if (!chosen)
        chosen = free;
    if (!chosen)
        return Result::Overflow;

    chosen->sender = sender;
    chosen->time = now;
    std::string_view payload = datagram.substr(1, kDatagramBytes - 1);
    payload = payload.substr(0, payload.find('\0'));
    if (chosen->fragments.size() <= index)
        chosen->fragments.resize(index + 1);
    chosen->fragments[index] = std::string(payload);

    auto text = CompleteText(chosen->fragments);
    if (!text)
        return Result::Incomplete;
    completed = std::move(*text);
    *chosen = Slot{};
    return Result::Complete;
}

void Reassembly::Expire(const QDateTime& now) {
    for (Slot& slot : slots_) {
        if (slot.time.isValid() && slot.time.msecsTo(now) > 60 * 1000)
            slot = Slot{};
    }
}

void Reassembly::Clear() {
    slots_.fill(Slot{});
}

size_t Reassembly::BusySlots() const {
    return static_cast<size_t>(std::count_if(slots_.begin(), slots_.end(),
                                             [](const Slot& s) { return !s.sender.empty(); }));
}

bool PacketHistory::Seen(const std::string& id) {
    if (std::find(ids_.begin(), ids_.end(), id) != ids_.end())
        return true;
    std::move_backward(ids_.begin(), ids_.end() - 1, ids_.end());
    ids_.front() = id;
    return false;
}

} // namespace pim::fpn
