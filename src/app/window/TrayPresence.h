// The tray icon with its animation, and where the main window goes for it:
// hidden in the tray, out in the taskbar, or shown, as the tray host and the
// settings say. The waiting-mail swing only draws: its timer runs while the
// window or a tray icon that a tray shows can be seen, else it waits where it
// stopped and goes on from there.
#pragma once

#include "app/window/IconAnimation.h"
#include "app/window/TrayFollow.h"

#include <QIcon>
#include <QObject>
#include <QPixmap>
#include <QPointer>
#include <array>
#include <functional>
#include <string>

class QSystemTrayIcon;
class QTimer;
class QWidget;
class QWindow;

namespace pim {

class TrayPresence : public QObject {
    Q_OBJECT
public:
    // A child of `window`, made once the skin is loaded.
    explicit TrayPresence(QWidget& window);

    // Whether the desktop has a tray host now; the program asks its tray watch,
    // tests replace it.
    static std::function<bool()> SystemTrayAvailable;

    // Frame 0 idle, 1..7 busy, 8..12 mail waiting.
    const QIcon& Frame(int frame) const { return icons_[static_cast<size_t>(frame)]; }
    // The check button's picture of a frame.
    const QPixmap& ButtonFrame(int frame) const { return buttons_[static_cast<size_t>(frame)]; }
    // Everywhere; nothing is drawn or sent where the frame is shown already.
    void ShowFrame(int frame);
    void StartBusy();
    // The waiting-mail swing, on the timer the busy loop started while it can
    // be seen.
    void SwingMailWaiting();
    void StopAnimation();
    // The swing is on, drawing or waiting to be seen.
    bool SwingingMailWaiting() const { return anim_.AnimMode != IconAnimation::Busy; }
    bool Animating() const;
    // Whether the main window can be seen (shown, not minimised).
    void SetWindowSeen(bool seen);

    void ShowTrayIcon(bool shown);
    // The window's caption, as much as the tray tip holds.
    void SetTip(const std::string& caption);
    // Pim hides in the tray instead of the taskbar: only with a tray to hide in.
    bool InTray() const;
    // A tool window when it lives in the tray: no taskbar button.
    void SetWindowKind(bool inTray);
    void ApplyTaskbarMode(QWidget* dialog);
    void TrayHostChanged();
    // The user asked for the window.
    void Shown() { follow_.Shown(); }
    // A start that should hide the window in the tray, found none.
    void NoTrayAtStart() { follow_.NoTrayAtStart(); }
    // After the window's state changed from `oldState`.
    void WindowStateChanged(Qt::WindowStates oldState);

signals:
    // QSystemTrayIcon::ActivationReason.
    void activated(int reason);
    // The check button's frame.
    void frameShown(int frame);
    // The window's icon: a taskbar's, read anew by the window manager at each
    // change, so the swing leaves it at its first frame.
    void windowIconShown(int frame);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // A tray shows the icon: a StatusNotifierItem host is there whenever the
    // icon is, an X11 tray only once it has embedded the icon's window.
    bool IconSeen() const;
    // The swing's timer as the window and the icon can be seen.
    void FollowSight();
    // The current frame to the window and to the tray icon.
    void Draw(bool window, bool icon);
    TrayFollow::Window WindowPlace() const;
    // Hidden, minimised or shown, with a taskbar button unless it lives in the tray;
    // `dialog` is brought back to the front afterwards.
    void PlaceWindow(TrayFollow::Window place, QWidget* dialog);
    void tmAnimationTimerTimer();

    QWidget& window_;
    QSystemTrayIcon* tray_ = nullptr;
    TrayFollow follow_;
    bool placing_ = false; // PlaceWindow, not the user, changes its state
    QString tip_;
    std::array<QIcon, 13> icons_;
    std::array<QPixmap, 13> buttons_;
    int frame_ = -1;
    int windowFrame_ = -1; // the frame each was given last
    int windowIconFrame_ = -1;
    int iconFrame_ = -1;
    IconAnimation anim_;
    QTimer* tmAnimation_ = nullptr;
    bool windowSeen_ = false;
    QPointer<QWindow> iconWindow_; // Qt's X11 tray icon, which a tray embeds or not
};

} // namespace pim
