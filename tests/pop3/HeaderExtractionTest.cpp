#include "pop3/HeaderExtraction.h"

#include "common/Cp932.h"

#include <QLocale>
#include <gtest/gtest.h>

namespace pim {
namespace {

const auto Sjis = cp932::FromUtf8;

const auto RecvTime = [](std::string_view message) {
    static const DayNames days = LocaleDayNames(QLocale(QLocale::Japanese, QLocale::Japan));
    return ExtractRecvTime(message, days);
};

const std::string kNoTitle = Sjis("（タイトル未設定）");
const std::string kNoSender = Sjis("（差出人不明）");
const std::string kNoDate = Sjis("（受信日時不明）");
const std::string kFriday5Jan2001 = Sjis("2001年01月05日（金曜日） 10:00:00");

// The first marker in any case; not a header parser, so the body counts when
// the header has none. The value as it stands, unfolded (space and tab), then
// decoded; text after the last line end is not taken.
TEST(ExtractMailTitle, TakesTheFirstMarkedLineUnfoldedAndDecoded) {
    const std::string late = "+OK\r\nX-Filler: " + std::string(kHeaderScanLimit, 'x') + "\r\n";
    // Only the first kHeaderScanLimit bytes count: here the marker fits, its line end not.
    const std::string edge = std::string(kHeaderScanLimit - 12, 'x') + "Subject: ab\r\n";
    const std::pair<std::string, std::string> cases[] = {
        {"+OK\r\nSubject: Hello\r\n\r\nbody\r\n.\r\n", "Hello"},
        {"sUbJeCt: mixed\r\n", "mixed"},
        {"X-Subject: first\r\nSubject: second\r\n", "first"},
        {"Subject:tight\r\n\r\nsee subject: in body\r\n", "in body"},
        {"Subject:tight\r\n\r\nbody\r\n", kNoTitle},
        {"Subject:  padded \r\n", " padded "},
        {"Subject: \r\nFrom: x\r\n", ""},
        {"Subject: cut off", ""},
        {"Subject: one\r\ntwo", "one"},
        {"Subject: a\r\n b\r\nFrom: x\r\n", "ab"},
        {"Subject: a\r\n  b\r\n", "a b"},
        {"Subject: a\r\n\tb\r\n \tc\r\nX: y\r\n", "ab\tc"},
        {"Subject: a\r\n b", "a"},
        {"Subject: Re: =?ISO-2022-JP?B?GyRCJEYkOSRIGyhC?=\r\n", Sjis("Re: てすと")},
        {"Subject: =?ISO-2022-JP?B?GyRCJEYkOSRI\r\n GyhC?=\r\n", Sjis("てすと")},
        {"Subject: =?UTF-8?B?5pel5g==?=\r\n =?UTF-8?B?nKw=?=\r\n", Sjis("日本")},
        {late + "Subject: late\r\n", kNoTitle},
        {edge, ""},
        {edge.substr(1), "ab"}};
    for (const auto& [message, title] : cases)
        EXPECT_EQ(ExtractMailTitle(message), title) << message.substr(0, 60);
}

TEST(ExtractSendUser, OnlyATabContinues) {
    EXPECT_EQ(ExtractSendUser("From: Taro <taro@example.jp>\r\n (comment)\r\n"),
              "Taro <taro@example.jp>");
    EXPECT_EQ(ExtractSendUser("From: Taro\r\n\t<taro@example.jp>\r\n"), "Taro<taro@example.jp>");
    EXPECT_EQ(ExtractSendUser("Subject: x\r\n"), kNoSender);
    EXPECT_EQ(ExtractSendUser("FROM: =?ISO-2022-JP?B?GyRCJEYkOSRIGyhC?= <t@example.jp>\r\n"),
              Sjis("てすと <t@example.jp>"));
}

// One- and two-digit days, any case, the time characters as they stand, lines
// joined before the search; day names in table order: once every SUN has
// failed, a MON before the last of them is not tried again.
TEST(ExtractRecvTime, ReadsTheDateAfterTheFirstDayNameThatGivesOne) {
    const std::string received = "Received: by x; Mon, 8 Jan 2001 09:00:00 +0900\r\n";
    std::string manySundays;
    while (manySundays.size() < kHeaderScanLimit - 100)
        manySundays += "SUN, ";
    const std::pair<std::string, std::string> cases[] = {
        {"Date: Sun, 5 Jan 2001 10:00:00 +0900\r\n", kFriday5Jan2001},
        {"Date: Sun, 05 Jan 2001 10:00:00 +0900\r\n", kFriday5Jan2001},
        {"Date: Sun,  5 Jan 2001 10:00:00 +0900\r\n", kFriday5Jan2001},
        {"date: sun, 5 jan 2001 10:00:00 GMT", kFriday5Jan2001},
        {"Date: Tue, 29 Feb 2000 23:59:59 +0000\r\n", Sjis("2000年02月29日（火曜日） 23:59:59")},
        {"Date: Mon, 1 Jan 0001 00:00:00", Sjis("0001年01月01日（月曜日） 00:00:00")},
        {"Date: Fri, 31 Dec 9999 12:34:56", Sjis("9999年12月31日（金曜日） 12:34:56")},
        {"Sun, 05 Jan 2001 1:2", Sjis("2001年01月05日（金曜日） 1:2")},
        {"Sun, 05 Jan 2001", Sjis("2001年01月05日（金曜日） ")},
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
}

TEST(ExtractRecvTime, SkipsFailedAttempts) {
    const std::string good = "Date: Sun, 5 Jan 2001 10:00:00 +0900\r\n";
    for (const std::string bad :
         {"Date: Sun, 5 Jan 01 10:00:00\r\n", "Date: Sun, 5 Jnr 2001 10:00:00\r\n",
          "Date: Sun, 31 Feb 2001 10:00:00\r\n", "Date: Sun, 29 Feb 1900 10:00:00\r\n",
          "Date: Sun, 5 Jan 0000 10:00:00\r\n", "Date: Sun, 0 Jan 2001 10:00:00\r\n",
          "Date: Sun, +5 Jan 2001 10:00:00\r\n", "Date: Sun, 5 Jan 2O01 10:00:00\r\n",
          "Date: Sun, 5 jAN 20 1 10:00:00\r\n", "Sun, ", "Date: Sun, 5 ANF 2001 10:00:00\r\n"}) {
        EXPECT_EQ(RecvTime(bad), kNoDate) << bad;
        EXPECT_EQ(RecvTime(bad + good), kFriday5Jan2001) << bad;
    }
}

} // namespace
} // namespace pim
