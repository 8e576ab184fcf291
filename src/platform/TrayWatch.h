#pragma once

#include <QDBusConnection>
#include <QObject>
#include <cstdint>

class QTimer;

namespace pim {

// Tells when a tray host comes or goes after start-up, such as a panel that
// starts after Pim at login or one that restarts: a StatusNotifierWatcher with a
// host on the session bus (read at once from its signals), or on X11 the owner of
// the system tray selection (asked every two seconds while a tray icon is wanted).
class TrayWatch : public QObject {
    Q_OBJECT
public:
    explicit TrayWatch(const QDBusConnection& sessionBus, QObject* parent = nullptr);

    // Whether a tray icon made now has a host to show in. Qt picks the kind of
    // its tray icon (D-Bus or X11) once per process, when the first one is made,
    // so the first true answer settles which kind of host counts from then on.
    bool Present();
    // The X11 selection is asked about only while watching.
    void SetWatching(bool watching);

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
    void PollSelection();

    QDBusConnection bus_;
    bool hostRegistered_ = false; // a StatusNotifierWatcher says a host is there
    quint64 question_ = 0;        // the last question to the watcher; older answers are stale
    std::uint32_t selection_ = 0; // the X11 tray selection atom, 0 without X11
    bool selectionOwned_ = false;
    Kind kind_ = Kind::Open;
    bool watching_ = false;
    bool usable_ = false; // as last reported
    QTimer* poll_;
};

} // namespace pim
