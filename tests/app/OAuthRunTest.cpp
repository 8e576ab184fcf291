// Checks of accounts that sign in with OAuth tokens: a real Dovecot asking the
// tests' own authorization server of every token, over IMAP and POP3.
#include "app/CheckRunFakes.h"
#include "oauth/AuthServer.h"
#include "oauth/TokenReply.h"
#include "oauth/TokenSource.h"
#include "platform/OnlineAccounts.h"
#include "support/DovecotServer.h"
#include "support/MailboxServer.h"
#include "support/PimProgram.h"
#include "support/PrivateBus.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <filesystem>
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
        const TokenReply grant = ReadTokenReply(authority.Control("grant?user=taro"));
        const std::string hosts[] = {"imaps://localhost:" + std::to_string(dovecot.ImapTlsPort()),
                                     "pop3s://localhost:" + std::to_string(dovecot.TlsPort())};
        for (size_t i = 0; i < std::size(hosts); ++i) {
            TAccount& account = accounts[i];
            account = {true, "Taro" + std::to_string(i), hosts[i], "taro", ""};
            account.Auth = AccountAuth::OAuth2;
            account.OAuthAuthorizeUrl = authority.Url("/authorize").toStdString();
            account.OAuthTokenUrl = authority.Url("/token").toStdString();
            account.OAuthClientId = "pim-test";
            account.OAuthRefreshToken = grant.refreshToken.toStdString();
        }
    }
};

// A token the server calls stale is refreshed once for a new session; a grant
// the provider ended asks for a sign-in, nothing is sent to the server, and
// only a check the user started opens the browser, once a run (a push's never).
// The tokens of that sign-in check the account at once.
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
    for (const char* next : {"expire", "revoke"}) {
        ASSERT_TRUE(start.Check());
        // Each account's first token, then a fresh one for each after the expiry.
        EXPECT_EQ(lines() + " " + std::to_string(refreshes()),
                  next == std::string("expire") ? "1  | 1  2" : "1  | 1  4");
        now += std::chrono::milliseconds(TokenSource::kJustIssuedMs);
        authority.Control(next);
    }
    ASSERT_TRUE(start.Check());
    const std::string ended = "サインインが必要です: invalid_grant: revoked";
    EXPECT_EQ(lines() + start.run.ShownResults()[0].Subjects[0],
              "-4 " + ended + " | -4 " + ended + "t1")
        << "the mail shown before stays";
    start.run.PushCheck(start.list.All()[0]->id()); // nor a push's
    ASSERT_TRUE(test::RunUntil([&] { return start.host.over == 4; }, std::chrono::seconds(20)));
    EXPECT_TRUE(start.host.signIns.empty());
    ASSERT_TRUE(start.Check(CheckRun::Sender::CheckButton));
    EXPECT_EQ(start.host.signIns, std::vector{start.list.All()[0]->id()});
    for (const auto& account : start.list.All())
        EXPECT_TRUE(account->state() == Account::State::NeedsSignIn && kept[account->id()].empty());
    TokenReply tokens = ReadTokenReply(authority.Control("grant?user=taro"));
    start.list.All()[1]->SignedIn(tokens);
    ASSERT_TRUE(test::RunUntil([&] { return start.host.over == 6; }, std::chrono::seconds(20)));
    EXPECT_EQ(lines() + kept[start.list.All()[1]->id()],
              "-4 " + ended + " | 1 " + tokens.refreshToken.toStdString());
}

