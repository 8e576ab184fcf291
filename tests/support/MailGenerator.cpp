#include "support/MailGenerator.h"

#include <atomic>
#include <cerrno>
#include <iconv.h>
#include <random>
#include <stdexcept>

namespace pim::test {
namespace {

constexpr size_t kLineLimit = 76;
constexpr std::string_view kIsoWordStart = "=?ISO-2022-JP?B?";

std::string WithCrLf(std::string_view text) {
    std::string out;
    out.reserve(text.size() + text.size() / 32);
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r'))
            out += '\r';
        out += text[i];
    }
    return out;
}

size_t Utf8Length(unsigned char lead) {
    if (lead < 0x80)
        return 1;
    if (lead >= 0xF0)
        return 4;
    if (lead >= 0xE0)
        return 3;
    return 2;
}

// Raw bytes that fit in one encoded word of at most `width` characters.
size_t WordCapacity(std::string_view start, size_t width) {
    const size_t frame = start.size() + 2;
    return width > frame ? (width - frame) / 4 * 3 : 0;
}

std::string EncodeWord(std::string_view start, std::string_view bytes) {
    return std::string(start) + Base64(bytes) + "?=";
}

// The message head as a mailer writes it; `type` holds the content header lines.
std::string Compose(std::string_view subject, std::string_view from, std::string_view date,
                    std::string_view type, std::string_view body) {
    static std::atomic<unsigned> serial{0};
    std::string message;
    message.reserve(body.size() + 512);
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
    message += type;
    message += "\r\n";
    message += body;
    return message;
}

} // namespace

std::string ToIso2022Jp(std::string_view utf8) {
    const iconv_t cd = ::iconv_open("ISO-2022-JP", "UTF-8");
    if (cd == reinterpret_cast<iconv_t>(-1))
        throw std::invalid_argument("iconv cannot convert UTF-8 to ISO-2022-JP");
    std::string out(utf8.size() * 4 + 16, '\0');
    char* in = const_cast<char*>(utf8.data());
    size_t inLeft = utf8.size();
    char* to = out.data();
    size_t toLeft = out.size();
    const bool converted = ::iconv(cd, &in, &inLeft, &to, &toLeft) != static_cast<size_t>(-1) &&
                           ::iconv(cd, nullptr, nullptr, &to, &toLeft) != static_cast<size_t>(-1);
    ::iconv_close(cd);
    if (!converted)
        throw std::invalid_argument("not ISO-2022-JP text: " + std::string(utf8));
    out.resize(out.size() - toLeft);
    return out;
}

std::string Base64(std::string_view bytes, size_t lineLength) {
    static constexpr char kDigits[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    out.reserve(bytes.size() / 3 * 4 + 4 + (lineLength ? bytes.size() / lineLength * 2 + 2 : 0));
    size_t column = 0;
    auto put = [&](char c) {
        out += c;
        if (lineLength && ++column == lineLength) {
            out += "\r\n";
            column = 0;
        }
    };
    for (size_t i = 0; i < bytes.size(); i += 3) {
        const size_t n = std::min<size_t>(3, bytes.size() - i);
        uint32_t group = static_cast<unsigned char>(bytes[i]) << 16;
        if (n > 1)
            group |= static_cast<unsigned char>(bytes[i + 1]) << 8;
        if (n > 2)
            group |= static_cast<unsigned char>(bytes[i + 2]);
        put(kDigits[group >> 18 & 63]);
        put(kDigits[group >> 12 & 63]);
        put(n > 1 ? kDigits[group >> 6 & 63] : '=');
        put(n > 2 ? kDigits[group & 63] : '=');
    }
    if (lineLength && column != 0)
        out += "\r\n";
    return out;
}

std::string EncodeIso2022JpHeader(std::string_view utf8, size_t used) {
    std::string header;
    size_t width = kLineLimit > used ? kLineLimit - used : 0;
    std::string_view rest = utf8;
    while (!rest.empty()) {
        // Each word ends in ASCII on its own, so a decoder can take it alone.
        size_t take = 0;
        std::string jis;
        while (take < rest.size()) {
            const size_t next =
                std::min(rest.size(), take + Utf8Length(static_cast<unsigned char>(rest[take])));
            std::string candidate = ToIso2022Jp(rest.substr(0, next));
            if (take > 0 && candidate.size() > WordCapacity(kIsoWordStart, width))
                break;
            jis = std::move(candidate);
            take = next;
        }
        if (!header.empty())
            header += "\r\n ";
        header += EncodeWord(kIsoWordStart, jis);
        rest.remove_prefix(take);
        width = kLineLimit - 1;
    }
    return header;
}

std::string EncodeUtf8Word(std::string_view utf8) {
    return EncodeWord("=?UTF-8?B?", utf8);
}

std::string MakeMessage(std::string_view subject, std::string_view from, std::string_view date,
                        std::string_view body) {
    return Compose(subject, from, date,
                   "Content-Type: text/plain; charset=ISO-2022-JP\r\n"
                   "Content-Transfer-Encoding: 7bit\r\n",
                   WithCrLf(body));
}

std::string AttachmentBytes(size_t size, uint32_t seed) {
    // mt19937's output is fixed by the standard, so every platform gets these bytes.
    std::mt19937 random(seed);
    std::string bytes(size, '\0');
    for (char& byte : bytes)
        byte = static_cast<char>(random() & 0xFF);
    return bytes;
}

std::string MakeAttachmentMessage(std::string_view subject, std::string_view from,
                                  std::string_view date, std::string_view text,
                                  size_t attachmentBytes, uint32_t seed) {
    const std::string boundary = "----=_Part_" + std::to_string(seed) + "_pim";
    std::string body = "This is a multi-part message in MIME format.\r\n\r\n";
    body += "--" + boundary + "\r\n";
    body += "Content-Type: text/plain; charset=ISO-2022-JP\r\n";
    body += "Content-Transfer-Encoding: 7bit\r\n\r\n";
    body += WithCrLf(text);
    if (!body.ends_with("\r\n"))
        body += "\r\n";
    body += "\r\n--" + boundary + "\r\n";
    body += "Content-Type: application/octet-stream; name=\"data-" + std::to_string(seed) +
            ".bin\"\r\n";
    body += "Content-Transfer-Encoding: base64\r\n";
    body += "Content-Disposition: attachment; filename=\"data-" + std::to_string(seed) +
            ".bin\"\r\n\r\n";
    body += Base64(AttachmentBytes(attachmentBytes, seed), kLineLimit);
    body += "\r\n--" + boundary + "--\r\n";

    return Compose(subject, from, date,
                   "Content-Type: multipart/mixed;\r\n boundary=\"" + boundary + "\"\r\n", body);
}

} // namespace pim::test
