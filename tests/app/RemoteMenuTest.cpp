// The remote menu driven through its two handlers, with the program's state
// faked and every prompt recorded; the station adapter once over loopback.
#include "app/RemoteMenu.h"

#include "app/StationPrompts.h"
#include "common/Cp932.h"
#include "common/UiText.h"
#include "remote/WireTap.h"

#include <QCoreApplication>
#include <gtest/gtest.h>
#include <map>

namespace pim {
namespace {

using namespace std::chrono_literals;

struct FakeHost : RemoteMenuHost {
    bool dialogOpen = false;
    bool offline = false;
    int checkIndex = -1;
    int totalMail = 0;
    Results results;
    int activeEntries = 0;
    int checksStarted = 0;
    std::function<void()> onStart;

    bool DialogOpen() const override { return dialogOpen; }
    bool Offline() const override { return offline; }
    int CheckIndex() const override { return checkIndex; }
    int TotalMail() const override { return totalMail; }
    const Results& ShownResults() const override { return results; }
    int ActiveEntryCount() override { return activeEntries; }
    void StartCheck() override {
        ++checksStarted;
        if (onStart)
            onStart();
    }
};

// One prompt as sent, its texts in UTF-8 for readable expectations.
struct Sent {
    std::string kind, message, list, values, caption, tag, machine, discrimination;
};

struct RecordedPrompts : RemotePrompts {
    std::vector<Sent> sent;
    // The station's table: every console at 10.9.8.7 unless told otherwise.
    std::map<std::string, std::string> addresses;
    size_t room = 65000;

    std::string ConsoleAddress(const std::string& machine) const override {
        const auto it = addresses.find(machine);
        return it == addresses.end() ? "10.9.8.7" : it->second;
    }
    size_t MessageRoom(const std::string&, const std::string&) const override { return room; }

