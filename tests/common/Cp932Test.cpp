#include "common/Cp932.h"

#include <gtest/gtest.h>

namespace pim {
namespace {

TEST(Cp932, ConvertsBothWaysAndWhatItCannotHoldBecomesOneGetaEach) {
    // Paths and options pass through CP932; 0x5C must stay a backslash.
    const std::pair<std::string, std::string> fromUtf8[] = {{"てすと", "\x82\xC4\x82\xB7\x82\xC6"},
                                                            {"C:\\a~b", "C:\\a~b"},
                                                            {"x😀y한z", "x\x81\xACy\x81\xACz"},
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
    EXPECT_EQ(cp932::FromCharset("caf\xE9", "ISO-8859-1"), "caf\x81\xAC");
    EXPECT_EQ(cp932::FromCharset("x", "NO-SUCH-CHARSET"), std::nullopt);
}

TEST(Cp932, ConvertsTextsLongerThanOneBuffer) {
    std::string utf8;
    for (int i = 0; i < 5000; ++i)
        utf8 += "て";
    const std::string bytes = cp932::FromUtf8(utf8);
    EXPECT_EQ(bytes.size(), 10000u);
    EXPECT_EQ(cp932::ToUtf8(bytes), utf8);
}

TEST(Cp932, TruncationNeverSplitsACharacter) {
    std::string text = "Pim - ";
    for (int i = 0; i < 32; ++i)
        text += "\x82\xA0";
    EXPECT_EQ(cp932::Truncate(text, 63), text.substr(0, 62));
    EXPECT_EQ(cp932::Truncate("abc", 63), "abc");
    EXPECT_EQ(cp932::Truncate("ab\x82\xA0", 3), "ab");
}

} // namespace
} // namespace pim
