// Header extraction runs once per retrieved message, over up to 100 KB.
#include "mail/HeaderDecoding.h"
#include "mail/HeaderExtraction.h"

#include <QLocale>
#include <benchmark/benchmark.h>

namespace {

const pim::DayNames& Days() {
    static const pim::DayNames days =
        pim::LocaleDayNames(QLocale(QLocale::Japanese, QLocale::Japan));
    return days;
}

std::string Header() {
    std::string text = "+OK message follows\r\n"
                       "Return-Path: <hanako@example.jp>\r\n"
                       "Delivered-To: taro@example.jp\r\n";
    for (int hop = 0; hop < 4; ++hop) {
        text += "Received: from relay" + std::to_string(hop) +
                ".example.net (relay.example.net [192.0.2.1])\r\n"
                "\tby mx.example.jp (Postfix) with ESMTPS id 4F2A1B3C4D\r\n"
                "\tfor <taro@example.jp>; Fri, 5 Jan 2001 10:00:0" +
                std::to_string(hop) + " +0900 (JST)\r\n";
    }
    text +=
        "DKIM-Signature: v=1; a=rsa-sha256; c=relaxed/relaxed; d=example.jp; s=mail;\r\n"
        "\th=from:to:subject:date:message-id; bh=47DEQpj8HBSa+/TImW+5JCeuQeRkm5NMpJWZG3hSuFU=;\r\n"
        "\tb=dGhpcyBpcyBub3QgYSByZWFsIHNpZ25hdHVyZSBidXQgaXQgbG9va3MgbGlrZSBvbmU=\r\n"
        "Date: Fri, 5 Jan 2001 10:00:00 +0900\r\n"
        "From: =?ISO-2022-JP?B?GyRCJEYkOSRIGyhC?= <hanako@example.jp>\r\n"
        "To: taro@example.jp\r\n"
        "Subject: Re: =?ISO-2022-JP?B?GyRCJEYkOSRIGyhC?=\r\n"
        " =?UTF-8?B?5pel5pys6Kqe?=\r\n"
        "Message-ID: <20010105100000.4F2A1B3C4D@example.jp>\r\n"
        "MIME-Version: 1.0\r\n"
        "Content-Type: multipart/mixed; boundary=\"----=_Part_0\"\r\n"
        "\r\n";
    return text;
}

// A header and a body of Base64 lines, as an attachment arrives, to `size` bytes.
std::string Message(size_t size) {
    std::string text = Header();
    const std::string line =
        "TG9yZW0gaXBzdW0gZG9sb3Igc2l0IGFtZXQsIGNvbnNlY3RldHVyIGFkaXBpc2NpbmcgZWxpdC4g\r\n";
    while (text.size() + line.size() + 5 < size)
        text += line;
    text += "\r\n.\r\n";
    return text;
}

void Extract(benchmark::State& state, const std::string& message) {
    for (auto _ : state)
        benchmark::DoNotOptimize(pim::ExtractMailInformation(message, Days()));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                            static_cast<int64_t>(message.size()));
}

void BM_ExtractMessage4K(benchmark::State& state) {
    Extract(state, Message(4096));
}
BENCHMARK(BM_ExtractMessage4K);

void BM_ExtractMessage100K(benchmark::State& state) {
    Extract(state, Message(pim::kHeaderScanLimit));
}
BENCHMARK(BM_ExtractMessage100K);

// A hostile server: 20000 day names whose dates all fail.
void BM_ExtractFailingDayNames(benchmark::State& state) {
    std::string message;
    while (message.size() < pim::kHeaderScanLimit)
        message += "SUN, ";
    Extract(state, message);
}
BENCHMARK(BM_ExtractFailingDayNames);

void Decode(benchmark::State& state, const std::string& value) {
    for (auto _ : state)
        benchmark::DoNotOptimize(pim::DecodeHeader(value));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                            static_cast<int64_t>(value.size()));
}

void BM_DecodeHeader1K(benchmark::State& state) {
    std::string value = "Re: ";
    const std::string words[] = {"=?ISO-2022-JP?B?GyRCJEYkOSRIGyhC?= ", "=?UTF-8?B?5pel5pys6Kqe?= ",
                                 "=?utf-8?Q?=E3=83=86=E3=82=B9_x?= ", "=?ISO-8859-1?Q?caf=E9?= "};
    for (size_t i = 0; value.size() < 1024; ++i)
        value += words[i % 4];
    Decode(state, value);
}
BENCHMARK(BM_DecodeHeader1K);

// Hostile values as long as a whole scanned message.
void BM_DecodeUnclosedOpenings(benchmark::State& state) {
    std::string value;
    while (value.size() < pim::kHeaderScanLimit)
        value += "=?ISO-2022-JP?B?";
    Decode(state, value);
}
BENCHMARK(BM_DecodeUnclosedOpenings);

void BM_DecodeUnknownCharsets(benchmark::State& state) {
    std::string value;
    for (int i = 0; value.size() < pim::kHeaderScanLimit; ++i)
        value += "=?X-" + std::to_string(i % 2) + "?B?YQ==?= ";
    Decode(state, value);
}
BENCHMARK(BM_DecodeUnknownCharsets);

} // namespace