    void InputSelect(const std::string& message, const std::string& list, const std::string& values,
                     const std::string& tag, const std::string& machine,
                     const std::string& discrimination) override {
        sent.push_back({"select", cp932::ToUtf8(message), cp932::ToUtf8(list),
                        cp932::ToUtf8(values), "", tag, machine, discrimination});
    }
    void InputLine(const std::string& message, const std::string& caption, const std::string& tag,
                   const std::string& machine, const std::string& discrimination) override {
        sent.push_back({"line", cp932::ToUtf8(message), "", "", cp932::ToUtf8(caption), tag,
                        machine, discrimination});
    }
    void InputMessage(const std::string& message, const std::string& machine,
                      const std::string& discrimination) override {
        sent.push_back(
            {"message", cp932::ToUtf8(message), "", "", "", "", machine, discrimination});
    }
};

const std::string kHeader = "【Pim Menu -09時05分-】\r\r";
const std::string kChoose = "メニューより、実行したい項目を選択してください。";
const std::string kBusy = "現在、Pimはオプション変更中、もしくはダイアログ表示中です。\r\n"
                          "通信制御を行うことはできません。";
const std::string kOffline =
    "現在、Pimはオフライン作業中です。\r\n通信制御を行うことはできません。";
const std::string kNoAccount = "指定したアカウントが存在しません。\r\n"
                               "メールチェック内容が更新された可能性があります。\r\n"
                               "再度、メールチェックを実行してみてください。";
const std::string kNote = "≪注意≫ 指定された範囲の番号を数値で設定してください。\r\r";

AccountResult Account(const std::string& utf8Name, int count) {
    AccountResult r;
    r.Name = cp932::FromUtf8(utf8Name);
    r.Count = count;
    for (int i = 0; i < std::min(count, kMaxMails); ++i) {
        r.Subjects[i] = cp932::FromUtf8("件名" + std::to_string(i + 1));
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

class RemoteMenuTest : public ::testing::Test {
protected:
    FakeHost host;
    TSettings settings;
    RecordedPrompts prompts;
    RemoteMenu menu{host, settings, prompts};
    QDateTime clock{QDate(2026, 1, 2), QTime(9, 5, 30)};

    void SetUp() override {
        menu.Now = [this] { return clock; };
        host.results[0] = Account("Home", 3);
        host.results[1] = Account("Work", 0);
        host.results[2] = Account("Club", 1);
        host.totalMail = 4;
    }

    // Where the requests come from.
    std::string source = "10.9.8.7";

    void Request(const std::string& machine = "PC02", const std::string& disc = "FPN") {
        menu.FPNMenuRequest("hanako", machine, disc, source);
    }
    void Answer(const std::string& tag, const std::string& value,
                const std::string& machine = "PC02", const std::string& disc = "FPN") {
        menu.FPNInputReturn(tag, value, "hanako", machine, disc, source);
    }
    // Runs what the menu queued (a check start).
    void Settle() { QCoreApplication::processEvents(); }
    // The one prompt sent since the last call; at most one may be sent per call.
    Sent Took() {
        EXPECT_EQ(prompts.sent.size(), 1u);
        Sent s = prompts.sent.empty() ? Sent{} : prompts.sent.back();
        prompts.sent.clear();
        return s;
    }
    bool NothingSent() const { return prompts.sent.empty(); }
    // `header` empty: whatever time the clock shows.
    void ExpectPasswordPrompt(const Sent& s, const std::string& header = {}) {
        const std::string ask = "Pimを制御するにはパスワードが必要です。";
        EXPECT_EQ(s.kind, "line");
        if (header.empty())
            EXPECT_TRUE(s.message.ends_with("-】\r\r" + ask)) << s.message;
        else
            EXPECT_EQ(s.message, header + ask);
        EXPECT_EQ(s.caption, "パスワード");
        EXPECT_EQ(s.tag, "Password");
    }
    void ExpectTopMenu(const Sent& s) {
        EXPECT_EQ(s.kind, "select");
        EXPECT_EQ(s.tag, "MenuSelect");
    }
    void LogIn(const std::string& machine = "PC02", const std::string& disc = "FPN") {
        Answer("Password", settings.Password, machine, disc);
        ExpectTopMenu(Took());
    }
};

TEST_F(RemoteMenuTest, WithoutPasswordCheckARequestGetsTheTopMenuAtOnce) {
    Request("PC07", "FPN2");
    const Sent s = Took();
    EXPECT_EQ(s.kind, "select");
    EXPECT_EQ(s.message, kHeader + "メールが 4通届いています。\r\r" + kChoose);
    EXPECT_EQ(s.list, "メールチェック開始&:着信メール確認");
    EXPECT_EQ(s.values, "MailCheck&:Mail");
    EXPECT_EQ(s.tag, "MenuSelect");
    EXPECT_EQ(s.machine, "PC07");
    EXPECT_EQ(s.discrimination, "FPN2");
}

TEST_F(RemoteMenuTest, TheTopMenuTellsTheMailCountAndWhatIsRunningAtTheClocksTime) {
    struct Case {
        int total, checkIndex;
        QTime time;
        std::string expected;
    } cases[] = {
        {0, -1, QTime(23, 59, 59), "【Pim Menu -23時59分-】\r\r" + kChoose},
        {0, 0, QTime(0, 7),
         "【Pim Menu -00時07分-】\r\r現在、メールチェックを実行中です。\r\r" + kChoose},
        {12, 19, QTime(9, 5),
         kHeader + "メールが 12通届いています。\r\r現在、メールチェックを実行中です。\r\r" +
             kChoose},
        {1, -2, QTime(9, 5),
         kHeader +
             "メールが 1通届いています。\r\r"
             "現在、メールチェックの為にダイヤルアップ接続処理を実行中です。\r\r" +
             kChoose},
    };
    for (const Case& c : cases) {
        host.totalMail = c.total;
        host.checkIndex = c.checkIndex;
        clock.setTime(c.time);
        Answer("Menu", "");
        EXPECT_EQ(Took().message, c.expected) << c.total << " " << c.checkIndex;
    }
}

TEST_F(RemoteMenuTest, ThePasswordOpensTheMenuAndAWrongOneOnlySaysSo) {
    settings.PasswordCheck = true;
    settings.Password = "Secret";
    Request();
    ExpectPasswordPrompt(Took(), kHeader);

    for (const std::string wrong : {"secret", "", "Secret "}) {
        Answer("Password", wrong);
        const Sent s = Took();
        EXPECT_EQ(s.kind, "message");
        EXPECT_EQ(s.message, "パスワードが違います。");
    }
    Answer("Password", "Secret");
    const Sent s = Took();
    ExpectTopMenu(s);
    EXPECT_EQ(s.message, kHeader + "メールが 4通届いています。\r\r" + kChoose);

    settings.Password.clear();
    Answer("Password", "", "PC03");
    ExpectTopMenu(Took());
}

TEST_F(RemoteMenuTest, ADialogOrOfflineModeRefusesEverythingBeforeThePassword) {
    settings.PasswordCheck = true;
    host.dialogOpen = true;
    host.offline = true;
    Request();
    EXPECT_EQ(Took().message, kBusy);
    Answer("Password", "");
    EXPECT_EQ(Took().message, kBusy);
    host.dialogOpen = false;
    Request();
    EXPECT_EQ(Took().message, kOffline);
    Answer("MenuSelect", "MailCheck");
    EXPECT_EQ(Took().message, kOffline);

    // A console that did give the password is refused just the same.
    host.offline = false;
    LogIn();
    host.dialogOpen = true;
    for (const std::string tag : {"Menu", "MenuSelect", "Info", "InfoMain0"}) {
        Answer(tag, tag == "MenuSelect" ? "MailCheck" : "1");
        EXPECT_EQ(Took().message, kBusy) << tag;
    }
    EXPECT_EQ(host.checksStarted, 0);
}

TEST_F(RemoteMenuTest, ACheckStartsOnlyWhenIdleAndConnectedAsTheSettingAsks) {
    const std::string running = "既にメールチェックを実行中です。";
    const std::string noConnection =
        "ダイヤルアップ接続されていないため、メールチェックを実行することができません。";
    const std::string started = "メールチェックを開始しました。\r\nメールチェックの結果はトップメニ"
                                "ューより参照してください。";
    struct Case {
        int checkIndex, customizeDial, activeEntries;
        std::string expected;
    } cases[] = {
        {-2, 0, 1, running}, {0, 0, 1, running},  {19, 1, 1, running}, {-1, 1, 0, noConnection},
        {-1, 1, 1, started}, {-1, 0, 0, started}, {-1, 2, 0, started},
    };
    for (const Case& c : cases) {
        host.checkIndex = c.checkIndex;
        settings.CustomizeDial = c.customizeDial;
        host.activeEntries = c.activeEntries;
        host.checksStarted = 0;
        clock = clock.addSecs(61);
        Answer("MenuSelect", "MailCheck");
        EXPECT_EQ(Took().message, c.expected) << c.checkIndex << " " << c.customizeDial;
        // Started from the event loop, never inside the station's handler.
        EXPECT_EQ(host.checksStarted, 0);
        Settle();
        EXPECT_EQ(host.checksStarted, c.expected == started ? 1 : 0);
    }
    for (const std::string other : {"mailcheck", "", "Menu"}) {
        Answer("MenuSelect", other);
        EXPECT_TRUE(NothingSent()) << other;
    }
    Answer("Unknown", "MailCheck");
    EXPECT_TRUE(NothingSent());

    // A dialog opened before the queued start came to run: nothing starts.
    clock = clock.addSecs(61);
    host.checksStarted = 0;
    Answer("MenuSelect", "MailCheck");
    EXPECT_EQ(Took().message, started);
    host.dialogOpen = true;
    Settle();
    EXPECT_EQ(host.checksStarted, 0);
    // ... and the start that did not happen does not hold back the next one.
    host.dialogOpen = false;
    Answer("MenuSelect", "MailCheck");
    Took();
    Settle();
    EXPECT_EQ(host.checksStarted, 1);
}

TEST_F(RemoteMenuTest, TheOverviewListsOnlyAccountsWithMail) {
    host.results[3] = Account("", 2); // a free slot never shows
    host.results[4] = Account("Error", -4);
    Answer("MenuSelect", "Mail");
    const Sent s = Took();
    EXPECT_EQ(s.kind, "select");
    EXPECT_EQ(s.message,
              kHeader + "全部でメールが 4通届いています。\r\r"
                        "メールの詳細情報を参照したい場合は、一覧から対象を選択してください。");
    EXPECT_EQ(s.list, "Home -3通-&:Club -1通-");
    EXPECT_EQ(s.values, "0&:2");
    EXPECT_EQ(s.tag, "Info");

    host.totalMail = 0;
    Answer("MenuSelect", "Mail");
    EXPECT_EQ(Took().message, "メールは届いていません。");
    Answer("Menu", "");
    EXPECT_EQ(Took().message, kHeader + kChoose);
}

TEST_F(RemoteMenuTest, AChosenAccountAsksForAMailNumberOrSaysWhyNot) {
    Answer("Info", "0");
    Sent s = Took();
    EXPECT_EQ(s.kind, "line");
    EXPECT_EQ(s.message, NumberPrompt("", "Home", 3, 3));
    EXPECT_EQ(s.caption, "メール番号");
    EXPECT_EQ(s.tag, "InfoMain0");

    // The tag carries the answer as received.
    Answer("Info", "02");
    EXPECT_EQ(Took().tag, "InfoMain02");

    Answer("Info", "1");
    EXPECT_EQ(Took().message, "Workには、メールは届いていません。\r\n"
                              "既にメールが受信されてしまった可能性があります。\r\n"
                              "再度、メールチェックを実行してみてください。");
    for (const std::string slot : {"5", "19", "20", "-1", "x", "", "4294967296"}) {
        Answer("Info", slot);
        EXPECT_EQ(Took().message, kNoAccount) << slot;
    }
}

TEST_F(RemoteMenuTest, AMailNumberInRangeGivesTheMailAndAnyOtherAsksAgain) {
    Answer("InfoMain0", "2");
    EXPECT_EQ(Took().message, "≪タイトル≫\r\n 件名2\r\n\r\n≪送信者≫\r\n sender2@example.jp"
                              "\r\n\r\n≪受信日時≫\r\n 2026/01/02");
    Answer("InfoMain2", "1");
    EXPECT_EQ(Took().message, "≪タイトル≫\r\n 件名1\r\n\r\n≪送信者≫\r\n sender1@example.jp"
                              "\r\n\r\n≪受信日時≫\r\n 2026/01/01");

    for (const std::string n : {"0", "4", "abc", "", "-1", "1.0"}) {
        Answer("InfoMain0", n);
        const Sent s = Took();
        EXPECT_EQ(s.kind, "line") << n;
        EXPECT_EQ(s.message, NumberPrompt(kNote, "Home", 3, 3)) << n;
        EXPECT_EQ(s.tag, "InfoMain0") << n;
    }

    // Results renewed since the list was sent, and tags no list ever carried:
    // a number that is no slot is told so, anything else is not answered.
    Answer("InfoMain1", "1");
    EXPECT_EQ(Took().message.substr(0, 4), "Work");
    for (const std::string tag : {"InfoMain7", "InfoMain20", "InfoMain-1", "InfoMain99999999999"}) {
        Answer(tag, "1");
        EXPECT_EQ(Took().message, kNoAccount) << tag;
    }
    for (const std::string tag :
         {"InfoMain", "InfoMainx", "InfoMain0x", "InfoMain 0", "InfoMain-", "Infos", "info"}) {
        Answer(tag, "1");
        EXPECT_TRUE(NothingSent()) << tag;
    }
}

TEST_F(RemoteMenuTest, MailsBeyondTheReadOnesAreNotOffered) {
    host.results[5] = Account("Big", 300);
    Answer("Info", "5");
    EXPECT_EQ(Took().message, NumberPrompt("", "Big", 300, 255));
    Answer("InfoMain5", "255");
    EXPECT_NE(Took().message.find("件名255"), std::string::npos);
    Answer("InfoMain5", "256");
    EXPECT_EQ(Took().message, NumberPrompt(kNote, "Big", 300, 255));
}

TEST_F(RemoteMenuTest, OnlyAConsoleThatGaveThePasswordIsServed) {
    settings.PasswordCheck = true;
    settings.Password = "pw";
    const std::pair<std::string, std::string> answers[] = {
        {"Menu", ""},       {"MenuSelect", "MailCheck"}, {"MenuSelect", "Mail"}, {"Info", "0"},
        {"InfoMain0", "1"}, {"InfoMain0", "9"},          {"Whatever", "x"},
    };
    for (const auto& [tag, value] : answers) {
        Answer(tag, value);
        ExpectPasswordPrompt(Took());
    }
    EXPECT_EQ(host.checksStarted, 0);

    LogIn();
    Answer("InfoMain0", "1");
    EXPECT_EQ(Took().kind, "message");
    Answer("MenuSelect", "MailCheck");
    Took();
    Settle();
    EXPECT_EQ(host.checksStarted, 1);
    // The same machine under another kind of console, and another machine, are strangers.
    Answer("InfoMain0", "1", "PC02", "FPN2");
    ExpectPasswordPrompt(Took());
    Answer("InfoMain0", "1", "PC03", "FPN");
    ExpectPasswordPrompt(Took());
    // So is a station that writes the console's names from another address,
    // however often it asks: it does not keep the console's admission alive.
    source = "10.9.8.66";
    for (int i = 0; i < 3; ++i) {
        clock = clock.addSecs(300);
        Answer("InfoMain0", "1");
        ExpectPasswordPrompt(Took());
    }
    source = "10.9.8.7";
    Answer("Menu", "");
    ExpectPasswordPrompt(Took());
    // Admission holds only while the station's table sends the answers where
    // they went when the password was given.
    LogIn();
    prompts.addresses["PC02"] = "10.9.8.66";
    Answer("Menu", "");
    ExpectPasswordPrompt(Took());
    prompts.addresses.clear();
    Answer("Menu", "");
    ExpectTopMenu(Took());

    // A changed password must be given anew.
    settings.Password = "new";
    Answer("Menu", "");
    ExpectPasswordPrompt(Took());
    Answer("Menu", "");
    ExpectPasswordPrompt(Took());
    LogIn();
    Answer("Menu", "");
    ExpectTopMenu(Took());
}

TEST_F(RemoteMenuTest, ThePasswordIsForgottenAfterTenQuietMinutesOrALogout) {
    settings.PasswordCheck = true;
    LogIn();
    // Each served answer renews it.
    clock = clock.addSecs(599);
    Answer("Menu", "");
    ExpectTopMenu(Took());
    clock = clock.addSecs(600);
    Answer("Menu", "");
    ExpectTopMenu(Took());
    clock = clock.addSecs(601);
    Answer("Menu", "");
    ExpectPasswordPrompt(Took(), "【Pim Menu -09時35分-】\r\r");
    // Forgotten for good, not only while the clock reads late.
    clock = clock.addSecs(-601);
    Answer("Menu", "");
    ExpectPasswordPrompt(Took());

    LogIn();
    LogIn("PC03");
    menu.ConsoleLoggedOut("PC03", "FPN");
    menu.ConsoleLoggedOut("PC02", "FPN2");
    Answer("Menu", "", "PC03");
    ExpectPasswordPrompt(Took());
    Answer("Menu", "");
    ExpectTopMenu(Took());
    menu.ConsoleLoggedOut("PC02", "FPN");
    Answer("Menu", "");
    ExpectPasswordPrompt(Took());

    // A clock set back does not keep a console in.
    LogIn();
    clock = clock.addSecs(-1);
    Answer("Menu", "");
    ExpectPasswordPrompt(Took());
}

TEST_F(RemoteMenuTest, TheMemoryKeepsTheConsolesThatGaveThePasswordLast) {
    settings.PasswordCheck = true;
    for (size_t i = 0; i <= RemoteMenu::kRememberedConsoles; ++i) {
        clock = clock.addSecs(1);
        LogIn("PC" + std::to_string(i));
    }
    Answer("Menu", "", "PC1");
    ExpectTopMenu(Took());
    Answer("Menu", "", "PC" + std::to_string(RemoteMenu::kRememberedConsoles));
    ExpectTopMenu(Took());
    Answer("Menu", "", "PC0");
    ExpectPasswordPrompt(Took(), "【Pim Menu -09時09分-】\r\r");
}

TEST_F(RemoteMenuTest, OutsideTextCannotCutFieldsOrChoices) {
    host.results[0].Name = cp932::FromUtf8("A&|B&:C");
    host.results[0].Subjects[0] = "a&|b&:c";
    host.results[0].Senders[0] = "x&|y";
    host.results[0].Dates[0] = "d&|";
    Answer("MenuSelect", "Mail");
    const Sent overview = Took();
    EXPECT_EQ(overview.list, "A&｜B&：C -3通-&:Club -1通-");
    EXPECT_EQ(overview.values, "0&:2");
    Answer("Info", "0");
    EXPECT_EQ(Took().message, NumberPrompt("", "A&｜B&:C", 3, 3));
    Answer("InfoMain0", "1");
    EXPECT_EQ(Took().message, "≪タイトル≫\r\n a&｜b&:c\r\n\r\n≪送信者≫\r\n x&｜y"
                              "\r\n\r\n≪受信日時≫\r\n d&｜");
    Answer("InfoMain2", "x");
    EXPECT_EQ(Took().message, NumberPrompt(kNote, "Club", 1, 1));
}

TEST_F(RemoteMenuTest, PasswordGuessesAndCheckStartsFromTheLanAreRationed) {
    settings.PasswordCheck = true;
    settings.Password = "pw";
    const std::string wrong = "パスワードが違います。";
    struct Step {
        int seconds; // after the previous step
        std::string source, answer, expected;
    } steps[] = {
        {0, "10.0.0.5", "a", wrong},
        {1, "10.0.0.5", "b", wrong},
        {1, "10.0.0.5", "c", wrong},
        {1, "10.0.0.5", "d", wrong},
        {1, "10.0.0.5", "e", wrong},
        // Five wrong: its password answers go unheard for a minute, the right one too.
        {1, "10.0.0.5", "f", ""},
        {1, "10.0.0.5", "pw", ""},
        {0, "10.0.0.6", "x", wrong},
        {56, "10.0.0.5", "pw", ""},
        {3, "10.0.0.5", "g", wrong},
        {0, "10.0.0.5", "h", wrong},
        {0, "10.0.0.5", "i", wrong},
        {0, "10.0.0.5", "j", wrong},
        // The right one forgets the wrong ones.
        {0, "10.0.0.5", "pw", "menu"},
        {0, "10.0.0.5", "k", wrong},
        {0, "10.0.0.5", "l", wrong},
        {0, "10.0.0.5", "m", wrong},
        {0, "10.0.0.5", "n", wrong},
        // Mistakes a minute apart do not add up.
        {61, "10.0.0.5", "o", wrong},
        {0, "10.0.0.5", "p", wrong},
        {0, "10.0.0.5", "q", wrong},
        {0, "10.0.0.5", "r", wrong},
        {0, "10.0.0.5", "s", wrong},
        {0, "10.0.0.5", "t", ""},
    };
    for (const Step& step : steps) {
        clock = clock.addSecs(step.seconds);
        source = step.source;
        Answer("Password", step.answer);
        const std::string what = step.source + " " + step.answer;
        if (step.expected.empty()) {
            EXPECT_TRUE(NothingSent()) << what;
            prompts.sent.clear();
        } else if (step.expected == "menu") {
            ExpectTopMenu(Took());
        } else {
            EXPECT_EQ(Took().message, step.expected) << what;
        }
    }
    // The menu request itself is still answered.
    Request();
    ExpectPasswordPrompt(Took());

    // However often a console asks, one check a minute starts; the others are
    // answered alike.
    settings.PasswordCheck = false;
    const std::string started = "メールチェックを開始しました。\r\nメールチェックの結果はトップメニ"
                                "ューより参照してください。";
    for (const int seconds : {0, 1, 30, 29, 1, 59, 61}) {
        clock = clock.addSecs(seconds);
        Answer("MenuSelect", "MailCheck");
        EXPECT_EQ(Took().message, started);
        Settle();
    }
    EXPECT_EQ(host.checksStarted, 3);
}

TEST_F(RemoteMenuTest, ALongMailIsCutToWhatTheWireCarriesAtWholeCharacters) {
    std::string subject = "x"; // so that a cut at an even byte count splits a character
    for (int i = 0; i < 25000; ++i)
        subject += cp932::FromUtf8("件");
    host.results[0].Subjects[0] = subject;
    host.results[0].Senders[0] = std::string(3000, 's');
    const std::string whole = cp932::ToUtf8(subject) + "\r\n\r\n≪送信者≫\r\n " +
                              std::string(3000, 's') + "\r\n\r\n≪受信日時≫\r\n 2026/01/01";
    for (const size_t room : {size_t{60000}, size_t{2000}, size_t{101}}) {
        prompts.room = room;
        Answer("InfoMain0", "1");
        const Sent s = Took();
        const size_t bytes = cp932::FromUtf8(s.message).size();
        if (room == 60000) {
            EXPECT_EQ(s.message, "≪タイトル≫\r\n " + whole);
            continue;
        }
        EXPECT_LE(bytes, room);
        EXPECT_GE(bytes, room - 1) << "the cut leaves no more than half a character unused";
        EXPECT_EQ(s.message.find("〓"), std::string::npos) << room;
        EXPECT_TRUE(s.message.starts_with("≪タイトル≫\r\n x件件")) << room;
        // The short date keeps what it has; the sender and the subject share the rest.
        EXPECT_TRUE(s.message.ends_with("\r\n\r\n≪受信日時≫\r\n 2026/01/01")) << room;
    }
}

// The consoles read the texts as every station sends them: an English desktop
// changes nothing on the LAN, the summaries' fallbacks and dates included.
TEST_F(RemoteMenuTest, AnEnglishDesktopSendsTheSameTexts) {
    host.results[0].Subjects[1] = cp932::FromUtf8("（タイトル未設定）");
    host.results[0].Senders[1] = cp932::FromUtf8("（差出人不明）");
    host.results[0].Dates[1] = cp932::FromUtf8("2024年12月02日（Monday） 10:00:00");
    host.results[3] = Account("Error", -4);
    const auto walk = [&] {
        std::vector<std::string> texts;
        Request();
        const std::pair<const char*, const char*> answers[] = {
            {"Menu", ""},  {"MenuSelect", "Mail"}, {"Info", "0"},
            {"Info", "1"}, {"InfoMain0", "2"},     {"InfoMain0", "9"}};
        for (const auto& [tag, value] : answers)
            Answer(tag, value);
        for (const Sent& s : prompts.sent)
            texts.push_back(s.kind + "|" + s.message + "|" + s.list + "|" + s.values + "|" +
                            s.caption);
        prompts.sent.clear();
        return texts;
    };
    const std::vector<std::string> japanese = walk();
    const bool english = SetUiLanguage(UiLanguage::English);
    const std::vector<std::string> inEnglish = walk();
    SetUiLanguage(UiLanguage::Japanese);
    ASSERT_TRUE(english);
    ASSERT_EQ(japanese.size(), 7u);
    EXPECT_EQ(inEnglish, japanese);
    EXPECT_EQ(japanese[5],
              "message|≪タイトル≫\r\n （タイトル未設定）\r\n\r\n≪送信者≫\r\n "
              "（差出人不明）\r\n\r\n≪受信日時≫\r\n 2024年12月02日（Monday） 10:00:00|||");
}

// The menu on a real station, as the main window wires it, and a console
// PC02 at kConsole in its table; what the station sends is heard on the tap.
class RemoteMenuOnAStation : public ::testing::Test {
protected:
    const std::string kConsole = "10.9.8.7";
    uint16_t port = test::FreshPort();
    test::WireTap tap{port};
    TFernpostNetwork station;
    FakeHost host;
    TSettings settings;
    StationPrompts prompts{station};
    RemoteMenu menu{host, settings, prompts};

    void SetUp() override {
        ASSERT_TRUE(test::OpenPimStation(station, port));
        station.Security = true; // as Pim's own
        menu.Now = [] { return QDateTime(QDate(2026, 1, 2), QTime(9, 5)); };
        station.OnMenuRequest = [&](auto* fpn, auto& handle, auto& machine, auto& disc) {
            menu.FPNMenuRequest(handle, machine, disc, fpn->RecvSenderIP());
        };
        station.OnInputReturn = [&](auto* fpn, auto& tag, auto& value, auto& handle, auto& machine,
                                    auto& disc) {
            menu.FPNInputReturn(tag, value, handle, machine, disc, fpn->RecvSenderIP());
        };
        test::Inject(station, fpn::CommandText(
                                  "LOGIN", {"PC02", kConsole, "FPN", "hanako", "100", "0", "1"}));
    }

    // A text from the console, addressed to the station.
    std::string FromConsole(const std::string& command, std::vector<std::string> fields) const {
        fields.insert(fields.begin(), {station.IPAddress(), "Pim", "hanako", "PC02"});
        return fpn::CommandText(command, fields);
    }
    void Inject(const std::string& command, const std::vector<std::string>& fields) {
        test::Inject(station, FromConsole(command, fields), kConsole);
    }
};

// The texts on the wire keep every field in its place.
TEST_F(RemoteMenuOnAStation, PromptsReachTheConsoleWithEveryFieldInPlace) {
    host.results[0] = Account("A&|B", 1);
    host.results[0].Subjects[0] = "a&|b";
    host.totalMail = 1;
    Inject("MENU_CHECK", {kConsole, "FPN"});
    ASSERT_TRUE(tap.WaitFor("INPUT_SELECT"));
    const std::string intro = cp932::FromUtf8(kHeader + "メールが 1通届いています。\r\r" + kChoose);
    EXPECT_EQ(tap.Heard("INPUT_SELECT")[0],
              fpn::CommandText(
                  "INPUT_SELECT",
                  {kConsole, "FPN", "Pim <taro>", station.MachineName(), "Pim", "MenuSelect", intro,
                   cp932::FromUtf8("メールチェック開始&:着信メール確認"), "MailCheck&:Mail"}));

    Inject("INPUT_RETURN", {"FPN", "Info", "0"});
    ASSERT_TRUE(tap.WaitFor("INPUT_LINE"));
    const std::string line = tap.Heard("INPUT_LINE")[0];
    EXPECT_EQ(fpn::GetField(line, 6), "InfoMain0");
    EXPECT_EQ(cp932::ToUtf8(fpn::GetField(line, 7)), NumberPrompt("", "A&｜B", 1, 1));
    EXPECT_EQ(cp932::ToUtf8(fpn::GetField(line, 8)), "メール番号");
    EXPECT_EQ(fpn::GetField(line, 9), "");

    Inject("INPUT_RETURN", {"FPN", "InfoMain0", "1"});
    ASSERT_TRUE(tap.WaitFor("INPUT_MESSAGE"));
    const std::string mail = tap.Heard("INPUT_MESSAGE")[0];
    EXPECT_EQ(cp932::ToUtf8(fpn::GetField(mail, 6)),
              "≪タイトル≫\r\n a&｜b\r\n\r\n≪送信者≫\r\n "
              "sender1@example.jp\r\n\r\n≪受信日時≫\r\n 2026/01/01");
    EXPECT_EQ(fpn::GetField(mail, 7), "");

    // A subject longer than a scrambled text can be still leaves a mail to read.
    std::string subject;
    for (int i = 0; i < 35000; ++i)
        subject += cp932::FromUtf8("件");
    host.results[1] = Account("Big", 1);
    host.results[1].Subjects[0] = subject;
    Inject("INPUT_RETURN", {"FPN", "InfoMain1", "1"});
    ASSERT_TRUE(tap.WaitFor("INPUT_MESSAGE", 2));
    const std::string big = cp932::ToUtf8(fpn::GetField(tap.Heard("INPUT_MESSAGE")[1], 6));
    EXPECT_TRUE(big.starts_with("≪タイトル≫\r\n 件件件"));
    EXPECT_TRUE(big.ends_with("件\r\n\r\n≪送信者≫\r\n sender1@example.jp\r\n\r\n≪受信日時≫\r\n "
                              "2026/01/01"));
}

// A check that must dial first waits for the connection in an event loop of
// its own; the station goes on reading and answering meanwhile.
TEST_F(RemoteMenuOnAStation, ItAnswersWhileACheckStartedFromTheLanDials) {
    const std::string dialling = "現在、メールチェックの為にダイヤルアップ接続処理を実行中です。";
    const auto diallingLineHeard = [&] {
        for (const std::string& select : tap.Heard("INPUT_SELECT")) {
            if (cp932::ToUtf8(fpn::GetField(select, 7)).find(dialling) != std::string::npos)
                return true;
        }
        return false;
    };
    bool heardWhileDialling = false;
    host.onStart = [&] {
        host.checkIndex = -2;
        tap.Send(FromConsole("INPUT_RETURN", {"FPN", "Menu", ""}));
        heardWhileDialling = test::RunUntil(diallingLineHeard, 5s);
        host.checkIndex = -1;
    };
    tap.Send(FromConsole("INPUT_RETURN", {"FPN", "MenuSelect", "MailCheck"}));
    ASSERT_TRUE(test::RunUntil([&] { return host.checksStarted == 1; }, 10s));
    EXPECT_TRUE(heardWhileDialling);
    EXPECT_EQ(tap.Heard("INPUT_MESSAGE").size(), 1u) << "check-started";
}

} // namespace
} // namespace pim
