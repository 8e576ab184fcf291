// The mail generator must make what real mailers send, or the POP3 tests that
// use it prove nothing: complete encoded words, short lines, CR LF everywhere.
#include "support/MailGenerator.h"

#include "common/Cp932.h"

#include <QByteArray>
#include <gtest/gtest.h>
#include <regex>
#include <stdexcept>

namespace pim::test {
namespace {

std::string FromBase64(std::string_view text) {
    const QByteArray bytes =
        QByteArray::fromBase64(QByteArray(text.data(), static_cast<qsizetype>(text.size())),
                               QByteArray::AbortOnBase64DecodingErrors);
    return bytes.toStdString();
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2)
        lines.push_back(text.substr(start, end - start));
    if (start < text.size())
        lines.push_back(text.substr(start));
    return lines;
}

bool HasBareLineEnds(const std::string& text) {
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r'))
            return true;
        if (text[i] == '\r' && (i + 1 == text.size() || text[i + 1] != '\n'))
            return true;
    }
    return false;
}

TEST(MailGenerator, Base64MatchesTheStandardVectorsAndWrapsLines) {
    const std::pair<const char*, const char*> vectors[] = {{"", ""},
                                                           {"f", "Zg=="},
                                                           {"fo", "Zm8="},
                                                           {"foo", "Zm9v"},
                                                           {"foob", "Zm9vYg=="},
                                                           {"fooba", "Zm9vYmE="},
                                                           {"foobar", "Zm9vYmFy"}};
    for (const auto& [plain, encoded] : vectors)
        EXPECT_EQ(Base64(plain), encoded) << plain;
    EXPECT_EQ(Base64(std::string("\xFF\xFE\x00", 3)), "//4A");

    const std::string bytes = AttachmentBytes(200, 7);
    const std::string wrapped = Base64(bytes, 76);
    const auto lines = Lines(wrapped);
    ASSERT_EQ(lines.size(), 4u);
    for (size_t i = 0; i + 1 < lines.size(); ++i)
        EXPECT_EQ(lines[i].size(), 76u);
    EXPECT_TRUE(wrapped.ends_with("\r\n"));
    EXPECT_EQ(Base64(std::string(57, 'x'), 76).size(), 78u) << "no empty line after a full one";
    std::string joined;
    for (const auto& line : lines)
        joined += line;
    EXPECT_EQ(FromBase64(joined), bytes);
}

TEST(MailGenerator, JapaneseHeadersBecomeWholeFoldedEncodedWords) {
    const std::string subject =
        "【重要】年末年始休業期間中のサポート窓口のご案内と緊急連絡先について (2024年度版) "
        "ご確認のほどよろしくお願いいたします";
    const std::string header = EncodeIso2022JpHeader(subject);
    const auto lines = Lines("Subject: " + header);
    ASSERT_GE(lines.size(), 3u);
    const std::regex word(R"(=\?ISO-2022-JP\?B\?([A-Za-z0-9+/=]+)\?=)");
    std::string joined;
    for (size_t i = 0; i < lines.size(); ++i) {
        EXPECT_LE(lines[i].size(), 76u) << lines[i];
        if (i > 0) {
            EXPECT_EQ(lines[i][0], ' ') << "a continuation line starts with white space";
        }
        std::smatch match;
        ASSERT_TRUE(std::regex_search(lines[i], match, word)) << lines[i];
        const std::string jis = FromBase64(match[1].str());
        // Each word returns to ASCII, so a decoder may take it on its own.
        if (jis.find('\x1B') != std::string::npos) {
            EXPECT_TRUE(jis.ends_with("\x1B(B")) << lines[i];
        }
        joined += jis;
    }
    EXPECT_EQ(cp932::ToUtf8(cp932::FromCharset(joined, "ISO-2022-JP").value_or("")), subject);

    // The first line leaves room for a longer header name.
    for (const auto& line : Lines("Content-Description: " + EncodeIso2022JpHeader(subject, 21)))
        EXPECT_LE(line.size(), 76u);
    EXPECT_EQ(EncodeIso2022JpHeader("Hello"), "=?ISO-2022-JP?B?SGVsbG8=?=");
    EXPECT_EQ(EncodeUtf8Word("ご注文確認"), "=?UTF-8?B?" + Base64("ご注文確認") + "?=");
    EXPECT_EQ(FromBase64(Base64("ご注文確認")), "ご注文確認");
}

