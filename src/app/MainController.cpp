#include "app/MainController.h"

#include "app/ArrivalNotice.h"
#include "app/MainForm.h"
#include "app/check/Notification.h"
#include "app/check/StatusTexts.h"
#include "common/Cp932.h"
#include "common/UiText.h"
#include "platform/Help.h"
#include "platform/MessageBox.h"
#include "platform/Sound.h"
#include "remote/PimStation.h"
#include "settings/OptionForm.h"
#include "settings/ProfileLocation.h"
#include "settings/SettingsFile.h"

#include <QFileInfo>
#include <QGuiApplication>
#include <QProcess>
#include <QScreen>
#include <cstdio>

namespace pim {

namespace {

const std::string& ServiceFailed() {
    return UiText("MainForm", "FernpostNetworkサービスを開始することができませんでした。");
}
const std::string& LoginFailed() {
    return UiText("MainForm", "FernpostNetworkにログインすることができませんでした。");
}

const std::string& KeyringMissing() {
    return UiText(
        "MainController",
        "パスワードをキーリングに保存する設定ですが、デスクトップのキーリング"
        "（Secret Service）が見つかりません。Pim.INI にあるパスワードはそのまま使います。");
}
const std::string& KeyringNotAll() {
    return UiText("MainController", "一部のパスワードをキーリングに移せませんでした。"
                                    "それらのパスワードは Pim.INI に残っています。");
}
const std::string& KeyringKept() {
    return UiText(
        "MainController",
        "キーリングからパスワードを読めなかったため、パスワードはキーリングに残っています。"
        "「パスワードをキーリングに保存する」もオンのままです。");
}

QString U(const std::string& cp932Text) {
    return cp932::ToUnicode(cp932Text);
}

} // namespace

std::function<QDBusConnection()> MainController::SessionBus = [] {
    return QDBusConnection::sessionBus();
};

MainController::MainController(TMainForm& view, const std::string& programDir, TVeltaRAS& ras)
    : view_(view), programDir_(programDir), ras_(ras),
      run_(accounts_, rasControl_, *this, Settings),
      scheduler_(
          Settings, [this] { return SchedulePaused(); },
          [this] { run_.pbCheckClick(CheckRun::Sender::Other); }),
      menu_(menuHost_, Settings, prompts_) {
    accounts_.Passwords = &keeper_;
    accounts_.Online = &online_;
    // A server or user changed on the desktop: the accounts follow between runs.
    QObject::connect(&online_, &OnlineAccounts::changed, &view_, [this] {
        if (!run_.Running())
            FollowPush();
    });
    QObject::connect(&accounts_, &AccountList::pushingChanged, &view_, [this] {
        if (!run_.Running())
            ShowIdleStatus();
    });
    QObject::connect(&accounts_, &AccountList::refreshTokenChanged, &view_,
                     [this](Account::Id id, const std::string& token) {
                         if (const Account* account = accounts_.Find(id))
                             KeepRefreshToken(account->Settings(), token);
                     });
    QObject::connect(&accounts_, &AccountList::followed, &view_,
                     [this](int slot, const std::string& hostName, const std::string& userID) {
                         FollowDesktop(slot, hostName, userID);
                     });
}

// One window at a time: a second account without a grant waits for the next
// run the user starts.
void MainController::SignInWanted(Account::Id id) {
    const Account* account = accounts_.Find(id);
    if (!account || signIn_)
        return;
    auto* window = new SignInWindow(account->Settings(), &view_);
    signIn_ = window;
    QObject::connect(window, &SignInWindow::signedIn, &view_, [this, id](const TokenReply& tokens) {
        if (Account* signedIn = accounts_.Find(id))
            signedIn->SignedIn(tokens);
    });
    window->show();
    window->Start();
}

// A rotated refresh token replaces the old one at once: the old one may be void
// already, and a restart would find the account signed out. Where the keyring
// holds it, there; a write the keyring does not confirm puts it in Pim.INI.
void MainController::KeepRefreshToken(const TAccount& owner, const std::string& token) {
    const auto configured = std::ranges::find_if(Accounts, [&](const TAccount& account) {
        return account.HostName == owner.HostName && account.UserID == owner.UserID &&
               account.Auth == AccountAuth::OAuth2;
    });
    if (configured != Accounts.end() && keeper_.Keeps(*configured) && !token.empty()) {
        keeper_.Replace(*configured, token, [this, owner, token](bool stored) {
            if (!stored)
                KeepRefreshTokenInFile(owner, token);
        });
        return;
    }
    KeepRefreshTokenInFile(owner, token);
}

void MainController::KeepRefreshTokenInFile(const TAccount& owner, const std::string& token) {
    const auto take = [&](TAccounts& accounts, bool save) {
        for (size_t slot = 0; slot < accounts.size(); ++slot) {
            TAccount& account = accounts[slot];
            if (account.HostName.empty() || account.HostName != owner.HostName ||
                account.UserID != owner.UserID || account.Auth != AccountAuth::OAuth2)
                continue;
            account.OAuthRefreshToken = token;
            std::string error;
            if (save && !SaveAccountSecurity(profilePath_, int(slot), account, &error) &&
                !std::exchange(securityWriteFailed_, true))
                std::fprintf(stderr, "Pim: %s\n", cp932::ToUtf8(error).c_str());
        }
    };
    if (TOptionForm* open = view_.OptionForm())
        take(open->EditAccounts, false);
    take(Accounts, profileUsable_);
}

void MainController::FollowDesktop(int slot, const std::string& hostName,
                                   const std::string& userID) {
    TAccount& account = Accounts[size_t(slot)];
    const std::string bound = account.OnlineAccount;
    if (TOptionForm* open = view_.OptionForm())
        for (TAccount& edited : open->EditAccounts)
            if (edited.OnlineAccount == bound)
                edited.HostName = hostName, edited.UserID = userID;
    const TAccount before = account;
    account.HostName = hostName, account.UserID = userID;
    // A file edited meanwhile keeps what it says; the desktop is followed again at each run.
    if (profileUsable_)
        SaveFollowedAccount(profilePath_, slot, before, account);
}

MainController::~MainController() = default;

void MainController::LoadSettings() {
    profilePath_ = pim::ProfilePath(programDir_);
    seen_ = std::make_unique<SeenMail>(profilePath_);
    accounts_.Seen = seen_.get();
    ScreenSize screen;
    if (const QScreen* primary = QGuiApplication::primaryScreen())
        screen = {primary->size().width(), primary->size().height()};
    // Whether NetworkManager is there, and its phonebook, may come after the load.
    ras_.OnReady = [this](TVeltaRAS*) {
        LoadDialupSettings(ras_, Settings);
        if (std::exchange(checkWhenReady_, false))
            QMetaObject::invokeMethod(
                &view_,
                [this] {
                    run_.pbCheckClick(CheckRun::Sender::Start);
                    watching_ = true;
                },
                Qt::QueuedConnection);
    };
    const IniFile::LoadStatus profile =
        pim::LoadSettings(profilePath_, ras_, screen, Settings, Accounts);
    profileUsable_ = IniFile::Usable(profile);
    // A new profile holds the recommended settings from the start, not only in
    // memory: later versions read what is written, whatever their defaults.
    std::string error;
    if (profile == IniFile::LoadStatus::Missing &&
        !SaveSettings(profilePath_, Settings, Accounts, &error))
        std::fprintf(stderr, "Pim: %s\n", cp932::ToUtf8(error).c_str());
    if (!profileUsable_) {
        // Shown from the event loop, where a signal can still end the program.
        QMetaObject::invokeMethod(
            &view_,
            [this, text = CannotReadText(profilePath_, profile)] {
                view_.MessageBoxShown(text, mb::IconExclamation);
            },
            Qt::QueuedConnection);
    }
}

void MainController::Connect() {
    // The run walks the accounts on its own; the dial-up component and the LAN
    // station report to it and to the scheduler.
    ras_.OnConnect = [this](TVeltaRAS*, const std::string&) { run_.DialFinished(); };
    ras_.OnConnectError = [this](TVeltaRAS*, const std::string&) { run_.DialFinished(); };
    ras_.OnFirstConnect = [this](TVeltaRAS*) { scheduler_.VeltaRASFirstConnect(); };
    // After a resume or when the network returns, the interval check comes early.
    wake_.Conditions = [this] {
        return WakeCheck::Conditions{Settings.ScheduleTime && !SchedulePaused(), run_.Running(),
                                     offline_, std::chrono::minutes(Settings.ScheduleTimeCount)};
    };
    wake_.OnCheck = [this](WakeWatch*) { scheduler_.CheckNow(); };
    // Push connections, perhaps dead after it, are made anew at once, however
    // recent the last check: that checks only their accounts. Told after the
    // check, if one started; that check then makes them anew itself.
    wake_.OnWake = [this](WakeWatch*) { accounts_.Wake(); };
    // A notification's actions do what the tray menu and the mailer button do.
    QObject::connect(&notifications_, &DesktopNotifications::actionInvoked, &view_,
                     [this](const QString& key, const QByteArray& token) {
                         if (view_.DialogOpen)
                             return;
                         if (key == QLatin1String("default"))
                             view_.ShowActivated(token);
                         else if (key == QLatin1String("mailer"))
                             StartMailer();
                     });

    SetPop3TimeOut(ReplyTimeOut(Settings));

    ConfigureAsPim(FPN);
    FPN.OnMenuRequest = [this](TFernpostNetwork* fpn, const std::string& handle,
                               const std::string& machine, const std::string& kind) {
        menu_.FPNMenuRequest(handle, machine, kind, fpn->RecvSenderIP());
    };
    FPN.OnInputReturn = [this](TFernpostNetwork* fpn, const std::string& tag,
                               const std::string& answer, const std::string& handle,
                               const std::string& machine, const std::string& kind) {
        menu_.FPNInputReturn(tag, answer, handle, machine, kind, fpn->RecvSenderIP());
    };
    FPN.OnLogout = [this](TFernpostNetwork*, const std::string&, const std::string& machine,
                          const std::string&,
                          const std::string& kind) { menu_.ConsoleLoggedOut(machine, kind); };
    if (Settings.Login) {
        if (!FPN.Open())
            view_.MessageBoxShown(ServiceFailed(), mb::IconExclamation);
        else if (!FPN.Login())
            view_.MessageBoxShown(LoginFailed(), mb::IconExclamation);
    }
}

void MainController::FormShow() {
    // The desktop's accounts, for those bound to one: their servers may have moved.
    if (std::ranges::any_of(Accounts, [](const TAccount& a) { return !a.OnlineAccount.empty(); }))
        online_.Refresh();
    // A check that needs a dial-up connection asks NetworkManager, which may be
    // busy at login: it waits for NetworkManager's first answers, the window does not.
    if (Settings.ScheduleRun && Settings.CustomizeDial != 0 && !ras_.Ready())
        checkWhenReady_ = true;
    else if (Settings.ScheduleRun)
        run_.pbCheckClick(CheckRun::Sender::Start);
    // Watching is no check: push starts whether or not one runs at start-up
    // (that one connects them itself).
    watching_ = !checkWhenReady_;
    if (!Settings.ScheduleRun)
        FollowPush();
    if (Settings.ScheduleDialup)
        ras_.SetWatching(true);
    scheduler_.Arm();
    // Passwords left in the file (a move cut short, a hand edit) go in now,
    // without a prompt: a locked keyring takes them at a later start or Apply.
    if (!Settings.SettingKeyring)
        return keeper_.Probe();
    keeper_.Follow(true, false, [this](PasswordKeeper::Outcome outcome) {
        if (outcome == PasswordKeeper::Outcome::Unavailable)
            view_.MessageBoxShown(KeyringMissing(), mb::IconExclamation);
    });
}

void MainController::FormDestroy(QPoint place, bool terminating) {
    run_.Abandon();
    accounts_.LeaveAll();
    // The dial-up component outlives the window.
    ras_.OnConnect = nullptr;
    ras_.OnConnectError = nullptr;
    ras_.OnFirstConnect = nullptr;
    ras_.OnReady = nullptr;
    FPN.Logout();
    FPN.Close();
    if (!profileUsable_)
        return; // the user was told at start that nothing is saved
    std::string error;
    TSettings saved = Settings;
    // Wayland neither places a window nor tells where it is: the place read at
    // start is kept for the next session that can.
    if (!QGuiApplication::platformName().startsWith(QLatin1String("wayland"))) {
        saved.Left = place.x();
        saved.Top = place.y();
    }
    if (SaveMainWindow(profilePath_, saved, &error))
        return;
    std::fprintf(stderr, "Pim: %s\n", cp932::ToUtf8(error).c_str());
    // Nobody is there to answer a box when the session is ending.
    if (!terminating)
        MessageBox(nullptr, error, mb::IconExclamation);
}

bool MainController::SchedulePaused() const {
    return Settings.ScheduleTimeInfo && Settings.Type == 1 && view_.isVisible() &&
           !view_.isMinimized();
}

void MainController::UpdateStatusLine() {
    // Not while a run goes on, even one still starting: it has listed its accounts.
    if (run_.Running())
        return;
    FollowPush();
    // The options' Apply comes here: the trees follow the accounts too.
    view_.ShowNoAccount(!AnyAccountToCheck(Accounts));
    ShowIdleStatus();
}

void MainController::ShowIdleStatus() {
    if (!AnyAccountToCheck(Accounts) && !offline_)
        return SetStatus(texts::NoAccount());
    SetStatus(IdleStatusText(Settings, offline_, view_.MailCount(), SchedulePaused(),
                             accounts_.Pushing()));
}

void MainController::FollowPush() {
    accounts_.Sync();
    accounts_.SetHolding(!offline_ && !(Settings.CustomizeDial == 2 && Settings.SettingDeconnect));
    Watch(); // an account added or enabled, or the network back
}

void MainController::Watch() {
    if (!watching_)
        return;
    // Ids first: a check begun syncs the list.
    std::vector<Account::Id> unwatched;
    for (const auto& account : accounts_.All())
        if (account->Unwatched())
            unwatched.push_back(account->id());
    for (const Account::Id id : unwatched)
        run_.Watch(id);
}

bool MainController::StartMailer() {
    const QString path = U(Settings.MailerPath);
    // A mail program that cannot start leaves everything as it is: the user has
    // not read the mail.
    if (path.isEmpty() ||
        !QProcess::startDetached(path, QProcess::splitCommand(U(Settings.MailerOption)),
                                 QFileInfo(path).absolutePath()))
        return false;
    notifications_.Close(); // the user is reading the mail
    if (Settings.SettingMailerHide) {
        run_.ForgetShownResults();
        view_.ClearShownMail();
        UpdateStatusLine();
    }
    if (Settings.MailerMinimized)
        view_.sbMinimumClick(); // to the tray, when it hides there
    return true;
}

int MainController::Ask(const std::string& text, unsigned flags) {
    return view_.MessageBoxShown(text, flags);
}

void MainController::GoOnline() {
    view_.miOfflineClick();
}

void MainController::SetStatus(const std::string& text) {
    view_.SetStatus(text);
}

void MainController::StartBusyAnimation() {
    view_.StartBusyAnimation();
}

void MainController::ResetAfterFailedDial() {
    view_.StopAnimation();
    UpdateStatusLine();
}

void MainController::OpenAccountOptions() {
    view_.imOptionClick();
}

void MainController::ShowRun(const RunOutcome& outcome) {
    if (AutoShowWanted(Settings, outcome))
        view_.ShowForMail();
    view_.ShowCheck(outcome.TotalMail);
    std::optional<DesktopNotifications::Content> notice;
    if (SoundWanted(Settings, outcome)) {
        PlayArrivalSound(Settings.Kind, U(Settings.WaveRecv));
        if (Settings.SettingNotification)
            notice = ArrivalNotice(run_.ShownResults(), outcome.TotalMail,
                                   !Settings.MailerPath.empty(), outcome.PushSlot);
    }
    view_.ShowResults(outcome.NewMail);
    // A mail program started now is the notice; a notification would close at once.
    const bool mailerStarted = MailerWanted(Settings, outcome) && StartMailer();
    if (notice && !mailerStarted)
        notifications_.Notify(std::move(*notice));
}

void MainController::RunOver(const RunOutcome& outcome) {
    // The network's return checks again after a run that reached no server; a
    // push looked at one account only.
    if (outcome.Reached && !outcome.Push)
        wake_.RunEnded();
    // The mail program may have emptied the list meanwhile (SettingMailerHide).
    view_.ShowMailWaiting(run_.TotalMail() != 0);
    UpdateStatusLine();
}

void MainController::RememberSecurity(const TlsLesson& lesson) {
    // An Apply of an options dialog open meanwhile must not undo it.
    if (TOptionForm* open = view_.OptionForm())
        TakeSecurity(open->EditAccounts, lesson);
    if (!profileUsable_) {
        TakeSecurity(Accounts, lesson); // the user was told at start that nothing is saved
        return;
    }
    std::string error;
    if (StoreSecurity(profilePath_, Accounts, lesson, &error) || securityWriteFailed_)
        return;
    // Accounts holds it while Pim runs and the next Apply writes it; a box at
    // every check would help nobody.
    securityWriteFailed_ = true;
    std::fprintf(stderr, "Pim: %s\n", cp932::ToUtf8(error).c_str());
}

bool MainController::KeyringAvailable() {
    const bool available = keeper_.Available();
    keeper_.Probe(); // a keyring started since shows at the next look
    return available;
}

void MainController::KeepPasswords(bool keyring) {
    keeper_.Follow(keyring, true, [this, keyring](PasswordKeeper::Outcome outcome) {
        using enum PasswordKeeper::Outcome;
        if (outcome == Unavailable)
            view_.MessageBoxShown(KeyringMissing(), mb::IconExclamation);
        else if (outcome == Incomplete)
            view_.MessageBoxShown(keyring ? KeyringNotAll() : KeyringKept(), mb::IconExclamation);
    });
}

bool MainController::MenuHost::DialogOpen() const {
    return owner_.view_.DialogOpen;
}

void MainController::SetPop3TimeOut(int milliseconds) {
    accounts_.SetTimeOut(milliseconds);
}

void MainController::ShowMailerButton() {
    view_.ShowMailerButton();
}

void MainController::ShowTrayIcon(bool shown) {
    view_.ShowTrayIcon(shown);
}

void MainController::ApplyTaskbarMode(QWidget* dialog) {
    view_.ApplyTaskbarMode(dialog);
}

void MainController::SetDialupWatching(bool watching) {
    ras_.SetWatching(watching);
}

bool MainController::FpnLoggedIn() {
    return FPN.LoginStates();
}

bool MainController::FpnOpen() {
    return FPN.Open();
}

bool MainController::FpnLogin() {
    return FPN.Login();
}

void MainController::FpnLogoutAndClose() {
    FPN.Logout();
    FPN.Close();
}

} // namespace pim
