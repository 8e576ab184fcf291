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

CheckRun::CheckRun(MailChecker& pop3, MailChecker& imap, DialupControl& dialup, CheckRunHost& host,
                   const TSettings& settings, const TAccounts& accounts, QObject* parent)
    : QObject(parent), checkers_{&pop3, &imap}, checker_(&pop3), dialup_(dialup), host_(host),
      settings_(settings), accounts_(accounts) {
    for (MailChecker* checker : checkers_)
        Wire(*checker);
}

CheckRun::~CheckRun() {
    Abandon();
    // Only the clients still there: another owner may have freed some.
    for (const QPointer<MailChecker>& checker : wired_) {
        if (!checker)
            continue;
        checker->OnConnect = nullptr;
        checker->OnGetMailInformation = nullptr;
        checker->OnDisconnect = nullptr;
        checker->OnError = nullptr;
        checker->OnQuitRefused = nullptr;
        checker->OnAlert = nullptr;
    }
}

// Every handler only posts the next step: the component finishes its own
// bookkeeping after the event returns. Only the checker of the account being
// checked moves the run on.
void CheckRun::Wire(MailChecker& checker) {
    std::erase_if(wired_, [](const QPointer<MailChecker>& c) { return c.isNull(); });
    if (std::find(wired_.begin(), wired_.end(), &checker) != wired_.end())
        return;
    wired_.emplace_back(&checker);
    checker.OnConnect = [this](MailChecker* from, int count) {
        if (from == checker_)
            VeltaPOP3Connect(count);
    };
    checker.OnGetMailInformation = [this](MailChecker* from, const std::string& title,
                                          const std::string& sender, const std::string& date,
                                          const std::string& uniqueId) {
        if (from == checker_)
            VeltaPOP3GetMailInformation(title, sender, date, uniqueId);
    };
    checker.OnDisconnect = [this](MailChecker* from) {
        if (from == checker_)
            VeltaPOP3Disconnect();
    };
    checker.OnError = [this](MailChecker* from, uint8_t error) {
        if (from == checker_)
            VeltaPOP3Error(error);
    };
    // What the server says the user must read shows on the account's line.
    checker.OnAlert = [this](MailChecker* from, const std::string& text) {
        if (from == checker_ && CheckIndex >= 0 && CheckIndex <= 19)
            Current().Alert = text;
    };
    // A refused QUIT ends the session without an event; the run must not stall.
    checker.OnQuitRefused = [this](MailChecker* from) {
        if (from == checker_)
            VeltaPOP3Disconnect();
    };
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
    if (CheckIndex != -1 || starting_ || abandoned_)
        return;
    // A run over no account would only pretend to have looked.
    if (!AnyAccountToCheck(accounts_)) {
        if ((sender == Sender::CheckButton || sender == Sender::Menu) &&
            host_.Ask(NoAccount(), mb::YesNo | mb::IconQuestion) != IDNO)
            host_.OpenAccountOptions();
        return;
    }
    if (host_.Offline()) {
        if (!button || host_.Ask(GoOnlineQuestion(), mb::YesNo | mb::IconQuestion) == IDNO)
            return;
        // Online again, push would check its accounts: this run checks them all.
        starting_ = true;
        host_.GoOnline();
        starting_ = false;
    }
    if (settings_.CustomizeDial == 1 && dialup_.ActiveEntryCount() == 0) {
        if (button)
            host_.Ask(NoConnection(), kNotice);
        return;
    }
    userStarted_ = sender == Sender::CheckButton || sender == Sender::Menu;
    // One unlock prompt at most, and never for a check nobody is waiting for.
    mayPrompt_ = sender != Sender::Other;
    trustAsked_.fill(false);
    DialledByCheck = false;
    bool dialled = false;
    if (settings_.CustomizeDial == 2 && dialup_.ActiveEntryCount() == 0) {
        if (!DialStep(sender))
            return;
        dialled = true;
    }
    if (!dialled)
        host_.StartBusyAnimation();

    TotalMail = 0;
    ClearResults(WorkingResults);
    FillCheckList();
    for (size_t k = 0; k < CheckList.size() && !CheckList[k].Name.empty(); ++k) {
        WorkingResults[k].Name = CheckList[k].Name;
        WorkingResults[k].Count = -2;
    }
    BeginWalk(-1);
}

void CheckRun::BeginWalk(int walk) {
    ++runs_;
    walk_ = walk;
    prompted_ = -1;
    promptAnswer_.reset();
    awaitingPrompt_ = false;
    parked_.fill(false);
    starting_ = true;
    Post(&CheckRun::CheckNext);
}