TEST(MailGenerator, RefusesTextIso2022JpCannotHold) {
    EXPECT_THROW(ToIso2022Jp("ｶﾀｶﾅ"), std::invalid_argument) << "half-width katakana";
    EXPECT_THROW(EncodeIso2022JpHeader("絵文字😀"), std::invalid_argument);
    EXPECT_EQ(ToIso2022Jp("abc"), "abc");
    EXPECT_EQ(ToIso2022Jp("あa"), "\x1B$B$\"\x1B(Ba");
}

TEST(MailGenerator, MessagesHaveCrLfHeadersAndLeaveOutEmptyOnes) {
    const std::string message = MakeMessage("=?ISO-2022-JP?B?GyRCJCIbKEI=?=", "a@example.jp",
                                            "Mon, 2 Dec 2024 09:15:32 +0900", "one\ntwo\r\nthree");
    EXPECT_FALSE(HasBareLineEnds(message));
    const size_t split = message.find("\r\n\r\n");
    ASSERT_NE(split, std::string::npos);
    const std::string head = message.substr(0, split + 2);
    EXPECT_NE(head.find("\r\nSubject: =?ISO-2022-JP?B?GyRCJCIbKEI=?=\r\n"), std::string::npos);
    EXPECT_NE(head.find("\r\nFrom: a@example.jp\r\n"), std::string::npos);
    EXPECT_NE(head.find("\r\nDate: Mon, 2 Dec 2024 09:15:32 +0900\r\n"), std::string::npos);
    EXPECT_EQ(message.substr(split + 4), "one\r\ntwo\r\nthree");

    const std::string bare = MakeMessage("", "a@example.jp", "", "x");
    EXPECT_EQ(bare.find("Subject:"), std::string::npos);
    EXPECT_EQ(bare.find("Date:"), std::string::npos);
    EXPECT_NE(MakeMessage("s", "f", "d", "x").find("Message-ID:"), std::string::npos);
}

TEST(MailGenerator, AttachmentMessageCarriesItsBytesInShortLines) {
    const size_t size = 5 * 1024 * 1024;
    const std::string message =
        MakeAttachmentMessage("Report", "a@example.jp", "Mon, 2 Dec 2024 09:15:32 +0900",
                              ToIso2022Jp("添付します。"), size, 3);
    EXPECT_GT(message.size(), size * 4 / 3);
    EXPECT_FALSE(HasBareLineEnds(message));
    const auto lines = Lines(message);
    for (const auto& line : lines)
        ASSERT_LE(line.size(), 76u) << line.substr(0, 80);

    const std::smatch boundary = [&] {
        std::smatch match;
        std::regex_search(message, match, std::regex("boundary=\"([^\"]+)\""));
        return match;
    }();
    ASSERT_FALSE(boundary.empty());
    const std::string delimiter = "\r\n--" + boundary[1].str();
    const size_t partStart = message.find("Content-Transfer-Encoding: base64\r\n");
    ASSERT_NE(partStart, std::string::npos);
    const size_t dataStart = message.find("\r\n\r\n", partStart) + 4;
    const size_t dataEnd = message.find(delimiter, dataStart);
    ASSERT_NE(dataEnd, std::string::npos);
    EXPECT_NE(message.find(delimiter + "--\r\n", dataEnd), std::string::npos);
    std::string data = message.substr(dataStart, dataEnd - dataStart);
    std::erase(data, '\r');
    std::erase(data, '\n');
    EXPECT_EQ(FromBase64(data), AttachmentBytes(size, 3));
    EXPECT_NE(AttachmentBytes(64, 3), AttachmentBytes(64, 4));
}

} // namespace
} // namespace pim::test
