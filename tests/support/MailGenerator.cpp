#include "support/MailGenerator.h"

#include <QByteArray>
#include <atomic>
#include <iconv.h>
#include <stdexcept>

namespace pim::test {
namespace {

// UTF-8 text as ISO-2022-JP bytes, ending in ASCII.
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

} // namespace

std::string EncodeIso2022JpHeader(std::string_view utf8, size_t used) {
    const std::string_view start = "=?ISO-2022-JP?B?";
    std::string header;
    size_t width = used < 76 ? 76 - used : 0;
    for (std::string_view rest = utf8; !rest.empty(); width = 75) {
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
        header += (header.empty() ? "" : "\r\n ") + std::string(start) +
                  QByteArray::fromStdString(jis).toBase64().toStdString() + "?=";
        rest.remove_prefix(take);
    }
    return header;
}

std::string MakeMessage(std::string_view subject, std::string_view from, std::string_view date,
                        std::string_view body) {
    static std::atomic<unsigned> serial{0};
    std::string message;
    const auto header = [&](std::string_view name, std::string_view value) {
        if (!value.empty())
            message.append(name).append(": ").append(value).append("\r\n");
    };
    header("Return-Path", "<sender@example.jp>");
    header("From", from);
    header("To", "test@example.jp");
    header("Subject", subject);
    header("Date", date);
    header("Message-ID", "<" + std::to_string(++serial) + ".pim-test@example.jp>");
    message += "MIME-Version: 1.0\r\nContent-Type: text/plain; charset=ISO-2022-JP\r\n"
               "Content-Transfer-Encoding: 7bit\r\n\r\n";
    for (size_t i = 0; i < body.size(); ++i) {
        if (body[i] == '\n' && (i == 0 || body[i - 1] != '\r'))
            message += '\r';
        message += body[i];
    }
    return message;
}

} // namespace pim::test
