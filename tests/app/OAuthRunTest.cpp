// Checks of accounts that sign in with OAuth tokens: a real Dovecot asking the
// tests' own authorization server of every token, over IMAP and POP3.
#include "app/CheckRunFakes.h"
#include "oauth/AuthServer.h"
#include "oauth/TokenSource.h"
#include "support/DovecotServer.h"
#include "support/MailboxServer.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <gtest/gtest.h>

namespace pim {
namespace {

class OAuthRunTest : public ::testing::Test {
protected:
    test::AuthServer authority;
    test::DovecotServer dovecot;
    TSettings settings;
    TAccounts accounts{};

    void SetUp() override {
        if (const std::string reason = test::DovecotServer::SkipReason(); !reason.empty())
            GTEST_SKIP() << reason;
        ASSERT_TRUE(authority.Running());
        dovecot.AcceptTokens(authority.Url("/introspect").toStdString(), authority.Certificate());
        ASSERT_TRUE(dovecot.Start({{"taro", "pw-taro", {test::SimpleMessage("t1")}}}, true))
            << dovecot.error();
        QSslConfiguration config = QSslConfiguration::defaultConfiguration();
        config.addCaCertificates(
            QSslCertificate::fromPath(QString::fromStdString(dovecot.File("ca.pem"))));
        QSslConfiguration::setDefaultConfiguration(config);
        const QByteArray grant =
            QJsonDocument::fromJson(authority.Control("grant?user=taro"))["refresh_token"]
                .toString()
                .toLatin1();
        const std::string hosts[] = {"imaps://localhost:" + std::to_string(dovecot.ImapTlsPort()),
                                     "pop3s://localhost:" + std::to_string(dovecot.TlsPort())};
        for (size_t i = 0; i < std::size(hosts); ++i) {
            TAccount& account = accounts[i];
            account = {true, "Taro" + std::to_string(i), hosts[i], "taro", ""};
            account.Auth = AccountAuth::OAuth2;
            account.OAuthAuthorizeUrl = authority.Url("/authorize").toStdString();
            account.OAuthTokenUrl = authority.Url("/token").toStdString();
            account.OAuthClientId = "pim-test";
            account.OAuthRefreshToken = grant.toStdString();
        }
    }
};

// A token the server calls stale is refreshed once for a new session; a grant
// the provider ended asks for a sign-in, and nothing is sent to the server.
TEST_F(OAuthRunTest, AStaleTokenIsRefreshedOnceAndAnEndedGrantAsksForASignIn) {
    FakeStart start(accounts, settings);
    // Each check logs in anew, IMAP too; the clock is the test's.
    start.list.SetHolding(false);
    std::chrono::milliseconds now{1'000'000};
    start.list.Now = [&] { return now; };
    const auto lines = [&] {
        std::string text;
        for (size_t i = 0; i < 2; ++i) {
            const AccountResult& r = start.run.ShownResults()[i];
            text += (i ? " | " : "") + std::to_string(r.Count) + " " + cp932::ToUtf8(r.Reason);
        }
        return text;
    };
    const auto refreshes = [&] { return authority.Control("log").count("refresh_token"); };
    ASSERT_TRUE(start.Check());
    EXPECT_EQ(lines(), "1  | 1 ");
    EXPECT_EQ(refreshes(), 2); // each account's first token

    now += std::chrono::milliseconds(TokenSource::kJustIssuedMs);
    authority.Control("expire");
    ASSERT_TRUE(start.Check());
    EXPECT_EQ(lines(), "1  | 1 ");
    EXPECT_EQ(refreshes(), 4);

    now += std::chrono::milliseconds(TokenSource::kJustIssuedMs);
    authority.Control("revoke");
    ASSERT_TRUE(start.Check());
    const std::string ended = "サインインが必要です: invalid_grant: revoked";
    EXPECT_EQ(lines(), "-4 " + ended + " | -4 " + ended);
    for (const auto& account : start.list.All()) {
        EXPECT_EQ(account->state(), Account::State::NeedsSignIn);
        EXPECT_TRUE(account->Settings().OAuthRefreshToken.empty());
    }
}

} // namespace
} // namespace pim
