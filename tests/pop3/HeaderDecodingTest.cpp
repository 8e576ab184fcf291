#include "pop3/HeaderDecoding.h"

#include "common/Cp932.h"

#include <gtest/gtest.h>

namespace pim {
namespace {

std::string Sjis(std::string_view utf8) {
    return cp932::FromUtf8(utf8);
}

// ESC $ B, JIS て す と, ESC ( B.
const std::string kTesutoJis = "\x1B$B$F$9$H\x1B(B";
const std::string kTesutoWord = "=?ISO-2022-JP?B?GyRCJEYkOSRIGyhC?=";

TEST(DecodeBase64, DecodesWholeAndPaddedGroups) {
    EXPECT_EQ(DecodeBase64("SGVsbG8="), "Hello");
    EXPECT_EQ(DecodeBase64("SGVsbG8"), "Hello");
    EXPECT_EQ(DecodeBase64("QUJDRA"), "ABCD");
    EXPECT_EQ(DecodeBase64("GyRCJEYkOSRIGyhC"), kTesutoJis);
    EXPECT_EQ(DecodeBase64(""), "");
}

TEST(DecodeBase64, SkipsLineEndsOnlyBetweenGroups) {
    EXPECT_EQ(DecodeBase64("SGVs\r\nbG8="), "Hello");
    EXPECT_EQ(DecodeBase64("\nSGVs\rbG8=\r\n"), "Hello");
    // Inside a group they are characters worth 0, and the length rule still holds.
    EXPECT_EQ(DecodeBase64("QU\r\nJD"), std::string("A@\0", 3));
}

TEST(DecodeBase64, OutputLengthFollowsTheCountNotTheGroups) {
    // A lone final character gives nothing.
    EXPECT_EQ(DecodeBase64("QUJDR"), "ABC");
    // Padding in the middle: n = 4 gives 3 bytes, the groups write only 2.
    EXPECT_EQ(DecodeBase64("QQ==QQ=="), std::string("AA\0", 3));
    EXPECT_EQ(DecodeBase64("QQ==QQ==Q"), std::string("AA\0", 3));
    EXPECT_EQ(DecodeBase64("QQ==QUJD"), "AABC");
    // Groups that would write more than the length allows are cut off.
    EXPECT_EQ(DecodeBase64("Q=QQ"), std::string("\x40\x04", 2));
}

TEST(DecodeBase64, CharactersOutsideTheAlphabetCountAsZero) {
    EXPECT_EQ(DecodeBase64("QUJ!"), "AB@");
    EXPECT_EQ(DecodeBase64("QUJ\xFF"), "AB@");
}

TEST(JisCharToSjis, MapsRowsAndCellsAtTheirBoundaries) {
    EXPECT_EQ(JisCharToSjis(0x24, 0x22), "\x82\xA0"); // あ
    EXPECT_EQ(JisCharToSjis(0x25, 0x46), "\x83\x65"); // テ
    EXPECT_EQ(JisCharToSjis(0x25, 0x60), "\x83\x80"); // odd row, cell from 0x60
    EXPECT_EQ(JisCharToSjis(0x30, 0x21), "\x88\x9F");
    EXPECT_EQ(JisCharToSjis(0x5F, 0x21), "\xE0\x40"); // first row of the upper lead range
    EXPECT_EQ(JisCharToSjis(0x60, 0x21), "\xE0\x9F");
}

TEST(JisToSjis, ConvertsTwoByteRunsAndCopiesTheRest) {
    EXPECT_EQ(JisToSjis(kTesutoJis), Sjis("てすと"));
    EXPECT_EQ(JisToSjis("Re: " + kTesutoJis + "!"), "Re: " + Sjis("てすと") + "!");
    // ESC ( B ESC $ B: two escapes, no bytes between them.
    EXPECT_EQ(JisToSjis("\x1B(B\x1B$B$\"\x1B(B"), "\x82\xA0");
    const std::string sjis = "plain " + Sjis("件名") + " \x7F";
    EXPECT_EQ(JisToSjis(sjis), sjis);
}

TEST(JisToSjis, LooksOnlyAtTheSelectorOfAnEscape) {
    EXPECT_EQ(JisToSjis("\x1B$@$\"\x1B(Jx"), "\x82\xA0x");
    // An unknown selector leaves two-byte mode on.
    EXPECT_EQ(JisToSjis("\x1B$B$\"\x1B.A$\""), "\x82\xA0\x82\xA0");
    // Half-width katakana after ESC ( I are copied as they are.
    EXPECT_EQ(JisToSjis("\x1B(I12\x1B(B"), "12");
}

TEST(JisToSjis, DropsWhatIsCutOff) {
    EXPECT_EQ(JisToSjis("abc\x1B$"), "abc");
    EXPECT_EQ(JisToSjis("abc\x1B"), "abc");
    EXPECT_EQ(JisToSjis("\x1B$B$\"$"), "\x82\xA0");
    // An escape where the second byte of a character should be starts anew.
    EXPECT_EQ(JisToSjis("\x1B$B$\x1B(Bxy"), "xy");
}

TEST(DecodeHeader, DecodesIso2022JpWords) {
    EXPECT_EQ(DecodeHeader(kTesutoWord), Sjis("てすと"));
    EXPECT_EQ(DecodeHeader("=?iso-2022-jp?b?GyRCJEYkOSRIGyhC?="), Sjis("てすと"));
    EXPECT_EQ(DecodeHeader("=?ISO-2022-JP?B?SGVsbG8=?="), "Hello");
    EXPECT_EQ(DecodeHeader("Re: " + kTesutoWord + " (2)"), "Re: " + Sjis("てすと") + " (2)");
}

TEST(DecodeHeader, KeepsWhiteSpaceBetweenIso2022JpWords) {
    EXPECT_EQ(DecodeHeader(kTesutoWord + " " + kTesutoWord), Sjis("てすと てすと"));
    EXPECT_EQ(DecodeHeader(kTesutoWord + kTesutoWord), Sjis("てすとてすと"));
}

TEST(DecodeHeader, PassesPlainTextAndConvertsRawIso2022Jp) {
    EXPECT_EQ(DecodeHeader("Meeting at 10:00 =? ?= a=b"), "Meeting at 10:00 =? ?= a=b");
    EXPECT_EQ(DecodeHeader("Re: " + kTesutoJis), "Re: " + Sjis("てすと"));
    const std::string sjis = Sjis("件名テスト");
    EXPECT_EQ(DecodeHeader(sjis), sjis);
}

TEST(DecodeHeader, DropsAnOpeningMarkerWithoutClosing) {
    EXPECT_EQ(DecodeHeader("Re: =?ISO-2022-JP?B?GyRCJEYk"), "Re: GyRCJEYk");
    EXPECT_EQ(DecodeHeader("=?ISO-2022-JP?B?a =?ISO-2022-JP?B?b"), "a b");
}

TEST(DecodeHeader, TwoByteModeEndsWithTheWord) {
    // The payload is ESC $ B and the JIS code of て, with no way back.
    EXPECT_EQ(DecodeHeader("=?ISO-2022-JP?B?GyRCJEY=?=AB"), Sjis("て") + "AB");
}

TEST(DecodeHeader, DecodesWordsOfOtherCharsets) {
    EXPECT_EQ(DecodeHeader("=?UTF-8?B?5pel5pys6Kqe?="), Sjis("日本語"));
    EXPECT_EQ(DecodeHeader("Re: =?utf-8?q?=E3=83=86=E3=82=B9=E3=83=88_x?= !"),
              Sjis("Re: テスト x !"));
    EXPECT_EQ(DecodeHeader("=?UTF-8*ja?B?5pel5pys6Kqe?="), Sjis("日本語"));
    EXPECT_EQ(DecodeHeader("=?EUC-JP?B?xvzL3A==?="), Sjis("日本"));
    EXPECT_EQ(DecodeHeader("=?ISO-8859-1?Q?5=D73?="), Sjis("5×3"));
    EXPECT_EQ(DecodeHeader("=?ISO-2022-JP?Q?=1B$B$F$9$H=1B(B?="), Sjis("てすと"));
    // Vendor characters (row 13) convert as they do from a "B" word.
    EXPECT_EQ(DecodeHeader("=?iso-2022-jp*ja?Q?=1B$B-!$F$9=1B(B?="), Sjis("①てす"));
    // What CP932 cannot hold becomes a geta; a stray "=" stays.
    EXPECT_EQ(DecodeHeader("=?ISO-8859-1?Q?caf=E9=?="), "caf\x81\xAC=");
}

TEST(DecodeHeader, JoinsWordsThatSplitACharacter) {
    EXPECT_EQ(DecodeHeader("=?UTF-8?B?5pel5g==?= =?UTF-8?B?nKw=?="), Sjis("日本"));
    EXPECT_EQ(DecodeHeader("=?UTF-8?B?5pel5g==?=\r\n\t=?utf-8?Q?=9C=AC?="), Sjis("日本"));
    EXPECT_EQ(DecodeHeader("=?UTF-8?B?5pel5g==?==?UTF-8?B?nKw=?="), Sjis("日本"));
}

TEST(DecodeHeader, DropsWhiteSpaceOnlyBetweenTwoOtherCharsetWords) {
    EXPECT_EQ(DecodeHeader("=?UTF-8?B?5pel?=  =?ISO-8859-1?Q?x?="), Sjis("日x"));
    EXPECT_EQ(DecodeHeader("a =?UTF-8?B?5pel?= b"), Sjis("a 日 b"));
    EXPECT_EQ(DecodeHeader("=?UTF-8?B?5pel?= , =?UTF-8?B?5pel?="), Sjis("日 , 日"));
    // Next to an ISO-2022-JP word the space is kept as before.
    EXPECT_EQ(DecodeHeader("=?UTF-8?B?5pel?= " + kTesutoWord), Sjis("日 てすと"));
}

TEST(DecodeHeader, LeavesWordsIconvCannotReadAsWritten) {
    const std::string unknown = "=?X-NO-SUCH-CHARSET?B?5pel?= =?X-NO-SUCH-CHARSET?Q?a?=";
    EXPECT_EQ(DecodeHeader(unknown), unknown);
    EXPECT_EQ(DecodeHeader(unknown + " =?UTF-8?B?5pel?="), unknown + " " + Sjis("日"));
    for (const std::string malformed : {"=?UTF-8?B?5pel 5pys?=", "=?UTF-8?X?5pel?=", "=??B?5pel?=",
                                        "=?UTF-8?B?5pel?", "=?UTF/8?B?5pel?="})
        EXPECT_EQ(DecodeHeader(malformed), malformed);
}

TEST(DecodeHeader, ConvertsRawUtf8ButNotRawCp932) {
    EXPECT_EQ(DecodeHeader("Re: 日本語 テスト"), Sjis("Re: 日本語 テスト"));
    EXPECT_EQ(DecodeHeader("日本 " + kTesutoWord), Sjis("日本 てすと"));
    EXPECT_EQ(DecodeHeader("=?UTF-8?B?5pel?= 語"), Sjis("日 語"));
    // CP932 that is not valid UTF-8 goes the old way, byte for byte.
    const std::string sjis = Sjis("件名 ") + "=?UTF-8?B?5pel?=";
    EXPECT_EQ(DecodeHeader(sjis), Sjis("件名 日"));
    // Overlong forms and surrogates are not UTF-8 either.
    for (const std::string bytes : {"a\xE0\x80\xA1", "a\xED\xA0\x80", "a\xF4\x90\x80\x80"})
        EXPECT_EQ(DecodeHeader(bytes), bytes);
    // Half-width katakana in pairs read as two-byte UTF-8 too ("ﾃｽ" is C3 BD);
    // without a longer sequence the CP932 reading is the likelier one.
    const std::pair<const char*, const char*> katakana[] = {
        {"ﾃｽ", "ﾃｽ"}, {"ﾗｼﾞｵ ﾌｫﾛｰ", "ﾗｼﾞｵ ﾌｫﾛｰ"}, {"Re: ﾐｽ =?UTF-8?B?5pel?=", "Re: ﾐｽ 日"}};
    for (const auto& [raw, shown] : katakana)
        EXPECT_EQ(DecodeHeader(Sjis(raw)), Sjis(shown)) << raw;
    EXPECT_EQ(DecodeHeader("Привет"), Sjis("Привет")) << "two-byte UTF-8 that is no CP932";
}

TEST(DecodeHeader, SeesNoWordsInsideRawTwoByteText) {
    // In two-byte mode these bytes are JIS codes, not an encoded word.
    const std::string raw = "\x1B$B=?UTF-8?Q?ab?=\x1B(B=?UTF-8?Q?ab?=";
    EXPECT_EQ(DecodeHeader(raw), JisToSjis(raw.substr(0, 20)) + "ab");
}

} // namespace
} // namespace pim