// An account of the desktop's online accounts: its server and user come from
// the desktop, its token is asked of it at each login; a token the server
// refuses is asked for once more after the desktop made sure of it, then the
// line says to sign in there. The desktop played on a private session bus.
TEST_F(OAuthRunTest, TheDesktopsAccountSignsInWithTheTokenItHandsOut) {
    if (const QString reason = test::PrivateBus::SkipReason(); !reason.isEmpty())
        GTEST_SKIP() << reason.toStdString();
    const QString token =
        QString::fromLatin1(ReadTokenReply(authority.Control("grant?user=taro")).accessToken);
    const QJsonObject account{{"id", "d"},
                              {"host", QStringLiteral("localhost:%1").arg(dovecot.ImapTlsPort())},
                              {"ssl", true},
                              {"user", "taro"},
                              {"token", token}};
    test::PrivateBus bus;
    ASSERT_TRUE(bus.Start() &&
                bus.StartMock({"--template", PIM_TESTS_DIR "/platform/goa_template.py", "-p",
                               QJsonDocument(QJsonObject{{"accounts", QJsonArray{account}}})
                                   .toJson(QJsonDocument::Compact)
                                   .toStdString()},
                              false, QStringLiteral("org.gnome.OnlineAccounts")))
        << bus.error().toStdString();
    OnlineAccounts goa(bus.Bus());
    // As at a start: the user moved since, and the desktop is not read yet.
    const std::string server = "imaps://localhost:" + std::to_string(dovecot.ImapTlsPort());
    accounts = {};
    accounts[0] = {true, "Desk", server, "someone", ""};
    accounts[0].OnlineAccount = "d";
    FakeStart start(accounts, settings);
    start.list.SetHolding(false);
    start.list.Online = &goa;
    std::string followed;
    QObject::connect(&start.list, &AccountList::followed,
                     [&](int slot, const std::string& host, const std::string& user) {
                         followed += std::to_string(slot) + ' ' + host + ' ' + user;
                     });
    ASSERT_TRUE(start.Check());
    EXPECT_EQ(cp932::ToUtf8(start.run.ShownResults()[0].Reason),
              "オンラインアカウントでサーバが変わりました")
        << "the token is not sent for the old user";
    ASSERT_TRUE(start.Check());
    EXPECT_EQ(std::to_string(start.run.ShownResults()[0].Count) + followed,
              "10 " + server + " taro");
    authority.Control("expire");
    ASSERT_TRUE(start.Check(CheckRun::Sender::CheckButton));
    EXPECT_EQ(cp932::ToUtf8(start.run.ShownResults()[0].Reason),
              "オンラインアカウントで再度サインインしてください");
    EXPECT_EQ(bus.Logged("org.gnome.OnlineAccounts", "EnsureCredentials").size(), 1u);
    EXPECT_TRUE(start.host.signIns.empty()) << "signed in on the desktop, not here";
}

