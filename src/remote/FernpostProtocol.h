// The Fernpost wire format without any I/O: framing, scrambling, cutting into
// datagrams, reassembly in 20 slots and the memory of the last 11 texts.
#pragma once

#include <QDateTime>
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

// The completion test of a reassembly slot: the text (from its PacketID on) once
// every byte the length field announces has arrived, else empty.
std::optional<std::string> CompleteText(const std::vector<std::string>& fragments);

class Reassembly {
public:
    enum class Result { Incomplete, Complete, Overflow, Dropped };

    // One datagram from `sender`; on Complete, `completed` holds the text.
    Result Add(const std::string& sender, std::string_view datagram, const QDateTime& now,
               std::string& completed);
    // Drops slots whose last fragment came more than a minute before `now`.
    void Expire(const QDateTime& now);
    void Clear();
    size_t BusySlots() const;

    static constexpr size_t kSlots = 20;

private:
    struct Slot {
        std::vector<std::string> fragments; // index = fragment number - 1; "" = not yet here
        std::string sender;                 // empty: the slot is free
        QDateTime time;
    };
    std::array<Slot, kSlots> slots_;
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
