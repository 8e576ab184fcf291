// The remote menu driven through its two handlers, with the program's state
// faked and every prompt recorded; the station adapter once over loopback.
#include "app/RemoteMenu.h"

#include "app/StationPrompts.h"
#include "common/Cp932.h"
#include "common/UiText.h"
#include "remote/WireTap.h"

#include <QCoreApplication>
#include <gtest/gtest.h>
#include <tuple>

namespace pim {
namespace {

using namespace std::chrono_literals;
using cp932::FromUtf8;
using cp932::ToUtf8;

struct FakeHost : RemoteMenuHost {
    bool dialogOpen = false, offline = false, accountToCheck = true;
    int checkIndex = -1, totalMail = 4, activeEntries = 0, checksStarted = 0;
    Results results;
    std::function<void()> onStart = [] {};

    bool DialogOpen() const override { return dialogOpen; }
    bool Offline() const override { return offline; }
    int CheckIndex() const override { return checkIndex; }
    int TotalMail() const override { return totalMail; }
    const Results& ShownResults() const override { return results; }
    int ActiveEntryCount() override { return activeEntries; }
    bool AccountToCheck() const override { return accountToCheck; }
    void StartCheck() override { ++checksStarted, onStart(); }
};

// One prompt as sent, in UTF-8 for readable expectations: its message, the
// rest (kind, tag, then choices and values or caption) and whom it went to.
struct Sent {
    std::string message, rest, to;
};

struct RecordedPrompts : RemotePrompts {
    using S = const std::string&;
    std::vector<Sent> sent;
    std::string address = "10.9.8.7"; // where the station's table sends the answers
    size_t room = 65000;

    std::string ConsoleAddress(S) const override { return address; }
    size_t MessageRoom(S, S) const override { return room; }
    void InputSelect(S message, S list, S values, S tag, S machine, S disc) override {
        sent.push_back(
            {ToUtf8(message), "select" + tag + ToUtf8(list) + "|" + values, machine + " " + disc});
    }
    void InputLine(S message, S caption, S tag, S machine, S disc) override {
        sent.push_back({ToUtf8(message), "line" + tag + ToUtf8(caption), machine + " " + disc});
    }
    void InputMessage(S message, S machine, S disc) override {
        sent.push_back({ToUtf8(message), "message", machine + " " + disc});
    }
};

// The clock at 19:20:30 (19:20 on the station): read on 24 hours, cut to the
// minute, each digit its own (a tens digit of n / 11 would read 19:10).
const std::string kHeader = "【Pim Menu -19時20分-】\r\r";
const std::string kChoose = "メニューより、実行したい項目を選択してください。";
const std::string kBusy = "現在、Pimはオプション変更中、もしくはダイアログ表示中です。\r\n"
                          "通信制御を行うことはできません。";
const std::string kOffline =
    "現在、Pimはオフライン作業中です。\r\n通信制御を行うことはできません。";
const std::string kNoAccount =
    "指定したアカウントが存在しません。\r\nメールチェック内容が更新された"
    "可能性があります。\r\n再度、メールチェックを実行してみてください。";
const std::string kNote = "≪注意≫ 指定された範囲の番号を数値で設定してください。\r\r";
const std::string kOverview = kHeader + "全部でメールが 4通届いています。\r\rメールの詳細情報を参照"
                                        "したい場合は、一覧から対象を選択してください。";
const std::string kWrong = "パスワードが違います。";
const std::string kStarted = "メールチェックを開始しました。\r\nメールチェックの結果はトップメニ"
                             "ューより参照してください。";

AccountResult Account(const std::string& utf8Name, int count) {
    AccountResult r;
    r.Name = FromUtf8(utf8Name);
    r.Count = count;
    for (int i = 0; i < std::min(count, kMaxMails); ++i) {
        r.Subjects[i] = FromUtf8("件名" + std::to_string(i + 1));
        r.Senders[i] = "sender" + std::to_string(i + 1) + "@example.jp";
        r.Dates[i] = "2026/01/0" + std::to_string(i % 9 + 1);
    }
    return r;
}

std::string NumberPrompt(const std::string& note, const std::string& name, int count, int last) {
    return kHeader + note + name + "には、メールが " + std::to_string(count) +
           "通届いてます。\r参照したいメール番号を 1 ～ " + std::to_string(last) +
           " の番号で指定してください。";
}

std::string Mail(const std::string& subject, const std::string& sender, const std::string& date) {
    return "≪タイトル≫\r\n " + subject + "\r\n\r\n≪送信者≫\r\n " + sender +
           "\r\n\r\n≪受信日時≫\r\n " + date;
}

// A request ("?") or an answer, and what it must bring: "" nothing, "PW" the
// password prompt, "MENU" the top menu, else the prompt's text.
struct Step {
    std::string tag, value, expect;
    int seconds = 0; // on the clock before it
    std::string machine = "PC02", disc = "FPN", source = "10.9.8.7";
};

class RemoteMenuTest : public ::testing::Test {
protected:
    FakeHost host;
    TSettings settings;
    RecordedPrompts prompts;
    RemoteMenu menu{host, settings, prompts};
    QDateTime clock{QDate(2026, 1, 2), QTime(19, 20, 30)};
    Sent last; // the prompt of the last step that brought one

