// One sign-in in the desktop's browser (RFC 8252): a loopback port that waits
// for the redirect, the provider's page opened, and the code it sends back
// exchanged for tokens with the PKCE verifier. Bounded in time; cancellable.
#pragma once

#include "oauth/LoopbackRedirect.h"
#include "oauth/OAuthClient.h"
#include "oauth/TokenEndpoint.h"

#include <QObject>
#include <QTimer>
#include <QUrl>
#include <functional>

namespace pim {

class BrowserSignIn : public QObject {
    Q_OBJECT
public:
    static constexpr int kWaitMs = 5 * 60 * 1000;
    // Opens a page in the desktop's browser; false when none could be asked to.
    using OpenUrl = std::function<bool(const QUrl&)>;

    BrowserSignIn(const OAuthClient& client, const QString& loginHint, OpenUrl openUrl,
                  QObject* parent = nullptr);
    ~BrowserSignIn() override;

    // Listens and opens the browser. False (nothing started) when the client
    // cannot sign in or no port could be had; Reason says why.
    bool Start();
    // The provider's page, for the user to open by hand when no browser came up.
    QUrl Url() const { return url_; }
    // Whether the browser was asked to open the page.
    bool BrowserOpened() const { return browserOpened_; }
    const QString& Reason() const { return reason_; }
    // Ends the sign-in; nothing more is told.
    void Cancel();

signals:
    void signedIn(const pim::TokenReply& tokens);
    void failed(const QString& reason);

private:
    void Exchange(const QByteArray& code);
    void Fail(const QString& reason);

    OAuthClient client_;
    QString loginHint_;
    OpenUrl openUrl_;
    LoopbackRedirect listener_;
    TokenEndpoint endpoint_;
    QTimer wait_;
    Pkce pkce_;
    QString redirectUri_;
    QUrl url_;
    QString reason_;
    bool browserOpened_ = false;
};

} // namespace pim