void CheckRun::FillCheckList() {
    size_t k = 0;
    for (const TAccount& account : accounts_) {
        if (account.Enabled && !account.Name.empty())
            CheckList[k++] = account;
    }
}

void CheckRun::PushCheck(const std::string& hostName, const std::string& userID, bool quietErrors) {
    int k = 0;
    for (const TAccount& account : accounts_) {
        if (!account.Enabled || account.Name.empty())
            continue;
        if (account.HostName == hostName && account.UserID == userID) {
            PushCheckAt(k, quietErrors);
            return;
        }
        ++k;
    }
}

void CheckRun::PushCheckAt(int k, bool quietErrors) {
    if (abandoned_)
        return;
    if (Running()) {
        // Not reached yet in a run of all accounts: that run reads the change.
        if (pushOnly_ >= 0 || walk_ >= k)
            pushLater_[size_t(k)] = true;
        return;
    }
    if (host_.Offline())
        return;
    FillCheckList();
    // What is shown must be this very list; after the options changed it, all are checked.
    for (size_t i = 0; i < CheckList.size(); ++i) {
        if (CheckList[i].Name != ShownResults[i].Name) {
            ClearCheckList();
            pbCheckClick(Sender::Other);
            return;
        }
    }
    userStarted_ = false;
    mayPrompt_ = false;
    trustAsked_.fill(false);
    DialledByCheck = false;
    host_.StartBusyAnimation();
    WorkingResults = ShownResults;
    // The others' mail counts as it stands; the account's own is added as it is read.
    TotalMail = 0;
    for (int i = 0; i < kMaxAccounts; ++i) {
        const AccountResult& r = ShownResults[size_t(i)];
        if (i != k && r.Count != 0)
            TotalMail = AddMail(TotalMail, r.Count > 0     ? r.Count
                                           : r.Count == -1 ? std::atoi(r.Subjects[0].c_str())
                                                           : 0);
    }
    pushOnly_ = k;
    quietErrors_ = quietErrors;
    CheckIndex = k - 1;
    BeginWalk(k - 1);
}

bool CheckRun::DialStep(Sender) {
    DialWait = true;
    const std::string& name = settings_.CustomizeDialName;
    int entry = -1;
    for (int i = 0, count = dialup_.EntryCount(); i < count; ++i) {
        if (dialup_.GetEntryName(i) == name) {
            entry = i;
            break;
        }
    }
    if (entry < 0) {
        DialWait = false;
        host_.Ask(EntryMissing(name), kNotice);
        return false;
    }
    CheckIndex = -2;
    if (!dialup_.Dial(entry)) {
        DialWait = false;
        host_.Ask(DialRefused(), kNotice);
        CheckIndex = -1;
        return false;
    }
    host_.StartBusyAnimation();
    host_.SetStatus(Dialling(name));

    // Timers, the tray and the LAN go on meanwhile; they find CheckIndex -2.
    QEventLoop wait;
    dialLoop_ = &wait;
    if (DialWait)
        wait.exec();
    dialLoop_ = nullptr;
    if (abandoned_)
        return false;

    if (dialup_.ActiveEntryCount() != 0) {
        CheckIndex = -1;
        DialledByCheck = true;
        return true;
    }
    host_.Ask(DialFailed(name), kNotice);
    CheckIndex = -1;
    host_.ResetAfterFailedDial();
    return false;
}

void CheckRun::DialFinished() {
    DialWait = false;
    if (dialLoop_)
        dialLoop_->quit();
}

void CheckRun::Abandon() {
    abandoned_ = true;
    DialFinished();
}

bool CheckRun::WalkOver() const {
    return walk_ > 19 || CheckList[static_cast<size_t>(walk_)].HostName.empty() ||
           (pushOnly_ >= 0 && walk_ > pushOnly_);
}

void CheckRun::CheckNext() {
    starting_ = false;
    if (CheckIndex < -1)
        return; // dialling: no account is being checked
    ++turn_;
    QObject::disconnect(clientGone_);
    // Set aside while the user was asked to unlock the store: their turn once
    // it has answered.
    if (prompted_ < 0 || promptAnswer_) {
        for (int k = 0; k < kMaxAccounts; ++k) {
            if (std::exchange(parked_[size_t(k)], false)) {
                CheckIndex = k;
                CheckAccount();
                return;
            }
        }
    }
    if (walk_ <= 19)
        ++walk_;
    if (!WalkOver()) {
        CheckIndex = walk_;
        CheckAccount();
    } else if (prompted_ >= 0) {
        // The others are done: the run ends when the answer has come (the
        // store bounds the prompt) and its accounts are checked.
        awaitingPrompt_ = true;
        CheckIndex = prompted_;
        checker_ = nullptr;
        host_.SetStatus(Checking(CheckList[static_cast<size_t>(prompted_)].Name));
    } else {
        EndRun();
    }
}

