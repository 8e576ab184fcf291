// One mail check across the accounts: the start rules, the dial before it, the
// accounts asked in turn to check, what their clients tell gathered, old and
// new mail, and the hang-up after it. Widgets only show what it hands over.
#pragma once

#include "app/check/AccountList.h"
#include "app/check/AccountResult.h"
#include "mail/MailChecker.h"
#include "settings/Settings.h"

#include <QDate>
#include <QObject>
#include <array>
#include <functional>
#include <optional>
#include <string>
#include <vector>

class QEventLoop;

namespace pim {

// What a check needs of the dial-up component.
class DialupControl {
public:
    virtual ~DialupControl() = default;
    virtual int ActiveEntryCount() = 0;
    virtual int EntryCount() = 0;
    virtual std::string GetEntryName(int index) = 0;
    virtual bool Dial(int index) = 0;
    virtual bool HangUp() = 0;
};

struct RunOutcome {
    int TotalMail = 0;
    bool Changed = false;    // new mail (or an error) compared with the last run
    bool AnyAccount = false; // at least one account took part
    // One account checked because its server told of a change: nobody asked for
    // it, so without new mail it is shown without a sound or a word.
    bool Push = false;
    int PushSlot = -1; // the slot of that account
    // Some account has mail it did not have at the run before.
    bool NewMail = false;
    // The first list of an account that began watching: shown, but no news.
    bool Quiet = false;
    // At least one account's server answered: a run that met no network says
    // nothing of when the mail was last looked at.
    bool Reached = false;
};

// The window side of a run: questions, status, animation, and the showing of
// what the run found.
class CheckRunHost {
public:
    virtual ~CheckRunHost() = default;
    // A message box of the main window (DialogOpen is set while it shows).
    virtual int Ask(const std::string& text, unsigned flags) = 0;
    virtual bool Offline() const = 0;
    virtual void GoOnline() = 0;
    virtual void SetStatus(const std::string& text) = 0;
    virtual void StartBusyAnimation() = 0;
    // A dial that failed: animation off, idle icon and status.
    virtual void ResetAfterFailedDial() = 0;
    // The options dialog, on the account panel.
    virtual void OpenAccountOptions() = 0;
    // End of run, steps that show the result: automatic show, labels, sound,
    // trees, mailer. CheckIndex is still that of the last account.
    virtual void ShowRun(const RunOutcome& outcome) = 0;
    // After the run is over (CheckIndex idle): animation and idle status.
    virtual void RunOver(const RunOutcome& outcome) = 0;
    // What a check learnt of an account's server (TlsRequired on, a certificate
    // the user trusts, or one that verifies) belongs in the program's accounts
    // and Pim.INI.
    virtual void RememberSecurity(const TlsLesson& lesson) = 0;
    // The account signs in with OAuth and its grant is gone: the user is asked
    // to sign in again in the browser (once a run, and only in a run the user
    // or the start-up started).
    virtual void SignInWanted(Account::Id /*id*/) {}
};

// An account a check would ask: enabled and named.
bool AnyAccountToCheck(const TAccounts& accounts);

class CheckRun : public QObject {
    Q_OBJECT
public:
    // `accounts` gives the clients; what the run checks is what it holds when
    // the run starts.
    CheckRun(AccountList& accounts, DialupControl& dialup, CheckRunHost& host,
             const TSettings& settings, QObject* parent = nullptr);
    ~CheckRun() override;

    // Menu: the tray menu's and the system menu's item; Start: the check at
    // start-up; Other: the schedule, the LAN, a wake-up.
    enum class Sender { CheckButton, Menu, Start, Other };

    // Starts a check; the check button alone gets the offline question and the
    // message about a missing connection. Without an account to check, no run
    // starts: the user (the button or a menu) is offered the options. A check the
    // user started may ask whether to trust a certificate that does not verify;
    // the others report it as an error.
    void pbCheckClick(Sender sender);
    // The account's server told of a change, or its dropped push connection may
    // try again: that account alone is checked, the others keep what they show.
    // A run going on takes the change in: it checks the account later, or once
    // more right after it. With `quietErrors` (a connection lost only a moment
    // ago), an error leaves the account's line as it was. The accounts ask for
    // it themselves.
    void PushCheck(Account::Id account, bool quietErrors = false);
    // The account begins watching for push without a check of all: its first
    // list is shown quietly, as a push check of its own.
    void Watch(Account::Id account);
    // VeltaRAS.OnConnect and OnConnectError: the dial being waited for is over.
    void DialFinished();
    // The program ends: a dial being waited for stops waiting, and nothing more
    // is started.
    void Abandon();

    // The day what a check learns of TLS is dated with (tests pin it).
    std::function<QDate()> Today = [] { return QDate::currentDate(); };

