// The wire format byte for byte, and reassembly of every kind of arrival.
#include "remote/FernpostProtocol.h"

#include "common/HexKey.h"

#include <gtest/gtest.h>

namespace pim::fpn {
namespace {

using namespace std::string_literals;
using R = Reassembly::Result;
const QDateTime kNow(QDate(2026, 12, 6), QTime(10, 0, 0));

// Letters with a CR LF now and then, which travels as "\|", at times across two datagrams.
std::string TextOf(size_t bytes) {
    std::string text(bytes, 'x');
    for (size_t i = 0; i < bytes; ++i)
        text[i] = i % 37 == 35 ? '\r' : i % 37 == 36 ? '\n' : static_cast<char>('A' + i % 26);
    return text;
}

TEST(FernpostWire, BodiesAreCutAt510BytesWithATrailingNulCarryNoCrLfAndHaveABound) {
    EXPECT_EQ(*MakeDatagrams("a\r\nbc", false), std::vector{"\0010    5a\\|bc\0"s});
    // Body = flag + length field + text. A last fragment of 509 bytes goes out
    // whole with two NULs; after one of 510 the NUL has a datagram of its own.
    const auto one = *MakeDatagrams(TextOf(503), false);
    ASSERT_EQ(one.size(), 1u);
    EXPECT_EQ(one[0].substr(0, 7) + one[0].substr(510), "\0010  503\0\0"s);
    for (const auto& [bytes, count] : {std::pair{504u, 2u}, {1014u, 3u}}) {
        const auto d = *MakeDatagrams(TextOf(bytes), false);
        ASSERT_EQ(d.size(), count);
        EXPECT_EQ(d[count - 2].size(), 512u);
        EXPECT_EQ(d.back(), std::string(1, static_cast<char>(count)) + '\0');
    }
    // Texts the wire cannot carry are refused. Scrambled, a text needs about
    // twice the room: 255 datagrams hold ~65 KB.
    for (const bool security : {false, true}) {
        const size_t most = MaxTextBytes(security);
        EXPECT_TRUE(MakeDatagrams(TextOf(most), security).has_value()) << security;
        EXPECT_FALSE(MakeDatagrams(TextOf(most + 1), security).has_value()) << security;
        Reassembly buffers; // and the longest comes back whole
        std::string text;
        const auto datagrams = MakeDatagrams(TextOf(most), security);
        for (const std::string& datagram : *datagrams)
            buffers.Add("10.0.0.1", datagram, kNow, text);
        EXPECT_EQ(text, TextOf(most));
    }
    EXPECT_EQ(std::pair(MaxTextBytes(false), MaxTextBytes(true)),
              std::pair(kMaxTextBytes, 65018ul));
}

TEST(FernpostWire, PacketIdsFieldsAndTheMemoryOfTheLastTexts) {
    EXPECT_EQ(PacketId(QDateTime(QDate(2026, 1, 5), QTime(9, 3, 7, 42)), 17),
              "2026 1 5 9 3 7 42   17");
    EXPECT_EQ(PacketId(QDateTime(QDate(2026, 12, 31), QTime(23, 59, 59, 999)), 99999),
              "2026123123595999999999");
    const std::string logout = CommandText("LOGOUT", {"PC01", "Pim"});
    EXPECT_EQ(logout, "FPMESSAGE:LOGOUT&|PC01&|Pim");
    EXPECT_EQ(GetField(logout, 0) + "," + GetField(logout, 2) + "," + GetField(logout, 3) + "," +
                  GetField("a&|&|c", 1) + "," + GetField("a&|&|c", 2),
              "FPMESSAGE:LOGOUT,Pim,,,c");
    // The PacketIDs of the last eleven texts are remembered.
    PacketHistory history;
    for (int i = 0; i < 11; ++i)
        EXPECT_FALSE(history.Seen("id" + std::to_string(i)));
    EXPECT_TRUE(history.Seen("id0"));
    EXPECT_FALSE(history.Seen("id11")); // pushes id0 out
    EXPECT_FALSE(history.Seen("id0"));
}

TEST(FernpostReassembly, TheBodyIsReadAsAWholeWouldBe) {
    // Fragments as a station might send them, not only as MakeDatagrams cuts.
    const struct {
        std::vector<std::string> payloads;
        std::optional<std::string> text;
    } cases[] = {
        {{"0    5ab\r", "\ncde"}, "abcde"},                         // a CR LF pair across fragments
        {{"0    4a\\", "|b"}, "a\r\nb"},                            // "\|" across fragments
        {{"0    3a\rb"}, "a\rb"},                                   // a lone CR stays
        {{"0    2a\r\r\n\nb"}, "ab"},                               // a removal makes another pair
        {{"0    3ab\r"}, "ab\r"},                                   // a CR at the very end counts
        {{"0    3ab\\"}, "ab\\"},                                   // as does a backslash
        {{"0    2abc"}, "abc"},                                     // bytes beyond the length stay
        {{"0    4abc"}, std::nullopt},                              // one short
        {{"0   +4abc"}, std::nullopt},                              // with a sign too
        {{"0 12x4FPMESSAGE:X"}, std::nullopt},                      // a length that is no number
        {{"1" + HexKeyEncode("    2ab", 77)}, "ab"},                // scrambled
        {{"1" + HexKeyEncode("    2ab", 0)}, "ab"},                 // with the key 0
        {{"1" + HexKeyEncode("    2ab", 77) + "ZZ"}, std::nullopt}, // a byte that is no digit
        {{"x    2ab"}, "ab"},                                       // any other flag is plain
        {{"\xA5    2ab"}, "ab"},                                    // a flag byte above 0x7F too
        {{"0   "}, std::nullopt},                                   // a length field cut short
    };
    for (const auto& c : cases) {
        Reassembly buffers;
        std::string text;
        std::optional<std::string> result; // once complete
        for (size_t i = 0; i < c.payloads.size(); ++i)
            if (buffers.Add("10.0.0.1", static_cast<char>(i + 1) + c.payloads[i] + '\0', kNow,
                            text) == R::Complete)
                result = text;
        EXPECT_EQ(result, c.text) << c.payloads[0];
    }
}

// Neither takes a slot, nor keeps a text from completing.
TEST(FernpostReassembly, CopiesAndDatagramsNoStationSendsAddNothing) {
    const std::string text = TextOf(1200);
    auto d = *MakeDatagrams(text, true);
    ASSERT_EQ(d.size(), 5u);
    const std::string whole = (*MakeDatagrams(TextOf(503), false))[0];
    // 5: the last fragment, empty, again in the place of the missing one; then
    // empty, fragment number 0, longer than 512 bytes (not cut to size), and a whole text.
    d.insert(d.end(), {"\x05\0"s, "", "\0000    1x\0"s, whole + "t", whole});
    Reassembly buffers;
    std::string out;
    const std::pair<int, R> arrivals[] = {
        {0, R::Incomplete}, {0, R::Dropped},    {1, R::Incomplete}, {1, R::Dropped},
        {0, R::Dropped},    {3, R::Incomplete}, {3, R::Dropped},    {5, R::Incomplete},
        {5, R::Incomplete}, {6, R::Dropped},    {7, R::Dropped},    {8, R::Dropped},
        {9, R::Complete},   {2, R::Incomplete}, {4, R::Complete}};
    for (size_t i = 0; i < std::size(arrivals); ++i) {
        EXPECT_EQ(buffers.Add("10.0.0.1", d[arrivals[i].first], kNow, out), arrivals[i].second)
            << i;
        EXPECT_EQ(buffers.BusySlots(), i + 1 < std::size(arrivals) ? 1u : 0u) << i;
    }
    EXPECT_EQ(out, text);
    // A text that never completes goes after a minute.
    EXPECT_EQ(buffers.Add("10.0.0.1", "\0010 12x4FPMESSAGE:X\0"s, kNow, out), R::Incomplete);
    buffers.Expire(kNow.addSecs(60));
    EXPECT_EQ(buffers.BusySlots(), 1u);
    buffers.Expire(kNow.addMSecs(60001));
    EXPECT_EQ(buffers.BusySlots(), 0u);
}

TEST(FernpostReassembly, AFloodCannotTakeTheSlotsOfOthers) {
    Reassembly buffers;
    std::string out;
    std::vector<std::vector<std::string>> texts;
    for (int i = 0; i < 30; ++i)
        texts.push_back(*MakeDatagrams(std::to_string(i) + TextOf(1100), false));
    const auto add = [&](const std::string& sender, int text, size_t fragment) {
        return buffers.Add(sender, texts[text][fragment], kNow, out);
    };
    // One address holds four texts at most: a fifth pushes out its own oldest.
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(add("10.0.0.1", i, 0), R::Incomplete) << i;
    EXPECT_EQ(add("10.0.0.1", 4, 0), R::Overflow);
    for (int i = 0; i < 16; ++i)
        EXPECT_EQ(add("10.0.1." + std::to_string(i), 5 + i, 0), R::Incomplete) << i;
    EXPECT_EQ(buffers.BusySlots(), 20u);
    // A text of one datagram needs no slot and pushes nobody out.
    EXPECT_EQ(buffers.Add("10.0.2.1", "\0010    1x\0"s, kNow, out), R::Complete);
    // A longer one takes the slot of the oldest incomplete text, 10.0.0.1's second.
    EXPECT_EQ(add("10.0.2.1", 25, 0), R::Overflow);
    for (const auto& [sender, text] :
         {std::pair{"10.0.2.1", 25}, {"10.0.0.1", 4}, {"10.0.1.0", 5}, {"10.0.1.15", 20}}) {
        EXPECT_EQ(add(sender, text, 1), R::Incomplete) << text;
        EXPECT_EQ(add(sender, text, 2), R::Complete) << text;
        EXPECT_EQ(out, std::to_string(text) + TextOf(1100));
    }
    EXPECT_EQ(buffers.BusySlots(), 16u);
}

} // namespace
} // namespace pim::fpn
