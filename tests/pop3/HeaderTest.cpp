// A message's header: its fields found and unfolded, and its encoded words decoded.
#include "common/Cp932.h"
#include "mail/HeaderDecoding.h"
#include "mail/HeaderExtraction.h"

#include <QLocale>
#include <gtest/gtest.h>

namespace pim {
namespace {

using namespace std::string_literals;

const auto Sjis = cp932::FromUtf8;

const auto RecvTime = [](std::string_view message) {
    static const DayNames days = LocaleDayNames(QLocale(QLocale::Japanese, QLocale::Japan));
    return ExtractRecvTime(message, days);
};

const std::string kNoTitle = Sjis("（タイトル未設定）");
const std::string kNoDate = Sjis("（受信日時不明）");
const std::string kFriday5Jan2001 = Sjis("2001年01月05日（金曜日） 10:00:00");

// The first marker in any case, followed by a space or, at a line's start, a fold; not a header
// parser, so the body counts when the header has none. The value as it stands, unfolded (space and
// tab), then decoded; text after the last line end is not taken. A fold keeps its white space, but
// between two encoded words the white space goes.
TEST(ExtractMailTitle, TakesTheFirstMarkedLineUnfoldedAndDecoded) {
    const std::string late = "+OK\r\nX-Filler: " + std::string(kHeaderScanLimit, 'x') + "\r\n";
    // Only the first kHeaderScanLimit bytes count: here the marker fits, its line end not.
    const std::string edge = std::string(kHeaderScanLimit - 12, 'x') + "Subject: ab\r\n";
    const std::string folded = std::string(kHeaderScanLimit - 16, 'x') + "Subject: ab\r\n cd\r\n";
    const std::pair<std::string, std::string> cases[] = {
        {"+OK\r\nSubject: Hello\r\n\r\nbody\r\n.\r\n", "Hello"},
        {"sUbJeCt: mixed\r\n", "mixed"},
        {"X-Subject: first\r\nSubject: second\r\n", "first"},
        {"Subject:tight\r\n\r\nsee subject: in body\r\n", "in body"},
        {"Subject:tight\r\n\r\nbody\r\n", kNoTitle},
        {"Subject:  padded \r\n", " padded "},
        {"Subject: \r\nFrom: x\r\n", ""},
        {"Subject: cut off", ""},
        {"Subject: a\r\n\tb\r\n \tc\r\nX: y\r\n", "a\tb \tc"},
        {"Subject:\r\n folded at once\r\n\tand on\r\n", "folded at once\tand on"},
        {"Subject:\r\nFrom: x\r\nSubject:\r\n\r\n", kNoTitle},
        // a signature's list of fields folds after a name: no marker there
        {"DKIM-Signature: h=to:subject:\r\n\tfrom; b=x\r\nSubject: real\r\n", "real"},
        // a server that sends its store's bare line ends
        {"X: y\nSubject:\n bare\n\tfold\nDate: z\n\nbody\r\n", "bare\tfold"},
        {"Subject: =?ISO-2022-JP?B?GyRCJEYkOSRI\r\n GyhC?=\r\n", Sjis("てすと")},
        {"Subject: =?ISO-2022-JP?B?GyRCJEYbKEI=?=\r\n\t=?ISO-2022-JP?B?GyRCJDkbKEI=?=\r\n",
         Sjis("てす")},
        {late + "Subject: late\r\n", kNoTitle},
        {edge, ""},
        {edge.substr(1), "ab"},
        {folded, "ab"},
        {folded.substr(3), "ab cd"}};
    for (const auto& [message, title] : cases)
        EXPECT_EQ(ExtractMailTitle(message), title) << message.substr(0, 60);
}

// One- and two-digit days, any case, the time characters as they stand, lines
// joined before the search; day names in table order: once every SUN has
// failed, a MON before the last of them is not tried again.
TEST(ExtractRecvTime, ReadsTheDateAfterTheFirstDayNameThatGivesOneSkippingFailedAttempts) {
    const std::string received = "Received: by x; Mon, 8 Jan 2001 09:00:00 +0900\r\n";
    std::string manySundays;
    while (manySundays.size() < kHeaderScanLimit - 100)
        manySundays += "SUN, ";
    const std::pair<std::string, std::string> cases[] = {
        {"Date: Sun, 5 Jan 2001 10:00:00 +0900\r\n", kFriday5Jan2001},
        {"Date: Sun,  5 Jan 2001 10:00:00 +0900\r\n", kFriday5Jan2001},
        {"Date: Sun,\t5 Jan 2001 10:00:00\r\n", kNoDate}, // only a space counts
        {"date: sun, 5 jan 2001 10:00:00 GMT", kFriday5Jan2001},
        {"Date: Tue, 29 Feb 2000 23:59:59 +0000\r\n", Sjis("2000年02月29日（火曜日） 23:59:59")},
        {"Date: Thu, 29 Feb 2024 08:00:00 +0900\r\n", Sjis("2024年02月29日（木曜日） 08:00:00")},
        {"Date: Mon, 1 Jan 0001 00:00:00", Sjis("0001年01月01日（月曜日） 00:00:00")},
        {"Date: Sun, 1 Mar 2026 07:00", Sjis("2026年03月01日（日曜日） 07:00")},
        {"Date: Fri, 31 Jul 2026 07:00", Sjis("2026年07月31日（金曜日） 07:00")},
        {"Date: Mon, 7 Dec 2026 07:00", Sjis("2026年12月07日（月曜日） 07:00")},
        {"Sun, 05 Jan 2001 1:2", Sjis("2001年01月05日（金曜日） 1:2")},
        {"Sun, 05 Jan 2001 ab:cd:efGH", Sjis("2001年01月05日（金曜日） AB:CD:EF")},
        {received + "Date: Sun, 7 Jan 2001 08:00:00 +0900\r\n",
         Sjis("2001年01月07日（日曜日） 08:00:00")},
        {received + "Date: Sun, 31 Feb 2001 08:00:00\r\n", kNoDate},
        {"Date: Sun, 31 Feb 2001 08:00:00\r\n" + received,
         Sjis("2001年01月08日（月曜日） 09:00:00")},
        {"Date: Su\r\nn, 5 Jan\r\n 2001 10:00:00\r\n", kFriday5Jan2001},
        {manySundays + "Date: Sun, 5 Jan 2001 10:00:00\r\n", kFriday5Jan2001},
        {"Date: 5 Jan 2001 10:00:00\r\n", kNoDate},
        {"", kNoDate}};
    for (const auto& [message, shown] : cases)
        EXPECT_EQ(RecvTime(message), shown) << message.substr(0, 60);
    // A failed attempt is skipped.
    const std::string good = "Date: Sun, 5 Jan 2001 10:00:00 +0900\r\n";
    for (const std::string bad :
         {"Date: Sun, 5 Jan 01 10:00:00\r\n", "Date: Sun, 5 Jnr 2001 10:00:00\r\n",
          "Date: Sun, 31 Feb 2001 10:00:00\r\n", "Date: Sun, 29 Feb 1900 10:00:00\r\n",
          "Date: Sun, 31 Apr 2001 10:00:00\r\n", "Date: Sun, 5 Jan 0000 10:00:00\r\n",
          "Date: Sun, 0 Jan 2001 10:00:00\r\n", "Date: Sun, +5 Jan 2001 10:00:00\r\n",
          "Date: Sun, 5 Jan 2O01 10:00:00\r\n", "Date: Sun, 5 jAN 20 1 10:00:00\r\n", "Sun, ",
          "Date: Sun, 5 ANF 2001 10:00:00\r\n", "Date: Sun, 32 Dec 2001 10:00:00\r\n"}) {
        EXPECT_EQ(RecvTime(bad), kNoDate) << bad;
        EXPECT_EQ(RecvTime(bad + good), kFriday5Jan2001) << bad;
    }
    for (const char* month : {"Jan", "Mar", "May", "Jul", "Aug", "Oct"})
        EXPECT_EQ(RecvTime(std::string("Date: Sun, 32 ") + month + " 2001 10:00:00\r\n"), kNoDate);
}

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
                          {"", ""},
                          {"\nSGVs\rbG8=\r\n", "Hello"},
                          {"QU\r\nJD", "A@\0"s},
                          {"QUJDR", "ABC"},
                          {"QQ==QQ==", "AA\0"s},
                          {"QQ==QUJD", "AABC"},
                          {"Q=QQ", "\x40\x04"},
                          {"QUJ!", "AB@"}};
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
                          {"\x1B(B\x1B$B$\"\x1B(B", "\x82\xA0"},
                          {sjis, sjis},
                          {"\x1B$@$\"\x1B(Jx", "\x82\xA0x"},
                          {"\x1B$B$\"\x1B.A$\"", "\x82\xA0\x82\xA0"},
                          {"\x1B(I12\x1B(B", "12"},
                          {"abc\x1B$", "abc"},
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
        {"=?iso-2022-jp?b?GyRCJEYkOSRIGyhC?=", Sjis("てすと")},
        {"Re: " + kTesutoWord + " (2)", "Re: " + Sjis("てすと") + " (2)"},
        {" " + kTesutoWord, " " + Sjis("てすと")},
        // White space between two words goes.
        {kTesutoWord + " \t" + kTesutoWord, Sjis("てすとてすと")},
        {"Meeting at 10:00 =? ?= a=b", "Meeting at 10:00 =? ?= a=b"},
        {"Re: " + kTesutoJis, "Re: " + Sjis("てすと")},
        {sjis, sjis},
        // An opening marker without its closing one is dropped.
        {"Re: =?ISO-2022-JP?B?GyRCJEYk", "Re: GyRCJEYk"},
        // Two-byte mode ends with the word.
        {"=?ISO-2022-JP?B?GyRCJEY=?=AB", Sjis("て") + "AB"},
        {"Re: =?utf-8?q?=E3=83=86=e3=82=b9=E3=83=88_x?= !", Sjis("Re: テスト x !")},
        // A charset name (language tag included) is read up to 64 characters.
        {"=?UTF-8*" + std::string(58, 'x') + "?B?5pel?=", Sjis("日")},
        {"=?UTF-8*" + std::string(59, 'x') + "?B?5pel?=",
         "=?UTF-8*" + std::string(59, 'x') + "?B?5pel?="},
        {"=?ISO-8859-9?Q?5=D73?=", Sjis("5×3")}, // a 9 in the charset's name
        // Vendor characters (row 13) convert as they do from a "B" word.
        {"=?iso-2022-jp*ja?Q?=1B$B-!$F$9=1B(B?=", Sjis("①てす")},
        // What CP932 cannot hold becomes a geta; a stray "=" stays.
        {"=?ISO-8859-1?Q?caf=E9=Gz=?=", "caf\x81\xAC=Gz="},
        // Words that split a character are joined.
        {"=?UTF-8?B?5pel5g==?=\r\n\t=?utf-8?Q?=9C=AC?=", Sjis("日本")},
        // Words iconv cannot read stay as written.
        {unknown, unknown},
        {unknown + " =?UTF-8?B?5pel?=", unknown + " " + Sjis("日")},
        {"=?UTF-8?X?5pel?=", "=?UTF-8?X?5pel?="},
        {"=?UTF-8?B?5pel 5pys?=", "=?UTF-8?B?5pel 5pys?="},
        {"=??B?5pel?=", "=??B?5pel?="},
        {"=?UTF-8?B?5pel?", "=?UTF-8?B?5pel?"},
        {"=?UTF/8?B?5pel?=", "=?UTF/8?B?5pel?="},
        // Raw UTF-8 is converted; CP932 that is not valid UTF-8 goes byte for byte.
        {"Re: 日本語 テスト", Sjis("Re: 日本語 テスト")},
        {"ไทย 🍣", Sjis("〓〓〓 〓")}, // leads E0 and F0: what CP932 lacks is a geta
        {"=?UTF-8?B?5pel?= 語", Sjis("日 語")},
        // Overlong forms, surrogates and a sequence cut short are not UTF-8 either.
        {"a\xE0\x80\xA1", "a\xE0\x80\xA1"},
        {"\xE6\x97\xA5\xE6\x97", "\xE6\x97\xA5\xE6\x97"},
        {"a\xFF\xE6\x97\xA5", "a\xFF\xE6\x97\xA5"},
        {"a\xED\xA0\x80", "a\xED\xA0\x80"},
        {"a\xF4\x90\x80\x80", "a\xF4\x90\x80\x80"},
        // Half-width katakana in pairs read as two-byte UTF-8 too ("ﾃｽ" is C3 BD);
        // without a longer sequence the CP932 reading is the likelier one.
        {Sjis("ﾃｽ"), Sjis("ﾃｽ")},
        {Sjis("ﾃ　"), Sjis("ﾃ　")}, // C3 81 40: "Á@" in UTF-8
        {"П 1", Sjis("П 1")},       // D0 9F 20: no CP932 trail byte below 40
        {"Привет", Sjis("Привет")},
        // Raw EUC-JP, where it shows kana or a byte CP932's half-width kana lack.
        {"\xC6\xFC\xCB\xDC\xB8\xEC\xA4\xCE\xB7\xEF\xCC\xBE", Sjis("日本語の件名")},
        {"Re: \xA5\xC6\xA5\xB9\xA5\xC8", Sjis("Re: テスト")},
        {"\x8E\xC3\x8E\xBD\x8E\xC4", Sjis("ﾃｽﾄ")}, // half-width kana only: CP932 kanji too
        // In two-byte mode these bytes are JIS codes, not an encoded word.
        {raw, JisToSjis(raw.substr(0, 20)) + "ab"}};
    for (const auto& [in, out] : cases)
        EXPECT_EQ(DecodeHeader(in), out) << in;
}

} // namespace
} // namespace pim
