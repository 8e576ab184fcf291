// The remote menu driven through its two handlers, with the program's state
// faked and every prompt recorded; the station adapter once over loopback.
#include "app/RemoteMenu.h"

#include "app/StationPrompts.h"
#include "common/Cp932.h"
#include "remote/WireTap.h"

#include <gtest/gtest.h>

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

    bool DialogOpen() const override { return dialogOpen; }
    bool Offline() const override { return offline; }
    int CheckIndex() const override { return checkIndex; }
    int TotalMail() const override { return totalMail; }
    const Results& ShownResults() const override { return results; }
    int ActiveEntryCount() override { return activeEntries; }
    void StartCheck() override { ++checksStarted; }
};

// One prompt as sent, its texts in UTF-8 for readable expectations.
struct Sent {
    std::string kind, message, list, values, caption, tag, machine, discrimination;
};

struct RecordedPrompts : RemotePrompts {
    std::vector<Sent> sent;

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

    void Request(const std::string& machine = "PC02", const std::string& disc = "FPN") {
        menu.FPNMenuRequest("hanako", machine, disc);
    }
    void Answer(const std::string& tag, const std::string& value,
                const std::string& machine = "PC02", const std::string& disc = "FPN") {
        menu.FPNInputReturn(tag, value, "hanako", machine, disc);
    }
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
        Answer("MenuSelect", "MailCheck");
        EXPECT_EQ(Took().message, c.expected) << c.checkIndex << " " << c.customizeDial;
        EXPECT_EQ(host.checksStarted, c.expected == started ? 1 : 0);
    }
    for (const std::string other : {"mailcheck", "", "Menu"}) {
        Answer("MenuSelect", other);
        EXPECT_TRUE(NothingSent()) << other;
    }
    Answer("Unknown", "MailCheck");
    EXPECT_TRUE(NothingSent());
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

    // Results renewed since the list was sent, and tags no list ever carried.
    Answer("InfoMain1", "1");
    EXPECT_EQ(Took().message.substr(0, 4), "Work");
    for (const std::string tag : {"InfoMain7", "InfoMain20", "InfoMain", "InfoMainx"}) {
        Answer(tag, "1");
        EXPECT_EQ(Took().message, kNoAccount) << tag;
    }
    Answer("Infos", "0");
    Answer("info", "0");
    EXPECT_TRUE(NothingSent());
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
    EXPECT_EQ(host.checksStarted, 1);
    // The same machine under another kind of console, and another machine, are strangers.
    Answer("InfoMain0", "1", "PC02", "FPN2");
    ExpectPasswordPrompt(Took());
    Answer("InfoMain0", "1", "PC03", "FPN");
    ExpectPasswordPrompt(Took());

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

// The adapter, with the menu on a real station: the texts on the wire keep
// every field in its place.
TEST(RemoteMenuOnAStation, PromptsReachTheConsoleWithEveryFieldInPlace) {
    const uint16_t port = test::FreshPort();
    test::WireTap tap{port};
    TFernpostNetwork station;
    ASSERT_TRUE(test::OpenPimStation(station, port));

    FakeHost host;
    host.results[0] = Account("A&|B", 1);
    host.results[0].Subjects[0] = "a&|b";
    host.totalMail = 1;
    TSettings settings;
    StationPrompts prompts{station};
    RemoteMenu menu{host, settings, prompts};
    menu.Now = [] { return QDateTime(QDate(2026, 1, 2), QTime(9, 5)); };
    station.OnMenuRequest = [&](auto*, auto& handle, auto& machine, auto& disc) {
        menu.FPNMenuRequest(handle, machine, disc);
    };
    station.OnInputReturn = [&](auto*, auto& tag, auto& value, auto& handle, auto& machine,
                                auto& disc) {
        menu.FPNInputReturn(tag, value, handle, machine, disc);
    };

    const std::string console = "10.9.8.7";
    const auto fromConsole = [&](const std::string& command, std::vector<std::string> fields) {
        fields.insert(fields.begin(), {station.IPAddress(), "Pim", "hanako", "PC02"});
        test::Inject(station, fpn::CommandText(command, fields), console);
    };
    test::Inject(station,
                 fpn::CommandText("LOGIN", {"PC02", console, "FPN", "hanako", "100", "0", "1"}));
    fromConsole("MENU_CHECK", {console, "FPN"});
    ASSERT_TRUE(tap.WaitFor("INPUT_SELECT"));
    const std::string intro = cp932::FromUtf8(kHeader + "メールが 1通届いています。\r\r" + kChoose);
    EXPECT_EQ(tap.Heard("INPUT_SELECT")[0],
              fpn::CommandText(
                  "INPUT_SELECT",
                  {console, "FPN", "Pim <taro>", station.MachineName(), "Pim", "MenuSelect", intro,
                   cp932::FromUtf8("メールチェック開始&:着信メール確認"), "MailCheck&:Mail"}));

    fromConsole("INPUT_RETURN", {"FPN", "Info", "0"});
    ASSERT_TRUE(tap.WaitFor("INPUT_LINE"));
    const std::string line = tap.Heard("INPUT_LINE")[0];
    EXPECT_EQ(fpn::GetField(line, 6), "InfoMain0");
    EXPECT_EQ(cp932::ToUtf8(fpn::GetField(line, 7)), NumberPrompt("", "A&｜B", 1, 1));
    EXPECT_EQ(cp932::ToUtf8(fpn::GetField(line, 8)), "メール番号");
    EXPECT_EQ(fpn::GetField(line, 9), "");

    fromConsole("INPUT_RETURN", {"FPN", "InfoMain0", "1"});
    ASSERT_TRUE(tap.WaitFor("INPUT_MESSAGE"));
    const std::string mail = tap.Heard("INPUT_MESSAGE")[0];
    EXPECT_EQ(cp932::ToUtf8(fpn::GetField(mail, 6)),
              "≪タイトル≫\r\n a&｜b\r\n\r\n≪送信者≫\r\n "
              "sender1@example.jp\r\n\r\n≪受信日時≫\r\n 2026/01/01");
    EXPECT_EQ(fpn::GetField(mail, 7), "");
}

} // namespace
} // namespace pim
