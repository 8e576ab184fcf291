#include "platform/TrayWatch.h"

#include "platform/QtX11.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusServiceWatcher>
#include <QDBusVariant>
#include <QGuiApplication>
#include <cstdlib>
#include <cstring>

namespace pim {

namespace {

const QString kWatcher = QStringLiteral("org.kde.StatusNotifierWatcher");
const QString kWatcherPath = QStringLiteral("/StatusNotifierWatcher");
// A watcher that does not answer delays the start by this much at most.
constexpr int kFirstAnswerMilliseconds = 1000;

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

// Qt docks its X11 tray icon on the screen DISPLAY names (":0.1" is screen 1).
int ScreenNumber() {
    const char* display = std::getenv("DISPLAY");
    const char* colon = display ? std::strrchr(display, ':') : nullptr;
    const char* dot = colon ? std::strchr(colon, '.') : nullptr;
    return dot ? std::atoi(dot + 1) : 0;
}

} // namespace

TrayWatch::TrayWatch(const QDBusConnection& sessionBus, QObject* parent)
    : QObject(parent), bus_(sessionBus) {
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
    if (xcb_connection_t* x = QtX11()) {
        selection_ = InternAtom(x, "_NET_SYSTEM_TRAY_S" + QByteArray::number(ScreenNumber()));
        manager_ = InternAtom(x, "MANAGER");
        // Qt's connection already listens to the root window, where a new
        // owner announces itself.
        qGuiApp->installNativeEventFilter(this);
        ReadSelection();
    }
    usable_ = Usable();
}

bool TrayWatch::Present() {
    const bool usable = Usable();
    if (usable && kind_ == Kind::Open)
        kind_ = hostRegistered_ ? Kind::StatusNotifier : Kind::XEmbed;
    return usable;
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
        return owner_ != XCB_NONE;
    case Kind::Open:
        break;
    }
    return hostRegistered_ || owner_ != XCB_NONE;
}

void TrayWatch::Update() {
    const bool usable = Usable();
    if (usable == usable_)
        return;
    usable_ = usable;
    emit changed();
}

void TrayWatch::ReadSelection() {
    xcb_connection_t* x = QtX11();
    if (!x || !selection_)
        return;
    // The owner's window is watched for its end; asked again after that, as it
    // may have ended in between.
    for (;;) {
        const XReply<xcb_get_selection_owner_reply_t> reply(
            xcb_get_selection_owner_reply(x, xcb_get_selection_owner(x, selection_), nullptr),
            &std::free);
        const xcb_window_t owner = reply ? reply->owner : xcb_window_t(XCB_NONE);
        if (owner == owner_)
            break;
        owner_ = owner;
        if (owner == XCB_NONE)
            break;
        const uint32_t mask = XCB_EVENT_MASK_STRUCTURE_NOTIFY;
        // A window already gone is an error of this request alone.
        std::free(xcb_request_check(
            x, xcb_change_window_attributes_checked(x, owner, XCB_CW_EVENT_MASK, &mask)));
    }
    Update();
}

bool TrayWatch::nativeEventFilter(const QByteArray& eventType, void* message, qintptr*) {
    if (eventType != "xcb_generic_event_t")
        return false;
    const auto* event = static_cast<const xcb_generic_event_t*>(message);
    switch (event->response_type & 0x7F) {
    case XCB_CLIENT_MESSAGE: {
        const auto* announced = static_cast<const xcb_client_message_event_t*>(message);
        if (announced->type == manager_ && announced->format == 32 &&
            announced->data.data32[1] == selection_)
            ReadSelection();
        break;
    }
    case XCB_DESTROY_NOTIFY:
        if (static_cast<const xcb_destroy_notify_event_t*>(message)->window == owner_)
            ReadSelection();
        break;
    default:
        break;
    }
    return false; // Qt's own tray icon hears them too
}

} // namespace pim
