// An account's tokens: the access token in memory with its expiry, the refresh
// token as stored. A login asks for a token (Want); one that expires within a
// minute is refreshed first. A token a server refused is refreshed once, unless
// it was just issued: then the refusal stands. Never a refresh in a loop.
#pragma once

#include "oauth/OAuthClient.h"
#include "oauth/TokenEndpoint.h"

#include <QObject>
#include <functional>

namespace pim {

class TokenSource : public QObject {
    Q_OBJECT
public:
    // A token expiring sooner than this is refreshed before a login.
    static constexpr qint64 kMarginMs = 60'000;
    // A token refused within this time of its issue is not refreshed again.
    static constexpr qint64 kJustIssuedMs = 10'000;

    explicit TokenSource(QObject* parent = nullptr);

    // Milliseconds of a steady clock; tests move it.
    std::function<qint64()> Now;

    void SetClient(const OAuthClient& client);
    // The stored refresh token; empty when the account was never signed in or
    // its grant ended. Changing it drops the access token.
    void SetRefreshToken(const QByteArray& token);
    const QByteArray& RefreshToken() const { return refresh_; }
    // Tokens of a sign-in just made: used at once, the refresh token stored.
    void SignedIn(const TokenReply& tokens);

    // `ready` follows with a token fit for a login now, or `signInNeeded` or
    // `unavailable`; from inside the call when the token is at hand.
    void Want();
    // The server refused the token of the last `ready`. True: it was dropped,
    // and the next Want refreshes it; false: it was just issued, or already the
    // refreshed one: the refusal stands.
    bool Refused();
    // The server took it: a later refusal may be refreshed again.
    void Accepted() { retried_ = false; }
    bool Busy() const { return busy_; }

signals:
    void ready(const QByteArray& accessToken);
    // No grant (never signed in, revoked, expired): the user must sign in.
    void signInNeeded(const QString& reason);
    // The provider could not be asked; the grant stays.
    void unavailable(const QString& reason);
    // A new refresh token (rotated, or empty when the grant ended) to be stored.
    void refreshTokenChanged(const QByteArray& token);

private:
    void Take(const TokenReply& reply);

    OAuthClient client_;
    TokenEndpoint endpoint_;
    QByteArray refresh_;
    QByteArray access_;
    qint64 expires_ = 0; // 0: unknown lifetime
    qint64 issued_ = 0;
    bool busy_ = false;
    bool retried_ = false;  // refreshed after a refusal, not yet accepted
    QString ended_;         // why the provider ended the grant, while none is held
    QByteArray endedToken_; // the refresh token it ended: a store may give it back
};

} // namespace pim
