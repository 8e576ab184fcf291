#include "platform/TrayWatch.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusServiceWatcher>
#include <QDBusVariant>
#include <QGuiApplication>
#include <QTimer>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <xcb/xcb.h>

namespace pim {

namespace {

const QString kWatcher = QStringLiteral("org.kde.StatusNotifierWatcher");
const QString kWatcherPath = QStringLiteral("/StatusNotifierWatcher");
constexpr int kPollMilliseconds = 2000;
// A watcher that does not answer delays the start by this much at most.
constexpr int kFirstAnswerMilliseconds = 1000;

template <typename T>
using XReply = std::unique_ptr<T, decltype(&std::free)>;

QDBusMessage HostQuestion() {
    QDBusMessage question = QDBusMessage::createMethodCall(
        kWatcher, kWatcherPath, QStringLiteral("org.freedesktop.DBus.Properties"),
        QStringLiteral("Get"));
    question << kWatcher << QStringLiteral("IsStatusNotifierHostRegistered");
    // Asking must not start a watcher that the session bus could activate.
    question.setAutoStartService(false);
    return question;
}

bool HostAnswer(const QDBusMessage& reply) {
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        return false;
    return qvariant_cast<QDBusVariant>(reply.arguments().constFirst()).variant().toBool();
}

xcb_connection_t* X11() {
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    return x11 ? x11->connection() : nullptr;
}

// Qt docks its X11 tray icon on the screen DISPLAY names (":0.1" is screen 1).
int ScreenNumber() {
    const char* display = std::getenv("DISPLAY");
    const char* colon = display ? std::strrchr(display, ':') : nullptr;
    const char* dot = colon ? std::strchr(colon, '.') : nullptr;
    return dot ? std::atoi(dot + 1) : 0;
}

} // namespace

TrayWatch::TrayWatch(const QDBusConnection& sessionBus, QObject* parent)
    : QObject(parent), bus_(sessionBus), poll_(new QTimer(this)) {
    poll_->setInterval(kPollMilliseconds);
    connect(poll_, &QTimer::timeout, this, &TrayWatch::PollSelection);
    if (bus_.isConnected()) {
        auto* names =
            new QDBusServiceWatcher(kWatcher, bus_, QDBusServiceWatcher::WatchForOwnerChange, this);
        connect(names, &QDBusServiceWatcher::serviceOwnerChanged, this,
                [this](const QString&, const QString&, const QString& owner) {
                    ++question_;
                    hostRegistered_ = false;
                    Update();
                    if (!owner.isEmpty())
                        AskWatcher();
                });
        bus_.connect(kWatcher, kWatcherPath, kWatcher,
                     QStringLiteral("StatusNotifierHostRegistered"), this, SLOT(HostRegistered()));
        bus_.connect(kWatcher, kWatcherPath, kWatcher,
                     QStringLiteral("StatusNotifierHostUnregistered"), this, SLOT(AskWatcher()));
        // Known at once: whether Pim starts hidden in the tray depends on it.
        hostRegistered_ =
            HostAnswer(bus_.call(HostQuestion(), QDBus::Block, kFirstAnswerMilliseconds));
    }
    if (xcb_connection_t* x = X11()) {
        const QByteArray name = "_NET_SYSTEM_TRAY_S" + QByteArray::number(ScreenNumber());
        const XReply<xcb_intern_atom_reply_t> atom(
            xcb_intern_atom_reply(
                x, xcb_intern_atom(x, 0, static_cast<uint16_t>(name.size()), name.constData()),
                nullptr),
            &std::free);
        if (atom)
            selection_ = atom->atom;
        PollSelection();
    }
    usable_ = Usable();
}

bool TrayWatch::Present() {
    const bool usable = Usable();
    if (usable && kind_ == Kind::Open) {
        kind_ = hostRegistered_ ? Kind::StatusNotifier : Kind::XEmbed;
        SetWatching(watching_);
    }
    return usable;
}

void TrayWatch::SetWatching(bool watching) {
    watching_ = watching;
    // A D-Bus tray reports itself; only the X11 selection needs asking.
    if (watching && selection_ && kind_ != Kind::StatusNotifier) {
        if (!poll_->isActive()) {
            PollSelection();
            poll_->start();
        }
    } else {
        poll_->stop();
    }
}

void TrayWatch::HostRegistered() {
    ++question_;
    hostRegistered_ = true;
    Update();
}

void TrayWatch::AskWatcher() {
    const quint64 question = ++question_;
    auto* call = new QDBusPendingCallWatcher(bus_.asyncCall(HostQuestion()), this);
    connect(call, &QDBusPendingCallWatcher::finished, this,
            [this, question](QDBusPendingCallWatcher* answered) {
                answered->deleteLater();
                if (question != question_)
                    return;
                hostRegistered_ = HostAnswer(answered->reply());
                Update();
            });
}

bool TrayWatch::Usable() const {
    switch (kind_) {
    case Kind::StatusNotifier:
        return hostRegistered_;
    case Kind::XEmbed:
        return selectionOwned_;
    case Kind::Open:
        break;
    }
    return hostRegistered_ || selectionOwned_;
}

void TrayWatch::Update() {
    const bool usable = Usable();
    if (usable == usable_)
        return;
    usable_ = usable;
    emit changed();
}

void TrayWatch::PollSelection() {
    xcb_connection_t* x = X11();
    if (!x || !selection_)
        return;
    const XReply<xcb_get_selection_owner_reply_t> owner(
        xcb_get_selection_owner_reply(x, xcb_get_selection_owner(x, selection_), nullptr),
        &std::free);
    selectionOwned_ = owner && owner->owner != XCB_NONE;
    Update();
}

} // namespace pim
