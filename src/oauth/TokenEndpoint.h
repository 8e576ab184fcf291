// One request to a provider's token endpoint at a time: HTTPS only, checked
// against the system's trust, no redirect followed, the answer bounded in size
// and time. What it says is read by ReadTokenReply.
#pragma once

#include "oauth/TokenReply.h"

#include <QObject>
#include <QPointer>
#include <QString>

class QNetworkAccessManager;
class QNetworkReply;

namespace pim {

class TokenEndpoint : public QObject {
    Q_OBJECT
public:
    static constexpr int kTimeOutMs = 30'000;

    explicit TokenEndpoint(QObject* parent = nullptr);
    ~TokenEndpoint() override;

    // Posts `body` (form-encoded) to `url`; one of the signals follows, from
    // the event loop. A request still going is dropped first.
    void Post(const QString& url, const QByteArray& body);
    // The time the whole answer has; tests shorten it.
    int TimeOutMs = kTimeOutMs;
    void Abort();

signals:
    // The provider answered: tokens, or its refusal (TokenReply::outcome).
    void answered(const pim::TokenReply& reply);
    // It could not be asked, or its answer was no token endpoint's; the reason
    // is one line for the user. A stored refresh token stays good.
    void unreachable(const QString& reason);

private:
    void Finished();

    QNetworkAccessManager* network_;
    QPointer<QNetworkReply> reply_;
    bool tooLarge_ = false;
};

} // namespace pim
