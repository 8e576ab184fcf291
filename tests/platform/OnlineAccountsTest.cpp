// The desktop's online accounts and keyring, played by stand-ins on a private session bus.
#include "platform/OnlineAccounts.h"

#include "common/UiText.h"
#include "platform/SecretService.h"
#include "support/EventLoop.h"
#include "support/PrivateBus.h"

#include <QDBusConnectionInterface>
#include <csignal>
#include <gtest/gtest.h>
#include <optional>

namespace pim {
namespace {

using namespace std::chrono_literals;

// ImapHost with or without a port (a number or a service name), IPv6 included;
// what cannot be a host gives none.
TEST(OnlineAccounts, TheServerIsTakenFromTheMailInterface) {
    const struct {
        const char* host;
        bool ssl, tls;
        const char* server;
    } rows[] = {{"imap.gmail.com", true, false, "imaps://imap.gmail.com"},
                {"mail.example.jp:1993", true, false, "imaps://mail.example.jp:1993"},
                {"mail.example.jp:imaps", true, false, "imaps://mail.example.jp"},
                {"mail.example.jp:imap", false, true, "imap://mail.example.jp"},
                {"mail.example.jp:993", false, true, "imap://mail.example.jp:993"},
                {"::1", true, false, "imaps://[::1]"},
                {"[::1]:1143", false, false, "imap://[::1]:1143"},
                {"", true, false, ""},
                {"h:99999", true, false, ""},
                {"h:pop3", true, false, ""},
                {"a/b", true, false, ""}};
    for (const auto& row : rows)
        EXPECT_EQ(OnlineServer(row.host, row.ssl, row.tls), row.server) << row.host;
}

// The mail accounts with IMAP are listed, each with why Pim cannot use it where
// it cannot; tokens and passwords are asked for at each login, a refused token
// after the service made sure of the credentials; an account added there shows.
TEST(OnlineAccounts, MailAccountsAndTheirCredentialsComeFromTheDesktop) {
    if (const QString reason = test::PrivateBus::SkipReason(); !reason.isEmpty())
        GTEST_SKIP() << reason.toStdString();
    SetUiLanguage(UiLanguage::English);
    // goa_template.py's accounts.
    const std::string accounts = R"({"accounts": [
        {"id": "g", "host": "imap.gmail.com", "ssl": true, "address": "taro@gmail.com",
         "token": "tok-g", "provider": "Google"},
        {"id": "p", "host": "mail.example.jp:imap", "tls": true, "user": "taro", "password": "pw-p"},
        {"id": "clear", "host": "mail.example.jp", "token": "tok-c"},
        {"id": "off", "host": "imap.example.jp", "ssl": true, "mailDisabled": true, "password": "x"},
        {"id": "stale", "host": "imap.example.jp", "ssl": true, "token": ""},
        {"id": "busy", "host": "imap.example.jp", "ssl": true, "token": "!"},
        {"id": "noimap", "imap": false, "password": "x"}]})";
    test::PrivateBus bus;
    ASSERT_TRUE(
        bus.Start() &&
        bus.StartMock({"--template", PIM_TESTS_DIR "/platform/goa_template.py", "-p", accounts},
                      false, QStringLiteral("org.gnome.OnlineAccounts")))
        << bus.error().toStdString();
    OnlineAccounts goa(bus.Bus());
    int changes = 0;
    QObject::connect(&goa, &OnlineAccounts::changed, [&] { ++changes; });
    goa.Refresh();
    ASSERT_TRUE(test::RunUntil([&] { return changes > 0; }, 10s));
    EXPECT_TRUE(goa.Present());
    QStringList listed;
    for (const OnlineMailAccount& a : goa.MailAccounts())
        listed << a.id + u' ' + a.server + u' ' + a.user + u' ' + (a.oauth ? u'T' : u'P') +
                      (a.tlsRequired ? QStringLiteral(" tls") : QString()) +
                      (a.refusal.isEmpty() ? QString() : QStringLiteral(" !"));
    listed.sort();
    EXPECT_EQ(listed.join(u'|'),
              "busy imaps://imap.example.jp  T tls|clear imap://mail.example.jp  T !|"
              "g imaps://imap.gmail.com taro@gmail.com T tls|"
              "off imaps://imap.example.jp  P tls|p imap://mail.example.jp taro P tls|"
              "stale imaps://imap.example.jp  T tls");

    const auto credentials = [&](const char* id, bool renew) {
        QString got;
        // "=" the secret, "!" the user must sign in there, "?" for now
        goa.Credentials(QString::fromLatin1(id), renew, [&](const OnlineAccounts::Secret& s) {
            got = s.value ? u'=' + *s.value : (s.signInNeeded ? u'!' : u'?') + s.reason;
        });
        test::RunUntil([&] { return !got.isEmpty(); }, 10s);
        return got;
    };
    EXPECT_EQ(credentials("g", false), "=tok-g");
    EXPECT_EQ(credentials("p", false), "=pw-p");
    EXPECT_EQ(credentials("stale", true), "!Sign in again in Online Accounts");
    EXPECT_EQ(credentials("busy", false), "?No answer from Online Accounts");
    for (const char* id : {"off", "clear", "gone"})
        EXPECT_TRUE(credentials(id, false).startsWith(u'!')) << id;
    EXPECT_EQ(bus.Logged("org.gnome.OnlineAccounts", "EnsureCredentials").size(), 1u);

    const int before = changes;
    bus.Call("org.gnome.OnlineAccounts", "/org/gnome/OnlineAccounts",
             "org.gnome.OnlineAccounts.Manager", "AddAccount",
             {R"({"id": "new", "host": "imap.new.example", "ssl": true, "password": "n"})"});
    EXPECT_TRUE(test::RunUntil([&] { return changes > before && goa.Find("new"); }, 10s));
    SetUiLanguage(UiLanguage::Japanese);
}

