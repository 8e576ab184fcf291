// Desktop notifications through the notification service of the session bus
// (org.freedesktop.Notifications): one notification at a time, each replacing
// the one before. Every call is asynchronous, so nothing ever waits on the
// service; without one, nothing is shown.
#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QVariantMap>
#include <functional>
#include <optional>
#include <vector>

namespace pim {

class DesktopNotifications : public QObject {
    Q_OBJECT
public:
    struct Action {
        QString key; // "default": a click on the notification itself
        QString label;
    };
    struct Content {
        QString summary;
        QString body; // plain text
        std::vector<Action> actions;
        QVariantMap hints;
    };

    // `appIcon`: a file path or an icon name. `bus` is asked for the session
    // bus at the first notification, not before.
    DesktopNotifications(QString appName, QString appIcon, std::function<QDBusConnection()> bus,
                         QObject* parent = nullptr);

    void Notify(Content content);
    // Closes the notification shown, if any.
    void Close();

    // The program's icon for a notification: beside the program (a portable
    // copy), else where it was installed, else its name in the icon theme.
    static QString ProgramIcon();

signals:
    // The user chose the action `key` of the notification shown last; `token`:
    // the activation token the server gave with it, empty when none.
    void actionInvoked(const QString& key, const QByteArray& token);

private slots:
    void ActivationToken(uint id, const QString& token);
    void ActionInvoked(uint id, const QString& key);
    void NotificationClosed(uint id, uint reason);

private:
    bool Connected();
    void Next();
    void AskCapabilities();
    void Send(const Content& content);
    void Unavailable(const QString& why);

    QString appName_;
    QString appIcon_;
    std::function<QDBusConnection()> busSource_;
    QDBusConnection bus_{QString()};
    bool busTried_ = false;
    std::optional<QStringList> capabilities_; // asked once per server
    bool busy_ = false;                       // a call waits for its reply
    std::optional<Content> pending_;
    bool closeWanted_ = false;
    uint id_ = 0;      // the server's id of the notification shown; 0 none
    QByteArray token_; // sent just before the action it is for
    bool told_ = false;
};

} // namespace pim
