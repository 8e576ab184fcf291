// The mail accounts the desktop's online accounts (GNOME Online Accounts) know,
// and their credentials, asked for at every login and never kept. Every call
// is asynchronous and has a time-out; the service is started by D-Bus on
// demand, so an activatable name counts as there.
#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QString>
#include <functional>
#include <optional>
#include <vector>

namespace pim {

struct OnlineMailAccount {
    QString id;               // Account.Id, what Pim.INI keeps
    QString path;             // its object
    QString provider;         // ProviderName
    QString identity;         // PresentationIdentity
    QString server;           // as an account's host: "imaps://imap.gmail.com"
    QString user;             // ImapUserName, else the address
    bool oauth = false;       // a token (OAuth2Based), else a password (PasswordBased)
    bool mailOn = true;       // not Account.MailDisabled
    bool tlsRequired = false; // ImapUseSsl or ImapUseTls: never a password in clear
    // Why Pim cannot use it (CP932-free, the user's language); empty when it can.
    QString refusal;
    bool operator==(const OnlineMailAccount&) const = default;
};

// The server an account takes from the Mail interface's ImapHost ("host",
// "host:port" with a number or a service name, an IPv6 address), ImapUseSsl and
// ImapUseTls; empty where there is no host.
QString OnlineServer(const QString& imapHost, bool useSsl, bool useTls);

class OnlineAccounts : public QObject {
    Q_OBJECT
public:
    static constexpr int kCallMs = 10000;
    static constexpr int kTokenMs = 60000; // GetAccessToken may wait for the provider

    explicit OnlineAccounts(QDBusConnection bus, QObject* parent = nullptr);
    // The bound of a read of the list; tests shorten it.
    int ListTimeOutMs = kCallMs;

    bool Present() const { return present_; }
    // Those with IMAP, by the service's order.
    const std::vector<OnlineMailAccount>& MailAccounts() const { return accounts_; }
    const OnlineMailAccount* Find(const QString& id) const;

    // The secret of a login: a token (OAuth) or the IMAP password. With
    // `renew` the service is asked to make sure of the credentials first (after
    // a server refused a token). Nothing, with the reason, where it has none.
    struct Secret {
        std::optional<QString> value;
        bool token = false;        // an OAuth access token, not a password
        QString server, user;      // what it is for, as the desktop lists it
        QString reason;            // why there is none
        bool signInNeeded = false; // only the user can mend it, in the desktop's settings
    };
    using Done = std::function<void(const Secret& secret)>;
    void Credentials(const QString& id, bool renew, Done done);

public slots:
    // Asks the service for its accounts anew (and each time it tells of a
    // change); `changed` follows the first answer, also when it is not there,
    // and every one that differs.
    void Refresh();

signals:
    void changed();

private:
    void Read(const class QDBusMessage& reply);
    void Ask(const QString& path, const QString& interface, const QString& method,
             const QVariantList& arguments, int timeOut,
             std::function<void(const QDBusMessage&)> answered);

    QDBusConnection bus_;
    bool present_ = false;
    bool read_ = false;       // the list was read once
    bool asking_ = false;     // a read is under way
    bool unanswered_ = false; // the last read was not answered: the list before stands
    std::vector<std::function<void()>> waiting_; // for the first read
    std::vector<OnlineMailAccount> accounts_;
};

} // namespace pim
