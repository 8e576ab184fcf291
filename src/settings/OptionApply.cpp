// Apply: the options dialog's edits become the program's settings, in Pim.INI
// and in the running program.
#include "common/Numbers.h"
#include "common/UiText.h"
#include "platform/Autostart.h"
#include "platform/MessageBox.h"
#include "settings/OptionForm.h"
#include "settings/OptionFormParts.h"
#include "settings/OptionRules.h"
#include "settings/SettingsFile.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>

namespace pim {

namespace {

using option_parts::B;

const std::string& IntervalRange() {
    return UiText("OptionForm",
                  "自動メールチェックの間隔は「1」～「999」の範囲で設定してください。");
}
const std::string& TimeoutRange() {
    return UiText("OptionForm", "タイムアウトの指定は「20」～「999」の範囲で設定してください。");
}
const std::string& ServiceFailed() {
    return UiText("OptionForm", "FernpostNetworkサービスを開始することができませんでした。");
}
const std::string& LoginFailed() {
    return UiText("OptionForm", "FernpostNetworkにログインすることができませんでした。");
}
const std::string& AccountsNextCheck() {
    return UiText("OptionForm", "アカウントの設定は次回チェック開始時より有効になります。");
}

// A number edit's value; a text that is no number reads as `fallback`.
int32_t EditNumber(const QLineEdit* edit, int32_t fallback) {
    return ReadInteger(B(edit->text()), fallback);
}

} // namespace

void TOptionForm::ApplySettings() {
    ApplyFailed = false;
    if (cbScheduleTime->isChecked() && EditNumber(edScheduleTimeCount, 0) < 1) {
        tcOption->setCurrentWidget(tsSchedule);
        ShowPage(pnScheduleAutoCheck, sbScheduleAutoCheck, false);
        edScheduleTimeCount->setFocus(Qt::OtherFocusReason);
        MessageBox(this, IntervalRange(), mb::Ok | mb::IconExclamation);
        ApplyFailed = true;
        return;
    }
    if (cbScheduleTimeout->isChecked() && EditNumber(edScheduleTimeoutCount, 0) < 20) {
        tcOption->setCurrentWidget(tsCustomize);
        ShowPage(pnCustomizeAction, sbCustomizeAction, false);
        edScheduleTimeoutCount->setFocus(Qt::OtherFocusReason);
        MessageBox(this, TimeoutRange(), mb::Ok | mb::IconExclamation);
        ApplyFailed = true;
        return;
    }

    const int listed = std::min(clAccount->count(), kMaxAccounts);
    // Where each password is, the program knows: an earlier Apply may have moved
    // it into the keyring or back into the file since the dialog took its copy,
    // and a provider may have rotated a refresh token. Only a password typed or
    // a sign-in made here overrides it.
    for (int i = 0; i < listed; ++i) {
        QListWidgetItem* item = clAccount->item(i);
        const int origin = item->data(option_parts::kOriginRole).toInt();
        if (origin < 0 || origin >= kMaxAccounts)
            continue;
        TAccount& edited = EditAccounts[size_t(i)];
        const TAccount& now = Accounts[size_t(origin)];
        const bool typed = item->data(option_parts::kPasswordTypedRole).toBool();
        // A grant dropped in the editor leaves no keyring entry to read.
        if (!typed || edited.Keyring)
            edited.Keyring = now.Keyring;
        if (!typed) {
            edited.Password = now.Password;
            edited.OAuthRefreshToken = now.OAuthRefreshToken;
        }
    }
    for (int i = 0; i < kMaxAccounts; ++i)
        Accounts[size_t(i)] = i < listed ? EditAccounts[size_t(i)] : TAccount{};
    for (int i = 0; i < listed; ++i) {
        clAccount->item(i)->setData(option_parts::kOriginRole, i);
        clAccount->item(i)->setData(option_parts::kPasswordTypedRole, false);
    }

    TSettings& s = Settings;
    const bool oldTask = s.SettingTask;
    const bool oldTaskbar = s.SettingTaskbar;
    s.SettingTask = cbSettingTask->isChecked();
    s.SettingTaskbar = cbSettingTaskbar->isChecked();
    s.SettingCountOnly = cbSettingCountOnly->isChecked();
    s.SettingEndCheck = cbSettingEndCheck->isChecked();
    s.ScheduleTimeout = cbScheduleTimeout->isChecked();
    s.ScheduleTimeoutCount = EditNumber(edScheduleTimeoutCount, 1);
    s.SettingAnimation = cbSettingAnimation->isChecked();
    s.SettingRunHide = cbSettingRunHide->isChecked();
    s.MailerMinimized = cbSettingMailerMinimized->isChecked();
    s.SettingInfoOpen = cbSettingInfoOpen->isChecked();
    s.SettingOldMailNotShow = cbSettingOldMailNotShow->isChecked();
    s.SettingNewestFirst = cbSettingNewestFirst->isChecked();
    s.SettingMailerHide = cbSettingMailerHide->isChecked();
    s.Kind = rbSoundNone->isChecked() ? 0 : rbSoundBeep->isChecked() ? 1 : 2;
    s.WaveRecv = B(edSoundRecv->text());
    s.SameCheck = cbSoundSameCheck->isChecked();
    s.SettingNotification = cbSettingNotification->isChecked();
    s.MailerPath = B(edMailerPath->text());
    s.MailerOption = B(edMailerOption->text());
    s.MailerIcon = MailerIconIndex;
    s.CustomizeDial = rbCuDialNon->isChecked() ? 0 : rbCuDialNonMail->isChecked() ? 1 : 2;
    s.CustomizeDialName = cbCuDialSelect->currentData().toByteArray().toStdString();
    s.ScheduleRun = cbScheduleRun->isChecked();
    s.ScheduleDialup = cbScheduleDialup->isChecked();
    s.ScheduleTime = cbScheduleTime->isChecked();
    // An interval below one minute means nothing, whether the check is on or not.
    s.ScheduleTimeCount = std::max(EditNumber(edScheduleTimeCount, 1), 1);
    s.ScheduleTimeInfo = cbScheduleTimeInfo->isChecked();
    s.MailerAutoRun = cbMailerAutoRun->isChecked();
    s.MailerAutoRunSameCheck = cbMailerAutoRunSameCheck->isChecked();
    s.SettingAutoShow = cbSettingAutoShow->isChecked();
    s.SettingAutoShowCheck = cbSettingAutoShowCheck->isChecked();
    s.SettingAutoShowChange = cbSettingAutoShowChange->isChecked();
    s.SettingDeconnect = cbSettingDeconnect->isChecked();
    s.DialExistingNonDisconnect = cbScDialExistingNonDisconnect->isChecked();
    s.DialMailNonDisconnect = cbCuDialMailNonDisconnect->isChecked();
    s.Login = rbFPNLogin->isChecked();
    s.PasswordCheck = cbFPNPassword->isChecked();
    s.Password = option_parts::Kept(edFPNPassword->text(), s.Password);
    // On, the file says so before the passwords move; off, only once they are back.
    const bool keyring = cbSettingKeyring->isChecked();
    s.SettingKeyring = s.SettingKeyring || keyring;

    std::string error;
    if (!SaveSettings(profilePath_, Settings, Accounts, &error)) {
        MessageBox(this, error, mb::Ok | mb::IconExclamation);
        return;
    }
    btUpdate->setEnabled(false);

    host_.SetPop3TimeOut(ReplyTimeOut(s));
    host_.ShowMailerButton();
    if (s.SettingTask != oldTask)
        host_.ShowTrayIcon(s.SettingTask);
    if (s.SettingTask != oldTask || s.SettingTaskbar != oldTaskbar)
        host_.ApplyTaskbarMode(this);
    host_.UpdateStatusLine();
    host_.SetDialupWatching(s.ScheduleDialup);
    if (cbSettingKeyring->isEnabled() && s.SettingKeyring)
        host_.KeepPasswords(keyring);
    if (!s.Login) {
        host_.FpnLogoutAndClose();
    } else if (!host_.FpnLoggedIn()) {
        if (!host_.FpnOpen())
            MessageBox(this, ServiceFailed(), mb::Ok | mb::IconExclamation);
        else if (!host_.FpnLogin())
            MessageBox(this, LoginFailed(), mb::Ok | mb::IconExclamation);
    }
    if (host_.CheckIndex() >= 0 && AccountsChanged) {
        MessageBox(this, AccountsNextCheck(), mb::Ok | mb::IconInformation);
        AccountsChanged = false;
    }
    // No key of Pim.INI: the entry itself says whether Pim starts at login.
    if (cbStartAtLogin->isChecked() != startAtLogin_) {
        if (SetAutostart(AutostartProgram, cbStartAtLogin->isChecked())) {
            startAtLogin_ = !startAtLogin_;
        } else {
            MessageBox(this, CannotWriteText(QFile::encodeName(AutostartPath()).toStdString()),
                       mb::Ok | mb::IconExclamation);
            btUpdate->setEnabled(true); // OK stays open, as after a failed save
        }
    }
}

} // namespace pim
