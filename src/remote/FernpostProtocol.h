// The Fernpost wire format without any I/O: framing, scrambling, cutting into
// datagrams, reassembly in 20 slots and the memory of the last 11 texts.
#pragma once

#include <QDateTime>
#include <algorithm>
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pim::fpn {

inline constexpr size_t kPayloadBytes = 510;
inline constexpr size_t kDatagramBytes = 512;
inline constexpr size_t kMaxTextBytes = 99999;
inline constexpr size_t kMaxDatagrams = 255;
inline constexpr size_t kPacketIdBytes = 22;
inline constexpr std::string_view kFieldSeparator = "&|";

// "%4d%2d%2d%2d%2d%2d%3d%5d" of the local time and a random number 0..99999.
std::string PacketId(const QDateTime& local, int random);

// Field `n` of a text whose fields are separated by "&|"; empty beyond the last.
std::string GetField(std::string_view text, size_t n);
// "FPMESSAGE:" + command, then each field after "&|".
std::string CommandText(std::string_view command, const std::vector<std::string>& fields);

// The datagrams that carry `text` (PacketID and command text); empty when the
// text is longer than 99999 bytes or its body needs more than 255 datagrams.
std::optional<std::vector<std::string>> MakeDatagrams(std::string_view text, bool security);
// The longest text MakeDatagrams carries: scrambled, a body takes about twice
// the room, so 255 datagrams hold 65018 bytes.
constexpr size_t MaxTextBytes(bool security) {
    // Body: the flag, then the framed text (length field + text), hex-encoded
    // after a two-digit key when scrambled; the trailing NUL counts too.
    constexpr size_t room = kMaxDatagrams * kPayloadBytes - 1 - 1;
    return security ? (room - 2) / 2 - 5 : std::min(kMaxTextBytes, room - 5);
}

// Turns the body of a text, fed fragment by fragment in order, into the text
// (from its PacketID on), as the whole body would be read at once: CR LF pairs
// dropped, unscrambled after a "1" flag, "\|" back to CR LF. Every byte is
// looked at once, so a long text costs no more than its length.
class BodyDecoder {
public:
    void Feed(std::string_view bytes);
    // Every byte the length field announces is here (bytes beyond it are kept).
    bool Complete();
    // The text; the decoder is spent afterwards.
    std::string Take();

private:
    void Unscramble(char c);
    void Unescape(char c);
    void Emit(char c);

    int flag_ = -1;
    size_t heldCr_ = 0;          // CRs an LF may still take away
    int key_ = -1;               // the scrambling key, once its two digits are here
    int digit_ = -1;             // the first digit of a pair
    bool broken_ = false;        // a scrambled body with a byte that is not hexadecimal
    bool heldBackslash_ = false; // may be the start of "\|"
    std::string length_;         // the five characters of the length field
    std::optional<long> announced_;
    std::string text_;
};

class Reassembly {
public:
    // Overflow: the text has a slot, but only by pushing out an incomplete one.
    enum class Result { Incomplete, Complete, Overflow, Dropped };

    // One datagram from `sender`; on Complete, `completed` holds the text.
    Result Add(const std::string& sender, std::string_view datagram, const QDateTime& now,
               std::string& completed);
    // Drops slots whose last fragment came more than a minute before `now`.
    void Expire(const QDateTime& now);
    void Clear();
    size_t BusySlots() const;

    static constexpr size_t kSlots = 20;
    // A station sends one text after another; more at once from one address is
    // a flood, which must not take the slots of the others.
    static constexpr size_t kSlotsPerSender = 4;

private:
    struct Slot {
        std::vector<std::string> fragments; // index = fragment number - 1; "" = not yet here
        size_t decoded = 0;                 // fragments fed to the decoder, from the first on
        BodyDecoder decoder;
        std::string sender; // empty: the slot is free
        QDateTime time;
        uint64_t used = 0; // when the slot last took a fragment, in datagrams
    };
    // Places the fragment; true when the slot's text is complete.
    static bool Place(Slot& slot, size_t index, std::string_view payload);

    std::array<Slot, kSlots> slots_;
    uint64_t serial_ = 0;
};

// The PacketIDs of the last 11 texts, newest first.
class PacketHistory {
public:
    // True when `id` is among them; otherwise remembers it and returns false.
    bool Seen(const std::string& id);
    void Clear() { ids_.fill({}); }

private:
    std::array<std::string, 11> ids_;
};

} // namespace pim::fpn
