// Whole sign-ins against the tests' own authorization server, the browser
// played by the test: it follows the provider's redirect to Pim's loopback port.
#include "oauth/BrowserSignIn.h"

#include "oauth/AuthServer.h"
#include "oauth/TokenSource.h"

#include <QJsonDocument>
#include <QJsonObject>
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
        return {server.Url("/authorize"), server.Url("/token"), QStringLiteral("pim-test"),
                QString(), QStringLiteral("mail offline_access")};
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

// Each step: what the provider is told first, then what a Want or a refusal gives.
TEST_F(BrowserSignInTest, TokensAreRefreshedOnlyWhenStaleAndAGrantEndsOnlyByTheProvidersWord) {
    TokenSource source;
    qint64 now = 1'000'000;
    source.Now = [&] { return now; };
    source.SetClient(Client());
    std::vector<std::string> told;
    QObject::connect(&source, &TokenSource::ready, [&](const QByteArray& token) {
        told.push_back("ready " + token.left(3).toStdString());
    });
    QObject::connect(&source, &TokenSource::signInNeeded,
                     [&](const QString&) { told.push_back("sign in"); });
    QObject::connect(&source, &TokenSource::unavailable,
                     [&](const QString&) { told.push_back("unavailable"); });
    QObject::connect(&source, &TokenSource::refreshTokenChanged, [&](const QByteArray& token) {
        told.push_back(token.isEmpty() ? "forget" : "store");
    });
    const auto want = [&] {
        told.clear();
        source.Want();
        test::RunUntil([&] { return !source.Busy(); }, 10s);
        std::string all;
        for (const std::string& one : told)
            all += (all.empty() ? "" : ", ") + one;
        return all;
    };
    EXPECT_EQ(want(), "sign in");
    source.SetRefreshToken(
        QJsonDocument::fromJson(server.Control("grant"))["refresh_token"].toString().toLatin1());
    EXPECT_EQ(want(), "ready at-");
    const QByteArray log = server.Control("log");
    EXPECT_EQ(want(), "ready at-"); // still good: no request
    EXPECT_EQ(server.Control("log"), log);
    now += 3600'000 - TokenSource::kMarginMs + 1;
    server.Control("rotate");
    EXPECT_EQ(want(), "store, ready at-");
    // Refused: refreshed once, unless just issued; the refreshed one's refusal stands.
    now += TokenSource::kJustIssuedMs;
    EXPECT_TRUE(source.Refused());
    EXPECT_EQ(want(), "store, ready at-");
    EXPECT_FALSE(source.Refused());
    source.Accepted();
    EXPECT_EQ(want(), "store, ready at-");
    EXPECT_FALSE(source.Refused()) << "just issued: no fresher one to ask for";
    // The provider out of reach keeps the grant.
    const QByteArray kept = source.RefreshToken();
    OAuthClient away = Client();
    away.tokenUrl = QStringLiteral("https://127.0.0.1:1/token");
    source.SetClient(away);
    EXPECT_EQ(want(), "unavailable");
    EXPECT_EQ(source.RefreshToken(), kept);
    // Its refusal ends it, and the store giving the ended one back asks nothing.
    source.SetClient(Client());
    server.Control("revoke");
    EXPECT_EQ(want(), "forget, sign in");
    const QByteArray asked = server.Control("log");
    source.SetRefreshToken(kept);
    EXPECT_EQ(want(), "sign in");
    EXPECT_EQ(server.Control("log"), asked);
}

} // namespace
} // namespace pim
