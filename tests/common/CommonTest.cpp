// The byte, text and number helpers every part builds on.
#include "common/Bytes.h"
#include "common/Cp932.h"
#include "common/HexKey.h"
#include "common/Numbers.h"
#include "common/Random.h"

#include <gtest/gtest.h>
#include <set>
#include <tuple>

namespace pim {
namespace {

// ReplaceAll goes left to right, never rescanning what it inserted. Case changes
// and comparisons touch only ASCII letters: bytes above 0x7F belong to CP932
// characters and must survive any locale.
TEST(Bytes, ReplaceAllAndCaseChanges) {
    EXPECT_EQ(ReplaceAll("aaa", "aa", "b"), "ba");
    EXPECT_EQ(ReplaceAll("xyz", "", "q"), "xyz");
    EXPECT_EQ(ReplaceAll("aba", "a", "aa"), "aabaa");
    EXPECT_EQ(AsciiUpper("subject: \xE9\xFF\x82\xC4z"), "SUBJECT: \xE9\xFF\x82\xC4Z");
    EXPECT_EQ(std::tuple(EqualsIgnoreAsciiCase("Account0", "ACCOUNT0"),
                         EqualsIgnoreAsciiCase("Account0", "Account01"),
                         EqualsIgnoreAsciiCase("\xE9", "\xC9")),
              std::tuple(true, false, false));
}

TEST(Cp932, ConvertsBothWaysGetaForWhatItCannotHoldAndTruncatesWhole) {
    // Paths and options pass through CP932; 0x5C must stay a backslash.
    const std::pair<std::string, std::string> fromUtf8[] = {
        {"てすと", "\x82\xC4\x82\xB7\x82\xC6"},
        {"C:\\a~b", "C:\\a~b"},
        {"x😀y한zऀ", "x\x81\xACy\x81\xACz\x81\xAC"},
        {"a\xFFz", "a\x81\xACz"},
        {"a\xE3\x81", "a\x81\xAC"}};
    for (const auto& [utf8, bytes] : fromUtf8)
        EXPECT_EQ(cp932::FromUtf8(utf8), bytes) << utf8;
    // An undefined two-byte code is one character, not a geta and an "@".
    const std::pair<std::string, std::string> toUtf8[] = {{"\x82\xC4\x82\xB7\x82\xC6", "てすと"},
                                                          {"C:\\a~b", "C:\\a~b"},
                                                          {"a\x80z", "a〓z"},
                                                          {"\x85\x40z", "〓z"},
                                                          {"ab\x82", "ab〓"}};
    for (const auto& [bytes, utf8] : toUtf8)
        EXPECT_EQ(cp932::ToUtf8(bytes), utf8) << utf8;
    EXPECT_EQ(cp932::ToUnicode("\x82\xC4"), QStringLiteral("て"));
    EXPECT_EQ(cp932::FromUnicode(u"ｱ〓ｶﾞ～"), "\xB1\x81\xAC\xB6\xDE\x81\x60");
    EXPECT_EQ(cp932::FromCharset("\xA4\xC6", "EUC-JP"), "\x82\xC4");
    EXPECT_EQ(cp932::FromCharset("x", "NO-SUCH-CHARSET"), std::nullopt);
    const std::string many = QStringLiteral("て").repeated(5000).toStdString(); // beyond one buffer
    EXPECT_EQ(cp932::FromUtf8(many).size(), 10000u);
    EXPECT_EQ(cp932::ToUtf8(cp932::FromUtf8(many)), many);
    // Truncation never splits a character.
    std::string text = "Pim - ";
    for (int i = 0; i < 32; ++i)
        text += "\x82\xA0";
    EXPECT_EQ(cp932::Truncate(text, 63), text.substr(0, 62));
    EXPECT_EQ(cp932::Truncate("abc", 63), "abc");
    EXPECT_EQ(cp932::Truncate("ab\x82\xA0", 3), "ab");
}

TEST(HexKey, EncodesWithTheKeyFirstDrawsItFrom50To199AndRoundTrips) {
    EXPECT_EQ(HexKeyEncode("AB", 0x50), "509192");
    EXPECT_EQ(HexKeyEncode("\xC0", 0x50), "5010");
    EXPECT_EQ(HexKeyEncode("", 0xC7), "C7");
    std::string all;
    for (int b = 0; b < 256; ++b)
        all.push_back(static_cast<char>(b));
    for (int key = 50; key <= 199; ++key)
        ASSERT_EQ(HexKeyDecode(HexKeyEncode(all, key)), all) << key;
    // Every key from 50 to 199 is drawn, and no other.
    SeedRandom(12345);
    std::set<int> keys;
    for (int i = 0; i < 20000; ++i)
        keys.insert(std::stoi(EncodePassword("x").substr(0, 2), nullptr, 16));
    EXPECT_EQ(keys.size(), 150u);
    EXPECT_EQ(*keys.begin(), 50);
    EXPECT_EQ(*keys.rbegin(), 199);
    // Short, odd and lower-case texts are read, as is the LAN's key 0; any group not
    // hex empties all.
    // A last group of one digit is read on its own: 5 - 0x50 + 256 = 0xB5.
    const std::pair<const char*, const char*> cases[] = {
        {"", ""},     {"50", ""},     {"509192", "AB"}, {"50919c", "AL"}, {"50915", "A\xB5"},
        {"5G91", ""}, {"5091ZZ", ""}, {"5091 2", ""},   {"50-1", ""},     {"0041", "A"}};
    for (const auto& [text, password] : cases)
        EXPECT_EQ(DecodePassword(text), password) << text;
}

TEST(ParseInteger, ReadsDecimalAndBothHexFormsAndRejectsWhatIsNotANumber) {
    const std::pair<const char*, int32_t> cases[] = {{"2", 2},
                                                     {"-5", -5},
                                                     {"+7", 7},
                                                     {"$1F", 31},
                                                     {"-$10", -16},
                                                     {"0X1f", 31},
                                                     {"$FFFFFFFF", -1},
                                                     {"0x80000000", INT32_MIN},
                                                     {"2147483647", INT32_MAX},
                                                     {"-2147483648", INT32_MIN}};
    for (const auto& [text, expected] : cases)
        EXPECT_EQ(ParseInteger(text), expected) << text;
    // "0x" alone is two characters, so it is read as decimal, and fails.
    const char* unreadable[] = {"",           "0x",          "$",    "yes",        "1.5",
                                "12a",        " 3",          "-",    "2147483648", "-2147483649",
                                "$100000000", "0x123456789", "0xG1", "--1"};
    for (const char* text : unreadable)
        EXPECT_EQ(ParseInteger(text), std::nullopt) << text;
    EXPECT_EQ(ReadInteger("yes", 42), 42);
}

} // namespace
} // namespace pim
