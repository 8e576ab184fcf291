// What applying the options changes in the running program, besides Settings,
// Accounts and the file: the main controller implements it.
#pragma once

class QWidget;

namespace pim {

class OnlineAccounts;

class OptionHost {
public:
    virtual ~OptionHost() = default;

    // POP3 reply time-out of the next sessions.
    virtual void SetPop3TimeOut(int milliseconds) = 0;
    // The mail program's button: its icon from MailerPath/MailerIcon, or hidden.
    virtual void ShowMailerButton() = 0;
    // Adds or removes the tray icon.
    virtual void ShowTrayIcon(bool shown) = 0;
    // The main window with or without a taskbar button, as SettingTask and
    // SettingTaskbar now say; `dialog` is brought back to the front afterwards.
    virtual void ApplyTaskbarMode(QWidget* dialog) = 0;
    virtual void UpdateStatusLine() = 0;
    virtual void SetDialupWatching(bool watching) = 0;
    // The Fernpost station.
    virtual bool FpnLoggedIn() = 0;
    virtual bool FpnOpen() = 0;
    virtual bool FpnLogin() = 0;
    virtual void FpnLogoutAndClose() = 0;
    // -1 idle, -2 dialling, 0..19 the account a run is checking.
    virtual int CheckIndex() = 0;
    // Whether the desktop has a keyring (a Secret Service) for the passwords.
    virtual bool KeyringAvailable() = 0;
    // The passwords go into the keyring or, when every one can be read, back
    // into the file; Settings.SettingKeyring follows when they are there.
    virtual void KeepPasswords(bool keyring) = 0;
    // The desktop's online accounts; none where the program has none.
    virtual OnlineAccounts* Online() { return nullptr; }
};

} // namespace pim