    void SetUp() override {
        menu.Now = [this] { return clock; };
        host.results[0] = Account("Home", 3);
        host.results[1] = Account("Work", 0);
        host.results[2] = Account("Club", 1);
    }
    // Each step, then what it queued (a check start).
    void Run(const std::vector<Step>& steps) {
        for (size_t i = 0; i < steps.size(); ++i) {
            const Step& s = steps[i];
            SCOPED_TRACE(std::to_string(i) + ": " + s.tag + "=" + s.value + " from " + s.machine);
            clock = clock.addSecs(s.seconds);
            const int started = host.checksStarted;
            if (s.tag == "?")
                menu.FPNMenuRequest("hanako", s.machine, s.disc, s.source);
            else
                menu.FPNInputReturn(s.tag, s.value, "hanako", s.machine, s.disc, s.source);
            EXPECT_EQ(host.checksStarted, started) << "started inside the station's handler";
            QCoreApplication::processEvents();
            const std::vector<Sent> sent = std::exchange(prompts.sent, {});
            ASSERT_EQ(sent.size(), s.expect.empty() ? 0u : 1u);
            if (sent.empty())
                continue;
            last = sent.back();
            EXPECT_EQ(last.to, s.machine + " " + s.disc);
            if (s.expect == "PW")
                EXPECT_EQ(last.rest, "linePasswordパスワード");
            else if (s.expect == "MENU")
                EXPECT_TRUE(last.rest.starts_with("selectMenuSelect")) << last.rest;
            else
                EXPECT_EQ(last.message, s.expect);
        }
    }
};

TEST_F(RemoteMenuTest, ThePasswordOpensTheMenuAndADialogOrOfflineModeRefusesEverything) {
    settings.PasswordCheck = true;
    settings.Password = "Secret";
    Run({{"?", "", kHeader + "Pimを制御するにはパスワードが必要です。"},
         {"Password", "secret", kWrong},
         {"Password", "", kWrong},
         {"Password", "Secret ", kWrong},
         {"Password", "Secret", "MENU"}});
    settings.Password.clear();
    Run({{"?", "", "PW", 0, "PC03"}, {"Password", "", "MENU", 0, "PC03"}});
    host.dialogOpen = host.offline = true;
    Run({{"?", "", kBusy}, {"Password", "", kBusy}});
    host.dialogOpen = false;
    Run({{"?", "", kOffline}, {"MenuSelect", "MailCheck", kOffline}});
    // A console that did give the password is refused just the same.
    host.offline = false;
    Run({{"Password", "", "MENU"}});
    host.dialogOpen = true;
    Run({{"Menu", "", kBusy}, {"MenuSelect", "MailCheck", kBusy}, {"InfoMain0", "1", kBusy}});
    EXPECT_EQ(host.checksStarted, 0);
}

// However often a console asks, one check a minute starts; the others are answered alike.
TEST_F(RemoteMenuTest, ACheckStartsOnlyWhenIdleAndConnectedAsTheSettingAsksAndOnceAMinute) {
    const std::string running = "既にメールチェックを実行中です。";
    const std::string offLine =
        "ダイヤルアップ接続されていないため、メールチェックを実行することができません。";
    // CheckIndex, CustomizeDial, active entries, the answer.
    const std::tuple<int, int, int, std::string> cases[] = {
        {-2, 0, 1, running},  {0, 0, 1, running},   {19, 1, 1, running}, {-1, 1, 0, offLine},
        {-1, 1, 1, kStarted}, {-1, 0, 0, kStarted}, {-1, 2, 0, kStarted}};
    for (const auto& [checkIndex, customizeDial, activeEntries, expected] : cases) {
        host.checkIndex = checkIndex;
        settings.CustomizeDial = customizeDial;
        host.activeEntries = activeEntries;
        Run({{"MenuSelect", "MailCheck", expected, 61}});
        EXPECT_EQ(std::exchange(host.checksStarted, 0), expected == kStarted ? 1 : 0);
    }
    host.accountToCheck = false; // nothing to check: said so, before the minute's rule
    Run({{"MenuSelect", "MailCheck",
          "メールアカウントが設定されていない為、メールチェックを行うことはできません。"}});
    host.accountToCheck = true;
    Run({{"MenuSelect", "mailcheck", ""}, {"MenuSelect", "", ""}, {"Unknown", "MailCheck", ""}});
    // Within a minute the console is told when the last one started (19:27:37).
    const auto recent = [](const char* at) {
        return std::string(at) + "にメールチェックを実行したばかりです。\r\n"
                                 "メールチェックの結果はトップメニューより参照してください。";
    };
    Run({{"MenuSelect", "MailCheck", recent("19時27分")},
         {"MenuSelect", "MailCheck", recent("19時27分"), 60},
         {"MenuSelect", "MailCheck", kStarted, 1},
         {"MenuSelect", "MailCheck", recent("19時28分"), 59},
         {"MenuSelect", "MailCheck", kStarted, 61}});
    EXPECT_EQ(std::exchange(host.checksStarted, 0), 2);
    // A dialog opened before the queued start came to run: the console is told
    // so, nothing starts, and the start that did not happen holds back none.
    clock = clock.addSecs(61);
    menu.FPNInputReturn("MenuSelect", "MailCheck", "hanako", "PC02", "FPN", "10.9.8.7");
    host.dialogOpen = true;
    QCoreApplication::processEvents();
    host.dialogOpen = false;
    ASSERT_EQ(prompts.sent.size(), 1u);
    EXPECT_EQ(std::exchange(prompts.sent, {}).front().message, kBusy);
    Run({{"MenuSelect", "MailCheck", kStarted}});
    EXPECT_EQ(host.checksStarted, 1);
}

TEST_F(RemoteMenuTest, TheListsGiveAccountsWithMailAndTheirMailsAndSayWhyNot) {
    host.results[3] = Account("", 2); // a free slot never shows
    host.results[4] = Account("Error", -4);
    host.results[5] = Account("Big", 300);
    Run({{"MenuSelect", "Mail", kOverview}});
    EXPECT_EQ(last.rest, "selectInfoHome -3通-&:Club -1通-&:Big -300通-|0&:2&:5");
    // The tag carries the answer as received, and an answer out of range is asked again.
    Run({{"Info", "02", NumberPrompt("", "Club", 1, 1)},
         {"InfoMain02", "9", NumberPrompt(kNote, "Club", 1, 1)}});
    EXPECT_EQ(last.rest, "lineInfoMain02メール番号");
    const std::string noMail =
        "Workには、メールは届いていません。\r\n既にメールが受信されてしまった"
        "可能性があります。\r\n再度、メールチェックを実行してみてください。";
    std::vector<Step> steps = {
        {"Info", "1", noMail},
        // Beyond the first 255 mails nothing was read.
        {"Info", "5", NumberPrompt("", "Big", 300, 255)},
        {"InfoMain5", "255", Mail("件名255", "sender255@example.jp", "2026/01/03")},
        {"InfoMain5", "256", NumberPrompt(kNote, "Big", 300, 255)},
        {"InfoMain0", "2", Mail("件名2", "sender2@example.jp", "2026/01/02")},
        {"InfoMain1", "1", noMail}, // results renewed since the list was sent
    };
    for (const std::string n : {"0", "4", "abc", "", "-1", "1.0"})
        steps.push_back({"InfoMain0", n, NumberPrompt(kNote, "Home", 3, 3)});
    for (const std::string slot : {"7", "19", "20", "-1", "x", "", "4294967296"})
        steps.push_back({"Info", slot, kNoAccount});
    // Tags no list ever carried: a number that is no slot is told so, anything else unanswered.
    for (const std::string tag : {"InfoMain7", "InfoMain20", "InfoMain-1", "InfoMain99999999999"})
        steps.push_back({tag, "1", kNoAccount});
    for (const std::string tag :
         {"InfoMain", "InfoMainx", "InfoMain0x", "InfoMain 0", "InfoMain-", "Infos", "info"})
        steps.push_back({tag, "1", ""});
    // The consoles read the texts as every station sends them, whatever the desktop's language.
    ASSERT_TRUE(SetUiLanguage(UiLanguage::English));
    Run(steps);
    SetUiLanguage(UiLanguage::Japanese);
    host.totalMail = 0;
    Run({{"MenuSelect", "Mail", "メールは届いていません。"}, {"Menu", "", "MENU"}});
    EXPECT_EQ(last.message, kHeader + kChoose) << "no mail, no count";
}

TEST_F(RemoteMenuTest, OnlyAConsoleThatGaveThePasswordIsServedAndOnlyForTenQuietMinutes) {
    settings.PasswordCheck = true;
    settings.Password = "pw";
    Run({{"MenuSelect", "MailCheck", "PW"},
         {"Password", "pw", "MENU"},
         {"InfoMain0", "1", Mail("件名1", "sender1@example.jp", "2026/01/01")},
         {"MenuSelect", "MailCheck", kStarted},
         // The same machine under another kind of console, and another machine, are strangers.
         {"InfoMain0", "1", "PW", 0, "PC02", "FPN2"},
         {"InfoMain0", "1", "PW", 0, "PC03"},
         // So is a station writing the console's names from another address: its
         // asking does not keep the console's admission alive.
         {"InfoMain0", "1", "PW", 600, "PC02", "FPN", "10.9.8.66"},
         {"Menu", "", "PW", 1},
         {"Password", "pw", "MENU"}});
    EXPECT_EQ(host.checksStarted, 1);
    // Admission holds only while the station's table sends the answers where
    // they went when the password was given.
    prompts.address = "10.9.8.66";
    Run({{"Menu", "", "PW"}});
    prompts.address = "10.9.8.7";
    // Each served answer renews it; forgotten for good after ten quiet minutes,
    // not only while the clock reads late, and after a logout.
    Run({{"Menu", "", "MENU", 599},
         {"Menu", "", "MENU", 600},
         {"Menu", "", "PW", 601},
         {"Menu", "", "PW", -601},
         {"Password", "pw", "MENU"},
         {"Password", "pw", "MENU", 0, "PC03"}});
    menu.ConsoleLoggedOut("PC02", "FPN2"); // never admitted: nobody else goes
    menu.ConsoleLoggedOut("PC03", "FPN");
    Run({{"Menu", "", "PW", 0, "PC03"}, {"Menu", "", "MENU"}, {"Menu", "", "PW", -1}});
    // A changed password must be given anew.
    Run({{"Password", "pw", "MENU"}});
    settings.Password = "new";
    Run({{"Menu", "", "PW"}, {"Password", "new", "MENU"}, {"Menu", "", "MENU"}});
    // The memory keeps the consoles that gave the password last.
    for (size_t i = 0; i <= RemoteMenu::kRememberedConsoles; ++i)
        Run({{"Password", "new", "MENU", 1, "PC" + std::to_string(i)}});
    Run({{"Menu", "", "MENU", 0, "PC1"},
         {"Menu", "", "MENU", 0, "PC" + std::to_string(RemoteMenu::kRememberedConsoles)},
         {"Menu", "", "PW", 0, "PC0"}});
}

// Five wrong answers from one address: its password answers go unheard for a
// minute from the fifth, the right one too; the right one forgets the wrong ones,
// and mistakes a minute apart do not add up.
TEST_F(RemoteMenuTest, PasswordGuessesFromTheLanAreRationed) {
    settings.PasswordCheck = true;
    settings.Password = "pw";
    std::vector<Step> steps;
    // Answers from 10.0.0.5, the first `first` seconds after the last, then `gap` apart; "!" a
    // wrong one.
    const auto from = [&](std::vector<std::string> answers, std::string expect, int first = 0,
                          int gap = 0) {
        for (const std::string& answer : answers)
            steps.push_back({"Password", answer == "!" ? "wrong" : answer, expect,
                             std::exchange(first, gap), "PC02", "FPN", "10.0.0.5"});
    };
    from({"!", "!", "!", "!", "!"}, kWrong, 1, 1);
    from({"!", "pw"}, "", 1, 1);
    steps.push_back({"Password", "x", kWrong, 0, "PC02", "FPN", "10.0.0.6"});
    from({"pw"}, "", 56);
    from({"!", "!", "!", "!"}, kWrong, 3);
    from({"pw"}, "MENU");
    from({"!", "!", "!", "!"}, kWrong);
    from({"!", "!", "!", "!", "!"}, kWrong, 61);
    from({"!"}, "");
    // The menu request itself is still answered.
    steps.push_back({"?", "", "PW", 0, "PC02", "FPN", "10.0.0.5"});
    Run(steps);
}

// Outside text gets look-alikes for the wire's separators; a long mail is cut
// to what the wire carries at whole characters, the short date kept.
TEST_F(RemoteMenuTest, OutsideTextCannotCutFieldsOrChoicesAndALongMailIsCutAtWholeCharacters) {
    host.results[0].Name = FromUtf8("A&|B&:C");
    host.results[0].Subjects[0] = "a&|b&:c";
    host.results[0].Senders[0] = "x&|y";
    host.results[0].Dates[0] = "d&|";
    Run({{"MenuSelect", "Mail", kOverview}});
    EXPECT_EQ(last.rest, "selectInfoA&｜B&：C -3通-&:Club -1通-|0&:2");
    Run({{"Info", "0", NumberPrompt("", "A&｜B&:C", 3, 3)},
         {"InfoMain0", "1", Mail("a&｜b&:c", "x&｜y", "d&｜")},
         {"InfoMain2", "x", NumberPrompt(kNote, "Club", 1, 1)}});
    host.results[0].Subjects[0] = "x"; // so that a cut at an even byte count splits a character
    for (int i = 0; i < 25000; ++i)
        host.results[0].Subjects[0] += FromUtf8("件");
    host.results[0].Senders[0] = std::string(3000, 's');
    prompts.room = 102;
    Run({{"InfoMain0", "1", Mail("x件件件件件件件件件件件", std::string(23, 's'), "d&｜")}});
}

// The menu on a real station, as the main window wires it, and a console PC02
// at 10.9.8.7 in its table; what the station sends is heard on the tap.
TEST(RemoteMenuOnAStation, PromptsReachTheConsoleWithEveryFieldInPlace) {
    const std::string console = "10.9.8.7";
    const uint16_t port = test::FreshPort();
    test::WireTap tap{port};
    TFernpostNetwork station;
    FakeHost host;
    TSettings settings;
    StationPrompts prompts{station};
    RemoteMenu menu{host, settings, prompts};
    ASSERT_TRUE(test::OpenPimStation(station, port));
    menu.Now = [] { return QDateTime(QDate(2026, 1, 2), QTime(19, 20)); };
    station.OnMenuRequest = [&](auto* fpn, auto& handle, auto& machine, auto& disc) {
        menu.FPNMenuRequest(handle, machine, disc, fpn->RecvSenderIP());
    };
    station.OnInputReturn = [&](auto* fpn, auto& tag, auto& value, auto& handle, auto& machine,
                                auto& disc) {
        menu.FPNInputReturn(tag, value, handle, machine, disc, fpn->RecvSenderIP());
    };
    test::Inject(station,
                 fpn::CommandText("LOGIN", {"PC02", console, "FPN", "hanako", "100", "0", "1"}));
    // Texts between the console and the station, with the fields that name them.
    const auto from = [&](const std::string& command, std::vector<std::string> fields) {
        fields.insert(fields.begin(), {station.IPAddress(), "Pim", "hanako", "PC02"});
        return fpn::CommandText(command, fields);
    };
    const auto to = [&](const std::string& command, std::vector<std::string> fields) {
        fields.insert(fields.begin(), {console, "FPN", "Pim <taro>", station.MachineName(), "Pim"});
        return fpn::CommandText(command, fields);
    };
    host.results[0] = Account("A&|B", 1);
    host.totalMail = 1;
    test::Inject(station, from("MENU_CHECK", {console, "FPN"}), console);
    test::Inject(station, from("INPUT_RETURN", {"FPN", "Info", "0"}), console);
    ASSERT_TRUE(tap.WaitFor("INPUT_LINE"));
    EXPECT_EQ(tap.Heard("INPUT_SELECT").at(0),
              to("INPUT_SELECT",
                 {"MenuSelect", FromUtf8(kHeader + "メールが 1通届いています。\r\r" + kChoose),
                  FromUtf8("メールチェック開始&:着信メール確認"), "MailCheck&:Mail"}));
    EXPECT_EQ(tap.Heard("INPUT_LINE")[0],
              to("INPUT_LINE",
                 {"InfoMain0", FromUtf8(NumberPrompt("", "A&｜B", 1, 1)), FromUtf8("メール番号")}));
    // A subject longer than a scrambled text can be still leaves a mail to read.
    for (int i = 0; i < 35000; ++i)
        host.results[0].Subjects[0] += FromUtf8("件");
    test::Inject(station, from("INPUT_RETURN", {"FPN", "InfoMain0", "1"}), console);
    ASSERT_TRUE(tap.WaitFor("INPUT_MESSAGE"));
    const std::string mail = ToUtf8(fpn::GetField(tap.Heard("INPUT_MESSAGE")[0], 6));
    EXPECT_TRUE(mail.starts_with("≪タイトル≫\r\n 件名1件件")) << mail.substr(0, 100);
    EXPECT_TRUE(mail.ends_with(
        "件\r\n\r\n≪送信者≫\r\n sender1@example.jp\r\n\r\n≪受信日時≫\r\n 2026/01/01"));
}

} // namespace
} // namespace pim
