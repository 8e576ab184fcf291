#include "oauth/TokenEndpoint.h"

#include "common/UiText.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>
#include <QUrl>

namespace pim {

TokenEndpoint::TokenEndpoint(QObject* parent)
    : QObject(parent), network_(new QNetworkAccessManager(this)) {
    // Tokens are asked for rarely; a kept connection would only hold a socket.
    network_->setAutoDeleteReplies(true);
}

TokenEndpoint::~TokenEndpoint() {
    Abort();
}

void TokenEndpoint::Abort() {
    if (QNetworkReply* reply = reply_.data()) {
        reply_.clear();
        reply->disconnect(this);
        reply->abort();
    }
}

void TokenEndpoint::Post(const QString& url, const QByteArray& body) {
    Abort();
    const QUrl target(url, QUrl::StrictMode);
    if (!target.isValid() || target.scheme() != QLatin1String("https") || target.host().isEmpty()) {
        const QString reason = UiString("SignIn", "トークンの URL が https:// ではありません");
        QTimer::singleShot(0, this, [this, reason] { emit unreachable(reason); });
        return;
    }
    QNetworkRequest request(target);
    request.setHeader(QNetworkRequest::ContentTypeHeader,
                      QByteArrayLiteral("application/x-www-form-urlencoded"));
    request.setRawHeader("Accept", "application/json");
    // A redirect would carry the code or refresh token to another address.
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::ManualRedirectPolicy);
    request.setTransferTimeout(TimeOutMs);
    tooLarge_ = false;
    QNetworkReply* reply = network_->post(request, body);
    reply_ = reply;
    // The transfer time-out starts again at every byte: an answer that trickles
    // in would hold the check waiting for its token for hours.
    QTimer::singleShot(TimeOutMs, reply, &QNetworkReply::abort);
    reply->setReadBufferSize(kMaxTokenReply + 1);
    connect(reply, &QNetworkReply::metaDataChanged, this, [this, reply] {
        if (reply->header(QNetworkRequest::ContentLengthHeader).toLongLong() > kMaxTokenReply) {
            tooLarge_ = true;
            reply->abort();
        }
    });
    connect(reply, &QNetworkReply::readyRead, this, [this, reply] {
        if (reply->bytesAvailable() > kMaxTokenReply) {
            tooLarge_ = true;
            reply->abort();
        }
    });
    connect(reply, &QNetworkReply::finished, this, &TokenEndpoint::Finished);
}

void TokenEndpoint::Finished() {
    QNetworkReply* reply = reply_.data();
    if (!reply)
        return;
    reply_.clear();
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    const QByteArray body =
        tooLarge_ || !reply->isOpen() ? QByteArray() : reply->read(kMaxTokenReply + 1);
    if (tooLarge_ || body.size() > kMaxTokenReply) {
        emit unreachable(UiString("SignIn", "トークンの応答が大きすぎます"));
        return;
    }
    if (reply->error() == QNetworkReply::OperationCanceledError) { // its time is up
        emit unreachable(UiString("SignIn", "トークンの応答がありません"));
        return;
    }
    if (status >= 300 && status < 400) {
        emit unreachable(UiString("SignIn", "トークンの URL が別の場所に転送されました"));
        return;
    }
    // A refusal comes as 400 or 401 with its JSON; only that is the provider's word.
    const TokenReply answer = ReadTokenReply(body);
    if (answer.outcome == TokenOutcome::Granted && status == 200) {
        emit answered(answer);
        return;
    }
    if (answer.outcome == TokenOutcome::InvalidGrant || answer.outcome == TokenOutcome::Refused) {
        emit answered(answer);
        return;
    }
    if (reply->error() != QNetworkReply::NoError && status == 0) {
        emit unreachable(UiString("SignIn", "トークンの URL に接続できません（%1）")
                             .arg(reply->errorString().simplified().left(300)));
        return;
    }
    emit unreachable(UiString("SignIn", "トークンの応答を読めません（HTTP %1）").arg(status));
}

} // namespace pim
