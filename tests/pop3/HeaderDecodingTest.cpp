#include "pop3/HeaderDecoding.h"

#include "common/Cp932.h"

#include <gtest/gtest.h>

namespace pim {
namespace {

using namespace std::string_literals;

const auto Sjis = cp932::FromUtf8;

// ESC $ B, JIS て す と, ESC ( B.
const std::string kTesutoJis = "\x1B$B$F$9$H\x1B(B";
const std::string kTesutoWord = "=?ISO-2022-JP?B?GyRCJEYkOSRIGyhC?=";

using Case = std::pair<std::string, std::string>;

// Line ends are skipped between groups; inside one they are characters worth 0.
// A lone final character gives nothing; padding in the middle still counts (n = 4
// gives 3 bytes where the groups write only 2); more is cut off. Characters
// outside the alphabet count as zero.
TEST(DecodeBase64, DecodesAsTheCountOfCharactersSays) {
    const Case cases[] = {{"SGVsbG8=", "Hello"},
                          {"SGVsbG8", "Hello"},
                          {"QUJDRA", "ABCD"},
                          {"", ""},
                          {"GyRCJEYkOSRIGyhC", kTesutoJis},
                          {"\nSGVs\rbG8=\r\n", "Hello"},
                          {"QU\r\nJD", "A@\0"s},
                          {"QUJDR", "ABC"},
                          {"QQ==QQ==", "AA\0"s},
                          {"QQ==QUJD", "AABC"},
                          {"Q=QQ", "\x40\x04"},
                          {"QUJ!", "AB@"},
                          {"QUJ\xFF", "AB@"}};
    for (const auto& [in, out] : cases)
        EXPECT_EQ(DecodeBase64(in), out) << in;
}

TEST(JisCharToSjis, MapsRowsAndCellsAtTheirBoundaries) {
    const struct {
        uint8_t row, cell;
        const char* sjis;
    } cases[] = {{0x24, 0x22, "\x82\xA0"}, {0x25, 0x46, "\x83\x65"}, {0x25, 0x60, "\x83\x80"},
                 {0x30, 0x21, "\x88\x9F"}, {0x5F, 0x21, "\xE0\x40"}, {0x60, 0x21, "\xE0\x9F"}};
    for (const auto& c : cases)
        EXPECT_EQ(JisCharToSjis(c.row, c.cell), c.sjis) << int(c.row) << " " << int(c.cell);
}

// Only the selector of an escape counts; an unknown one leaves two-byte mode on.
// What is cut off is dropped; an escape inside a character starts anew.
TEST(JisToSjis, ConvertsTwoByteRunsAndCopiesTheRest) {
    const std::string sjis = "plain " + Sjis("件名") + " \x7F";
    const Case cases[] = {{kTesutoJis, Sjis("てすと")},
                          {"Re: " + kTesutoJis + "!", "Re: " + Sjis("てすと") + "!"},
                          {"\x1B(B\x1B$B$\"\x1B(B", "\x82\xA0"},
                          {sjis, sjis},
                          {"\x1B$@$\"\x1B(Jx", "\x82\xA0x"},
                          {"\x1B$B$\"\x1B.A$\"", "\x82\xA0\x82\xA0"},
                          {"\x1B(I12\x1B(B", "12"},
                          {"abc\x1B$", "abc"},
                          {"abc\x1B", "abc"},
                          {"\x1B$B$\"$", "\x82\xA0"},
                          {"\x1B$B$\x1B(Bxy", "xy"}};
    for (const auto& [in, out] : cases)
        EXPECT_EQ(JisToSjis(in), out) << in;
}

TEST(DecodeHeader, DecodesWordsAndRawTextOfEveryKind) {
    const std::string sjis = Sjis("件名テスト");
    const std::string unknown = "=?X-NO-SUCH-CHARSET?B?5pel?= =?X-NO-SUCH-CHARSET?Q?a?=";
    const std::string raw = "\x1B$B=?UTF-8?Q?ab?=\x1B(B=?UTF-8?Q?ab?=";
    const Case cases[] = {
        {kTesutoWord, Sjis("てすと")},
        {"=?iso-2022-jp?b?GyRCJEYkOSRIGyhC?=", Sjis("てすと")},
        {"=?ISO-2022-JP?B?SGVsbG8=?=", "Hello"},
        {"Re: " + kTesutoWord + " (2)", "Re: " + Sjis("てすと") + " (2)"},
        // White space between ISO-2022-JP words is kept.
        {kTesutoWord + " " + kTesutoWord, Sjis("てすと てすと")},
        {kTesutoWord + kTesutoWord, Sjis("てすとてすと")},
        {"Meeting at 10:00 =? ?= a=b", "Meeting at 10:00 =? ?= a=b"},
        {"Re: " + kTesutoJis, "Re: " + Sjis("てすと")},
        {sjis, sjis},
        // An opening marker without its closing one is dropped.
        {"Re: =?ISO-2022-JP?B?GyRCJEYk", "Re: GyRCJEYk"},
        {"=?ISO-2022-JP?B?a =?ISO-2022-JP?B?b", "a b"},
        // Two-byte mode ends with the word.
        {"=?ISO-2022-JP?B?GyRCJEY=?=AB", Sjis("て") + "AB"},
        {"=?UTF-8?B?5pel5pys6Kqe?=", Sjis("日本語")},
        {"Re: =?utf-8?q?=E3=83=86=E3=82=B9=E3=83=88_x?= !", Sjis("Re: テスト x !")},
        {"=?UTF-8*ja?B?5pel5pys6Kqe?=", Sjis("日本語")},
        // A charset name (language tag included) is read up to 64 characters.
        {"=?UTF-8*" + std::string(58, 'x') + "?B?5pel?=", Sjis("日")},
        {"=?UTF-8*" + std::string(59, 'x') + "?B?5pel?=",
         "=?UTF-8*" + std::string(59, 'x') + "?B?5pel?="},
        {"=?EUC-JP?B?xvzL3A==?=", Sjis("日本")},
        {"=?ISO-8859-1?Q?5=D73?=", Sjis("5×3")},
        {"=?ISO-2022-JP?Q?=1B$B$F$9$H=1B(B?=", Sjis("てすと")},
        // Vendor characters (row 13) convert as they do from a "B" word.
        {"=?iso-2022-jp*ja?Q?=1B$B-!$F$9=1B(B?=", Sjis("①てす")},
        // What CP932 cannot hold becomes a geta; a stray "=" stays.
        {"=?ISO-8859-1?Q?caf=E9=?=", "caf\x81\xAC="},
        // Words that split a character are joined.
        {"=?UTF-8?B?5pel5g==?= =?UTF-8?B?nKw=?=", Sjis("日本")},
        {"=?UTF-8?B?5pel5g==?=\r\n\t=?utf-8?Q?=9C=AC?=", Sjis("日本")},
        {"=?UTF-8?B?5pel5g==?==?UTF-8?B?nKw=?=", Sjis("日本")},
        // White space goes only between two words of other charsets.
        {"=?UTF-8?B?5pel?=  =?ISO-8859-1?Q?x?=", Sjis("日x")},
        {"a =?UTF-8?B?5pel?= b", Sjis("a 日 b")},
        {"=?UTF-8?B?5pel?= , =?UTF-8?B?5pel?=", Sjis("日 , 日")},
        {"=?UTF-8?B?5pel?= " + kTesutoWord, Sjis("日 てすと")},
        // Words iconv cannot read stay as written.
        {unknown, unknown},
        {unknown + " =?UTF-8?B?5pel?=", unknown + " " + Sjis("日")},
        {"=?UTF-8?B?5pel 5pys?=", "=?UTF-8?B?5pel 5pys?="},
        {"=?UTF-8?X?5pel?=", "=?UTF-8?X?5pel?="},
        {"=??B?5pel?=", "=??B?5pel?="},
        {"=?UTF-8?B?5pel?", "=?UTF-8?B?5pel?"},
        {"=?UTF/8?B?5pel?=", "=?UTF/8?B?5pel?="},
        // Raw UTF-8 is converted; CP932 that is not valid UTF-8 goes byte for byte.
        {"Re: 日本語 テスト", Sjis("Re: 日本語 テスト")},
        {"日本 " + kTesutoWord, Sjis("日本 てすと")},
        {"=?UTF-8?B?5pel?= 語", Sjis("日 語")},
        {Sjis("件名 ") + "=?UTF-8?B?5pel?=", Sjis("件名 日")},
        // Overlong forms and surrogates are not UTF-8 either.
        {"a\xE0\x80\xA1", "a\xE0\x80\xA1"},
        {"a\xED\xA0\x80", "a\xED\xA0\x80"},
        {"a\xF4\x90\x80\x80", "a\xF4\x90\x80\x80"},
        // Half-width katakana in pairs read as two-byte UTF-8 too ("ﾃｽ" is C3 BD);
        // without a longer sequence the CP932 reading is the likelier one.
        {Sjis("ﾃｽ"), Sjis("ﾃｽ")},
        {Sjis("ﾗｼﾞｵ ﾌｫﾛｰ"), Sjis("ﾗｼﾞｵ ﾌｫﾛｰ")},
        {Sjis("Re: ﾐｽ =?UTF-8?B?5pel?="), Sjis("Re: ﾐｽ 日")},
        {"Привет", Sjis("Привет")},
        // In two-byte mode these bytes are JIS codes, not an encoded word.
        {raw, JisToSjis(raw.substr(0, 20)) + "ab"}};
    for (const auto& [in, out] : cases)
        EXPECT_EQ(DecodeHeader(in), out) << in;
}

} // namespace
} // namespace pim
