// The main window: owns the program's components, the check run, the scheduler
// and the remote menu, and shows what they do on its skinned panel.
#pragma once

#include "app/CheckRun.h"
#include "app/RasControl.h"
#include "app/RemoteMenu.h"
#include "app/Scheduler.h"
#include "app/StationPrompts.h"
#include "app/StatusStrip.h"
#include "app/WindowShape.h"
#include "dialup/TVeltaRAS.h"
#include "dialup/WakeWatch.h"
#include "imap/TVeltaIMAP.h"
#include "platform/DesktopNotifications.h"
#include "pop3/TVeltaPOP3.h"
#include "remote/TFernpostNetwork.h"
#include "settings/OptionHost.h"

#include <QFont>
#include <QIcon>
#include <QImage>
#include <QWidget>
#include <array>
#include <functional>
#include <string>

class QAction;
class QDialog;
class QLabel;
class QMenu;
class QToolButton;
class QTreeWidget;

namespace pim {

class PictureButton;
class TOptionForm;
class TrayPresence;

using TreeIcons = std::array<QIcon, 7>;

class TMainForm : public QWidget, private CheckRunHost, public OptionHost {
    Q_OBJECT
public:
    // `programDir` is the program's folder with a trailing '/'; `ras` must
    // outlive the window.
    TMainForm(const std::string& programDir, TVeltaRAS& ras, QWidget* parent = nullptr);
    ~TMainForm() override;

    const std::string& ProgramDir() const { return programDir_; }
    const std::string& ProfilePath() const { return profilePath_; }
    const std::string& StatusText() const { return statusText_; }
    CheckRun& Run() { return run_; }
    bool ShapePending() const { return shape_.Pending(); }
    // The window as the user sees it, outside its outline transparent.
    QImage Screenshot();

    // The bus of the desktop notifications; tests replace it.
    static std::function<QDBusConnection()> NotificationBus;

    // A dialog or message box of the main window is open.
    bool DialogOpen = false;

    TVeltaPOP3 VeltaPOP3;
    TVeltaIMAP VeltaIMAP;
    TFernpostNetwork FPN;

public slots:
    // Ends the program through the orderly shutdown, without asking (logout, SIGTERM).
    void Terminate();
    void pbCheckClick();
    void miOfflineClick();
    void miTaskMainClick();
    void sbMinimumClick();
    void miTaskHelpClick();
    void imInformationClick();
    void imOptionClick();
    void miVersionClick();
    void TrayActivated(int reason);
    // A second start asks for the window.
    // A second start asks; `token`: its launcher's activation token.
    void ShowRequested(const QByteArray& token);
    // A tray host came or went (TrayPresence::SystemTrayAvailable answers otherwise).
    void TrayHostChanged();

public:
    // Shows the window, minimised or not at all, as the settings ask, and runs
    // the start-up work.
    void StartUp();
    bool Offline() const override { return offline_; }
    QMenu* pmTask = nullptr;  // the tray menu
    QMenu* sysMenu = nullptr; // the system menu (Alt+Space)

    void UpdateStatusLine() override;
    // Enabled again once neither the options dialog nor the about box is open.
    void EnableMainWindow();

    // OptionHost: what applying the options changes at once.
    void SetPop3TimeOut(int milliseconds) override;
    void ShowMailerButton() override;
    void ShowTrayIcon(bool shown) override;
    void ApplyTaskbarMode(QWidget* dialog) override;
    void SetDialupWatching(bool watching) override;
    bool FpnLoggedIn() override;
    bool FpnOpen() override;
    bool FpnLogin() override;
    void FpnLogoutAndClose() override;
    int CheckIndex() override { return run_.CheckIndex; }

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    void FormCreate();
    // The keyboard's way through the window and what a screen reader reads of it.
    void SetUpAccess();
    // The system menu at the control that has the focus (the Menu key, Shift+F10).
    void PopUpSystemMenuAtFocus();
    void FormShow();
    void ShowActivated(const QByteArray& token);
    // What only draws runs while the window can be seen.
    void FollowSight();
    void SetMailCount(const QString& text);
    // Qt's idea of where the window is set right before it is used.
    void KeepPlace();
    void FormDestroy();
    void SetStatus(const std::string& text) override;
    bool SchedulePaused() const;
    void ShowResults();
    void tvAccountClick();
    // Whether the mail program started.
    bool imMailerClick();
    int MessageBoxShown(const std::string& text, unsigned flags);