void CheckRun::CheckAccount() {
    ++turn_;
    const TAccount& account = CheckList[static_cast<size_t>(CheckIndex)];
    // A check again after the trust question starts afresh as well.
    AccountResult& r = Current();
    r = AccountResult{};
    r.Name = account.Name;
    r.Count = -2;
    mailBefore_ = TotalMail;
    host_.SetStatus(Checking(account.Name));
    // The host names the protocol; a host that names none goes to POP3, which refuses it.
    const auto endpoint = ParseMailEndpoint(account.HostName);
    const bool imap = endpoint && endpoint->protocol == MailProtocol::Imap;
    checker_ = imap && ImapFor ? &ImapFor(account) : checkers_[imap ? 1 : 0];
    Wire(*checker_);
    QObject::disconnect(clientGone_);
    clientGone_ = connect(checker_.data(), &QObject::destroyed, this, &CheckRun::ClientGone);
    checker_->Security = {account.TlsRequired, account.TrustedCertificate};
    if (!Passwords || !Passwords->Keeps(account))
        return Login(account.Password);
    ReadPassword(account);
}

void CheckRun::ReadPassword(const TAccount& account) {
    if (CheckIndex == prompted_ && promptAnswer_) {
        prompted_ = -1;
        const std::optional<std::string> password = *std::exchange(promptAnswer_, std::nullopt);
        return password ? Login(*password) : PasswordUnreadable();
    }
    // Logged in already (kept open for push): a locked store does not matter.
    if (checker_->CheckOpen(account.HostName, account.UserID))
        return;
    // Locked, the store's other entries can be read only once the user answered.
    if (prompted_ >= 0 && !promptAnswer_) {
        parked_[static_cast<size_t>(CheckIndex)] = true;
        return Post(&CheckRun::CheckNext);
    }
    const QPointer<CheckRun> run(this);
    if (std::exchange(mayPrompt_, false)) {
        prompted_ = CheckIndex;
        parked_[static_cast<size_t>(CheckIndex)] = true;
        Passwords->Read(account, true, [run, id = runs_](std::optional<std::string> password) {
            if (!run || run->abandoned_ || id != run->runs_ || run->prompted_ < 0)
                return;
            run->promptAnswer_ = std::move(password);
            if (std::exchange(run->awaitingPrompt_, false))
                run->Post(&CheckRun::CheckNext);
        });
        return Post(&CheckRun::CheckNext);
    }
    Passwords->Read(account, false, [run, turn = turn_](std::optional<std::string> password) {
        if (!run || run->abandoned_ || turn != run->turn_)
            return;
        password ? run->Login(*password) : run->PasswordUnreadable();
    });
}

void CheckRun::Login(const std::string& password) {
    const TAccount& account = CheckList[static_cast<size_t>(CheckIndex)];
    // A password from a hand-edited Pim.INI or the keyring could carry commands
    // of its own: nothing goes out.
    const auto endpoint = ParseMailEndpoint(account.HostName);
    if (const CredentialFault fault = CheckCredentials(
            endpoint ? endpoint->protocol : MailProtocol::Pop3, account.UserID, password);
        fault != CredentialFault::None) {
        AccountResult& r = Current();
        r.Count = -5;
        r.Reason = CredentialFaultText(fault);
        KeepShownList();
        Post(&CheckRun::CheckNext);
        return;
    }
    // No session could be started: the slot keeps -2 (no answer).
    if (!checker_->Connect(account.HostName, account.UserID, password))
        Post(&CheckRun::CheckNext);
}

// No login without the password: the server would count a failed one.
void CheckRun::PasswordUnreadable() {
    AccountResult& r = Current();
    r.Count = -5;
    r.Reason = KeyringUnreadable(Passwords->LastFailure());
    KeepShownList();
    if (OnPasswordUnreadable)
        OnPasswordUnreadable(CheckList[static_cast<size_t>(CheckIndex)]);
    Post(&CheckRun::CheckNext);
}