    static constexpr int kIdle = -1, kDialling = -2;
    // kIdle (also while a run starts), kDialling, or 0..19: the account being checked.
    int CheckIndex() const {
        return phase_ == Phase::Dialling                            ? kDialling
               : phase_ == Phase::Idle || phase_ == Phase::Starting ? kIdle
                                                                    : checkIndex_;
    }
    // A run was started and has not ended yet (also before its first account).
    bool Running() const { return phase_ != Phase::Idle; }
    int TotalMail() const { return totalMail_; }
    // What the last run found, as the window and the LAN show it.
    const Results& ShownResults() const { return shown_; }
    // The run dialled the connection it checks over.
    bool DialledByCheck() const { return dialledByCheck_; }

    // Mailer start with SettingMailerHide: the user has read the list.
    void ForgetShownResults();

private:
    bool DialStep(Sender sender);
    void FillCheckList();
    int SlotOf(Account::Id account) const;
    void PushCheckAt(int slot, bool quietErrors);
    void ReadDesktopSecret(Account& account);
    // A run begins its walk over the accounts after `walk`.
    void BeginWalk(int walk);
    bool WalkOver() const;
    void CheckNext();
    void CheckAccount();
    // The client of the account whose turn it is; none once that is gone.
    MailChecker* Turn() const;
    void Listen(MailChecker& client, Account::Id account);
    void EndTurn();
    void AccountGone(Account::Id account);
    // The account's password from the store; the first read of a run may ask
    // the user to unlock it, and the others go on meanwhile.
    void ReadPassword(Account& account);
    void ReadToken(Account& account);
    void SecretRead(const std::string& secret);
    void TokenUnavailable();
    void Login(const std::string& password);
    void PasswordUnreadable();
    void SignInFailed(bool tryAgain);
    // A failed account keeps its previous list for the next comparison.
    void KeepShownList();
    void AskTrust();
    void Learn(const TlsOutcome& outcome);
    void Remember(TlsLesson lesson);
    void CheckQuit();
    void CheckRetr();
    void Post(void (CheckRun::*step)());
    void EndRun();
    void CompareWithShown(RunOutcome& outcome);
    AccountResult& Current() { return working_[static_cast<size_t>(checkIndex_)]; }
    bool OnAccount() const { return checkIndex_ >= 0 && checkIndex_ < kMaxAccounts; }

    // What the client of the account being checked tells.
    void Opened(int mailCount);
    void MailRead(const std::string& title, const std::string& sender, const std::string& date,
                  const std::string& uniqueId);
    void Closed();
    void Failed(uint8_t errorNo);

    AccountList& accounts_;
    DialupControl& dialup_;
    CheckRunHost& host_;
    const TSettings& settings_;
    enum class Phase {
        Idle,
        Dialling,       // the connection the run checks over is being dialled
        Starting,       // started, the first account not yet reached
        Walking,        // the accounts are checked in turn
        AwaitingPrompt, // the walk is over; only the keyring's unlock answer is awaited
    };
    Phase phase_ = Phase::Idle;
    int checkIndex_ = kIdle; // the account of the turn while walking
    int totalMail_ = 0;
    int fetchCount_ = 0;
    int nextMailNo_ = 0;
    bool dialWait_ = false;
    bool dialledByCheck_ = false;
    TAccounts checkList_{};                       // the accounts of this run
    std::array<Account::Id, kMaxAccounts> ids_{}; // and their objects
    Results working_;
    Results shown_;
    // Whose list each shown slot holds: deleting or moving accounts moves slots.
    std::array<Account::Id, kMaxAccounts> shownIds_{};
    Account::Id turnAccount_ = 0; // whose client's events move the run on
    QEventLoop* dialLoop_ = nullptr;
    bool abandoned_ = false;
    int mailBefore_ = 0; // totalMail_ before the current account
    bool userStarted_ = false;
    bool mayPrompt_ = false; // the run's first password read may unlock the store
    bool maySignIn_ = false; // the run's first account without a grant may open the browser
    int turn_ = 0;           // which account's turn a step or an answer belongs to
    int runs_ = 0;           // which run
    int walk_ = -1;          // the last account the walk over the list reached
    // The account whose read may have asked the user to unlock the store, until
    // its turn takes the answer; the accounts set aside until that answer.
    int prompted_ = -1;
    std::optional<std::optional<std::string>> promptAnswer_;
    std::array<bool, kMaxAccounts> parked_{};
    // A push check: the one account it checks, and whether an error of it may
    // leave the line as it was (the connection was lost only a moment ago).
    struct PushOnly {
        int slot;
        bool quietErrors;
        bool quiet = false; // a watch's first list
    };
    std::optional<PushOnly> push_;
    std::vector<Account::Id> watched_;            // their next push check is a watch's first
    std::vector<Account::Id> pushLater_;          // pushed after their turn in a run
    std::array<bool, kMaxAccounts> trustAsked_{}; // once per account and run
    TlsOutcome untrusted_;                        // what AskTrust asks about
};

} // namespace pim
