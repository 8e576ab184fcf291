// The program behind the main window: owns the mail components, the check run,
// the scheduler, the remote menu and the wake watch, serves their hosts' calls,
// and tells the window what to show.
#pragma once

#include "app/RemoteMenu.h"
#include "app/StationPrompts.h"
#include "app/check/AccountList.h"
#include "app/check/CheckRun.h"
#include "app/check/PasswordKeeper.h"
#include "app/check/RasControl.h"
#include "app/check/Scheduler.h"
#include "app/check/SeenMail.h"
#include "dialup/TVeltaRAS.h"
#include "dialup/WakeWatch.h"
#include "platform/DesktopNotifications.h"
#include "platform/OnlineAccounts.h"
#include "remote/TFernpostNetwork.h"
#include "settings/OptionHost.h"
#include "settings/SignInWindow.h"

#include <QPoint>
#include <QPointer>
#include <functional>
#include <memory>
#include <string>

namespace pim {

class TMainForm;

class MainController : private CheckRunHost, public OptionHost {
public:
    // `programDir` is the program's folder with a trailing '/'; `ras` must
    // outlive the controller. Nothing of `view` is used before LoadSettings.
    MainController(TMainForm& view, const std::string& programDir, TVeltaRAS& ras);
    ~MainController() override;

    // The session bus of the desktop notifications and the keyring; tests replace it.
    static std::function<QDBusConnection()> SessionBus;

    const std::string& ProgramDir() const { return programDir_; }
    const std::string& ProfilePath() const { return profilePath_; }
    CheckRun& Run() { return run_; }
    bool Offline() const override { return offline_; }
    void SetOffline(bool offline) { offline_ = offline, FollowPush(); }

    // Settings and Accounts from Pim.INI; an unusable one is told from the event loop.
    void LoadSettings();
    // The components' events hooked up, the station logged in as the settings say.
    void Connect();
    // The start-up work: the first check, the dial-up watch, the schedule.
    void FormShow();
    // The run abandoned, the station left, the window's place saved at `place`.
    void FormDestroy(QPoint place, bool terminating);
    void HangUp() { ras_.HangUp(); }
    // After the options dialog: the schedule follows its new settings.
    void RearmSchedule(bool oldScheduleTime, int oldScheduleTimeCount) {
        scheduler_.Rearm(oldScheduleTime, oldScheduleTimeCount);
    }
    TVeltaRAS& Dialup() { return ras_; }
    bool SchedulePaused() const;
    // Whether the mail program started.
    bool StartMailer();

    // OptionHost
    void SetPop3TimeOut(int milliseconds) override;
    void ShowMailerButton() override;
    void ShowTrayIcon(bool shown) override;
    void ApplyTaskbarMode(QWidget* dialog) override;
    void UpdateStatusLine() override;
    void SetDialupWatching(bool watching) override;
    bool FpnLoggedIn() override;
    bool FpnOpen() override;
    bool FpnLogin() override;
    void FpnLogoutAndClose() override;
    int CheckIndex() override { return run_.CheckIndex(); }
    bool KeyringAvailable() override;
    void KeepPasswords(bool keyring) override;
    OnlineAccounts* Online() override { return &online_; }

    TFernpostNetwork FPN;

private:
    // Push holds connections only while online, and not where the connection
    // the checks need is hung up after each.
    void FollowPush();
    // IMAP accounts not connected yet begin watching for push.
    void Watch();
    // The status between runs.
    void ShowIdleStatus();
    // CheckRunHost
    int Ask(const std::string& text, unsigned flags) override;
    void GoOnline() override;
    void SetStatus(const std::string& text) override;
    void StartBusyAnimation() override;
    void ResetAfterFailedDial() override;
    void OpenAccountOptions() override;
    void ShowRun(const RunOutcome& outcome) override;
    void RunOver(const RunOutcome& outcome) override;
    void RememberSecurity(const TlsLesson& lesson) override;
    void SignInWanted(Account::Id id) override;
    void KeepRefreshToken(const TAccount& owner, const std::string& token);
    void KeepRefreshTokenInFile(const TAccount& owner, const std::string& token);
    void FollowDesktop(int slot, const std::string& hostName, const std::string& userID);

    // What the remote menu reads of the program.
    class MenuHost : public RemoteMenuHost {
    public:
        explicit MenuHost(MainController& owner) : owner_(owner) {}
        bool DialogOpen() const override;
        bool Offline() const override { return owner_.offline_; }
        // A run about to reach its first account runs already.
        int CheckIndex() const override {
            const CheckRun& run = owner_.run_;
            return run.CheckIndex() == CheckRun::kIdle && run.Running() ? 0 : run.CheckIndex();
        }
        int TotalMail() const override { return owner_.run_.TotalMail(); }
        const Results& ShownResults() const override { return owner_.run_.ShownResults(); }
        int ActiveEntryCount() override { return owner_.ras_.ActiveEntryCount(); }
        bool AccountToCheck() const override { return AnyAccountToCheck(Accounts); }
        void StartCheck() override { owner_.run_.pbCheckClick(CheckRun::Sender::Other); }

    private:
        MainController& owner_;
    };

    TMainForm& view_;
    std::string programDir_;
    bool checkWhenReady_ = false; // the start's check waits for NetworkManager
    std::string profilePath_;
    TVeltaRAS& ras_;
    RasControl rasControl_{ras_};
    // Before the accounts, which ask it.
    OnlineAccounts online_{SessionBus()};
    // Before the run: the accounts outlive the run's turns.
    AccountList accounts_{Accounts};
    CheckRun run_;
    // After the run: gone first, it answers none of the run's questions late.
    PasswordKeeper keeper_{SessionBus, profilePath_};
    std::unique_ptr<SeenMail> seen_; // of the profile, once it is known
    Scheduler scheduler_;
    WakeWatch wake_{ras_.Bus()};
    StationPrompts prompts_{FPN};
    MenuHost menuHost_{*this};
    RemoteMenu menu_;
    DesktopNotifications notifications_{QStringLiteral("Pim"), DesktopNotifications::ProgramIcon(),
                                        SessionBus};
    bool offline_ = false;
    // Accounts watch from the start on, once the check at start-up, if any, began.
    bool watching_ = false;
    // Pim.INI could be read (or was missing) at start; otherwise it is never written.
    bool profileUsable_ = true;
    bool securityWriteFailed_ = false; // said once on stderr, not at every check
    QPointer<SignInWindow> signIn_;    // one sign-in at a time
};

} // namespace pim
