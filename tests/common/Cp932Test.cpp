#include "common/Cp932.h"

#include <gtest/gtest.h>

namespace pim {
namespace {

const std::string kTesuto = "\x82\xC4\x82\xB7\x82\xC6"; // てすと

TEST(Cp932, ConvertsJapaneseBothWays) {
    EXPECT_EQ(cp932::FromUtf8("てすと"), kTesuto);
    EXPECT_EQ(cp932::ToUtf8(kTesuto), "てすと");
    EXPECT_EQ(cp932::ToUnicode(kTesuto), QStringLiteral("てすと"));
    EXPECT_EQ(cp932::FromUnicode(u"ｱ〓ｶﾞ～"), "\xB1\x81\xAC\xB6\xDE\x81\x60");
}

TEST(Cp932, KeepsBackslashAndTildeAsAscii) {
    // Paths and options pass through CP932; 0x5C must stay a backslash.
    EXPECT_EQ(cp932::FromUtf8("C:\\a~b"), "C:\\a~b");
    EXPECT_EQ(cp932::ToUtf8("C:\\a~b"), "C:\\a~b");
}

TEST(Cp932, WhatCp932CannotHoldBecomesOneGetaEach) {
    EXPECT_EQ(cp932::FromUtf8("a😀b한c"), "a\x81\xAC"
                                         "b\x81\xAC"
                                         "c");
    EXPECT_EQ(cp932::FromUtf8("a\xFFz"), "a\x81\xAC"
                                         "z");
    EXPECT_EQ(cp932::FromUtf8("a\xE3\x81"), "a\x81\xAC");
}

TEST(Cp932, MalformedBytesBecomeGetaAndTheRestSurvives) {
    EXPECT_EQ(cp932::ToUtf8("a\x80z"), "a〓z");
    // An undefined two-byte code is one character, not a geta and an "@".
    EXPECT_EQ(cp932::ToUtf8("\x85\x40z"), "〓z");
    EXPECT_EQ(cp932::ToUtf8("ab\x82"), "ab〓");
}

TEST(Cp932, ConvertsTextsLongerThanOneBuffer) {
    std::string utf8;
    for (int i = 0; i < 5000; ++i)
        utf8 += "て";
    const std::string bytes = cp932::FromUtf8(utf8);
    EXPECT_EQ(bytes.size(), 10000u);
    EXPECT_EQ(cp932::ToUtf8(bytes), utf8);
}

TEST(Cp932, ConvertsFromOtherCharsets) {
    EXPECT_EQ(cp932::FromCharset("\xA4\xC6", "EUC-JP"), "\x82\xC4");
    EXPECT_EQ(cp932::FromCharset("caf\xE9", "ISO-8859-1"), "caf\x81\xAC");
    EXPECT_EQ(cp932::FromCharset("x", "NO-SUCH-CHARSET"), std::nullopt);
}

} // namespace
} // namespace pim

namespace pim {
namespace {

TEST(Cp932, TruncationNeverSplitsACharacter) {
    // "Pim - " and 32 two-byte characters: 70 bytes.
    std::string text = "Pim - ";
    for (int i = 0; i < 32; ++i)
        text += "\x82\xA0";
    const std::string tip = cp932::Truncate(text, 63);
    EXPECT_EQ(tip.size(), 62u);
    EXPECT_EQ(cp932::ToUtf8(tip).find("〓"), std::string::npos);
    EXPECT_EQ(cp932::Truncate("abc", 63), "abc");
    EXPECT_EQ(cp932::Truncate("ab\x82\xA0", 3), "ab");
}

} // namespace
} // namespace pim
