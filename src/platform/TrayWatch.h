#pragma once

#include <QAbstractNativeEventFilter>
#include <QDBusConnection>
#include <QObject>
#include <cstdint>

namespace pim {

// Tells when a tray host comes or goes after start-up, such as a panel that
// starts after Pim at login or one that restarts: a StatusNotifierWatcher with a
// host on the session bus (read at once from its signals), or on X11 the owner of
// the system tray selection (read again when a new owner announces itself or the
// owner's window goes). Nothing is asked on a timer: an idle Pim sleeps.
class TrayWatch : public QObject, private QAbstractNativeEventFilter {
    Q_OBJECT
public:
    explicit TrayWatch(const QDBusConnection& sessionBus, QObject* parent = nullptr);

    // Whether a tray icon made now has a host to show in. Qt picks the kind of
    // its tray icon (D-Bus or X11) once per process, when the first one is made,
    // so the first true answer settles which kind of host counts from then on.
    bool Present();

signals:
    // Present() may answer otherwise now.
    void changed();

private slots:
    void HostRegistered();
    void AskWatcher();

private:
    enum class Kind { Open, StatusNotifier, XEmbed };
    bool Usable() const;
    void Update();
    void ReadSelection();
    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr*) override;

    QDBusConnection bus_;
    bool hostRegistered_ = false; // a StatusNotifierWatcher says a host is there
    quint64 question_ = 0;        // the last question to the watcher; older answers are stale
    std::uint32_t selection_ = 0; // the X11 tray selection atom, 0 without X11
    std::uint32_t manager_ = 0;   // the atom of a new owner's announcement
    std::uint32_t owner_ = 0;     // the selection owner's window, watched for its end
    Kind kind_ = Kind::Open;
    bool usable_ = false; // as last reported
};

} // namespace pim
