#include "platform/DesktopNotifications.h"

#include "common/UiText.h"

#include <QCoreApplication>
#include <QDBusError>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusServiceWatcher>
#include <QFileInfo>
#include <cstdio>
#include <utility>

namespace pim {

namespace {

const QString kService = QStringLiteral("org.freedesktop.Notifications");
const QString kPath = QStringLiteral("/org/freedesktop/Notifications");

QDBusMessage Method(const QString& name, const QVariantList& arguments = {}) {
    QDBusMessage message = QDBusMessage::createMethodCall(kService, kPath, kService, name);
    message.setArguments(arguments);
    return message;
}

// A server that reads markup in the body would take a "<" of a sender's
// address for the start of a tag.
QString Escaped(QString text) {
    return text.replace(QLatin1Char('&'), QStringLiteral("&amp;"))
        .replace(QLatin1Char('<'), QStringLiteral("&lt;"))
        .replace(QLatin1Char('>'), QStringLiteral("&gt;"));
}

} // namespace

DesktopNotifications::DesktopNotifications(QString appName, QString appIcon,
                                           std::function<QDBusConnection()> bus, QObject* parent)
    : QObject(parent), appName_(std::move(appName)), appIcon_(std::move(appIcon)),
      busSource_(std::move(bus)) {}

QString DesktopNotifications::ProgramIcon() {
    for (const QString& place :
         {QCoreApplication::applicationDirPath() + QStringLiteral("/pim.svg"),
          QStringLiteral(PIM_ICON_INSTALLED)}) {
        if (QFileInfo(place).isFile())
            return place;
    }
    return QStringLiteral("pim");
}

void DesktopNotifications::Notify(Content content) {
    pending_ = std::move(content);
    closeWanted_ = false;
    Next();
}

void DesktopNotifications::Close() {
    pending_.reset();
    closeWanted_ = true;
    Next();
}

bool DesktopNotifications::Connected() {
    if (busTried_)
        return bus_.isConnected();
    busTried_ = true;
    bus_ = busSource_();
    if (!bus_.isConnected()) {
        Unavailable(UiString("DesktopNotifications", "セッションバスがありません"));
        return false;
    }
    bus_.connect(kService, kPath, kService, QStringLiteral("ActivationToken"), this,
                 SLOT(ActivationToken(uint, QString)));
    bus_.connect(kService, kPath, kService, QStringLiteral("ActionInvoked"), this,
                 SLOT(ActionInvoked(uint, QString)));
    bus_.connect(kService, kPath, kService, QStringLiteral("NotificationClosed"), this,
                 SLOT(NotificationClosed(uint, uint)));
    // Another server knows neither the old one's abilities nor its ids.
    auto* watcher =
        new QDBusServiceWatcher(kService, bus_, QDBusServiceWatcher::WatchForOwnerChange, this);
    connect(watcher, &QDBusServiceWatcher::serviceOwnerChanged, this, [this] {
        capabilities_.reset();
        id_ = 0;
    });
    return true;
}

// One call at a time: a notification replaces the one whose id the last call returned.
void DesktopNotifications::Next() {
    if (busy_)
        return;
    if (pending_) {
        if (!Connected()) {
            pending_.reset();
            return;
        }
        if (!capabilities_) {
            AskCapabilities();
            return;
        }
        Content content = std::move(*pending_);
        pending_.reset();
        Send(content);
        return;
    }
    if (closeWanted_) {
        closeWanted_ = false;
        if (id_ != 0 && bus_.isConnected())
            bus_.send(Method(QStringLiteral("CloseNotification"), {id_}));
        id_ = 0;
    }
}

void DesktopNotifications::AskCapabilities() {
    busy_ = true;
    auto* call = new QDBusPendingCallWatcher(
        bus_.asyncCall(Method(QStringLiteral("GetCapabilities"))), this);
    connect(call, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* call) {
        call->deleteLater();
        busy_ = false;
        const QDBusPendingReply<QStringList> reply = *call;
        if (reply.isError()) {
            Unavailable(reply.error().name());
            pending_.reset(); // asked again at the next notification
        } else {
            capabilities_ = reply.value();
        }
        Next();
    });
}

void DesktopNotifications::Send(const Content& content) {
    QStringList actions;
    if (capabilities_->contains(QStringLiteral("actions"))) {
        for (const Action& action : content.actions)
            actions << action.key << action.label;
    }
    const bool markup = capabilities_->contains(QStringLiteral("body-markup"));
    const QDBusMessage message =
        Method(QStringLiteral("Notify"),
               {appName_, id_, appIcon_, content.summary,
                markup ? Escaped(content.body) : content.body, actions, content.hints, -1});
    busy_ = true;
    auto* call = new QDBusPendingCallWatcher(bus_.asyncCall(message), this);
    connect(call, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* call) {
        call->deleteLater();
        busy_ = false;
        const QDBusPendingReply<uint> reply = *call;
        if (reply.isError())
            Unavailable(reply.error().name());
        else {
            id_ = reply.value();
            token_.clear();
        }
        Next();
    });
}

void DesktopNotifications::ActivationToken(uint id, const QString& token) {
    if (id != 0 && id == id_)
        token_ = token.toUtf8();
}

void DesktopNotifications::ActionInvoked(uint id, const QString& key) {
    if (id != 0 && id == id_)
        emit actionInvoked(key, std::exchange(token_, {}));
}

void DesktopNotifications::NotificationClosed(uint id, uint) {
    if (id == id_)
        id_ = 0;
}

void DesktopNotifications::Unavailable(const QString& why) {
    // Said once: a desktop without a notification service is no fault.
    if (told_)
        return;
    told_ = true;
    std::fprintf(stderr, "%s\n",
                 UiString("DesktopNotifications", "Pim: デスクトップ通知を使えません（%1）")
                     .arg(why)
                     .toLocal8Bit()
                     .constData());
}

} // namespace pim
