#include "remote/FernpostProtocol.h"

#include "common/Bytes.h"
#include "common/HexKey.h"
#include "common/Numbers.h"

#include <algorithm>
#include <cstdio>
#include <limits>

namespace pim::fpn {

namespace {

constexpr std::string_view kCrLf = "\r\n";
constexpr std::string_view kWireCrLf = "\\|";

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
    std::string body(1, security ? '1' : '0');
    body += security ? HexKeyEncode(framed) : framed;

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

// The body is read as every station reads it: the fragments joined with CR LF
// after each, then every CR LF pair removed, scanning again after each removal.
// A joint's own pair removes itself; what is left is the removal of pairs over
// the plain concatenation, where a CR stays open until the next byte shows
// whether an LF takes it away.
void BodyDecoder::Feed(std::string_view bytes) {
    for (const char c : bytes) {
        if (c == '\n' && heldCr_ > 0) {
            --heldCr_;
        } else if (c == '\r') {
            ++heldCr_;
        } else {
            for (; heldCr_ > 0; --heldCr_)
                Unscramble('\r');
            Unscramble(c);
        }
    }
}

void BodyDecoder::Unscramble(char c) {
    if (flag_ < 0) {
        // Any byte is the flag; one above 0x7F must not read as none yet.
        flag_ = static_cast<unsigned char>(c);
        return;
    }
    if (flag_ != '1') {
        Unescape(c);
        return;
    }
    if (broken_)
        return;
    const int value = HexDigitValue(c);
    if (value < 0) {
        broken_ = true; // the whole text unscrambles to nothing
        return;
    }
    if (digit_ < 0) {
        digit_ = value;
        return;
    }
    const int pair = digit_ * 16 + value;
    digit_ = -1;
    if (key_ < 0)
        key_ = pair;
    else
        Unescape(static_cast<char>((pair - key_ + 256) & 0xFF));
}

void BodyDecoder::Unescape(char c) {
    if (heldBackslash_) {
        heldBackslash_ = false;
        if (c == '|') {
            Emit('\r');
            Emit('\n');
            return;
        }
        Emit('\\');
    }
    if (c == '\\')
        heldBackslash_ = true;
    else
        Emit(c);
}

void BodyDecoder::Emit(char c) {
    if (length_.size() < 5)
        length_.push_back(c);
    else
        text_.push_back(c);
}

bool BodyDecoder::Complete() {
    if (flag_ < 0 || length_.size() < 5)
        return false;
    // What is held back still counts: the body may end here.
    size_t held = heldBackslash_ ? 1 : 0;
    if (flag_ == '1') {
        // Only whole bytes count: a lone last digit would decode into a wrong
        // byte and let the text complete one datagram early.
        if (broken_ || digit_ >= 0 || heldCr_ > 0)
            return false;
    } else {
        held += heldCr_;
    }
    if (!announced_) {
        announced_ = ReadLength(length_);
        // A length field that is not a number never completes.
        if (!announced_)
            announced_ = std::numeric_limits<long>::max();
    }
    return static_cast<long>(text_.size() + held) >= *announced_;
}

std::string BodyDecoder::Take() {
    if (heldBackslash_)
        text_.push_back('\\');
    if (flag_ != '1')
        text_.append(heldCr_, '\r');
    heldBackslash_ = false;
    heldCr_ = 0;
    return std::move(text_);
}

bool Reassembly::Place(Slot& slot, size_t index, std::string_view payload) {
    if (slot.fragments.size() <= index)
        slot.fragments.resize(index + 1);
    slot.fragments[index] = std::string(payload);
    // The text is read from its first fragment on, up to the first gap; the
    // fragment that fills a gap brings those behind it along.
    while (slot.decoded < slot.fragments.size() && !slot.fragments[slot.decoded].empty())
        slot.decoder.Feed(slot.fragments[slot.decoded++]);
    return slot.decoded > 0 && slot.decoder.Complete();
}

Reassembly::Result Reassembly::Add(const std::string& sender, std::string_view datagram,
                                   const QDateTime& now, std::string& completed) {
    // Fragment number 0 would stand before the first fragment. No station
    // sends more than 512 bytes: a longer datagram is not cut to size but dropped.
    if (datagram.empty() || datagram.front() == '\0' || datagram.size() > kDatagramBytes)
        return Result::Dropped;
    const size_t index = static_cast<unsigned char>(datagram.front()) - 1u;
    std::string_view payload = datagram.substr(1);
    payload = payload.substr(0, payload.find('\0'));

    // A slot of this sender still missing that fragment takes it; of several,
    // the one in use last, which holds the text being sent now.
    Slot* chosen = nullptr;
    Slot* free = nullptr;
    Slot* oldest = nullptr;
    Slot* oldestOwn = nullptr;
    size_t own = 0;
    bool copy = false;
    for (Slot& slot : slots_) {
        if (slot.sender.empty()) {
            free = &slot;
            continue;
        }
        if (!oldest || slot.used < oldest->used)
            oldest = &slot;
        if (slot.sender != sender)
            continue;
        ++own;
        if (!oldestOwn || slot.used < oldestOwn->used)
            oldestOwn = &slot;
        if (slot.fragments.size() <= index || slot.fragments[index].empty()) {
            if (!chosen || slot.used > chosen->used)
                chosen = &slot;
        } else if (slot.fragments[index] == payload) {
            copy = true;
        }
    }
    ++serial_;
    if (chosen) {
        chosen->time = now;
        chosen->used = serial_;
        if (!Place(*chosen, index, payload))
            return Result::Incomplete;
        completed = chosen->decoder.Take();
        *chosen = Slot{};
        return Result::Complete;
    }
    // A fragment this sender's slots hold already is a copy; only another
    // fragment of that number starts another text.
    if (copy)
        return Result::Dropped;

    Slot fresh;
    fresh.sender = sender;
    fresh.time = now;
    fresh.used = serial_;
    // A text of one datagram needs no slot, so a flood of partial texts
    // cannot keep it out.
    if (Place(fresh, index, payload)) {
        completed = fresh.decoder.Take();
        return Result::Complete;
    }
    Slot* target = own >= kSlotsPerSender ? oldestOwn : free ? free : oldest;
    const bool pushedOut = !target->sender.empty();
    *target = std::move(fresh);
    return pushedOut ? Result::Overflow : Result::Incomplete;
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
