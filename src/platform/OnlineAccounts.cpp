#include "platform/OnlineAccounts.h"

#include "common/UiText.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QHostAddress>
#include <QMap>

using InterfaceProperties = QMap<QString, QVariantMap>;
using ManagedObjects = QMap<QDBusObjectPath, InterfaceProperties>;
Q_DECLARE_METATYPE(InterfaceProperties)
Q_DECLARE_METATYPE(ManagedObjects)

namespace pim {

namespace {

const QString kService = QStringLiteral("org.gnome.OnlineAccounts");
const QString kRoot = QStringLiteral("/org/gnome/OnlineAccounts");
const QString kAccount = QStringLiteral("org.gnome.OnlineAccounts.Account");
const QString kMail = QStringLiteral("org.gnome.OnlineAccounts.Mail");
const QString kOAuth2 = QStringLiteral("org.gnome.OnlineAccounts.OAuth2Based");
const QString kPassword = QStringLiteral("org.gnome.OnlineAccounts.PasswordBased");

QString SignInAgain() {
    return UiString("OnlineAccounts", "オンラインアカウントで再度サインインしてください");
}

// The service said the grant or password is gone; anything else (no answer in
// time, the service restarting, the provider out of reach) passes.
bool SignInNeeded(const QDBusMessage& reply) {
    return reply.type() == QDBusMessage::ReplyMessage ||
           reply.errorName() == u"org.gnome.OnlineAccounts.Error.NotAuthorized";
}

} // namespace

QString OnlineServer(const QString& imapHost, bool useSsl, bool useTls) {
    QString host = imapHost.trimmed();
    QString port;
    // "[v6]:port", a bare IPv6 address, or "name:port".
    if (host.startsWith(u'[')) {
        const qsizetype close = host.indexOf(u']');
        if (close < 0)
            return {};
        port = host.mid(close + 1).section(u':', 1);
        host = host.mid(1, close - 1);
    } else if (host.count(u':') == 1) {
        port = host.section(u':', 1);
        host = host.section(u':', 0, 0);
    }
    if (host.isEmpty() || host.contains(u'/') || host.contains(u' '))
        return {};
    // A service name for the port: the two IMAP ones are all that can mean IMAP.
    if (port == u"imaps")
        port = QStringLiteral("993");
    else if (port == u"imap")
        port = QStringLiteral("143");
    if (!port.isEmpty() && (port.toUInt() == 0 || port.toUInt() > 65535))
        return {};
    const bool v6 = !QHostAddress(host).isNull() && host.contains(u':');
    QString server = (useSsl ? QStringLiteral("imaps://") : QStringLiteral("imap://")) +
                     (v6 ? u'[' + host + u']' : host);
    if (!port.isEmpty() && port != (useSsl ? u"993" : u"143"))
        server += u':' + port;
    Q_UNUSED(useTls) // imap:// asks for STARTTLS wherever the server offers it
    return server;
}

OnlineAccounts::OnlineAccounts(QDBusConnection bus, QObject* parent)
    : QObject(parent), bus_(std::move(bus)) {
    qDBusRegisterMetaType<InterfaceProperties>();
    qDBusRegisterMetaType<ManagedObjects>();
    const QString manager = QStringLiteral("org.freedesktop.DBus.ObjectManager");
    for (const char* signal : {"InterfacesAdded", "InterfacesRemoved"})
        bus_.connect(kService, kRoot, manager, QLatin1String(signal), this, SLOT(Refresh()));
}

void OnlineAccounts::Refresh() {
    asking_ = true;
    Ask(kRoot, QStringLiteral("org.freedesktop.DBus.ObjectManager"),
        QStringLiteral("GetManagedObjects"), {}, ListTimeOutMs,
        [this](const QDBusMessage& reply) { Read(reply); });
}

void OnlineAccounts::Read(const QDBusMessage& reply) {
    asking_ = false;
    // A service that did not answer in time tells nothing of its accounts: the
    // list read before stands, and a login meanwhile is tried again later.
    unanswered_ = reply.errorName() == u"org.freedesktop.DBus.Error.NoReply" ||
                  reply.errorName() == u"org.freedesktop.DBus.Error.Timeout";
    if (unanswered_) {
        read_ = true;
        for (const auto& asked : std::exchange(waiting_, {}))
            asked();
        return;
    }
    const bool first = !std::exchange(read_, true), wasPresent = present_;
    const std::vector<OnlineMailAccount> before = std::exchange(accounts_, {});
    // A service that answers with another type is none: reading it as this one
    // would crash in the D-Bus library.
    present_ = reply.type() == QDBusMessage::ReplyMessage &&
               reply.signature() == QLatin1String("a{oa{sa{sv}}}");
    if (present_ && !reply.arguments().isEmpty()) {
        const auto objects =
            qdbus_cast<ManagedObjects>(reply.arguments().constFirst().value<QDBusArgument>());
        for (auto object = objects.cbegin(); object != objects.cend(); ++object) {
            const InterfaceProperties& interfaces = object.value();
            const QVariantMap mail = interfaces.value(kMail);
            if (!interfaces.contains(kAccount) ||
                !mail.value(QStringLiteral("ImapSupported")).toBool())
                continue;
            const QVariantMap account = interfaces.value(kAccount);
            OnlineMailAccount m;
            m.id = account.value(QStringLiteral("Id")).toString();
            m.path = object.key().path();
            m.provider = account.value(QStringLiteral("ProviderName")).toString();
            m.identity = account.value(QStringLiteral("PresentationIdentity")).toString();
            m.mailOn = !account.value(QStringLiteral("MailDisabled")).toBool();
            m.oauth = interfaces.contains(kOAuth2);
            const bool ssl = mail.value(QStringLiteral("ImapUseSsl")).toBool();
            const bool tls = mail.value(QStringLiteral("ImapUseTls")).toBool();
            m.server = OnlineServer(mail.value(QStringLiteral("ImapHost")).toString(), ssl, tls);
            m.tlsRequired = ssl || tls;
            m.user = mail.value(QStringLiteral("ImapUserName")).toString();
            if (m.user.isEmpty())
                m.user = mail.value(QStringLiteral("EmailAddress")).toString();
            if (m.server.isEmpty())
                m.refusal = UiString("OnlineAccounts", "メールサーバが分かりません");
            else if (m.oauth && !ssl && !tls)
                m.refusal =
                    UiString("OnlineAccounts", "暗号化（TLS）のない接続にはトークンを送れません");
            else if (!m.oauth && !interfaces.contains(kPassword))
                m.refusal = UiString("OnlineAccounts", "この種類のアカウントには対応していません");
            if (!m.id.isEmpty())
                accounts_.push_back(std::move(m));
        }
    }
    // Asked again at every check: only a change is news.
    if (first || wasPresent != present_ || before != accounts_)
        emit changed();
    for (const auto& asked : std::exchange(waiting_, {}))
        asked();
}

const OnlineMailAccount* OnlineAccounts::Find(const QString& id) const {
    for (const OnlineMailAccount& account : accounts_)
        if (account.id == id)
            return &account;
    return nullptr;
}

void OnlineAccounts::Credentials(const QString& id, bool renew, Done done) {
    // Asked before the list came: after it.
    if (!read_) {
        waiting_.push_back([this, id, renew, done] { Credentials(id, renew, done); });
        if (!asking_)
            Refresh();
        return;
    }
    const OnlineMailAccount* account = Find(id);
    const auto refuse = [&done](const QString& reason) { done({{}, {}, {}, {}, reason, true}); };
    if (!account && unanswered_)
        return done({{},
                     {},
                     {},
                     {},
                     UiString("OnlineAccounts", "オンラインアカウントから応答がありません"),
                     false});
    if (!account)
        return refuse(UiString("OnlineAccounts", "オンラインアカウントにありません"));
    if (!account->mailOn)
        return refuse(UiString("OnlineAccounts", "オンラインアカウントでメールがオフです"));
    if (!account->refusal.isEmpty())
        return refuse(account->refusal);
    const Secret asked{{}, account->oauth, account->server, account->user, {}, false};
    const auto failed = [asked, done](const QDBusMessage& reply) {
        Secret none = asked;
        none.signInNeeded = SignInNeeded(reply);
        none.reason = none.signInNeeded
                          ? SignInAgain()
                          : UiString("OnlineAccounts", "オンラインアカウントから応答がありません");
        done(none);
    };
    const auto secret = [this, path = account->path, asked, done, failed] {
        const auto answered = [asked, done, failed](const QDBusMessage& reply) {
            if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty() ||
                reply.arguments().constFirst().toString().isEmpty())
                return failed(reply);
            Secret got = asked;
            got.value = reply.arguments().constFirst().toString();
            done(got);
        };
        if (asked.token)
            Ask(path, kOAuth2, QStringLiteral("GetAccessToken"), {}, kTokenMs, answered);
        else
            Ask(path, kPassword, QStringLiteral("GetPassword"), {QStringLiteral("imap-password")},
                kCallMs, answered);
    };
    if (!renew)
        return secret();
    Ask(account->path, kAccount, QStringLiteral("EnsureCredentials"), {}, kTokenMs,
        [secret, failed](const QDBusMessage& reply) {
            if (reply.type() != QDBusMessage::ReplyMessage)
                return failed(reply);
            secret();
        });
}

void OnlineAccounts::Ask(const QString& path, const QString& interface, const QString& method,
                         const QVariantList& arguments, int timeOut,
                         std::function<void(const QDBusMessage&)> answered) {
    QDBusMessage call = QDBusMessage::createMethodCall(kService, path, interface, method);
    call.setArguments(arguments);
    auto* watcher = new QDBusPendingCallWatcher(bus_.asyncCall(call, timeOut), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [watcher, answered = std::move(answered)] {
                watcher->deleteLater();
                answered(watcher->reply());
            });
}

} // namespace pim
