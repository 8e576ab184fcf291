#include "app/RemoteMenu.h"

#include "common/Bytes.h"
#include "common/Cp932.h"

#include <algorithm>
#include <array>
#include <optional>

namespace pim {

namespace {

PIM_CP932_TEXT(HeaderOpen, "【Pim Menu -")
PIM_CP932_TEXT(Hours, "時")
PIM_CP932_TEXT(Minutes, "分")
PIM_CP932_TEXT(HeaderClose, "-】\r\r")
PIM_CP932_TEXT(PasswordNeeded, "Pimを制御するにはパスワードが必要です。")
PIM_CP932_TEXT(PasswordCaption, "パスワード")
PIM_CP932_TEXT(MailNumberCaption, "メール番号")
PIM_CP932_TEXT(MenuLabels, "メールチェック開始&:着信メール確認")
PIM_CP932_TEXT(MailWaitingOpen, "メールが ")
PIM_CP932_TEXT(MailWaitingClose, "通届いています。\r\r")
PIM_CP932_TEXT(CheckRunning, "現在、メールチェックを実行中です。\r\r")
PIM_CP932_TEXT(Dialling, "現在、メールチェックの為にダイヤルアップ接続処理を実行中です。\r\r")
PIM_CP932_TEXT(ChooseFromMenu, "メニューより、実行したい項目を選択してください。")
PIM_CP932_TEXT(LabelOpen, " -")
PIM_CP932_TEXT(LabelClose, "通-")
PIM_CP932_TEXT(OverviewOpen, "全部でメールが ")
PIM_CP932_TEXT(OverviewClose, "通届いています。\r\rメールの詳細情報を参照したい場合は、"
                              "一覧から対象を選択してください。")
PIM_CP932_TEXT(AccountMailOpen, "には、メールが ")
PIM_CP932_TEXT(AccountMailRange, "通届いてます。\r参照したいメール番号を 1 ～ ")
PIM_CP932_TEXT(AccountMailClose, " の番号で指定してください。")
PIM_CP932_TEXT(OutOfRange, "≪注意≫ 指定された範囲の番号を数値で設定してください。\r\r")
PIM_CP932_TEXT(TitleHeading, "≪タイトル≫\r\n ")
PIM_CP932_TEXT(SenderHeading, "\r\n\r\n≪送信者≫\r\n ")
PIM_CP932_TEXT(DateHeading, "\r\n\r\n≪受信日時≫\r\n ")
PIM_CP932_TEXT(BusyDialog, "現在、Pimはオプション変更中、もしくはダイアログ表示中です。\r\n"
                           "通信制御を行うことはできません。")
PIM_CP932_TEXT(OfflineNow, "現在、Pimはオフライン作業中です。\r\n通信制御を行うことはできません。")
PIM_CP932_TEXT(WrongPassword, "パスワードが違います。")
PIM_CP932_TEXT(AlreadyRunning, "既にメールチェックを実行中です。")
PIM_CP932_TEXT(NoConnection,
               "ダイヤルアップ接続されていないため、メールチェックを実行することができ"
               "ません。")
PIM_CP932_TEXT(CheckStarted, "メールチェックを開始しました。\r\n"
                             "メールチェックの結果はトップメニューより参照してください。")
PIM_CP932_TEXT(NoAccountToCheck,
               "メールアカウントが設定されていない為、メールチェックを行うことはできません。")
PIM_CP932_TEXT(RecentCheckClose, "にメールチェックを実行したばかりです。\r\n"
                                 "メールチェックの結果はトップメニューより参照してください。")
PIM_CP932_TEXT(NoMail, "メールは届いていません。")
PIM_CP932_TEXT(NoAccount, "指定したアカウントが存在しません。\r\n"
                          "メールチェック内容が更新された可能性があります。\r\n"
                          "再度、メールチェックを実行してみてください。")
PIM_CP932_TEXT(NoMailFor, "には、メールは届いていません。\r\n"
                          "既にメールが受信されてしまった可能性があります。\r\n"
                          "再度、メールチェックを実行してみてください。")
// The wire has no escape for its separators; outside text gets look-alikes instead.
PIM_CP932_TEXT(FieldSeparatorStandIn, "&｜")
PIM_CP932_TEXT(ChoiceSeparatorStandIn, "&：")

const std::string kTagPassword = "Password";
const std::string kTagMenu = "Menu";
const std::string kTagMenuSelect = "MenuSelect";
const std::string kTagInfo = "Info";
const std::string kTagInfoMain = "InfoMain";
const std::string kMenuValues = "MailCheck&:Mail";

std::string FieldText(std::string_view text) {
    return ReplaceAll(text, "&|", FieldSeparatorStandIn());
}

std::string ChoiceText(std::string_view text) {
    return ReplaceAll(text, "&:", ChoiceSeparatorStandIn());
}

std::string TwoDigits(int n) {
    return {static_cast<char>('0' + n / 10 % 10), static_cast<char>('0' + n % 10)};
}

// A header read whole can be longer than the wire carries: the texts are cut,
// each to an equal share of what the shorter ones leave, at a character boundary.
template <size_t N>
void FitInto(std::array<std::string, N>& texts, size_t room) {
    std::array<size_t, N> order;
    for (size_t i = 0; i < N; ++i)
        order[i] = i;
    std::sort(order.begin(), order.end(),
              [&](size_t a, size_t b) { return texts[a].size() < texts[b].size(); });
    for (size_t k = 0; k < N; ++k) {
        std::string& text = texts[order[k]];
        const size_t share = room / (N - k);
        if (text.size() > share)
            text = cp932::Truncate(text, share);
        room -= text.size();
    }
}

// Optionally signed decimal digits.
bool IsNumber(std::string_view text) {
    if (!text.empty() && (text.front() == '-' || text.front() == '+'))
        text.remove_prefix(1);
    return !text.empty() &&
           std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// Plain decimal digits only; large values are clamped, as no slot or mail number is near.
std::optional<int> DecimalNumber(std::string_view text) {
    if (text.empty())
        return std::nullopt;
    int value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9')
            return std::nullopt;
        value = std::min(value * 10 + (c - '0'), 1'000'000);
    }
    return value;
}

} // namespace

RemoteMenu::RemoteMenu(RemoteMenuHost& host, const TSettings& settings, RemotePrompts& prompts)
    : host_(host), settings_(settings), prompts_(prompts) {}

void RemoteMenu::FPNMenuRequest(const std::string& handleName, const std::string& machineName,
                                const std::string& discrimination, const std::string& senderIP) {
    if (Refused(machineName, discrimination))
        return;
    if (settings_.PasswordCheck) {
        AskPassword(MenuHeader(), machineName, discrimination);
        return;
    }
    FPNInputReturn(kTagMenu, {}, handleName, machineName, discrimination, senderIP);
}

void RemoteMenu::FPNInputReturn(const std::string& inputDiscrimination,
                                const std::string& inputReturn, const std::string&,
                                const std::string& machineName, const std::string& discrimination,
                                const std::string& senderIP) {
    if (Refused(machineName, discrimination))
        return;
    const std::string header = MenuHeader();
    std::string tag = inputDiscrimination;
    if (tag == kTagPassword) {
        // Guessing gets five tries a minute, and no answer at all meanwhile.
        if (LockedOut(senderIP))
            return;
        if (inputReturn != settings_.Password) {
            CountWrongPassword(senderIP);
            Message(WrongPassword(), machineName, discrimination);
            return;
        }
        if (const auto it = FindWrongPasswords(senderIP); it != wrongPasswords_.end())
            wrongPasswords_.erase(it);
        Remember(machineName, discrimination, senderIP);
        tag = kTagMenu;
    } else if (settings_.PasswordCheck && !Admitted(machineName, discrimination, senderIP)) {
        // Any console can send any tag: only the password opens the menu.
        AskPassword(header, machineName, discrimination);
        return;
    }

    if (tag == kTagMenu) {
        TopMenu(header, machineName, discrimination);
    } else if (tag == kTagMenuSelect) {
        if (inputReturn == "MailCheck")
            StartCheck(machineName, discrimination);
        else if (inputReturn == "Mail")
            MailOverview(header, machineName, discrimination);
    } else if (tag == kTagInfo) {
        AccountChosen(header, inputReturn, machineName, discrimination);
    } else if (tag.starts_with(kTagInfoMain)) {
        MailChosen(header, tag, inputReturn, machineName, discrimination);
    }
}

void RemoteMenu::ConsoleLoggedOut(const std::string& machineName,
                                  const std::string& discrimination) {
    const auto it = Find(machineName, discrimination);
    if (it != consoles_.end())
        consoles_.erase(it);
}

bool RemoteMenu::Refused(const std::string& machineName, const std::string& discrimination) {
    if (host_.DialogOpen()) {
        Message(BusyDialog(), machineName, discrimination);
        return true;
    }
    if (host_.Offline()) {
        Message(OfflineNow(), machineName, discrimination);
        return true;
    }
    return false;
}

std::vector<RemoteMenu::Console>::iterator RemoteMenu::Find(const std::string& machineName,
                                                            const std::string& discrimination) {
    return std::find_if(consoles_.begin(), consoles_.end(), [&](const Console& c) {
        return c.MachineName == machineName && c.Discrimination == discrimination;
    });
}

// A clock set back must not stretch a span.
bool RemoteMenu::Within(const QDateTime& since, qint64 spanMs) const {
    if (!since.isValid())
        return false;
    const qint64 age = since.msecsTo(Now());
    return age >= 0 && age <= spanMs;
}

bool RemoteMenu::Admitted(const std::string& machineName, const std::string& discrimination,
                          const std::string& senderIP) {
    const auto it = Find(machineName, discrimination);
    if (it == consoles_.end())
        return false;
    if (it->Password != settings_.Password || !Within(it->Given, kPasswordMemoryMs)) {
        consoles_.erase(it);
        return false;
    }
    // A stranger claiming the console's names is not it, and does not renew it.
    if (it->Source != senderIP || it->PeerAddress != prompts_.ConsoleAddress(machineName))
        return false;
    it->Given = Now();
    return true;
}

void RemoteMenu::Remember(const std::string& machineName, const std::string& discrimination,
                          const std::string& senderIP) {
    auto it = Find(machineName, discrimination);
    if (it == consoles_.end()) {
        if (consoles_.size() >= kRememberedConsoles) {
            consoles_.erase(std::min_element(
                consoles_.begin(), consoles_.end(),
                [](const Console& a, const Console& b) { return a.Given < b.Given; }));
        }
        consoles_.push_back({machineName, discrimination, {}, {}, {}, {}});
        it = consoles_.end() - 1;
    }
    it->Password = settings_.Password;
    it->Given = Now();
    it->Source = senderIP;
    it->PeerAddress = prompts_.ConsoleAddress(machineName);
}

std::vector<RemoteMenu::WrongPasswords>::iterator
RemoteMenu::FindWrongPasswords(const std::string& senderIP) {
    return std::find_if(wrongPasswords_.begin(), wrongPasswords_.end(),
                        [&](const WrongPasswords& w) { return w.Source == senderIP; });
}

bool RemoteMenu::LockedOut(const std::string& senderIP) {
    const auto it = FindWrongPasswords(senderIP);
    return it != wrongPasswords_.end() && it->Count >= kPasswordTries &&
           Within(it->Last, kLockOutMs);
}

void RemoteMenu::CountWrongPassword(const std::string& senderIP) {
    auto it = FindWrongPasswords(senderIP);
    if (it == wrongPasswords_.end()) {
        if (wrongPasswords_.size() >= kRememberedConsoles) {
            wrongPasswords_.erase(std::min_element(
                wrongPasswords_.begin(), wrongPasswords_.end(),
                [](const WrongPasswords& a, const WrongPasswords& b) { return a.Last < b.Last; }));
        }
        wrongPasswords_.push_back({senderIP, 0, {}});
        it = wrongPasswords_.end() - 1;
    }
    // Mistakes a minute apart are not guessing. Nothing is counted while locked
    // out, so a lock-out over is a minute without one as well: the count starts anew.
    if (!Within(it->Last, kLockOutMs))
        it->Count = 0;
    ++it->Count;
    it->Last = Now();
}

std::string RemoteMenu::MenuHeader() const {
    const QTime time = Now().time();
    return HeaderOpen() + TwoDigits(time.hour()) + Hours() + TwoDigits(time.minute()) + Minutes() +
           HeaderClose();
}

void RemoteMenu::AskPassword(const std::string& header, const std::string& machineName,
                             const std::string& discrimination) {
    Line(header + PasswordNeeded(), PasswordCaption(), kTagPassword, machineName, discrimination);
}

void RemoteMenu::TopMenu(const std::string& header, const std::string& machineName,
                         const std::string& discrimination) {
    std::string message = header;
    if (host_.TotalMail() > 0)
        message += MailWaitingOpen() + std::to_string(host_.TotalMail()) + MailWaitingClose();
    if (host_.CheckIndex() >= 0)
        message += CheckRunning();
    else if (host_.CheckIndex() == -2)
        message += Dialling();
    message += ChooseFromMenu();
    Select(message, MenuLabels(), kMenuValues, kTagMenuSelect, machineName, discrimination);
}

void RemoteMenu::StartCheck(const std::string& machineName, const std::string& discrimination) {
    // Not inside the station's receive handler: a check may dial and wait for
    // the connection, and the station must go on answering meanwhile.
    QMetaObject::invokeMethod(
        &queue_, [=, this] { CheckNow(machineName, discrimination); }, Qt::QueuedConnection);
}

void RemoteMenu::CheckNow(const std::string& machineName, const std::string& discrimination) {
    // Decided and answered at the start itself, so that what the console reads
    // is what happens.
    if (Refused(machineName, discrimination))
        return;
    if (host_.CheckIndex() != -1) {
        Message(AlreadyRunning(), machineName, discrimination);
    } else if (!host_.AccountToCheck()) {
        Message(NoAccountToCheck(), machineName, discrimination);
    } else if (settings_.CustomizeDial == 1 && host_.ActiveEntryCount() == 0) {
        Message(NoConnection(), machineName, discrimination);
    } else if (Within(lastRemoteCheck_, kRemoteCheckGapMs)) {
        const QTime at = lastRemoteCheck_.time();
        Message(TwoDigits(at.hour()) + Hours() + TwoDigits(at.minute()) + Minutes() +
                    RecentCheckClose(),
                machineName, discrimination);
    } else {
        lastRemoteCheck_ = Now();
        Message(CheckStarted(), machineName, discrimination);
        host_.StartCheck();
    }
}

void RemoteMenu::MailOverview(const std::string& header, const std::string& machineName,
                              const std::string& discrimination) {
    if (host_.TotalMail() == 0) {
        Message(NoMail(), machineName, discrimination);
        return;
    }
    std::string labels, values;
    const Results& results = host_.ShownResults();
    for (size_t i = 0; i < results.size(); ++i) {
        const AccountResult& r = results[i];
        if (r.Name.empty() || r.Count < 1)
            continue;
        if (!labels.empty()) {
            labels += "&:";
            values += "&:";
        }
        labels += ChoiceText(r.Name + LabelOpen() + std::to_string(r.Count) + LabelClose());
        values += std::to_string(i);
    }
    Select(header + OverviewOpen() + std::to_string(host_.TotalMail()) + OverviewClose(), labels,
           values, kTagInfo, machineName, discrimination);
}

const AccountResult* RemoteMenu::AccountWithMail(const std::string& slotText,
                                                 const std::string& machineName,
                                                 const std::string& discrimination) {
    const Results& results = host_.ShownResults();
    const std::optional<int> slot = DecimalNumber(slotText);
    if (!slot || *slot >= static_cast<int>(results.size()) || results[*slot].Name.empty()) {
        Message(NoAccount(), machineName, discrimination);
        return nullptr;
    }
    const AccountResult& r = results[*slot];
    if (r.Count < 1) {
        Message(r.Name + NoMailFor(), machineName, discrimination);
        return nullptr;
    }
    return &r;
}

void RemoteMenu::AccountChosen(const std::string& header, const std::string& slotText,
                               const std::string& machineName, const std::string& discrimination) {
    if (const AccountResult* r = AccountWithMail(slotText, machineName, discrimination))
        AskMailNumber(header, {}, *r, kTagInfoMain + slotText, machineName, discrimination);
}

void RemoteMenu::MailChosen(const std::string& header, const std::string& tag,
                            const std::string& inputReturn, const std::string& machineName,
                            const std::string& discrimination) {
    const std::string slotText = tag.substr(kTagInfoMain.size());
    if (!IsNumber(slotText))
        return;
    const AccountResult* r = AccountWithMail(slotText, machineName, discrimination);
    if (!r)
        return;
    const std::optional<int> n = DecimalNumber(inputReturn);
    if (n && *n >= 1 && *n <= std::min(r->Count, kMaxMails)) {
        const size_t i = static_cast<size_t>(*n - 1);
        std::array<std::string, 3> texts = {FieldText(r->Subjects[i]), FieldText(r->Senders[i]),
                                            FieldText(r->Dates[i])};
        const size_t headings =
            TitleHeading().size() + SenderHeading().size() + DateHeading().size();
        const size_t room = prompts_.MessageRoom(machineName, discrimination);
        FitInto(texts, room > headings ? room - headings : 0);
        Message(TitleHeading() + texts[0] + SenderHeading() + texts[1] + DateHeading() + texts[2],
                machineName, discrimination);
    } else {
        AskMailNumber(header, OutOfRange(), *r, tag, machineName, discrimination);
    }
}

void RemoteMenu::AskMailNumber(const std::string& header, const std::string& note,
                               const AccountResult& account, const std::string& tag,
                               const std::string& machineName, const std::string& discrimination) {
    // Beyond the first 255 mails nothing was read, so the range offered stops there.
    const std::string count = std::to_string(account.Count);
    const std::string last = std::to_string(std::min(account.Count, kMaxMails));
    Line(header + note + account.Name + AccountMailOpen() + count + AccountMailRange() + last +
             AccountMailClose(),
         MailNumberCaption(), tag, machineName, discrimination);
}

void RemoteMenu::Select(const std::string& message, const std::string& list,
                        const std::string& values, const std::string& tag,
                        const std::string& machineName, const std::string& discrimination) {
    prompts_.InputSelect(FieldText(message), FieldText(list), FieldText(values), FieldText(tag),
                         machineName, discrimination);
}

void RemoteMenu::Line(const std::string& message, const std::string& caption,
                      const std::string& tag, const std::string& machineName,
                      const std::string& discrimination) {
    prompts_.InputLine(FieldText(message), FieldText(caption), FieldText(tag), machineName,
                       discrimination);
}

void RemoteMenu::Message(const std::string& message, const std::string& machineName,
                         const std::string& discrimination) {
    prompts_.InputMessage(FieldText(message), machineName, discrimination);
}

} // namespace pim
