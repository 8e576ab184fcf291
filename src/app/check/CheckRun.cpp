#include "app/check/CheckRun.h"

#include "app/check/OldMail.h"
#include "common/Cp932.h"
#include "common/UiText.h"
#include "mail/Credentials.h"
#include "mail/MailEndpoint.h"
#include "platform/MessageBox.h"

#include <QEventLoop>
#include <QPointer>
#include <algorithm>
#include <cctype>
#include <limits>

namespace pim {

namespace {

// The texts in CP932; a line break is a CR alone, as the message boxes take it.
std::string Say(const QString& text) {
    return cp932::FromUnicode(text);
}
QString U(const std::string& cp932Text) {
    return cp932::ToUnicode(cp932Text);
}

// The list last shown for `account`, wherever its slot was; none if never.
const AccountResult* ShownOf(Account::Id account, const Results& shown,
                             const std::array<Account::Id, kMaxAccounts>& ids) {
    const auto found = std::ranges::find(ids, account);
    return account == 0 || found == ids.end() ? nullptr : &shown[size_t(found - ids.begin())];
}

const std::string& GoOnlineQuestion() {
    return UiText("CheckRun", "現在、オフライン作業中です。オンラインに切り替えますか？");
}
std::string NoAccount() {
    return UiText("CheckRun",
                  "メールアカウントが設定されていない為、メールチェックを行うことはできません。") +
           "\r" + UiText("CheckRun", "環境設定を開いてアカウントを追加しますか？");
}
const std::string& NoConnection() {
    return UiText("CheckRun",
                  "ダイヤルアップ接続されていない為、メールチェックを行うことはできません。");
}
// `name` empty: no entry chosen at all.
std::string EntryMissing(const std::string& name) {
    return (name.empty() ? UiText("CheckRun", "ダイヤル先が指定されていません。")
                         : Say(UiString("CheckRun", "%1のダイヤルアップ設定が存在しません。")
                                   .arg(U(name)))) +
           "\r" +
           UiText("CheckRun", "オプションにて存在するダイヤルアップ接続先を設定してください。");
}
std::string DialRefused() {
    return UiText("CheckRun", "ダイヤルアップ接続中にエラーが発生しました。") + "\r" +
           UiText("CheckRun", "手動、または他のアプリケーションでダイヤルアップ接続処理が"
                              "行われている可能性があります。") +
           "\r" + UiText("CheckRun", "メールチェックを実行することができません。");
}
std::string Dialling(const std::string& name) {
    return Say(UiString("CheckRun", "%1へダイヤル中").arg(U(name)));
}
std::string DialFailed(const std::string& name) {
    return Say(UiString("CheckRun", "%1への接続に失敗、または手動によりキャンセルされました。")
                   .arg(U(name))) +
           "\r" +
           UiText("CheckRun",
                  "このメッセージが毎回表示される場合は、以下の設定を確認してみてください。") +
           "\r\r" + UiText("CheckRun", "・接続機器の電源、PCとの接続状況") + "\r" +
           UiText("CheckRun", "・ダイヤル先の情報の整合性") + "\r" +
           UiText("CheckRun", "・IDとパスワードの指定");
}
// What went wrong, and what the user can do about it.
const std::string& KeyringUnreadable(PasswordStore::Unreadable why) {
    using enum PasswordStore::Unreadable;
    switch (why) {
    case Locked:
        return UiText("CheckRun",
                      "キーリングがロックされているため、パスワードを読めませんでした。"
                      "キーリングのロックを解除してから、もう一度チェックしてください。");
    case NotRunning:
        return UiText("CheckRun", "キーリング（Secret Service）が動いていないため、パスワードを"
                                  "読めませんでした。キーリングを起動するか、アカウント設定で"
                                  "パスワードを入力し直してください。");
    case Missing:
        return UiText("CheckRun", "キーリングにこのアカウントのパスワードがありません。"
                                  "アカウント設定でパスワードを入力し直してください。");
    case Refused:
        break;
    }
    return UiText("CheckRun", "キーリングがパスワードを渡しませんでした。オプションの「パスワードを"
                              "キーリングに保存する」をオフにするか、アカウント設定でパスワードを"
                              "入力し直してください。");
}
std::string Checking(const std::string& name) {
    return Say(UiString("CheckRun", "%1のメールをチェック中").arg(U(name)));
}

constexpr unsigned kNotice = mb::Ok | mb::IconExclamation;

// Upper-case pairs joined by colons, sixteen to a line, as certificate viewers
// show them, so that the user can compare it with what the administrator says.
std::string FingerprintText(const std::string& hex) {
    std::string text;
    for (size_t i = 0; i + 1 < hex.size(); i += 2) {
        if (i != 0)
            text += i % 32 == 0 ? '\r' : ':';
        text += char(std::toupper(uint8_t(hex[i])));
        text += char(std::toupper(uint8_t(hex[i + 1])));
    }
    return text;
}

std::string TrustQuestion(const TAccount& account, const TlsOutcome& outcome) {
    const std::string& host = outcome.Host.empty() ? account.HostName : outcome.Host;
    std::string text =
        Say(UiString("CheckRun", "アカウント「%1」のサーバ %2 の証明書を検証できませんでした。")
                .arg(U(account.Name), U(host))) +
        "\r" + TlsReasonText(outcome) + "\r\r" +
        UiText("CheckRun", "証明書のSHA-256フィンガープリント：") + "\r" +
        FingerprintText(outcome.Fingerprint);
    if (outcome.FingerprintChanged)
        text += "\r\r" + UiText("CheckRun", "警告：以前に信頼した証明書とは異なる証明書です。") +
                "\r" +
                UiText("CheckRun", "サーバの証明書が更新されたことを確認できない場合は、"
                                   "なりすましのおそれがあるため「いいえ」を選んでください。");
    return text + "\r\r" + UiText("CheckRun", "この証明書を信頼してメールチェックを続けますか？");
}

// A server may claim any count up to 2^31 - 1; the total stops there.
int AddMail(int total, int count) {
    return count > std::numeric_limits<int>::max() - total ? std::numeric_limits<int>::max()
                                                           : total + count;
}

} // namespace

bool AnyAccountToCheck(const TAccounts& accounts) {
    return std::ranges::any_of(accounts,
                               [](const TAccount& a) { return a.Enabled && !a.Name.empty(); });
}

CheckRun::CheckRun(AccountList& accounts, DialupControl& dialup, CheckRunHost& host,
                   const TSettings& settings, QObject* parent)
    : QObject(parent), accounts_(accounts), dialup_(dialup), host_(host), settings_(settings) {
    // Asked from inside a client's event: taken up once that has returned.
    connect(&accounts_, &AccountList::checkWanted, this, &CheckRun::PushCheck,
            Qt::QueuedConnection);
    connect(&accounts_, &AccountList::removing, this, &CheckRun::AccountGone);
}

CheckRun::~CheckRun() {
    Abandon();
    EndTurn();
}

// Every handler only posts the next step: the client finishes its own
// bookkeeping after the event returns. Only the account whose turn it is
// moves the run on.
void CheckRun::Listen(MailChecker& client, Account::Id account) {
    turnAccount_ = account;
    client.OnConnect = [this, account](MailChecker*, int count) {
        if (account == turnAccount_)
            Opened(count);
    };
    client.OnGetMailInformation =
        [this, account](MailChecker*, const std::string& title, const std::string& sender,
                        const std::string& date, const std::string& uniqueId) {
            if (account == turnAccount_)
                MailRead(title, sender, date, uniqueId);
        };
    client.OnDisconnect = [this, account](MailChecker*) {
        if (account == turnAccount_)
            Closed();
    };
    client.OnError = [this, account](MailChecker*, uint8_t error) {
        if (account == turnAccount_)
            Failed(error);
    };
    // What the server says the user must read shows on the account's line.
    client.OnAlert = [this, account](MailChecker*, const std::string& text) {
        if (account == turnAccount_ && OnAccount())
            Current().Alert = text;
    };
    // A refused QUIT ends the session without an event; the run must not stall.
    client.OnQuitRefused = [this, account](MailChecker*) {
        if (account == turnAccount_)
            Closed();
    };
}

MailChecker* CheckRun::Turn() const {
    Account* account = accounts_.Find(turnAccount_);
    return account ? account->Checker() : nullptr;
}

void CheckRun::EndTurn() {
    if (Account* account = accounts_.Find(std::exchange(turnAccount_, 0)))
        account->EndCheck();
}

// The account whose turn it is was removed or changed in the options: no
// event of its client will come, and the run goes on.
void CheckRun::AccountGone(Account::Id account) {
    if (account != turnAccount_ || !OnAccount())
        return;
    turnAccount_ = 0;
    ++turn_; // what was posted for it would use the client
    KeepShownList();
    Post(&CheckRun::CheckNext);
}

// A step posted in a turn that has ended since (another event moved the run
// on) is void: it must not end the next account's turn too.
void CheckRun::Post(void (CheckRun::*step)()) {
    QMetaObject::invokeMethod(
        this,
        [this, step, turn = turn_] {
            if (!abandoned_ && turn == turn_)
                (this->*step)();
        },
        Qt::QueuedConnection);
}

void CheckRun::pbCheckClick(Sender sender) {
    const bool button = sender == Sender::CheckButton;
    // Until the first account's turn comes, a run is starting: a second start
    // in that moment would interleave with it.
    if (Running() || abandoned_)
        return;
    // A run over no account would only pretend to have looked.
    if (!AnyAccountToCheck(accounts_.Configured())) {
        if ((sender == Sender::CheckButton || sender == Sender::Menu) &&
            host_.Ask(NoAccount(), mb::YesNo | mb::IconQuestion) != IDNO)
            host_.OpenAccountOptions();
        return;
    }
    if (host_.Offline()) {
        if (!button || host_.Ask(GoOnlineQuestion(), mb::YesNo | mb::IconQuestion) == IDNO)
            return;
        // Online again, push would check its accounts: this run checks them all.
        phase_ = Phase::Starting;
        host_.GoOnline();
        phase_ = Phase::Idle;
    }
    if (settings_.CustomizeDial == 1 && dialup_.ActiveEntryCount() == 0) {
        if (button)
            host_.Ask(NoConnection(), kNotice);
        return;
    }
    userStarted_ = sender == Sender::CheckButton || sender == Sender::Menu;
    // One unlock prompt at most, and never for a check nobody is waiting for.
    mayPrompt_ = maySignIn_ = sender != Sender::Other;
    trustAsked_.fill(false);
    dialledByCheck_ = false;
    bool dialled = false;
    if (settings_.CustomizeDial == 2 && dialup_.ActiveEntryCount() == 0) {
        if (!DialStep(sender))
            return;
        dialled = true;
    }
    if (!dialled)
        host_.StartBusyAnimation();

    totalMail_ = 0;
    ClearResults(working_);
    FillCheckList();
    for (size_t k = 0; k < checkList_.size() && !checkList_[k].Name.empty(); ++k) {
        working_[k].Name = checkList_[k].Name;
        working_[k].Fail(CheckFailure::NoAnswer);
    }
    BeginWalk(-1);
}

void CheckRun::BeginWalk(int walk) {
    ++runs_;
    walk_ = walk;
    prompted_ = -1;
    promptAnswer_.reset();
    parked_.fill(false);
    phase_ = Phase::Starting;
    Post(&CheckRun::CheckNext);
}

// The run checks the accounts as they are configured when it starts.
void CheckRun::FillCheckList() {
    accounts_.Sync();
    checkList_ = TAccounts{};
    ids_.fill(0);
    size_t k = 0;
    for (const auto& account : accounts_.All()) {
        if (account->state() == Account::State::Off)
            continue;
        checkList_[k] = account->Settings();
        ids_[k++] = account->id();
    }
}

int CheckRun::SlotOf(Account::Id account) const {
    const auto found = std::ranges::find(ids_, account);
    return account == 0 || found == ids_.end() ? -1 : int(found - ids_.begin());
}

void CheckRun::PushCheck(Account::Id account, bool quietErrors) {
    if (abandoned_)
        return;
    if (Running()) {
        // Not reached yet in a run of all accounts, or that run has not listed
        // its accounts yet: it reads the change.
        const int k = SlotOf(account);
        if (ids_[0] == 0)
            return;
        if ((k < 0 || push_ || walk_ >= k) &&
            std::ranges::find(pushLater_, account) == pushLater_.end())
            pushLater_.push_back(account);
        return;
    }
    if (host_.Offline())
        return;
    FillCheckList();
    if (const int k = SlotOf(account); k >= 0)
        PushCheckAt(k, quietErrors);
}

void CheckRun::Watch(Account::Id account) {
    if (std::ranges::find(watched_, account) == watched_.end())
        watched_.push_back(account);
    PushCheck(account);
}

void CheckRun::PushCheckAt(int k, bool quietErrors) {
    // What is shown must be this very list; after the options changed it, all
    // are checked. An account not shown yet (only watched so far) waits for a run.
    for (size_t i = 0; i < checkList_.size(); ++i) {
        if (!shown_[i].Name.empty() && checkList_[i].Name != shown_[i].Name) {
            pbCheckClick(Sender::Other);
            return;
        }
    }
    userStarted_ = false;
    mayPrompt_ = maySignIn_ = false;
    trustAsked_.fill(false);
    dialledByCheck_ = false;
    host_.StartBusyAnimation();
    working_ = shown_;
    // The others' mail counts as it stands; the account's own is added as it is read.
    totalMail_ = 0;
    for (int i = 0; i < kMaxAccounts; ++i) {
        const AccountResult& r = shown_[size_t(i)];
        if (i != k && r.Count != 0)
            totalMail_ =
                AddMail(totalMail_, r.Count > 0             ? r.Count
                                    : r.Count == kCountOnly ? std::atoi(r.Subjects[0].c_str())
                                                            : 0);
    }
    push_ = PushOnly{k, quietErrors, std::erase(watched_, ids_[size_t(k)]) > 0};
    BeginWalk(k - 1);
}

bool CheckRun::DialStep(Sender) {
    dialWait_ = true;
    const std::string& name = settings_.CustomizeDialName;
    int entry = -1;
    for (int i = 0, count = dialup_.EntryCount(); i < count; ++i) {
        if (dialup_.GetEntryName(i) == name) {
            entry = i;
            break;
        }
    }
    if (entry < 0) {
        dialWait_ = false;
        host_.Ask(EntryMissing(name), kNotice);
        return false;
    }
    phase_ = Phase::Dialling;
    if (!dialup_.Dial(entry)) {
        dialWait_ = false;
        host_.Ask(DialRefused(), kNotice);
        phase_ = Phase::Idle;
        return false;
    }
    host_.StartBusyAnimation();
    host_.SetStatus(Dialling(name));

    // Timers, the tray and the LAN go on meanwhile; they find the run dialling.
    QEventLoop wait;
    dialLoop_ = &wait;
    if (dialWait_)
        wait.exec();
    dialLoop_ = nullptr;
    if (abandoned_)
        return false;

    phase_ = Phase::Idle;
    if (dialup_.ActiveEntryCount() != 0) {
        dialledByCheck_ = true;
        return true;
    }
    host_.Ask(DialFailed(name), kNotice);
    host_.ResetAfterFailedDial();
    return false;
}

void CheckRun::DialFinished() {
    dialWait_ = false;
    if (dialLoop_)
        dialLoop_->quit();
}

void CheckRun::Abandon() {
    abandoned_ = true;
    DialFinished();
}

bool CheckRun::WalkOver() const {
    return walk_ >= kMaxAccounts || checkList_[static_cast<size_t>(walk_)].HostName.empty() ||
           (push_ && walk_ > push_->slot);
}

void CheckRun::CheckNext() {
    if (phase_ == Phase::Dialling)
        return; // no account is being checked
    phase_ = Phase::Walking;
    ++turn_;
    EndTurn();
    // Set aside while the user was asked to unlock the store: their turn once
    // it has answered.
    if (prompted_ < 0 || promptAnswer_) {
        for (int k = 0; k < kMaxAccounts; ++k) {
            if (std::exchange(parked_[size_t(k)], false)) {
                checkIndex_ = k;
                CheckAccount();
                return;
            }
        }
    }
    if (walk_ < kMaxAccounts)
        ++walk_;
    if (!WalkOver()) {
        checkIndex_ = walk_;
        CheckAccount();
    } else if (prompted_ >= 0) {
        // The others are done: the run ends when the answer has come (the
        // store bounds the prompt) and its accounts are checked.
        phase_ = Phase::AwaitingPrompt;
        checkIndex_ = prompted_;
        host_.SetStatus(Checking(checkList_[static_cast<size_t>(prompted_)].Name));
    } else {
        EndRun();
    }
}

void CheckRun::CheckAccount() {
    ++turn_;
    const auto slot = static_cast<size_t>(checkIndex_);
    const TAccount& account = checkList_[slot];
    // A check again after the trust question starts afresh as well.
    AccountResult& r = Current();
    r = AccountResult{};
    r.Name = account.Name;
    r.Fail(CheckFailure::NoAnswer);
    mailBefore_ = totalMail_;
    host_.SetStatus(Checking(account.Name));
    Account* owner = accounts_.Find(ids_[slot]);
    if (!owner) { // removed since the run started
        if (checkIndex_ == prompted_ && promptAnswer_)
            prompted_ = -1; // nobody takes the answer: the run must not wait for it
        KeepShownList();
        return Post(&CheckRun::CheckNext);
    }
    MailChecker& client = owner->BeginCheck();
    Listen(client, owner->id());
    client.Security = {account.TlsRequired, account.TrustedCertificate};
    client.SignInWithToken = owner->SignsInWithToken();
    if (owner->FromDesktop())
        return ReadDesktopSecret(*owner);
    if (!owner->PasswordInStore())
        return client.SignInWithToken ? ReadToken(*owner) : Login(owner->PasswordInSettings());
    ReadPassword(*owner);
}

// What the store kept: a password goes to the server, a refresh token to the
// account's token source.
void CheckRun::SecretRead(const std::string& secret) {
    Account* account = accounts_.Find(turnAccount_);
    if (!account || !account->SignsInWithToken())
        return Login(secret);
    account->UseRefreshToken(secret);
    ReadToken(*account);
}

void CheckRun::ReadToken(Account& account) {
    // Logged in already (kept open for push): no token is needed.
    if (Turn()->CheckOpen(account.Settings().HostName, account.Settings().UserID))
        return;
    const QPointer<CheckRun> run(this);
    account.ReadToken([run, turn = turn_](std::optional<std::string> token) {
        if (!run || run->abandoned_ || turn != run->turn_)
            return;
        token ? run->Login(*token) : run->TokenUnavailable();
    });
}

void CheckRun::ReadDesktopSecret(Account& account) {
    if (Turn()->CheckOpen(account.Settings().HostName, account.Settings().UserID))
        return;
    const QPointer<CheckRun> run(this);
    account.ReadDesktopSecret(
        [run, turn = turn_, id = account.id()](std::optional<std::string> secret) {
            if (!run || run->abandoned_ || turn != run->turn_)
                return;
            // Token or password: the desktop's list, read by now, says which.
            if (const Account* owner = run->accounts_.Find(id))
                run->Turn()->SignInWithToken = owner->SignsInWithToken();
            secret ? run->Login(*secret) : run->TokenUnavailable();
        });
}

// No token: nothing goes to the server. Without a grant the user must sign in,
// and only that brings the account back; a provider out of reach is tried again.
void CheckRun::TokenUnavailable() {
    AccountResult& r = Current();
    const Account* account = accounts_.Find(turnAccount_);
    const Account::TokenFailure failure =
        account ? account->LastTokenFailure() : Account::TokenFailure{};
    r.Fail(failure.signInNeeded ? CheckFailure::LoginRefused : CheckFailure::NoAnswer);
    // The desktop's accounts are signed in there: its reason is the whole line.
    const bool desktop = account && account->FromDesktop();
    r.Reason = failure.signInNeeded && !desktop
                   ? UiText("CheckRun", "サインインが必要です") +
                         (failure.reason.empty() ? "" : ": " + failure.reason)
                   : failure.reason;
    KeepShownList();
    SignInFailed(!failure.signInNeeded);
    if (failure.signInNeeded && !desktop && std::exchange(maySignIn_, false))
        host_.SignInWanted(turnAccount_);
    Post(&CheckRun::CheckNext);
}

void CheckRun::ReadPassword(Account& account) {
    if (checkIndex_ == prompted_ && promptAnswer_) {
        prompted_ = -1;
        const std::optional<std::string> password = *std::exchange(promptAnswer_, std::nullopt);
        return password ? SecretRead(*password) : PasswordUnreadable();
    }
    // Logged in already (kept open for push): a locked store does not matter.
    if (Turn()->CheckOpen(account.Settings().HostName, account.Settings().UserID))
        return;
    // Locked, the store's other entries can be read only once the user answered.
    if (prompted_ >= 0 && !promptAnswer_) {
        parked_[static_cast<size_t>(checkIndex_)] = true;
        return Post(&CheckRun::CheckNext);
    }
    const QPointer<CheckRun> run(this);
    if (std::exchange(mayPrompt_, false)) {
        prompted_ = checkIndex_;
        parked_[static_cast<size_t>(checkIndex_)] = true;
        account.ReadPassword(true, [run, id = runs_](std::optional<std::string> password) {
            if (!run || run->abandoned_ || id != run->runs_ || run->prompted_ < 0)
                return;
            run->promptAnswer_ = std::move(password);
            if (run->phase_ == Phase::AwaitingPrompt)
                run->phase_ = Phase::Walking, run->Post(&CheckRun::CheckNext);
        });
        return Post(&CheckRun::CheckNext);
    }
    account.ReadPassword(false, [run, turn = turn_](std::optional<std::string> password) {
        if (!run || run->abandoned_ || turn != run->turn_)
            return;
        password ? run->SecretRead(*password) : run->PasswordUnreadable();
    });
}

void CheckRun::Login(const std::string& password) {
    const TAccount& account = checkList_[static_cast<size_t>(checkIndex_)];
    // A password from a hand-edited Pim.INI or the keyring could carry commands
    // of its own: nothing goes out.
    const auto endpoint = ParseMailEndpoint(account.HostName);
    if (const CredentialFault fault = CheckCredentials(
            endpoint ? endpoint->protocol : MailProtocol::Pop3, account.UserID, password);
        fault != CredentialFault::None) {
        AccountResult& r = Current();
        r.Fail(CheckFailure::Unreadable);
        r.Reason = CredentialFaultText(fault);
        KeepShownList();
        SignInFailed(false);
        Post(&CheckRun::CheckNext);
        return;
    }
    // No session could be started: the slot keeps its "no answer".
    if (!Turn()->Connect(account.HostName, account.UserID, password))
        Post(&CheckRun::CheckNext);
}

// No login without the password: the server would count a failed one.
void CheckRun::PasswordUnreadable() {
    AccountResult& r = Current();
    r.Fail(CheckFailure::Unreadable);
    const Account* account = accounts_.Find(turnAccount_);
    r.Reason = KeyringUnreadable(account ? account->PasswordFailure()
                                         : PasswordStore::Unreadable::Refused);
    KeepShownList();
    // The store may give it later: a push connection tries again.
    SignInFailed(true);
    Post(&CheckRun::CheckNext);
}

void CheckRun::SignInFailed(bool tryAgain) {
    if (Account* account = accounts_.Find(turnAccount_))
        account->SignInFailed(tryAgain);
}

void CheckRun::KeepShownList() {
    // The accounts already checked in this run keep their fresh lists. What it
    // found before failing is not shown, so it is not counted either (no false alarm).
    totalMail_ = mailBefore_;
    AccountResult& r = Current();
    const AccountResult* shown = ShownOf(ids_[size_t(checkIndex_)], shown_, shownIds_);
    if (!shown)
        return;
    r.Subjects = shown->Subjects;
    r.Senders = shown->Senders;
    r.Dates = shown->Dates;
    r.Ids = shown->Ids;
}

void CheckRun::AskTrust() {
    if (!OnAccount())
        return;
    const auto slot = static_cast<size_t>(checkIndex_);
    trustAsked_[slot] = true;
    // Only an explicit Yes trusts a certificate.
    const bool trusted = host_.Ask(TrustQuestion(checkList_[slot], untrusted_),
                                   mb::YesNo | mb::IconQuestion | mb::DefButton2) == IDYES;
    if (abandoned_)
        return; // the program was closed while the box showed
    if (!trusted) {
        CheckNext();
        return;
    }
    TlsLesson lesson{checkList_[slot].HostName, checkList_[slot].UserID};
    lesson.TrustedCertificate = untrusted_.Fingerprint;
    Remember(lesson);
    CheckAccount();
}

void CheckRun::Learn(const TlsOutcome& outcome) {
    const TAccount& account = checkList_[static_cast<size_t>(checkIndex_)];
    TlsLesson lesson{account.HostName, account.UserID};
    // Once offered, TLS is required: a later plain session would be a downgrade.
    lesson.TlsRequired = outcome.Offered && !account.TlsRequired;
    lesson.CertificateVerified = outcome.Verified && !account.TrustedCertificate.empty();
    if (lesson.TlsRequired || lesson.CertificateVerified)
        Remember(std::move(lesson));
}

void CheckRun::Remember(TlsLesson lesson) {
    lesson.Date = Today().toString(Qt::ISODate).toStdString();
    TakeSecurity(checkList_, lesson);
    host_.RememberSecurity(lesson);
}

// A session that is no longer there tells nothing more: the turn is over.
void CheckRun::CheckQuit() {
    MailChecker* client = Turn();
    if (!client || !client->Quit())
        CheckNext();
}

// A message refused is one that could not be read; the account ends at once.
void CheckRun::CheckRetr() {
    if (Turn()->Retr(nextMailNo_))
        return;
    Current().Fail(CheckFailure::Unreadable);
    KeepShownList();
    CheckQuit();
}

void CheckRun::Opened(int mailCount) {
    if (!OnAccount())
        return;
    const MailChecker& client = *Turn();
    Learn(client.SecurityOutcome());
    AccountResult& r = Current();
    r.Count = mailCount;
    r.NewestSummarised = client.SummarisesNewest();
    if (Account* account = accounts_.Find(turnAccount_))
        account->TokenAccepted();
    if (mailCount == 0) {
        Post(&CheckRun::CheckQuit);
    } else if (!settings_.SettingCountOnly) {
        fetchCount_ = mailCount;
        nextMailNo_ = 1;
        Post(&CheckRun::CheckRetr);
    } else {
        r.Count = kCountOnly;
        r.OldCount = kCountOnly;
        r.Subjects[0] = std::to_string(mailCount);
        totalMail_ = AddMail(totalMail_, mailCount);
        Post(&CheckRun::CheckQuit);
    }
}

void CheckRun::MailRead(const std::string& title, const std::string& sender,
                        const std::string& date, const std::string& uniqueId) {
    if (!OnAccount() || nextMailNo_ < 1 || nextMailNo_ > kMaxMails)
        return;
    AccountResult& r = Current();
    const auto i = static_cast<size_t>(nextMailNo_ - 1);
    r.Subjects[i] = title;
    r.Senders[i] = sender;
    r.Dates[i] = date;
    r.Ids[i] = uniqueId;
    totalMail_ = AddMail(totalMail_, 1);
    ++nextMailNo_;
    // A record holds 255 summaries: the rest of a larger mailbox is counted, not read.
    if (nextMailNo_ > std::min(fetchCount_, kMaxMails)) {
        totalMail_ = AddMail(totalMail_, std::max(0, fetchCount_ - kMaxMails));
        Post(&CheckRun::CheckQuit);
    } else {
        Post(&CheckRun::CheckRetr);
    }
}

void CheckRun::Closed() {
    // Only a session of this run moves it on.
    if (OnAccount())
        Post(&CheckRun::CheckNext);
}

void CheckRun::Failed(uint8_t errorNo) {
    if (!OnAccount())
        return;
    const MailChecker& client = *Turn();
    AccountResult& r = Current();
    if (errorNo == 1)
        r.Fail(CheckFailure::TimedOut);
    else if (errorNo == 3 || errorNo == 4)
        r.Fail(CheckFailure::LoginRefused);
    else if (errorNo == 5 || errorNo == 6)
        r.Fail(CheckFailure::Unreadable);
    const TlsOutcome& tls = client.SecurityOutcome();
    Learn(tls);
    // The server answered; it was the connection that could not be made safe.
    if (tls.Failure != TlsFailure::None)
        r.Fail(CheckFailure::TlsFailed);
    // The connection's own reason first; else what the client said of its refusal.
    r.Reason = FailureReasonText(tls);
    if (r.Reason.empty())
        r.Reason = client.ErrorReason();
    KeepShownList();
    // A token the server called stale: once more with a fresh one, in a new session.
    if (client.TokenRefused()) {
        Account* account = accounts_.Find(turnAccount_);
        if (account && account->TokenRefused()) {
            Post(&CheckRun::CheckAccount);
            return;
        }
        if (account && account->FromDesktop())
            r.Reason = UiText("CheckRun", "オンラインアカウントで再度サインインしてください");
    }
    if (r.Is(CheckFailure::LoginRefused))
        SignInFailed(false);
    // The question waits until the client has returned from this event.
    if (tls.Failure == TlsFailure::Untrusted && userStarted_ && !tls.Fingerprint.empty() &&
        !trustAsked_[static_cast<size_t>(checkIndex_)]) {
        untrusted_ = tls;
        Post(&CheckRun::AskTrust);
        return;
    }
    Post(errorNo == 6 ? &CheckRun::CheckQuit : &CheckRun::CheckNext);
}

void CheckRun::CompareWithShown(RunOutcome& outcome) {
    const Results shownBefore = shown_;
    const auto shownIdsBefore = shownIds_;
    static const AccountResult kNeverShown{};
    for (size_t i = 0; i < working_.size(); ++i) {
        AccountResult& w = working_[i];
        AccountResult& s = shown_[i];
        // Its own last list, wherever deleting or moving accounts put it.
        const AccountResult* own = ShownOf(ids_[i], shownBefore, shownIdsBefore);
        const AccountResult& last = own ? *own : kNeverShown;
        // A push check looked at one account; the others stand as shown.
        if (push_ && int(i) != push_->slot)
            continue;
        // Lost a moment ago and not back yet: the line stays as it was.
        if (push_ && push_->quietErrors && w.Failed() && s.Count >= 0) {
            totalMail_ = outcome.TotalMail = AddMail(totalMail_, s.Count);
            continue;
        }
        const int previousCount =
            last.Count == kCountOnly ? std::atoi(last.Subjects[0].c_str()) : -1;
        // Not yet read since the start: what the last check before it found.
        Account* account = w.Name.empty() ? nullptr : accounts_.Find(ids_[i]);
        std::optional<AccountResult> before;
        if (account && last.Ids[0].empty() && (last.Name.empty() || last.Failed()))
            before = account->SeenBefore();
        MarkOldMail(w, before ? *before : last);
        if (account)
            account->Saw(w);
        s = w;
        shownIds_[i] = ids_[i];
        // An error is a change to a run someone asked for; a push that could
        // not reconnect shows it without a word.
        const bool arrived = w.Count > 0 && w.Old() != w.Count;
        outcome.NewMail = outcome.NewMail || arrived;
        if (arrived || (w.Count <= 0 && w.OldCount != w.Count && !push_))
            outcome.Changed = true;
        // Counted only, more than before is all there is to tell.
        if (w.Count == kCountOnly && previousCount >= 0 &&
            std::atoi(w.Subjects[0].c_str()) > previousCount)
            outcome.Changed = true;
    }
}

void CheckRun::EndRun() {
    RunOutcome outcome;
    outcome.Push = push_.has_value();
    outcome.PushSlot = push_ ? push_->slot : -1;
    outcome.Quiet = push_ && push_->quiet;
    // A run of all checked every account: none waits for a quiet first list.
    if (!push_)
        watched_.clear();
    // A push check dialled nothing.
    if (!outcome.Push && settings_.SettingDeconnect &&
        (!settings_.DialMailNonDisconnect || totalMail_ == 0) &&
        (!settings_.DialExistingNonDisconnect || dialledByCheck_))
        dialup_.HangUp();
    outcome.TotalMail = totalMail_;
    outcome.AnyAccount = !working_[0].Name.empty();
    outcome.Reached = std::ranges::any_of(working_, [](const AccountResult& r) {
        return !r.Name.empty() && !r.Is(CheckFailure::NoAnswer) && !r.Is(CheckFailure::TimedOut) &&
               !r.Is(CheckFailure::TlsFailed);
    });
    // Closed meanwhile (the hang-up's wait runs the event loop): nothing of this
    // run is shown, so nothing of it may count as seen at the next start.
    if (abandoned_)
        return;
    CompareWithShown(outcome);
    accounts_.SaveSeen();
    host_.ShowRun(outcome);
    checkList_ = TAccounts{};
    ids_.fill(0);
    ClearResults(working_);
    checkIndex_ = kIdle;
    phase_ = Phase::Idle;
    walk_ = -1;
    push_.reset();
    host_.RunOver(outcome);
    // A change told after its account's turn in the run just over; the next
    // one's after this check.
    while (!pushLater_.empty() && !Running()) {
        const Account::Id next = pushLater_.front();
        pushLater_.erase(pushLater_.begin());
        PushCheck(next);
    }
}

void CheckRun::ForgetShownResults() {
    ClearResults(shown_);
    shownIds_.fill(0);
    totalMail_ = 0;
}

} // namespace pim
