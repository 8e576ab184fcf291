// Whole sign-ins against the tests' own authorization server, the browser
// played by the test: it follows the provider's redirect to Pim's loopback port.
#include "oauth/BrowserSignIn.h"

#include "oauth/AuthServer.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <gtest/gtest.h>
#include <optional>

namespace pim {
namespace {

using namespace std::chrono_literals;

struct BrowserSignInTest : ::testing::Test {
    test::AuthServer server;
    QNetworkAccessManager browser;
    QByteArray page; // what Pim's port showed the browser
    std::optional<TokenReply> tokens;
    QString failure;

    void SetUp() override { ASSERT_TRUE(server.Running()); }

    OAuthClient Client() const {
        return {server.Url("/authorize"),
                server.Url("/token"),
                QStringLiteral("pim-test"),
                {},
                QStringLiteral("mail offline_access")};
    }
    // Opens the provider's page and follows its one redirect, as a browser would.
    bool Open(const QUrl& url) {
        QNetworkRequest request(url);
        request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                             QNetworkRequest::ManualRedirectPolicy);
        QNetworkReply* reply = browser.get(request);
        QObject::connect(reply, &QNetworkReply::finished, [this, reply] {
            const QUrl back = reply->header(QNetworkRequest::LocationHeader).toUrl();
            QNetworkReply* answer = browser.get(QNetworkRequest(back));
            QObject::connect(answer, &QNetworkReply::finished, [this, answer] {
                page = answer->readAll();
                answer->deleteLater();
            });
            reply->deleteLater();
        });
        return true;
    }
    void Watch(BrowserSignIn& signIn) {
        QObject::connect(&signIn, &BrowserSignIn::signedIn,
                         [this](const TokenReply& reply) { tokens = reply; });
        QObject::connect(&signIn, &BrowserSignIn::failed,
                         [this](const QString& reason) { failure = reason; });
    }
};

TEST_F(BrowserSignInTest, TheBrowsersRedirectBringsTokensAndAThankYouPage) {
    BrowserSignIn signIn(Client(), QStringLiteral("taro@example.jp"),
                         [this](const QUrl& url) { return Open(url); });
    Watch(signIn);
    ASSERT_TRUE(signIn.Start());
    EXPECT_TRUE(signIn.BrowserOpened());
    ASSERT_TRUE(test::RunUntil([&] { return tokens || !failure.isEmpty(); }, 20s));
    ASSERT_TRUE(tokens) << failure.toStdString();
    EXPECT_FALSE(tokens->accessToken.isEmpty());
    EXPECT_FALSE(tokens->refreshToken.isEmpty());
    EXPECT_TRUE(test::RunUntil([&] { return !page.isEmpty(); }, 10s));
    EXPECT_TRUE(page.contains("Pim")) << page.toStdString();
    EXPECT_TRUE(server.Control("log").contains("authorization_code"));
}

TEST_F(BrowserSignInTest, AProviderRefusalEndsTheSignInWithItsReason) {
    server.Control("deny");
    BrowserSignIn signIn(Client(), {}, [this](const QUrl& url) { return Open(url); });
    Watch(signIn);
    ASSERT_TRUE(signIn.Start());
    ASSERT_TRUE(test::RunUntil([&] { return tokens || !failure.isEmpty(); }, 20s));
    EXPECT_FALSE(tokens);
    EXPECT_TRUE(failure.contains(QStringLiteral("access_denied: The user said no")))
        << failure.toStdString();
}

TEST_F(BrowserSignInTest, AClientThatCannotSignInOpensNoBrowser) {
    OAuthClient client = Client();
    client.tokenUrl = QStringLiteral("http://127.0.0.1:1/token");
    bool opened = false;
    BrowserSignIn signIn(client, {}, [&](const QUrl&) { return opened = true; });
    EXPECT_FALSE(signIn.Start());
    EXPECT_FALSE(signIn.Reason().isEmpty());
    EXPECT_FALSE(opened);
}

} // namespace
} // namespace pim
