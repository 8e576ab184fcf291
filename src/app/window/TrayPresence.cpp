#include "app/window/TrayPresence.h"

#include "app/window/KeyFocus.h"
#include "common/Cp932.h"
#include "resources/Skin.h"
#include "settings/Settings.h"

#include <QApplication>
#include <QGuiApplication>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QWidget>
#include <QWindow>
#include <algorithm>

namespace pim {

namespace {

// The tray tip holds 63 bytes.
constexpr size_t kTipBytes = 63;

// On X11 Qt's icon is a window of its own that shows once a tray embeds it (a
// StatusNotifierItem has none), made anew when a tray comes after the icon.
bool IsIconWindow(const QObject* window) {
    for (const QWidget* widget : QApplication::topLevelWidgets())
        if (widget->objectName() == QLatin1String("QSystemTrayIconSys") &&
            widget->windowHandle() == window)
            return window != nullptr;
    return false;
}

QWindow* IconWindow() {
    for (const QWidget* widget : QApplication::topLevelWidgets())
        if (IsIconWindow(widget->windowHandle()))
            return widget->windowHandle();
    return nullptr;
}

} // namespace

std::function<bool()> TrayPresence::SystemTrayAvailable = [] {
    return QSystemTrayIcon::isSystemTrayAvailable();
};

TrayPresence::TrayPresence(QWidget& window)
    : QObject(&window), window_(window), tip_(QStringLiteral("Pim - ")) {
    // Made once: an icon made per frame is a new picture each time, and Qt's
    // pixmap cache keeps the scaled copies of every one of them.
    for (size_t frame = 0; frame < icons_.size(); ++frame) {
        icons_[frame] = SkinMailIcon(static_cast<int>(frame));
        buttons_[frame] = SkinPixmap(QStringLiteral("MAIN_ICON_%1").arg(frame + 1));
    }
    tmAnimation_ = new QTimer(this);
    tmAnimation_->setInterval(150);
    connect(tmAnimation_, &QTimer::timeout, this, &TrayPresence::tmAnimationTimerTimer);
}

void TrayPresence::ShowFrame(int frame) {
    frame_ = frame;
    Draw(true, true);
}

void TrayPresence::Draw(bool window, bool icon) {
    if (icon && tray_ && iconFrame_ != frame_) {
        iconFrame_ = frame_;
        tray_->setIcon(Frame(frame_));
    }
    if (!window)
        return;
    if (windowFrame_ != frame_) {
        windowFrame_ = frame_;
        emit frameShown(frame_);
    }
    if (const int windowIcon = SwingingMailWaiting() ? 8 : frame_; windowIconFrame_ != windowIcon) {
        windowIconFrame_ = windowIcon;
        emit windowIconShown(windowIcon);
    }
}

void TrayPresence::tmAnimationTimerTimer() {
    frame_ = anim_.AnimFrame;
    anim_.Advance();
    // The busy loop shows everywhere, as the check is under way; the swing
    // only where it can be seen, the rest catching up when it comes into sight.
    const bool busy = !SwingingMailWaiting();
    Draw(busy || windowSeen_, busy || IconSeen());
}

void TrayPresence::StartBusy() {
    anim_ = {IconAnimation::Busy, 1};
    tmAnimation_->start();
}

void TrayPresence::SwingMailWaiting() {
    anim_ = {IconAnimation::Rising, 8};
    // Its first frame everywhere at once: unseen, the swing waits there (a
    // taskbar button's icon still says mail waits), not at a busy frame.
    ShowFrame(anim_.AnimFrame);
    anim_.Advance();
    FollowSight();
}

void TrayPresence::StopAnimation() {
    tmAnimation_->stop();
    anim_ = {};
    ShowFrame(0);
}

bool TrayPresence::Animating() const {
    return tmAnimation_->isActive();
}

void TrayPresence::SetWindowSeen(bool seen) {
    windowSeen_ = seen;
    FollowSight();
}

bool TrayPresence::IconSeen() const {
    if (!tray_)
        return false;
    return !iconWindow_ || iconWindow_->isExposed();
}

void TrayPresence::FollowSight() {
    // The busy loop runs on unseen: it ends with the check.
    if (!SwingingMailWaiting())
        return;
    // What comes into sight goes on from the frame the other one shows.
    Draw(windowSeen_, IconSeen());
    if (!windowSeen_ && !IconSeen())
        tmAnimation_->stop();
    else if (!tmAnimation_->isActive())
        tmAnimation_->start();
}

bool TrayPresence::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Expose && tray_ &&
        (watched == iconWindow_ || IsIconWindow(watched))) {
        iconWindow_ = static_cast<QWindow*>(watched);
        FollowSight();
    }
    return false;
}

