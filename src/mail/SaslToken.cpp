#include "mail/SaslToken.h"

#include "common/UiText.h"

#include <QByteArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <algorithm>
#include <cstdint>

namespace pim {
namespace {

constexpr size_t kMaxStatus = 64;

// The gs2 authzid escapes ',' and '=' (RFC 5801, 4).
std::string Gs2Name(std::string_view user) {
    std::string out;
    for (const char c : user)
        out += c == ',' ? "=2C" : c == '=' ? "=3D" : std::string(1, c);
    return out;
}

} // namespace

std::string EncodeBase64(std::string_view bytes) {
    static constexpr char kDigits[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    for (size_t i = 0; i < bytes.size(); i += 3) {
        uint32_t group = static_cast<uint8_t>(bytes[i]) << 16;
        if (i + 1 < bytes.size())
            group |= static_cast<uint8_t>(bytes[i + 1]) << 8;
        if (i + 2 < bytes.size())
            group |= static_cast<uint8_t>(bytes[i + 2]);
        for (size_t k = 0; k < 4; ++k)
            out += i + k <= bytes.size() ? kDigits[(group >> (18 - 6 * k)) & 63] : '=';
    }
    return out;
}

std::string TokenResponse(TokenMechanism mechanism, std::string_view user, std::string_view host,
                          int port, std::string_view token) {
    const std::string bearer = "auth=Bearer " + std::string(token) + '\x01';
    if (mechanism == TokenMechanism::XOAuth2)
        return "user=" + std::string(user) + '\x01' + bearer + '\x01';
    std::string message = "n,a=" + Gs2Name(user) + ",\x01";
    if (!host.empty())
        message += "host=" + std::string(host) + '\x01';
    if (port > 0)
        message += "port=" + std::to_string(port) + '\x01';
    return message + bearer + '\x01';
}

std::string_view AbortResponse(TokenMechanism mechanism) {
    return mechanism == TokenMechanism::OAuthBearer ? std::string_view("\x01", 1)
                                                    : std::string_view();
}

const std::string& TokenNotOfferedText() {
    return UiText("SaslToken",
                  "サーバにトークンでのサインイン方式（OAUTHBEARER、XOAUTH2）がないため、"
                  "トークンを送りませんでした。");
}

std::string TokenRefusedText(const std::string& status) {
    std::string text = UiText("SaslToken", "サーバがサインインのトークンを受け付けませんでした。");
    // The server's own word, ASCII by then, helps whoever reads the line.
    return status.empty() ? text : text + " (" + status + ")";
}

std::string TokenRefusalStatus(std::string_view json) {
    const QJsonDocument document =
        QJsonDocument::fromJson(QByteArray(json.data(), static_cast<qsizetype>(json.size())));
    const QJsonValue status = document.object().value(QLatin1String("status"));
    // Google's XOAUTH2 sends the HTTP status as a string, some servers as a number.
    std::string text =
        status.isDouble() ? std::to_string(status.toInt()) : status.toString().toStdString();
    if (text.size() > kMaxStatus)
        text.resize(kMaxStatus);
    std::replace_if(
        text.begin(), text.end(),
        [](char c) {
            return static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) >= 0x7F;
        },
        '?');
    return text;
}

} // namespace pim
