#include "pop3/HeaderExtraction.h"

#include "common/Cp932.h"

#include <QLocale>
#include <gtest/gtest.h>

namespace pim {
namespace {

std::string Sjis(std::string_view utf8) {
    return cp932::FromUtf8(utf8);
}

const DayNames& JapaneseDays() {
    static const DayNames days = LocaleDayNames(QLocale(QLocale::Japanese, QLocale::Japan));
    return days;
}

std::string RecvTime(std::string_view message) {
    return ExtractRecvTime(message, JapaneseDays());
}

const std::string kNoTitle = Sjis("（タイトル未設定）");
const std::string kNoSender = Sjis("（差出人不明）");
const std::string kNoDate = Sjis("（受信日時不明）");
const std::string kFriday5Jan2001 = Sjis("2001年01月05日（金曜日） 10:00:00");

TEST(ExtractMailTitle, TakesTheFirstMarkerInAnyCase) {
    EXPECT_EQ(ExtractMailTitle("+OK\r\nSubject: Hello\r\n\r\nbody\r\n.\r\n"), "Hello");
    EXPECT_EQ(ExtractMailTitle("sUbJeCt: mixed\r\n"), "mixed");
    EXPECT_EQ(ExtractMailTitle("X-Subject: first\r\nSubject: second\r\n"), "first");
    // Not a header parser: the body counts when the header has no marker.
    EXPECT_EQ(ExtractMailTitle("Subject:tight\r\n\r\nsee subject: in body\r\n"), "in body");
    EXPECT_EQ(ExtractMailTitle("Subject:tight\r\n\r\nbody\r\n"), kNoTitle);
}

TEST(ExtractMailTitle, KeepsTheValueAsItStands) {
    EXPECT_EQ(ExtractMailTitle("Subject:  padded \r\n"), " padded ");
    EXPECT_EQ(ExtractMailTitle("Subject: \r\nFrom: x\r\n"), "");
    // Text after the last line end is not taken.
    EXPECT_EQ(ExtractMailTitle("Subject: cut off"), "");
    EXPECT_EQ(ExtractMailTitle("Subject: one\r\ntwo"), "one");
}

TEST(ExtractMailTitle, UnfoldsSpaceAndTabContinuations) {
    EXPECT_EQ(ExtractMailTitle("Subject: a\r\n b\r\nFrom: x\r\n"), "ab");
    EXPECT_EQ(ExtractMailTitle("Subject: a\r\n  b\r\n"), "a b");
    EXPECT_EQ(ExtractMailTitle("Subject: a\r\n\tb\r\n \tc\r\nX: y\r\n"), "ab\tc");
    EXPECT_EQ(ExtractMailTitle("Subject: a\r\n b"), "a");
}

TEST(ExtractMailTitle, DecodesTheUnfoldedValue) {
    EXPECT_EQ(ExtractMailTitle("Subject: Re: =?ISO-2022-JP?B?GyRCJEYkOSRIGyhC?=\r\n"),
              Sjis("Re: てすと"));
    // A word folded inside its payload is whole again after unfolding.
    EXPECT_EQ(ExtractMailTitle("Subject: =?ISO-2022-JP?B?GyRCJEYkOSRI\r\n GyhC?=\r\n"),
              Sjis("てすと"));
    EXPECT_EQ(ExtractMailTitle("Subject: =?UTF-8?B?5pel5g==?=\r\n =?UTF-8?B?nKw=?=\r\n"),
              Sjis("日本"));
}

TEST(ExtractMailTitle, LooksOnlyAtTheFirst102400Bytes) {
    std::string message = "+OK\r\nX-Filler: " + std::string(kHeaderScanLimit, 'x') + "\r\n";
    EXPECT_EQ(ExtractMailTitle(message + "Subject: late\r\n"), kNoTitle);
    // The marker fits but its line end does not.
    std::string edge = std::string(kHeaderScanLimit - 12, 'x') + "Subject: ab\r\n";
    EXPECT_EQ(ExtractMailTitle(edge), "");
    edge.erase(0, 1);
    EXPECT_EQ(ExtractMailTitle(edge), "ab");
}

TEST(ExtractSendUser, OnlyATabContinues) {
    EXPECT_EQ(ExtractSendUser("From: Taro <taro@example.jp>\r\n (comment)\r\n"),
              "Taro <taro@example.jp>");
    EXPECT_EQ(ExtractSendUser("From: Taro\r\n\t<taro@example.jp>\r\n"), "Taro<taro@example.jp>");
    EXPECT_EQ(ExtractSendUser("Subject: x\r\n"), kNoSender);
    EXPECT_EQ(ExtractSendUser("FROM: =?ISO-2022-JP?B?GyRCJEYkOSRIGyhC?= <t@example.jp>\r\n"),
              Sjis("てすと <t@example.jp>"));
}

TEST(ExtractRecvTime, ReadsOneAndTwoDigitDays) {
    EXPECT_EQ(RecvTime("Date: Sun, 5 Jan 2001 10:00:00 +0900\r\n"), kFriday5Jan2001);
    EXPECT_EQ(RecvTime("Date: Sun, 05 Jan 2001 10:00:00 +0900\r\n"), kFriday5Jan2001);
    EXPECT_EQ(RecvTime("Date: Sun,  5 Jan 2001 10:00:00 +0900\r\n"), kFriday5Jan2001);
    EXPECT_EQ(RecvTime("date: sun, 5 jan 2001 10:00:00 GMT"), kFriday5Jan2001);
    EXPECT_EQ(RecvTime("Date: Tue, 29 Feb 2000 23:59:59 +0000\r\n"),
              Sjis("2000年02月29日（火曜日） 23:59:59"));
    EXPECT_EQ(RecvTime("Date: Mon, 1 Jan 0001 00:00:00"),
              Sjis("0001年01月01日（月曜日） 00:00:00"));
    EXPECT_EQ(RecvTime("Date: Fri, 31 Dec 9999 12:34:56"),
              Sjis("9999年12月31日（金曜日） 12:34:56"));
}

TEST(ExtractRecvTime, CopiesTheTimeCharactersAsTheyStand) {
    EXPECT_EQ(RecvTime("Sun, 05 Jan 2001 1:2"), Sjis("2001年01月05日（金曜日） 1:2"));
    EXPECT_EQ(RecvTime("Sun, 05 Jan 2001"), Sjis("2001年01月05日（金曜日） "));
    EXPECT_EQ(RecvTime("Sun, 05 Jan 2001 ab:cd:efGH"), Sjis("2001年01月05日（金曜日） AB:CD:EF"));
}

TEST(ExtractRecvTime, PrefersDayNamesInTableOrder) {
    const std::string received = "Received: by x; Mon, 8 Jan 2001 09:00:00 +0900\r\n";
    const std::string date = "Date: Sun, 7 Jan 2001 08:00:00 +0900\r\n";
    EXPECT_EQ(RecvTime(received + date), Sjis("2001年01月07日（日曜日） 08:00:00"));
    // Once every SUN has failed, a MON before the last of them is not tried again.
    EXPECT_EQ(RecvTime(received + "Date: Sun, 31 Feb 2001 08:00:00\r\n"), kNoDate);
    EXPECT_EQ(RecvTime("Date: Sun, 31 Feb 2001 08:00:00\r\n" + received),
              Sjis("2001年01月08日（月曜日） 09:00:00"));
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
    EXPECT_EQ(RecvTime("Date: 5 Jan 2001 10:00:00\r\n"), kNoDate);
    EXPECT_EQ(RecvTime(""), kNoDate);
}

TEST(ExtractRecvTime, JoinsLinesBeforeSearching) {
    EXPECT_EQ(RecvTime("Date: Su\r\nn, 5 Jan\r\n 2001 10:00:00\r\n"), kFriday5Jan2001);
}

TEST(ExtractRecvTime, GetsThroughManyFailingDayNames) {
    std::string message;
    while (message.size() < kHeaderScanLimit - 100)
        message += "SUN, ";
    EXPECT_EQ(RecvTime(message + "Date: Sun, 5 Jan 2001 10:00:00\r\n"), kFriday5Jan2001);
}

TEST(ExtractMailInformation, ReducesARealisticMessage) {
    const std::string message =
        "+OK 512 octets\r\n"
        "Return-Path: <hanako@example.jp>\r\n"
        "Received: from mx.example.jp by pop.example.jp; Mon, 8 Jan 2001 09:00:01 +0900\r\n"
        "Date: Fri, 5 Jan 2001 10:00:00 +0900\r\n"
        "From: =?ISO-2022-JP?B?GyRCJEYkOSRIGyhC?= <hanako@example.jp>\r\n"
        "Subject: =?UTF-8?B?5pel5pys6Kqe?= test\r\n"
        "\r\n"
        "Hello\r\n"
        ".\r\n";
    const MailSummary summary = ExtractMailInformation(message, JapaneseDays());
    EXPECT_EQ(summary.MailTitle, Sjis("日本語 test"));
    EXPECT_EQ(summary.SendUser, Sjis("てすと <hanako@example.jp>"));
    EXPECT_EQ(summary.RecvTime, Sjis("2001年01月08日（月曜日） 09:00:01"));
    EXPECT_EQ(ExtractMailInformation("+OK\r\n\r\n.\r\n", JapaneseDays()),
              (MailSummary{kNoTitle, kNoSender, kNoDate}));
}

TEST(SystemDayNames, HasSevenNames) {
    for (const std::string& name : SystemDayNames())
        EXPECT_FALSE(name.empty());
}

} // namespace
} // namespace pim
