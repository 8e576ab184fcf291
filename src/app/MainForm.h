// The main window: builds and paints the skinned panel, forwards its input to
// the controller, and shows what it is handed.
#pragma once

#include "app/MainController.h"
#include "app/window/StatusStrip.h"
#include "app/window/WindowShape.h"

#include <QFont>
#include <QIcon>
#include <QImage>
#include <QString>
#include <QWidget>
#include <array>
#include <optional>
#include <string>
#include <utility>
#include <vector>

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
// A line of the mail list: its row and text under each parent, from the top.
using MailPlace = std::vector<std::pair<int, QString>>;

class TMainForm : public QWidget {
    Q_OBJECT
public:
    // `programDir` is the program's folder with a trailing '/'; `ras` must
    // outlive the window.
    TMainForm(const std::string& programDir, TVeltaRAS& ras, QWidget* parent = nullptr);
    ~TMainForm() override;

    const std::string& ProgramDir() const { return controller_.ProgramDir(); }
    const std::string& ProfilePath() const { return controller_.ProfilePath(); }
    const std::string& StatusText() const { return statusText_; }
    CheckRun& Run() { return controller_.Run(); }
    bool ShapePending() const { return shape_.Pending(); }
    // The window as the user sees it, outside its outline transparent.
    QImage Screenshot();

    // A dialog or message box of the main window is open.
    bool DialogOpen = false;

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
    // A second start asks; `token`: its launcher's activation token.
    void ShowRequested(const QByteArray& token);
    // A tray host came or went (TrayPresence::SystemTrayAvailable answers otherwise).
    void TrayHostChanged();

public:
    // Shows the window, minimised or not at all, as the settings ask, and runs
    // the start-up work.
    void StartUp();
    QMenu* pmTask = nullptr;  // the tray menu
    QMenu* sysMenu = nullptr; // the system menu (Alt+Space)

    void UpdateStatusLine() { controller_.UpdateStatusLine(); }
    // Enabled again once neither the options dialog nor the about box is open.
    void EnableMainWindow();
    void ShowMailerButton();
    void ShowTrayIcon(bool shown);
    // With or without a taskbar button, as SettingTask and SettingTaskbar now say.
    void ApplyTaskbarMode(QWidget* dialog);

    // What the controller has shown.
    int MessageBoxShown(const std::string& text, unsigned flags);
    void ShowActivated(const QByteArray& token);
    void SetStatus(const std::string& text);
    void StartBusyAnimation();
    void StopAnimation();
    // The waiting-mail swing after a run that left mail, else the idle icon.
    void ShowMailWaiting(bool waiting);
    // New mail opens the window with its information.
    void ShowForMail();
    // The count and the time of the check that just ended.
    void ShowCheck(int totalMail);
    // Only new mail moves the selection, to the newest of it.
    void ShowResults(bool newMail = false);
    // The account tree says how to add an account.
    void ShowNoAccount(bool noAccount);
    // The mail program took over: no count, no time, no swing.
    void ClearShownMail();
    // The count as the user reads it.
    std::string MailCount() const;
    // The options dialog while it is open.
    TOptionForm* OptionForm() const { return optionForm_; }

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void FormCreate();
    // The keyboard's way through the window and what a screen reader reads of it.
    void SetUpAccess();
    // The system menu at the control that has the focus (the Menu key, Shift+F10).
    void PopUpSystemMenuAtFocus();
    void FormShow();
    // What only draws runs while the window can be seen.
    void FollowSight();
    void SetMailCount(const QString& text);
    // Qt's idea of where the window is set right before it is used.
    void KeepPlace();
    // What follows the window's size: the trees, the buttons on the right.
    void LayOut();
    // The window menu's "Size": the arrow keys size the window until Enter,
    // Escape puts the size back.
    void StartKeyboardSizing();
    void EndKeyboardSizing();
    void FormDestroy();
    void tvAccountClick();
    // Whether the mail program started.
    bool imMailerClick() { return controller_.StartMailer(); }

    MainController controller_;

    StatusStrip* strip_ = nullptr;
    QLabel* laMailCount_ = nullptr;
    QLabel* laDate_ = nullptr;
    PictureButton* pbCheck_ = nullptr;
    PictureButton* imOption_ = nullptr;
    PictureButton* imMailer_ = nullptr;
    QToolButton* sbMinimum_ = nullptr;
    QToolButton* spClose_ = nullptr;
    QWidget* grip_ = nullptr; // the corner that sizes the window with the lists
    // While keys size the window: the size before, and the one asked for last
    // (the window system tells the new size only later).
    std::optional<std::pair<QSize, QSize>> sizing_;
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
    bool noAccountShown_ = false;       // the account tree says how to add one
    std::optional<MailPlace> keptMail_; // the line to select again
    bool placeUnsure_ = false;          // shown, Qt's idea of the place not yet checked
    bool firstShow_ = true;
    bool terminating_ = false;
};

} // namespace pim
