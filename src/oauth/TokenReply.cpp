#include "oauth/TokenReply.h"

#include "mail/Credentials.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <algorithm>

namespace pim {
namespace {

// A year: beyond it a lifetime is a provider's mistake, and a refresh is cheap.
constexpr double kMaxLifetime = 365.0 * 24 * 3600;

// RFC 6750's b64token: a token holding anything else (a space, a ^A) would
// change the SASL message it goes into.
bool IsBearerToken(const QByteArray& token) {
    if (token.isEmpty() || static_cast<size_t>(token.size()) > kMaxSecretBytes)
        return false;
    qsizetype end = token.size();
    while (end > 1 && token[end - 1] == '=')
        --end;
    return std::all_of(token.begin(), token.begin() + end, [](char c) {
        return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
               c == '-' || c == '.' || c == '_' || c == '~' || c == '+' || c == '/';
    });
}

// A refresh token only goes back to the token endpoint, form-encoded: any
// printable ASCII will do.
bool IsRefreshToken(const QString& token) {
    return !token.isEmpty() && static_cast<size_t>(token.size()) <= kMaxSecretBytes &&
           std::all_of(token.begin(), token.end(),
                       [](QChar c) { return c.unicode() > 0x20 && c.unicode() < 0x7F; });
}

// Seconds, as a number or (some providers) a string of one.
int Lifetime(const QJsonValue& value) {
    double seconds = value.isString() ? value.toString().toDouble() : value.toDouble();
    if (!(seconds > 0))
        return 0;
    return static_cast<int>(std::min(seconds, kMaxLifetime));
}

} // namespace

QString ProviderText(const QString& text) {
    constexpr qsizetype kMax = 300;
    QString line;
    for (const QChar c : text)
        line += c.category() == QChar::Other_Control || c == QChar::LineSeparator ||
                        c == QChar::ParagraphSeparator
                    ? QChar(u' ')
                    : c;
    line = line.simplified();
    return line.size() > kMax ? line.left(kMax - 1) + QChar(0x2026) : line;
}

TokenReply ReadTokenReply(const QByteArray& body) {
    TokenReply reply;
    if (body.size() > kMaxTokenReply)
        return reply;
    const QJsonDocument document = QJsonDocument::fromJson(body);
    if (!document.isObject())
        return reply;
    const QJsonObject json = document.object();
    if (const QJsonValue error = json.value(QLatin1String("error")); error.isString()) {
        const QString code = error.toString();
        reply.outcome = code == QLatin1String("invalid_grant") ? TokenOutcome::InvalidGrant
                                                               : TokenOutcome::Refused;
        const QString description = json.value(QLatin1String("error_description")).toString();
        reply.error =
            ProviderText(description.isEmpty() ? code : code + QLatin1String(": ") + description);
        return reply;
    }
    const QJsonValue type = json.value(QLatin1String("token_type"));
    if (!type.isUndefined() &&
        type.toString().compare(QLatin1String("Bearer"), Qt::CaseInsensitive) != 0)
        return reply;
    // Latin-1 turns what is not ASCII into '?', which no bearer token holds.
    const QByteArray access = json.value(QLatin1String("access_token")).toString().toLatin1();
    if (!IsBearerToken(access))
        return reply;
    const QJsonValue refresh = json.value(QLatin1String("refresh_token"));
    if (refresh.isString() && !IsRefreshToken(refresh.toString()))
        return reply;
    reply.outcome = TokenOutcome::Granted;
    reply.accessToken = access;
    reply.refreshToken = refresh.toString().toLatin1();
    reply.expiresIn = Lifetime(json.value(QLatin1String("expires_in")));
    return reply;
}

} // namespace pim
