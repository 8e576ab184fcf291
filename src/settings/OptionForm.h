// The options dialog: four pages of settings and the account list. It edits a
// working copy; Apply (and OK when Apply is enabled) validates, copies into
// Settings and Accounts, writes Pim.INI and applies the changes at once.
// Controls carry their design names as object names.
#pragma once

#include "settings/DialupPhonebook.h"
#include "settings/OptionHost.h"
#include "settings/Settings.h"

#include <QDialog>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QListWidgetItem;
class QPushButton;
class QRadioButton;
class QStackedWidget;
class QTabWidget;
class QToolButton;
class QWidget;

namespace pim {

class TOptionForm : public QDialog {
    Q_OBJECT
public:
    // `profilePath` is the Pim.INI that Apply writes.
    TOptionForm(OptionHost& host, DialupPhonebook& phonebook, const std::string& profilePath,
                QWidget* parent = nullptr);
    ~TOptionForm() override;

    // The four edits of the account editor, as the user left them; what checks
    // learnt of the server's TLS (the TLS fields of `Learnt`), which the editor
    // shows, and whether the user chose to forget it there.
    struct AccountFields {
        QString Name;
        QString HostName;
        QString UserID;
        QString Password;
        TAccount Learnt = {};
        bool ForgetLearnt = false;
        // How it signs in: a password, or OAuth 2.0 with these endpoints.
        AccountAuth Auth = AccountAuth::Password;
        QString AuthorizeUrl = {}, TokenUrl = {}, ClientId = {}, ClientSecret = {}, Scope = {};
        // The refresh token of a sign-in made in the editor.
        std::string Grant = {};
    };
    // An open-file dialog: the first filter is selected; with `ExecutablesFirst`
    // that filter lists only files the user may run.
    struct FileRequest {
        QString Caption;
        QStringList Filters;
        QString Directory;
        bool ExecutablesFirst = false;
    };

    // The other dialogs and the sound, replaceable so that tests answer for them.
    // RunAccountForm shows the editor over `fields` (empty for Add) and returns
    // true when it was accepted; RunIconForm returns the picked icon or -1;
    // RunFileDialog returns the chosen file or an empty text.
    std::function<bool(AccountFields& fields)> RunAccountForm;
    // What Add adds: a typed account (empty), one of the desktop's online
    // accounts (its id), or nothing. Without online accounts, a typed one.
    std::function<std::optional<QString>()> ChooseAddition;
    std::function<int(const QString& programPath)> RunIconForm;
    std::function<QString(const FileRequest& request)> RunFileDialog;
    std::function<void(const QString& waveFile)> PlaySound;
    // The program that starts at login: this one (tests name another).
    QString AutostartProgram;

    QTabWidget* tcOption = nullptr;
    QWidget* tsAccount = nullptr;
    QWidget* tsCustomize = nullptr;
    QWidget* tsSchedule = nullptr;
    QWidget* tsFPN = nullptr;

    TAccounts EditAccounts;
    bool AccountsChanged = false;
    bool ApplyFailed = false;
    // The working value of MailerIcon, shown in imMailerIcon.
    int MailerIconIndex = 0;

public slots:
    void ApplySettings();

private:
    std::optional<QString> ChooseRealAddition();
    void CreateControls();
    // What a screen reader reads for the controls whose text does not say it.
    void SetUpAccess();
    QWidget* CreateAccountPage();
    QWidget* CreateCustomizePage();
    QWidget* CreateSchedulePage();
    QWidget* CreateFpnPage();
    void FormShow();

    void ShowPage(QWidget* panel, QToolButton* button, bool moveFocus);
    void ApplyEnablingRules();
    void SettingChanged();
    void cbSettingCountOnlyClick(bool checked);

    void UpdateAccountButtons();
    int SelectedAccount() const;
    void clAccountItemChanged(QListWidgetItem* item);
    void btAddClick();
    void btSettingClick();
    void btDeleteClick();
    void MoveAccount(int by);

    void sbSoundTestRecvClick();
    void sbSoundSearchRecvClick();
    void sbMailerPathSearchClick();
    void edMailerPathChange();
    void btMailerIconChangeClick();
    void ShowMailerIcon();
    void btOkClick();

    OptionHost& host_;
    DialupPhonebook& phonebook_;
    std::string profilePath_;
    // Each page button with the panel it shows.
    std::vector<std::pair<QToolButton*, QWidget*>> pageButtons_;

    QPushButton* btOk = nullptr;
    QPushButton* btCancel = nullptr;
    QPushButton* btUpdate = nullptr;

    QListWidget* clAccount = nullptr;
    QPushButton* btAccountUp = nullptr;
    QPushButton* btAccountDown = nullptr;
    QPushButton* btAdd = nullptr;
    QPushButton* btSetting = nullptr;
    QPushButton* btDelete = nullptr;