// The program itself, as a user meets it: the start-up check opens the browser
// once; the account is checked and pushed; a restart signs in with the rotated
// refresh token; no token stands in Pim.INI in clear. Without a check at its
// start it watches from the start on: only what arrives while it runs is news,
// the mail there at its start is listed without a word. Pim trusts the tests'
// authorities through a private mount over the system's certificates; the
// desktop's notification service is played on a private session bus.
TEST_F(OAuthRunTest, TheProgramSignsInOnceAndKeepsWatchingWithoutTheBrowser) {
    if (::system("unshare --mount true 2>/dev/null") != 0)
        GTEST_SKIP() << "needs a mount namespace of its own";
    if (const QString reason = test::PrivateBus::SkipReason(); !reason.isEmpty())
        GTEST_SKIP() << reason.toStdString();
    test::PrivateBus bus;
    const QString service = QStringLiteral("org.freedesktop.Notifications");
    ASSERT_TRUE(bus.Start() && bus.StartMock({"--template", "notification_daemon"}, false, service))
        << bus.error().toStdString();
    const auto notices = [&] { return bus.Logged(service, "Notify"); };
    test::PimProgram pim({"DBUS_SESSION_BUS_ADDRESS=" + bus.Address().toStdString()});
    const auto at = [&](const std::string& name) { return pim.File(name); };
    pim.Set("PATH=" + at("bin") + ":/usr/bin:/bin");
    std::filesystem::create_directories(at("certs"));
    std::filesystem::copy_file(authority.Certificate(), at("certs/authority.pem"));
    std::filesystem::copy_file(dovecot.File("ca.pem"), at("certs/mail.pem"));
    ASSERT_EQ(::system(("openssl rehash " + at("certs") + " >/dev/null 2>&1").c_str()), 0);
    const std::string mount = "mount --bind \"$1\" /etc/ssl/certs && exec \"$2\"";
    const std::vector<std::string> trusting = {
        "/usr/bin/unshare", "--mount", "/bin/sh", "-c", mount, "sh", at("certs")};
    // The browser follows the provider's consent to Pim's loopback port.
    test::WriteFile(
        at("bin/xdg-open"),
        "#!/bin/sh\necho \"$1\" >>" + at("browser.log") + "\nback=$(curl -s --cacert " +
            authority.Certificate() +
            " -o /dev/null -w '%{redirect_url}' \"$1\")\ncurl -s \"$back\" >/dev/null\n");
    std::filesystem::permissions(at("bin/xdg-open"), std::filesystem::perms::owner_all);
    test::WriteFile(at("Pim.INI"),
                    "[Account0]\r\nEnabled=1\r\nName=Taro\r\nHostName=imaps://localhost:" +
                        std::to_string(dovecot.ImapTlsPort()) +
                        "\r\nUserID=taro\r\nAuth=OAuth2\r\nOAuthAuthorizeUrl=" +
                        authority.Url("/authorize").toStdString() +
                        "\r\nOAuthTokenUrl=" + authority.Url("/token").toStdString() +
                        "\r\nOAuthClientId=pim-test\r\n[Setting]\r\nScheduleRun=1\r\n");
    authority.Control("rotate");
    const auto browsers = [&] {
        const std::string log = test::ReadFile(at("browser.log"));
        return std::count(log.begin(), log.end(), '\n');
    };
    const auto deliver = [&](const char* subject) {
        return dovecot.Doveadm({"save", "-u", "taro"}, test::SimpleMessage(subject));
    };

    pim.Start(trusting);
    ASSERT_TRUE(pim.WaitSeen(1)) << pim.Log();
    EXPECT_TRUE(browsers() == 1 && authority.Control("log").count("authorization_code") == 1);
    ASSERT_EQ(deliver("pushed"), "");
    ASSERT_TRUE(pim.WaitSeen(2)) << "pushed at once";

    const auto refreshToken = [&] {
        const std::string ini = test::ReadFile(at("Pim.INI"));
        const size_t key = ini.find("OAuthRefreshToken=");
        return key == std::string::npos ? "" : ini.substr(key, ini.find('\r', key) - key);
    };
    const std::string kept = refreshToken();
    EXPECT_NE(kept, "");
    ASSERT_EQ(pim.Stop(), 0);
    ASSERT_EQ(deliver("while away"), "");
    std::string ini = test::ReadFile(at("Pim.INI"));
    ASSERT_NE(ini.find("ScheduleRun=1"), std::string::npos);
    test::WriteFile(at("Pim.INI"), ini.replace(ini.find("ScheduleRun=1"), 13, "ScheduleRun=0"));
    // What the first start announced, all of it logged by now.
    bus.Call(service, QStringLiteral("/org/freedesktop/Notifications"), service,
             QStringLiteral("GetServerInformation"));
    const size_t told = notices().size();
    pim.Start(trusting);
    ASSERT_TRUE(pim.WaitSeen(3)) << pim.Log();
    EXPECT_EQ(browsers(), 1) << "a restart signs in with the kept token";
    EXPECT_NE(refreshToken(), kept) << "the rotated token kept";
    test::RunFor(std::chrono::milliseconds(500));
    EXPECT_EQ(notices().size(), told) << "nothing there at the start is news";
    ASSERT_EQ(deliver("pushed again"), "");
    ASSERT_TRUE(
        test::RunUntil([&] { return notices().size() == told + 1; }, std::chrono::seconds(20)));
    EXPECT_NE(notices().back().find("pushed again"), std::string::npos) << notices().back();

    ini = test::ReadFile(at("Pim.INI"));
    EXPECT_TRUE(ini.find("rt-") == std::string::npos && ini.find("at-") == std::string::npos);
    EXPECT_EQ(pim.Stop(), 0);
}

} // namespace
} // namespace pim
