// What an account signs in with when its server takes tokens instead of
// passwords (OAuth 2.0, RFC 6749, for an installed program: RFC 8252), and
// the messages of the authorization-code flow with PKCE (RFC 7636) built and
// read without any I/O.
#pragma once

#include <QByteArray>
#include <QString>
#include <QUrl>

namespace pim {

struct OAuthClient {
    QString authorizeUrl;
    QString tokenUrl;
    QString clientId;
    QString clientSecret; // only where a provider gives installed programs one; not secret
    QString scope;        // space-separated
};

enum class OAuthClientProblem : uint8_t {
    None,
    NoClientId,
    NotHttps, // an endpoint that is not https:// with a host
};

// Why this client cannot sign anyone in, whatever the provider says.
OAuthClientProblem ProblemOf(const OAuthClient& client);

// The verifier and its S256 challenge: one pair per sign-in.
struct Pkce {
    QByteArray verifier;  // 43 characters of base64url
    QByteArray challenge; // base64url(SHA-256(verifier)), no padding
};
Pkce MakePkce();
QByteArray PkceChallenge(const QByteArray& verifier);
// The `state` that binds the browser's redirect to this sign-in.
QByteArray MakeState();

// Where the browser comes back to: http://127.0.0.1:<port>/, or for Microsoft's
// endpoints http://localhost:<port>/ (it matches the registered host and
// ignores only the port there).
QString RedirectUri(const OAuthClient& client, quint16 port);

// The page the browser is sent to.
QUrl AuthorizationUrl(const OAuthClient& client, const QString& redirectUri,
                      const QByteArray& state, const QByteArray& challenge,
                      const QString& loginHint);

// The bodies (application/x-www-form-urlencoded) of the two token requests.
QByteArray CodeExchangeBody(const OAuthClient& client, const QByteArray& code,
                            const QByteArray& verifier, const QString& redirectUri);
QByteArray RefreshBody(const OAuthClient& client, const QByteArray& refreshToken);

} // namespace pim
