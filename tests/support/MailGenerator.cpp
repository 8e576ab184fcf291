#include "support/MailGenerator.h"

#include <QByteArray>
#include <atomic>
#include <iconv.h>
#include <random>
#include <stdexcept>

namespace pim::test {
namespace {

constexpr size_t kLineLimit = 76;

std::string Base64(std::string_view bytes) {
    return QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size())).toBase64().toStdString();
}

std::string WithCrLf(std::string_view text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r'))
            out += '\r';
        out += text[i];
    }
    return out;
}

// The message head as a mailer writes it; `type` holds the content header lines.
std::string Compose(std::string_view subject, std::string_view from, std::string_view date,
                    std::string_view type, std::string_view body) {
    static std::atomic<unsigned> serial{0};
    std::string message;
    auto header = [&](std::string_view name, std::string_view value) {
        if (!value.empty())
            message.append(name).append(": ").append(value).append("\r\n");
    };
    header("Return-Path", "<sender@example.jp>");
    header("From", from);
    header("To", "test@example.jp");
    header("Subject", subject);
    header("Date", date);
    header("Message-ID", "<" + std::to_string(++serial) + ".pim-test@example.jp>");
    header("MIME-Version", "1.0");
    return message.append(type).append("\r\n").append(body);
}

} // namespace

std::string ToIso2022Jp(std::string_view utf8) {
    const iconv_t cd = ::iconv_open("ISO-2022-JP", "UTF-8");
    std::string out(utf8.size() * 4 + 16, '\0');
    char* in = const_cast<char*>(utf8.data());
    size_t inLeft = utf8.size();
    char* to = out.data();
    size_t toLeft = out.size();
    const bool converted = cd != reinterpret_cast<iconv_t>(-1) &&
                           ::iconv(cd, &in, &inLeft, &to, &toLeft) != static_cast<size_t>(-1) &&
                           ::iconv(cd, nullptr, nullptr, &to, &toLeft) != static_cast<size_t>(-1);
    if (cd != reinterpret_cast<iconv_t>(-1))
        ::iconv_close(cd);
    if (!converted)
        throw std::invalid_argument("not ISO-2022-JP text: " + std::string(utf8));
    out.resize(out.size() - toLeft);
    return out;
}

std::string EncodeIso2022JpHeader(std::string_view utf8, size_t used) {
    const std::string_view start = "=?ISO-2022-JP?B?";
    std::string header;
    size_t width = kLineLimit > used ? kLineLimit - used : 0;
    std::string_view rest = utf8;
    while (!rest.empty()) {
        // As many whole characters as fit; each word ends in ASCII on its own.
        const size_t capacity = width > start.size() + 2 ? (width - start.size() - 2) / 4 * 3 : 0;
        size_t take = 0;
        std::string jis;
        while (take < rest.size()) {
            size_t next = take + 1;
            while (next < rest.size() && (static_cast<unsigned char>(rest[next]) & 0xC0) == 0x80)
                ++next;
            std::string candidate = ToIso2022Jp(rest.substr(0, next));
            if (take > 0 && candidate.size() > capacity)
                break;
            jis = std::move(candidate);
            take = next;
        }
        header += (header.empty() ? "" : "\r\n ") + std::string(start) + Base64(jis) + "?=";
        rest.remove_prefix(take);
        width = kLineLimit - 1;
    }
    return header;
}

std::string EncodeUtf8Word(std::string_view utf8) {
    return "=?UTF-8?B?" + Base64(utf8) + "?=";
}

std::string MakeMessage(std::string_view subject, std::string_view from, std::string_view date,
                        std::string_view body) {
    return Compose(subject, from, date,
                   "Content-Type: text/plain; charset=ISO-2022-JP\r\n"
                   "Content-Transfer-Encoding: 7bit\r\n",
                   WithCrLf(body));
}

std::string MakeAttachmentMessage(std::string_view subject, std::string_view from,
                                  std::string_view date, std::string_view text,
                                  size_t attachmentBytes, uint32_t seed) {
    const std::string boundary = "----=_Part_" + std::to_string(seed) + "_pim";
    const std::string name = "data-" + std::to_string(seed) + ".bin";
    std::string body = "This is a multi-part message in MIME format.\r\n\r\n--" + boundary +
                       "\r\nContent-Type: text/plain; charset=ISO-2022-JP\r\n"
                       "Content-Transfer-Encoding: 7bit\r\n\r\n" +
                       WithCrLf(text);
    if (!body.ends_with("\r\n"))
        body += "\r\n";
    body += "\r\n--" + boundary + "\r\nContent-Type: application/octet-stream; name=\"" + name +
            "\"\r\nContent-Transfer-Encoding: base64\r\n"
            "Content-Disposition: attachment; filename=\"" +
            name + "\"\r\n\r\n";
    // mt19937's output is fixed by the standard, so every platform gets these bytes.
    std::mt19937 random(seed);
    std::string bytes(attachmentBytes, '\0');
    for (char& byte : bytes)
        byte = static_cast<char>(random() & 0xFF);
    const std::string encoded = Base64(bytes);
    for (size_t at = 0; at < encoded.size(); at += kLineLimit)
        body.append(encoded, at, kLineLimit).append("\r\n");
    body += "\r\n--" + boundary + "--\r\n";
    return Compose(subject, from, date,
                   "Content-Type: multipart/mixed;\r\n boundary=\"" + boundary + "\"\r\n", body);
}

} // namespace pim::test
