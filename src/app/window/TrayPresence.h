// The tray icon with its animation, and where the main window goes for it:
// hidden in the tray, out in the taskbar, or shown, as the tray host and the
// settings say.
#pragma once

#include "app/window/IconAnimation.h"
#include "app/window/TrayFollow.h"

#include <QIcon>
#include <QObject>
#include <array>
#include <functional>
#include <string>

class QSystemTrayIcon;
class QTimer;
class QWidget;

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
    void ShowFrame(int frame);
    void StartBusy();
    // The waiting-mail swing, on the timer the busy loop started.
    void SwingMailWaiting() { anim_ = {IconAnimation::Rising, 8}; }
    void StopAnimation();
    bool SwingingMailWaiting() const;

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
    void frameShown(int frame);

private:
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
    IconAnimation anim_;
    QTimer* tmAnimation_ = nullptr;
};

} // namespace pim