// Its owner freed the current account's client (the account was changed or
// removed): no event of it will come, and the run goes on.
void CheckRun::ClientGone() {
    if (CheckIndex < 0 || CheckIndex > 19)
        return;
    ++turn_; // what was posted for it would use the client
    KeepShownList();
    Post(&CheckRun::CheckNext);
}

void CheckRun::KeepShownList() {
    // The accounts already checked in this run keep their fresh lists. What it
    // found before failing is not shown, so it is not counted either (no false alarm).
    TotalMail = mailBefore_;
    AccountResult& r = Current();
    const AccountResult& shown = ShownResults[static_cast<size_t>(CheckIndex)];
    r.Subjects = shown.Subjects;
    r.Senders = shown.Senders;
    r.Dates = shown.Dates;
    r.Ids = shown.Ids;
}

void CheckRun::AskTrust() {
    if (CheckIndex < 0 || CheckIndex > 19)
        return;
    const auto slot = static_cast<size_t>(CheckIndex);
    trustAsked_[slot] = true;
    // Only an explicit Yes trusts a certificate.
    const bool trusted = host_.Ask(TrustQuestion(CheckList[slot], untrusted_),
                                   mb::YesNo | mb::IconQuestion | mb::DefButton2) == IDYES;
    if (abandoned_)
        return; // the program was closed while the box showed
    if (!trusted) {
        CheckNext();
        return;
    }
    TlsLesson lesson{CheckList[slot].HostName, CheckList[slot].UserID};
    lesson.TrustedCertificate = untrusted_.Fingerprint;
    Remember(lesson);
    CheckAccount();
}

void CheckRun::Learn(const TlsOutcome& outcome) {
    const TAccount& account = CheckList[static_cast<size_t>(CheckIndex)];
    TlsLesson lesson{account.HostName, account.UserID};
    // Once offered, TLS is required: a later plain session would be a downgrade.
    lesson.TlsRequired = outcome.Offered && !account.TlsRequired;
    lesson.CertificateVerified = outcome.Verified && !account.TrustedCertificate.empty();
    if (lesson.TlsRequired || lesson.CertificateVerified)
        Remember(std::move(lesson));
}

void CheckRun::Remember(TlsLesson lesson) {
    lesson.Date = Today().toString(Qt::ISODate).toStdString();
    TakeSecurity(CheckList, lesson);
    host_.RememberSecurity(lesson);
}

// A session that is no longer there tells nothing more: the turn is over.
void CheckRun::CheckQuit() {
    if (!checker_ || !checker_->Quit())
        CheckNext();
}

// A message refused is one that could not be read; the account ends at once.
void CheckRun::CheckRetr() {
    if (checker_->Retr(NextMailNo))
        return;
    Current().Count = -5;
    KeepShownList();
    CheckQuit();
}

void CheckRun::VeltaPOP3Connect(int mailCount) {
    if (CheckIndex < 0 || CheckIndex > 19)
        return;
    Learn(checker_->SecurityOutcome());
    AccountResult& r = Current();
    r.Count = mailCount;
    r.NewestSummarised = checker_->SummarisesNewest();
    if (mailCount == 0) {
        Post(&CheckRun::CheckQuit);
    } else if (!settings_.SettingCountOnly) {
        FetchCount = mailCount;
        NextMailNo = 1;
        Post(&CheckRun::CheckRetr);
    } else {
        r.Count = -1;
        r.OldCount = -1;
        r.Subjects[0] = std::to_string(mailCount);
        TotalMail = AddMail(TotalMail, mailCount);
        Post(&CheckRun::CheckQuit);
    }
}

void CheckRun::VeltaPOP3GetMailInformation(const std::string& title, const std::string& sender,
                                           const std::string& date, const std::string& uniqueId) {
    if (CheckIndex < 0 || CheckIndex > 19 || NextMailNo < 1 || NextMailNo > kMaxMails)
        return;
    AccountResult& r = Current();
    const auto i = static_cast<size_t>(NextMailNo - 1);
    r.Subjects[i] = title;
    r.Senders[i] = sender;
    r.Dates[i] = date;
    r.Ids[i] = uniqueId;
    TotalMail = AddMail(TotalMail, 1);
    ++NextMailNo;
    // A record holds 255 summaries: the rest of a larger mailbox is counted, not read.
    if (NextMailNo > std::min(FetchCount, kMaxMails)) {
        TotalMail = AddMail(TotalMail, std::max(0, FetchCount - kMaxMails));
        Post(&CheckRun::CheckQuit);
    } else {
        Post(&CheckRun::CheckRetr);
    }
}

