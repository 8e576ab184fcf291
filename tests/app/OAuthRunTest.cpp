// Checks of accounts that sign in with OAuth tokens: a real Dovecot asking the
// tests' own authorization server of every token, over IMAP and POP3.
#include "app/CheckRunFakes.h"
#include "oauth/AuthServer.h"
#include "oauth/TokenReply.h"
#include "oauth/TokenSource.h"
#include "support/DovecotServer.h"
#include "support/MailboxServer.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <gtest/gtest.h>
#include <map>

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
// the provider ended asks for a sign-in, nothing is sent to the server, and
// only a check the user started opens the browser, once a run. The tokens of
// that sign-in check the account at once.
TEST_F(OAuthRunTest, AStaleTokenIsRefreshedOnceAndAnEndedGrantAsksForASignIn) {
    FakeStart start(accounts, settings);
    // Each check logs in anew, IMAP too; the clock is the test's.
    start.list.SetHolding(false);
    std::chrono::milliseconds now{1'000'000};
    start.list.Now = [&] { return now; };
    std::map<Account::Id, std::string> kept; // the refresh tokens told to be kept
    QObject::connect(&start.list, &AccountList::refreshTokenChanged,
                     [&](Account::Id id, const std::string& token) { kept[id] = token; });
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
    EXPECT_TRUE(start.host.signIns.empty());
    ASSERT_TRUE(start.Check(CheckRun::Sender::CheckButton));
    EXPECT_EQ(start.host.signIns, std::vector{start.list.All()[0]->id()});
    for (const auto& account : start.list.All()) {
        EXPECT_EQ(account->state(), Account::State::NeedsSignIn);
        EXPECT_EQ(kept[account->id()], "");
    }
    TokenReply tokens = ReadTokenReply(authority.Control("grant?user=taro"));
    start.list.All()[1]->SignedIn(tokens);
    ASSERT_TRUE(test::RunUntil([&] { return start.host.over == 5; }, std::chrono::seconds(20)));
    EXPECT_EQ(kept[start.list.All()[1]->id()], tokens.refreshToken.toStdString());
    EXPECT_EQ(lines(), "-4 " + ended + " | 1 ");
}

} // namespace
} // namespace pim
