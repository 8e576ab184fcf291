#include "oauth/BrowserSignIn.h"

#include "common/UiText.h"

namespace pim {

BrowserSignIn::BrowserSignIn(const OAuthClient& client, const QString& loginHint, OpenUrl openUrl,
                             QObject* parent)
    : QObject(parent), client_(client), loginHint_(loginHint), openUrl_(std::move(openUrl)) {
    wait_.setSingleShot(true);
    wait_.setInterval(kWaitMs);
    connect(&wait_, &QTimer::timeout, this, [this] {
        Fail(UiString("SignIn", "5 分以内にサインインが終わらなかったため、中止しました。"));
    });
    connect(&listener_, &LoopbackRedirect::codeReceived, this, &BrowserSignIn::Exchange);
    connect(&listener_, &LoopbackRedirect::denied, this, [this](const QString& reason) {
        Fail(UiString("SignIn", "サインインが拒否されました: %1").arg(reason));
    });
    connect(&endpoint_, &TokenEndpoint::answered, this, [this](const TokenReply& reply) {
        if (reply.outcome != TokenOutcome::Granted) {
            Fail(UiString("SignIn", "トークンを受け取れませんでした: %1").arg(reply.error));
            return;
        }
        // A first sign-in without a refresh token would have to be repeated hourly.
        if (reply.refreshToken.isEmpty()) {
            Fail(UiString("SignIn", "プロバイダがリフレッシュトークンを発行しませんでした"
                                    "（スコープに offline_access などが必要です）。"));
            return;
        }
        wait_.stop();
        emit signedIn(reply);
    });
    connect(&endpoint_, &TokenEndpoint::unreachable, this, &BrowserSignIn::Fail);
}

BrowserSignIn::~BrowserSignIn() = default;

bool BrowserSignIn::Start() {
    Cancel();
    switch (ProblemOf(client_)) {
    case OAuthClientProblem::None:
        break;
    case OAuthClientProblem::NoClientId:
        reason_ = UiString("SignIn", "クライアント ID が設定されていません。");
        return false;
    case OAuthClientProblem::NotHttps:
        reason_ = UiString("SignIn", "認可とトークンの URL は https:// でなければなりません。");
        return false;
    }
    const QByteArray state = MakeState();
    if (!listener_.Listen(state)) {
        reason_ = UiString("SignIn", "サインインを待ち受けるポートを開けませんでした。");
        return false;
    }
    pkce_ = MakePkce();
    redirectUri_ = RedirectUri(client_, listener_.Port());
    url_ = AuthorizationUrl(client_, redirectUri_, state, pkce_.challenge, loginHint_);
    browserOpened_ = openUrl_ && openUrl_(url_);
    wait_.start();
    return true;
}

void BrowserSignIn::Cancel() {
    wait_.stop();
    listener_.Close();
    endpoint_.Abort();
    browserOpened_ = false;
    reason_.clear();
}

void BrowserSignIn::Exchange(const QByteArray& code) {
    endpoint_.Post(client_.tokenUrl, CodeExchangeBody(client_, code, pkce_.verifier, redirectUri_));
}

void BrowserSignIn::Fail(const QString& reason) {
    Cancel();
    reason_ = reason;
    emit failed(reason);
}

} // namespace pim