void TrayPresence::ShowTrayIcon(bool shown) {
    if (!shown) {
        delete tray_;
        tray_ = nullptr;
        iconFrame_ = -1;
        FollowSight();
        return;
    }
    // No tray host: Pim runs on with its window.
    if (tray_ || !SystemTrayAvailable())
        return;
    iconFrame_ = std::max(frame_, 0);
    tray_ = new QSystemTrayIcon(Frame(iconFrame_), this);
    tray_->setToolTip(tip_);
    connect(tray_, &QSystemTrayIcon::activated, this, &TrayPresence::activated);
    tray_->show();
    iconWindow_ = IconWindow();
    qApp->installEventFilter(this);
    FollowSight();
}

void TrayPresence::SetTip(const std::string& caption) {
    tip_ = cp932::ToUnicode(cp932::Truncate(caption, kTipBytes));
    if (tray_)
        tray_->setToolTip(tip_);
}

bool TrayPresence::InTray() const {
    return Settings.SettingTask && Settings.SettingTaskbar && tray_;
}

void TrayPresence::SetWindowKind(bool inTray) {
    // The kind is a field of the flags: a tool window is a window without a taskbar button.
    window_.setWindowFlags((window_.windowFlags() & ~Qt::WindowType_Mask) |
                           (inTray ? Qt::Tool : Qt::Window));
}

void TrayPresence::ApplyTaskbarMode(QWidget* dialog) {
    using Window = TrayFollow::Window;
    Window place = WindowPlace();
    // Minimised means hidden in the tray, and hidden is out of reach without one.
    if (InTray() && place == Window::Minimised)
        place = Window::Hidden;
    else if (!InTray() && place == Window::Hidden)
        place = Window::Minimised;
    PlaceWindow(place, dialog);
}

TrayFollow::Window TrayPresence::WindowPlace() const {
    if (!window_.isVisible())
        return TrayFollow::Window::Hidden;
    return window_.isMinimized() ? TrayFollow::Window::Minimised : TrayFollow::Window::Shown;
}

void TrayPresence::PlaceWindow(TrayFollow::Window place, QWidget* dialog) {
    // Hidden and shown again without the opening animation.
    const bool animation = Settings.SettingAnimation;
    Settings.SettingAnimation = false;
    placing_ = true;
    // Restored before it is hidden: on X11 the end of a minimised state maps the
    // window, hidden or not, and the window manager would take it back.
    if (place != TrayFollow::Window::Minimised)
        window_.setWindowState(window_.windowState() & ~Qt::WindowMinimized);
    const FocusKeeper focus(window_);
    window_.hide();
    if (place == TrayFollow::Window::Minimised)
        window_.setWindowState(window_.windowState() | Qt::WindowMinimized);
    SetWindowKind(InTray());
    window_.setVisible(place != TrayFollow::Window::Hidden);
    placing_ = false;
    Settings.SettingAnimation = animation;
    // Hiding took the widgets' active window away, but the X focus stayed on the
    // same native window, so no focus event comes to give it back.
    if (window_.isVisible() && QGuiApplication::focusWindow() == window_.windowHandle() &&
        !window_.isActiveWindow())
        QApplication::setActiveWindow(&window_);
    focus.Restore();
    if (dialog) {
        dialog->raise();
        dialog->activateWindow();
    }
}

void TrayPresence::TrayHostChanged() {
    if (!Settings.SettingTask)
        return;
    const bool present = SystemTrayAvailable();
    if (present == (tray_ != nullptr))
        return;
    const bool livesInTray = Settings.SettingTaskbar;
    const TrayFollow::Window place = present ? follow_.HostAppeared(livesInTray, WindowPlace())
                                             : follow_.HostVanished(livesInTray, WindowPlace());
    ShowTrayIcon(present);
    // Otherwise the window keeps its place and its taskbar button.
    if (livesInTray)
        PlaceWindow(place, QApplication::activeModalWidget());
}

void TrayPresence::WindowStateChanged(Qt::WindowStates oldState) {
    // The user took it out of the taskbar: a tray that comes later leaves it out.
    if ((oldState & Qt::WindowMinimized) && !window_.isMinimized() && !placing_)
        follow_.Shown();
    // Minimised by the window manager: to the tray when Pim lives there.
    if (window_.isMinimized() && InTray())
        QMetaObject::invokeMethod(&window_, &QWidget::hide, Qt::QueuedConnection);
}

} // namespace pim
