// Whole sign-ins against the tests' own authorization server, the browser
// played by the test: it follows the provider's redirect to Pim's loopback port.
#include "oauth/BrowserSignIn.h"

#include "oauth/AuthServer.h"
#include "oauth/TokenSource.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <gtest/gtest.h>
#include <memory>
#include <optional>

namespace pim {
namespace {

using namespace std::chrono_literals;

struct BrowserSignInTest : ::testing::Test {
    test::AuthServer server;
    QNetworkAccessManager browser;
    QByteArray page; // what Pim's port showed the browser

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
};

// The browser's redirect brings tokens and a page naming Pim; the provider's
// refusal ends the next sign-in with its reason; a client that cannot sign in
// opens no browser.
TEST_F(BrowserSignInTest, TheRedirectBringsTokensOrTheProvidersRefusal) {
    std::optional<TokenReply> tokens;
    QString failure;
    std::unique_ptr<BrowserSignIn> signIn; // alive while its page goes out
    const auto run = [&](const QString& hint) {
        signIn = std::make_unique<BrowserSignIn>(Client(), hint,
                                                 [this](const QUrl& url) { return Open(url); });
        QObject::connect(signIn.get(), &BrowserSignIn::signedIn,
                         [&](const TokenReply& reply) { tokens = reply; });
        QObject::connect(signIn.get(), &BrowserSignIn::failed,
                         [&](const QString& reason) { failure = reason; });
        return signIn->Start() && signIn->BrowserOpened() &&
               test::RunUntil([&] { return tokens || !failure.isEmpty(); }, 20s);
    };
    ASSERT_TRUE(run(QStringLiteral("taro@example.jp")));
    ASSERT_TRUE(tokens) << failure.toStdString();
    EXPECT_FALSE(tokens->accessToken.isEmpty() || tokens->refreshToken.isEmpty());
    EXPECT_TRUE(test::RunUntil([&] { return page.contains("Pim"); }, 10s)) << page.toStdString();
    server.Control("deny");
    tokens.reset();
    ASSERT_TRUE(run({}));
    EXPECT_FALSE(tokens);
    EXPECT_TRUE(failure.contains(QStringLiteral("access_denied: The user said no")))
        << failure.toStdString();
    OAuthClient client = Client();
    client.tokenUrl = QStringLiteral("http://127.0.0.1:1/token");
    bool opened = false;
    BrowserSignIn plain(client, {}, [&](const QUrl&) { return opened = true; });
    EXPECT_FALSE(plain.Start() || opened || plain.Reason().isEmpty());
}

// Each step: what the provider is told first, then what a Want gives. How a
// refusal and an ended grant play in a check: OAuthRunTest.
TEST_F(BrowserSignInTest, TokensAreRefreshedOnlyWhenStaleAndAGrantEndsOnlyByTheProvidersWord) {
    TokenSource source;
    qint64 now = 1'000'000;
    source.Now = [&] { return now; };
    source.SetClient(Client());
    std::string told;
    const auto note = [&](const std::string& what) { told += (told.empty() ? "" : ", ") + what; };
    QObject::connect(&source, &TokenSource::ready, [&](const QByteArray& token) {
        note("ready " + token.left(3).toStdString());
    });
    QObject::connect(&source, &TokenSource::signInNeeded, [&](const QString& reason) {
        note(reason.contains(u"invalid_grant") ? "sign in again" : "sign in");
    });
    QObject::connect(&source, &TokenSource::unavailable,
                     [&](const QString&) { note("unavailable"); });
    QObject::connect(&source, &TokenSource::refreshTokenChanged,
                     [&](const QByteArray& token) { note(token.isEmpty() ? "forget" : "store"); });
    const auto want = [&] {
        told.clear();
        source.Want();
        test::RunUntil([&] { return !source.Busy(); }, 10s);
        return told;
    };
    EXPECT_EQ(want(), "sign in");
    source.SetRefreshToken(ReadTokenReply(server.Control("grant")).refreshToken);
    EXPECT_EQ(want(), "ready at-");
    // Refreshed within the margin before its end.
    now += 3600'000 - TokenSource::kMarginMs + 1;
    server.Control("rotate");
    EXPECT_EQ(want(), "store, ready at-");
    // The provider out of reach keeps the grant.
    const QByteArray kept = source.RefreshToken();
    OAuthClient away = Client();
    away.tokenUrl = QStringLiteral("https://127.0.0.1:1/token");
    source.SetClient(away);
    now += 3600'000;
    EXPECT_EQ(want(), "unavailable");
    EXPECT_EQ(source.RefreshToken(), kept);
    // Its refusal ends it; a grant given and taken away since is no longer the reason.
    source.SetClient(Client());
    server.Control("revoke");
    EXPECT_EQ(want(), "forget, sign in again");
    source.SetRefreshToken("new");
    source.SetRefreshToken({});
    EXPECT_EQ(want(), "sign in");
}

} // namespace
} // namespace pim
