#include "oauth/OAuthClient.h"

#include <QCryptographicHash>
#include <QRandomGenerator>
#include <utility>

namespace pim {
namespace {

constexpr auto kBase64Url = QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals;

QByteArray RandomText(int bytes) {
    QByteArray raw(bytes, Qt::Uninitialized);
    QRandomGenerator::system()->generate(raw.begin(), raw.end());
    return raw.toBase64(kBase64Url);
}

bool IsHttps(const QString& text) {
    const QUrl url(text, QUrl::StrictMode);
    return url.isValid() && url.scheme() == QLatin1String("https") && !url.host().isEmpty();
}

// Form encoding: every byte but the unreserved ones escaped, '+' and ' ' included,
// so that no value is read as another.
void AddFields(QByteArray& body, std::initializer_list<std::pair<const char*, QByteArray>> fields) {
    for (const auto& [name, value] : fields) {
        if (value.isEmpty())
            continue;
        if (!body.isEmpty())
            body += '&';
        body += name;
        body += '=';
        body += value.toPercentEncoding();
    }
}

QByteArray Form(std::initializer_list<std::pair<const char*, QByteArray>> fields) {
    QByteArray body;
    AddFields(body, fields);
    return body;
}

} // namespace

OAuthClientProblem ProblemOf(const OAuthClient& client) {
    if (client.clientId.trimmed().isEmpty())
        return OAuthClientProblem::NoClientId;
    if (!IsHttps(client.authorizeUrl) || !IsHttps(client.tokenUrl))
        return OAuthClientProblem::NotHttps;
    return OAuthClientProblem::None;
}

QByteArray PkceChallenge(const QByteArray& verifier) {
    return QCryptographicHash::hash(verifier, QCryptographicHash::Sha256).toBase64(kBase64Url);
}

Pkce MakePkce() {
    // 32 bytes give the 43 characters RFC 7636 asks for at least.
    Pkce pkce{RandomText(32), {}};
    pkce.challenge = PkceChallenge(pkce.verifier);
    return pkce;
}

QByteArray MakeState() {
    return RandomText(16);
}

QString RedirectUri(const OAuthClient& client, quint16 port) {
    const QString host = QUrl(client.authorizeUrl).host().toLower();
    const bool microsoft = host == QLatin1String("login.microsoftonline.com") ||
                           host.endsWith(QLatin1String(".login.microsoftonline.com")) ||
                           host == QLatin1String("login.live.com");
    return QStringLiteral("http://%1:%2/")
        .arg(microsoft ? QStringLiteral("localhost") : QStringLiteral("127.0.0.1"))
        .arg(port);
}

QUrl AuthorizationUrl(const OAuthClient& client, const QString& redirectUri,
                      const QByteArray& state, const QByteArray& challenge,
                      const QString& loginHint) {
    QUrl url(client.authorizeUrl);
    // A query the provider's address already has (a tenant, a prompt) stays first.
    QByteArray query = url.query(QUrl::FullyEncoded).toLatin1();
    AddFields(query, {{"response_type", "code"},
                      {"client_id", client.clientId.trimmed().toUtf8()},
                      {"redirect_uri", redirectUri.toUtf8()},
                      {"scope", client.scope.simplified().toUtf8()},
                      {"state", state},
                      {"code_challenge", challenge},
                      {"code_challenge_method", "S256"},
                      {"login_hint", loginHint.toUtf8()}});
    url.setQuery(QString::fromLatin1(query), QUrl::StrictMode);
    return url;
}

QByteArray CodeExchangeBody(const OAuthClient& client, const QByteArray& code,
                            const QByteArray& verifier, const QString& redirectUri) {
    return Form({{"grant_type", "authorization_code"},
                 {"code", code},
                 {"redirect_uri", redirectUri.toUtf8()},
                 {"client_id", client.clientId.trimmed().toUtf8()},
                 {"client_secret", client.clientSecret.trimmed().toUtf8()},
                 {"code_verifier", verifier}});
}

QByteArray RefreshBody(const OAuthClient& client, const QByteArray& refreshToken) {
    return Form({{"grant_type", "refresh_token"},
                 {"refresh_token", refreshToken},
                 {"client_id", client.clientId.trimmed().toUtf8()},
                 {"client_secret", client.clientSecret.trimmed().toUtf8()}});
}

} // namespace pim
