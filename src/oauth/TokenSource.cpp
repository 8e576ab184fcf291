#include "oauth/TokenSource.h"

#include "common/UiText.h"

#include <QDeadlineTimer>
#include <utility>

namespace pim {
namespace {

// Without a lifetime from the provider, an hour, as the big ones give.
constexpr qint64 kAssumedLifetimeMs = 3'600'000;

} // namespace

TokenSource::TokenSource(QObject* parent) : QObject(parent) {
    Now = [] { return QDeadlineTimer::current().deadline(); };
    connect(&endpoint_, &TokenEndpoint::answered, this, [this](const TokenReply& reply) {
        busy_ = false;
        if (reply.outcome == TokenOutcome::Granted) {
            Take(reply);
            emit ready(access_);
            return;
        }
        // Only the provider's word that the grant is gone discards it.
        if (reply.outcome == TokenOutcome::InvalidGrant) {
            endedToken_ = std::exchange(refresh_, {});
            ended_ = reply.error;
            emit refreshTokenChanged(refresh_);
            emit signInNeeded(reply.error);
            return;
        }
        emit unavailable(UiString("SignIn", "トークンを更新できませんでした: %1").arg(reply.error));
    });
    connect(&endpoint_, &TokenEndpoint::unreachable, this, [this](const QString& reason) {
        busy_ = false;
        emit unavailable(reason);
    });
}

void TokenSource::SetClient(const OAuthClient& client) {
    client_ = client;
}

void TokenSource::SetRefreshToken(const QByteArray& token) {
    // One the provider ended stays ended: asking again would only be refused.
    if (token == refresh_ || (!token.isEmpty() && token == endedToken_))
        return;
    refresh_ = token;
    access_.clear();
    ended_.clear();
}

void TokenSource::SignedIn(const TokenReply& tokens) {
    Take(tokens);
}

void TokenSource::Take(const TokenReply& reply) {
    access_ = reply.accessToken;
    issued_ = Now();
    expires_ =
        issued_ + (reply.expiresIn > 0 ? reply.expiresIn * qint64{1000} : kAssumedLifetimeMs);
    ended_.clear();
    if (!reply.refreshToken.isEmpty() && reply.refreshToken != refresh_) {
        refresh_ = reply.refreshToken;
        emit refreshTokenChanged(refresh_);
    }
}

void TokenSource::Want() {
    if (busy_)
        return;
    if (!access_.isEmpty() && expires_ - Now() > kMarginMs) {
        emit ready(access_);
        return;
    }
    access_.clear();
    if (refresh_.isEmpty()) {
        emit signInNeeded(ended_.isEmpty() ? UiString("SignIn", "まだサインインしていません。")
                                           : ended_);
        return;
    }
    busy_ = true;
    endpoint_.Post(client_.tokenUrl, RefreshBody(client_, refresh_));
}

bool TokenSource::Refused() {
    const bool again = !retried_ && !(!access_.isEmpty() && Now() - issued_ < kJustIssuedMs);
    access_.clear();
    retried_ = again;
    return again;
}

} // namespace pim