    QStackedWidget* customizePanels_ = nullptr;
    QStackedWidget* schedulePanels_ = nullptr;
    QToolButton* sbCustomizeAction = nullptr;
    QToolButton* sbCustomizeShow = nullptr;
    QToolButton* sbCustomizeSound = nullptr;
    QToolButton* sbCustomizeMailer = nullptr;
    QToolButton* sbCustomizeDialup = nullptr;
    QToolButton* sbScheduleAutoCheck = nullptr;
    QToolButton* sbScheduleCheckEnd = nullptr;
    QWidget* pnCustomizeAction = nullptr;
    QWidget* pnCustomizeShow = nullptr;
    QWidget* pnCustomizeSound = nullptr;
    QWidget* pnCustomizeMailer = nullptr;
    QWidget* pnCustomizeDialup = nullptr;
    QWidget* pnScheduleAutoCheck = nullptr;
    QWidget* pnScheduleCheckEnd = nullptr;

    QCheckBox* cbSettingTask = nullptr;
    QCheckBox* cbSettingTaskbar = nullptr;
    QCheckBox* cbSettingCountOnly = nullptr;
    QCheckBox* cbSettingEndCheck = nullptr;
    QCheckBox* cbStartAtLogin = nullptr;
    bool startAtLogin_ = false; // the autostart entry as Apply last left it
    QCheckBox* cbScheduleTimeout = nullptr;
    QLabel* laScheduleTimeout1 = nullptr;
    QLineEdit* edScheduleTimeoutCount = nullptr;
    QLabel* laScheduleTimeout2 = nullptr;

    QCheckBox* cbSettingAnimation = nullptr;
    QCheckBox* cbSettingRunHide = nullptr;
    QCheckBox* cbSettingMailerMinimized = nullptr;
    QCheckBox* cbSettingInfoOpen = nullptr;
    QCheckBox* cbSettingOldMailNotShow = nullptr;
    QCheckBox* cbSettingNewestFirst = nullptr;
    QCheckBox* cbSettingMailerHide = nullptr;

    QRadioButton* rbSoundNone = nullptr;
    QRadioButton* rbSoundBeep = nullptr;
    QRadioButton* rbSoundWave = nullptr;
    QLabel* laSoundWave = nullptr;
    QLineEdit* edSoundRecv = nullptr;
    QToolButton* sbSoundTestRecv = nullptr;
    QToolButton* sbSoundSearchRecv = nullptr;
    QCheckBox* cbSoundSameCheck = nullptr;
    QCheckBox* cbSettingNotification = nullptr;

    QLineEdit* edMailerPath = nullptr;
    QToolButton* sbMailerPathSearch = nullptr;
    QLineEdit* edMailerOption = nullptr;
    QLabel* imMailerIcon = nullptr;
    QPushButton* btMailerIconChange = nullptr;

    QRadioButton* rbCuDialNon = nullptr;
    QRadioButton* rbCuDialNonMail = nullptr;
    QRadioButton* rbCuDialAuto = nullptr;
    QLabel* laCuDialLabel = nullptr;
    QComboBox* cbCuDialSelect = nullptr;
    QLabel* laCuDialService = nullptr;
    QCheckBox* cbSettingKeyring = nullptr;
    QLabel* laKeyringService = nullptr; // why the keyring cannot be used

    QCheckBox* cbScheduleRun = nullptr;
    QCheckBox* cbScheduleDialup = nullptr;
    QCheckBox* cbScheduleTime = nullptr;
    QLabel* laScheduleTime1 = nullptr;
    QLineEdit* edScheduleTimeCount = nullptr;
    QLabel* laScheduleTime2 = nullptr;
    QCheckBox* cbScheduleTimeInfo = nullptr;

    QCheckBox* cbMailerAutoRun = nullptr;
    QCheckBox* cbMailerAutoRunSameCheck = nullptr;
    QCheckBox* cbSettingAutoShow = nullptr;
    QCheckBox* cbSettingAutoShowCheck = nullptr;
    QCheckBox* cbSettingAutoShowChange = nullptr;
    QCheckBox* cbSettingDeconnect = nullptr;
    QCheckBox* cbScDialExistingNonDisconnect = nullptr;
    QCheckBox* cbCuDialMailNonDisconnect = nullptr;

    QRadioButton* rbFPNNone = nullptr;
    QRadioButton* rbFPNLogin = nullptr;
    QCheckBox* cbFPNPassword = nullptr;
    QLabel* laFPNPassword = nullptr;
    QLineEdit* edFPNPassword = nullptr;
};

} // namespace pim