// A service that answers with another type of list is taken for none; one that
// does not answer leaves a login to try again, not to sign in anew.
TEST(OnlineAccounts, AListOfAnotherTypeIsNoneAndNoAnswerIsNoVerdict) {
    if (const QString reason = test::PrivateBus::SkipReason(); !reason.isEmpty())
        GTEST_SKIP() << reason.toStdString();
    const QString service = QStringLiteral("org.gnome.OnlineAccounts");
    test::PrivateBus bus;
    ASSERT_TRUE(bus.Start() &&
                bus.StartMock({"org.gnome.OnlineAccounts", "/org/gnome/OnlineAccounts",
                               "org.freedesktop.DBus.ObjectManager"},
                              false, service))
        << bus.error().toStdString();
    bus.Call(service, "/org/gnome/OnlineAccounts", "org.freedesktop.DBus.Mock", "AddMethod",
             {"", "GetManagedObjects", "", "a{sv}", "ret = {'x': dbus.Int32(1)}"});
    OnlineAccounts goa(bus.Bus());
    int changes = 0;
    QObject::connect(&goa, &OnlineAccounts::changed, [&] { ++changes; });
    goa.Refresh();
    ASSERT_TRUE(test::RunUntil([&] { return changes > 0; }, 10s));
    EXPECT_FALSE(goa.Present());

    OnlineAccounts hung(bus.Bus());
    hung.ListTimeOutMs = 300;
    const uint pid = bus.Bus().interface()->servicePid(service).value();
    ASSERT_EQ(::kill(pid_t(pid), SIGSTOP), 0);
    std::optional<OnlineAccounts::Secret> got;
    hung.Credentials(QStringLiteral("a"), false, [&](const OnlineAccounts::Secret& s) { got = s; });
    EXPECT_TRUE(test::RunUntil([&] { return got.has_value(); }, 10s));
    ::kill(pid_t(pid), SIGCONT);
    EXPECT_TRUE(got && !got->value && !got->signInNeeded);
}

// A keyring that cannot show its unlock prompt (the call fails) stays locked:
// its item's secret is not read.
TEST(SecretService, AnUnlockPromptThatCannotShowLeavesTheItemLocked) {
    if (const QString reason = test::PrivateBus::SkipReason(); !reason.isEmpty())
        GTEST_SKIP() << reason.toStdString();
    test::PrivateBus bus;
    ASSERT_TRUE(bus.Start() &&
                bus.StartMock({"--template", PIM_TESTS_DIR "/platform/secret_template.py"}, false,
                              QStringLiteral("org.freedesktop.secrets")))
        << bus.error().toStdString();
    SecretService keyring([&] { return bus.Bus(); });
    std::optional<std::pair<SecretService::Status, QByteArray>> got;
    keyring.Read({{"user", "taro"}}, true,
                 [&](SecretService::Status status, const QByteArray& secret) {
                     got.emplace(status, secret);
                 });
    ASSERT_TRUE(test::RunUntil([&] { return got.has_value(); }, 10s));
    EXPECT_EQ(*got, std::pair(SecretService::Status::Locked, QByteArray()));
}

} // namespace
} // namespace pim