void CheckRun::VeltaPOP3Disconnect() {
    // Only a session of this run moves it on.
    if (CheckIndex >= 0 && CheckIndex <= 19)
        Post(&CheckRun::CheckNext);
}

void CheckRun::VeltaPOP3Error(uint8_t errorNo) {
    if (CheckIndex < 0 || CheckIndex > 19)
        return;
    AccountResult& r = Current();
    if (errorNo == 1)
        r.Count = -3;
    else if (errorNo == 3 || errorNo == 4)
        r.Count = -4;
    else if (errorNo == 5 || errorNo == 6)
        r.Count = -5;
    const TlsOutcome& tls = checker_->SecurityOutcome();
    Learn(tls);
    // The server answered; it was the connection that could not be made safe.
    if (tls.Failure != TlsFailure::None)
        r.Count = -6;
    // The connection's own reason first; else what the client said of its refusal.
    r.Reason = FailureReasonText(tls);
    if (r.Reason.empty())
        r.Reason = checker_->ErrorReason();
    KeepShownList();
    // The question waits until the component has returned from this event.
    if (tls.Failure == TlsFailure::Untrusted && userStarted_ && !tls.Fingerprint.empty() &&
        !trustAsked_[static_cast<size_t>(CheckIndex)]) {
        untrusted_ = tls;
        Post(&CheckRun::AskTrust);
        return;
    }
    Post(errorNo == 6 ? &CheckRun::CheckQuit : &CheckRun::CheckNext);
}

void CheckRun::CompareWithShown(RunOutcome& outcome) {
    for (size_t i = 0; i < WorkingResults.size(); ++i) {
        AccountResult& w = WorkingResults[i];
        AccountResult& s = ShownResults[i];
        // A push check looked at one account; the others stand as shown.
        if (pushOnly_ >= 0 && int(i) != pushOnly_)
            continue;
        // Lost a moment ago and not back yet: the line stays as it was.
        if (quietErrors_ && w.Count < -1 && s.Count >= 0) {
            TotalMail = outcome.TotalMail = AddMail(TotalMail, s.Count);
            continue;
        }
        const int previousCount = s.Count == -1 ? std::atoi(s.Subjects[0].c_str()) : -1;
        // Not yet read since the start: what the last check before it found.
        const TAccount& account = CheckList[i];
        const bool remembered = Seen && !w.Name.empty() && !account.HostName.empty();
        std::optional<AccountResult> before;
        if (remembered && s.Ids[0].empty() && (s.Name.empty() || s.Count < -1))
            before = Seen->Before(account.HostName, account.UserID);
        MarkOldMail(w, before ? *before : s);
        if (remembered)
            Seen->Keep(account.HostName, account.UserID, w);
        s = w;
        // An error is a change to a run someone asked for; a push that could
        // not reconnect shows it without a word.
        if (w.Count > 0 ? w.Old() != w.Count : w.OldCount != w.Count && pushOnly_ < 0)
            outcome.Changed = true;
        // Counted only, more than before is all there is to tell.
        if (w.Count == -1 && previousCount >= 0 && std::atoi(w.Subjects[0].c_str()) > previousCount)
            outcome.Changed = true;
    }
}

void CheckRun::EndRun() {
    RunOutcome outcome;
    outcome.Push = pushOnly_ >= 0;
    // A push check dialled nothing.
    if (!outcome.Push && settings_.SettingDeconnect &&
        (!settings_.DialMailNonDisconnect || TotalMail == 0) &&
        (!settings_.DialExistingNonDisconnect || DialledByCheck))
        dialup_.HangUp();
    outcome.TotalMail = TotalMail;
    outcome.AnyAccount = !WorkingResults[0].Name.empty();
    CompareWithShown(outcome);
    if (Seen)
        Seen->Save(accounts_);
    if (abandoned_)
        return;
    host_.ShowRun(outcome);
    ClearCheckList();
    ClearResults(WorkingResults);
    CheckIndex = -1;
    walk_ = -1;
    pushOnly_ = -1;
    quietErrors_ = false;
    host_.RunOver(outcome);
    // A change told after its account's turn in the run just over; the next
    // one's after this check.
    for (size_t i = 0; i < pushLater_.size(); ++i) {
        if (std::exchange(pushLater_[i], false)) {
            PushCheckAt(int(i));
            return;
        }
    }
}

void CheckRun::ForgetShownResults() {
    ClearResults(ShownResults);
    TotalMail = 0;
}

} // namespace pim