    // CheckRunHost
    int Ask(const std::string& text, unsigned flags) override {
        return MessageBoxShown(text, flags);
    }
    void GoOnline() override { miOfflineClick(); }
    void StartBusyAnimation() override;
    void ResetAfterFailedDial() override;
    void OpenAccountOptions() override { imOptionClick(); }
    void ShowRun(const RunOutcome& outcome) override;
    void RunOver(const RunOutcome& outcome) override;
    void RememberSecurity(const TlsLesson& lesson) override;

    // What the remote menu reads of the window.
    class MenuHost : public RemoteMenuHost {
    public:
        explicit MenuHost(TMainForm& form) : form_(form) {}
        bool DialogOpen() const override { return form_.DialogOpen; }
        bool Offline() const override { return form_.offline_; }
        // A run about to reach its first account runs already.
        int CheckIndex() const override {
            const CheckRun& run = form_.run_;
            return run.CheckIndex == -1 && run.Running() ? 0 : run.CheckIndex;
        }
        int TotalMail() const override { return form_.run_.TotalMail; }
        const Results& ShownResults() const override { return form_.run_.ShownResults; }
        int ActiveEntryCount() override { return form_.ras_.ActiveEntryCount(); }
        bool AccountToCheck() const override { return AnyAccountToCheck(Accounts); }
        void StartCheck() override { form_.run_.pbCheckClick(CheckRun::Sender::Other); }

    private:
        TMainForm& form_;
    };

    std::string programDir_;
    bool checkWhenReady_ = false; // the start's check waits for NetworkManager
    std::string profilePath_;
    TVeltaRAS& ras_;
    RasControl rasControl_{ras_};
    CheckRun run_;
    Scheduler scheduler_;
    WakeWatch wake_{ras_.Bus()};
    StationPrompts prompts_{FPN};
    MenuHost menuHost_{*this};
    RemoteMenu menu_;
    DesktopNotifications notifications_{QStringLiteral("Pim"), DesktopNotifications::ProgramIcon(),
                                        NotificationBus};

    StatusStrip* strip_ = nullptr;
    QLabel* laMailCount_ = nullptr;
    QLabel* laDate_ = nullptr;
    PictureButton* pbCheck_ = nullptr;
    PictureButton* imOption_ = nullptr;
    PictureButton* imMailer_ = nullptr;
    QToolButton* sbMinimum_ = nullptr;
    QToolButton* spClose_ = nullptr;
    QTreeWidget* tvAccount_ = nullptr;
    PictureButton* imInformation_ = nullptr;
    QTreeWidget* tvMail_ = nullptr;
    TrayPresence* tray_ = nullptr;
    QFont countFont_; // the count's box holds three digits in it
    QAction* miOffline_ = nullptr;
    QAction* miSysOffline_ = nullptr;
    WindowShape shape_;
    QRegion outline_{0, 0, kMainClientWidth, kMainClientHeight};
    TreeIcons treeIcons_; // by TreeLine::Image

    std::string statusText_;
    TOptionForm* optionForm_ = nullptr;
    QDialog* versionForm_ = nullptr;
    bool offline_ = false;
    bool noAccountShown_ = false; // the account tree says how to add one
    bool placeUnsure_ = false;    // shown, Qt's idea of the place not yet checked
    bool firstShow_ = true;
    bool terminating_ = false;
    // Pim.INI could be read (or was missing) at start; otherwise it is never written.
    bool profileUsable_ = true;
    bool securityWriteFailed_ = false; // said once on stderr, not at every check
};

} // namespace pim
