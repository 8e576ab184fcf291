#include "OptionFormFixture.h"
#include "settings/SettingsFile.h"

#include <QComboBox>
#include <QListWidget>

namespace pim {
namespace {

using Names = std::vector<std::string>;

// Hand-edited counts beyond what the edits hold, an unknown sound kind, a
// dial-up name listed twice; the list ends at the first slot without a name.
TEST_F(OptionFormTest, OpensOnTheAccountsPageFilledFromTheSettings) {
    Settings.ScheduleTimeCount = 12345;
    Settings.ScheduleTimeoutCount = -4;
    Settings.Kind = 7;
    Settings.CustomizeDial = 1;
    Settings.CustomizeDialName = "vpn";
    phonebook.entries = {"vpn", "mobile", "vpn"};
    phonebook.serviceError = true;
    Accounts = {Account("home"), Account("work", false), {}, Account("after-a-gap")};
    Open();
    EXPECT_EQ(form->tcOption->currentWidget(), form->tsAccount);
    ASSERT_EQ(Child<QListWidget>("clAccount")->count(), 2);
    EXPECT_EQ(Child<QListWidget>("clAccount")->item(1)->checkState(), Qt::Unchecked);
    EXPECT_EQ(Child<QLineEdit>("edScheduleTimeCount")->text() +
                  Child<QLineEdit>("edScheduleTimeoutCount")->text(),
              "99920");
    EXPECT_FALSE(Checked("rbSoundNone") || Checked("rbSoundBeep") || Checked("rbSoundWave"));
    EXPECT_EQ(Child<QComboBox>("cbCuDialSelect")->currentIndex(), 2) << "the last equal name";
    for (const char* n : {"rbCuDialNonMail", "cbScheduleDialup", "btUpdate", "btDelete"})
        EXPECT_FALSE(Enabled(n)) << n;
    EXPECT_NE(form->focusWidget(), Child("cbSettingTask")) << "showing moves no focus";
}

TEST_F(OptionFormTest, EachRuleEnablesItsDependentsAndDisablesThemAgain) {
    Settings.SettingAutoShow = false;
    Settings.SettingAutoShowCheck = Settings.SettingAutoShowChange = true;
    Settings.Login = true;
    Open();
    // A radio button is left for the sibling named second, a box by a second click.
    const std::vector<std::pair<Names, Names>> rules{
        {{"cbScheduleTime"}, {"edScheduleTimeCount", "laScheduleTime2", "cbScheduleTimeInfo"}},
        {{"cbScheduleTimeout"}, {"laScheduleTimeout1", "edScheduleTimeoutCount"}},
        {{"cbSettingTask"}, {"cbSettingTaskbar"}},
        {{"cbSettingAutoShow"}, {"cbSettingAutoShowCheck", "cbSettingAutoShowChange"}},
        {{"cbMailerAutoRun"}, {"cbMailerAutoRunSameCheck"}},
        {{"cbSettingDeconnect"}, {"cbScDialExistingNonDisconnect", "cbCuDialMailNonDisconnect"}},
        {{"rbSoundWave", "rbSoundBeep"}, {"laSoundWave", "edSoundRecv", "sbSoundSearchRecv"}},
        {{"rbCuDialAuto", "rbCuDialNonMail"}, {"laCuDialLabel", "cbCuDialSelect"}},
        {{"cbFPNPassword"}, {"laFPNPassword", "edFPNPassword"}},
        {{"rbFPNLogin", "rbFPNNone"}, {"cbFPNPassword"}},
    };
    for (const auto& [controls, dependents] : rules) {
        for (const bool on : {true, false}) {
            Click(on ? controls.front() : controls.back());
            for (const std::string& d : dependents)
                EXPECT_EQ(Enabled(d), on) << controls.front() << " -> " << d;
        }
    }
    Click("rbFPNLogin");
    Click("cbFPNPassword");
    Click("rbFPNNone");
    EXPECT_FALSE(Enabled("edFPNPassword"));
    Click("cbSettingAutoShow");
    Click("cbSettingAutoShowCheck");
    EXPECT_FALSE(Enabled("cbSettingAutoShowChange")) << "needs both boxes";
}

TEST_F(OptionFormTest, CountOnlyAsksFirstAndLocksTheNewMailOptions) {
    Settings.SettingAutoShow = Settings.SettingAutoShowCheck = Settings.MailerAutoRun = true;
    Settings.Kind = 1;
    Settings.SettingNotification = false;
    Open();
    const auto expect = [&](bool on) {
        for (const char* n : {"cbSettingAutoShowChange", "cbSettingOldMailNotShow",
                              "cbMailerAutoRunSameCheck", "cbSoundSameCheck"})
            EXPECT_EQ(Enabled(n), on) << n;
    };
    expect(true);
    answer = IDNO;
    Click("cbSettingCountOnly");
    EXPECT_EQ(boxes, Texts{"メールの着信数のみをチェックする場合、新着メールチェック関連の"
                           "オプションが使用できなくなります。\rよろしいですか？"});
    EXPECT_EQ(flags[0], mb::YesNo | mb::IconQuestion);
    EXPECT_FALSE(Checked("cbSettingCountOnly"));
    expect(true);
    answer = IDYES;
    Click("cbSettingCountOnly");
    Click("rbSoundWave");
    expect(false);
    Click("cbSettingCountOnly");
    EXPECT_EQ(boxes.size(), 2u) << "clearing asks nothing";
    expect(true);
    Click("rbSoundNone");
    EXPECT_FALSE(Enabled("cbSoundSameCheck")) << "no sound, nothing to hold back";
    Click("cbSettingNotification");
    EXPECT_TRUE(Enabled("cbSoundSameCheck")) << "it holds back the desktop notification too";
}

// Each row changes a setting, or not; Enter in an edit or the list acts as Ok.
TEST_F(OptionFormTest, EveryKindOfChangeEnablesApplyAndEnterActsAsOk) {
    phonebook.entries = {"a", "b"};
    Settings.CustomizeDial = Settings.Kind = 2;
    Accounts[0] = Account("home");
    QString chosen;
    const auto browse = [&](const char* button, const char* file) {
        chosen = QString::fromUtf8(file);
        form->RunFileDialog = [&](const TOptionForm::FileRequest&) { return chosen; };
        Click(button);
    };
    const std::vector<std::pair<bool, std::function<void()>>> changes{
        {true, [&] { Click("rbSoundBeep"); }},
        {true, [&] { Child<QLineEdit>("edMailerOption")->setText(QStringLiteral("-compose")); }},
        {true,
         [&] {
             Click("sbCustomizeDialup"), QTest::keyClick(Child("cbCuDialSelect"), Qt::Key_Down);
         }},
        {true,
         [&] {
             form->RunIconForm = [](const QString&) { return 1; }, Click("btMailerIconChange");
         }},
        {true, [&] { browse("sbSoundSearchRecv", "/tmp/new.wav"); }},
        {false, [&] { browse("sbSoundSearchRecv", ""); }},
        {false, [&] { Click("sbScheduleCheckEnd"); }},
        {false, [&] { form->PlaySound = [](const QString&) {}, Click("sbSoundTestRecv"); }},
    };
    for (const auto& [change, act] : changes) {
        Open();
        act();
        EXPECT_EQ(Enabled("btUpdate"), change) << "row " << &act - &changes[0].second;
    }
    for (const char* control : {"edMailerOption", "clAccount"}) {
        Open();
        Click("cbSettingEndCheck");
        Click("cbSettingNotification");
        Click(control);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        EXPECT_EQ(form->result(), QDialog::Accepted) << control;
        EXPECT_FALSE(form->isVisible() || Settings.SettingEndCheck || Settings.SettingNotification);
        EXPECT_EQ(Saved("Setting", "SettingEndCheck"), "0");
        Settings.SettingEndCheck = Settings.SettingNotification = true;
    }
}

// Added and changed accounts are trimmed; what was learnt of the server goes
// with its name, even a trimmed one; only Apply touches the program's accounts.
TEST_F(OptionFormTest, AccountsAreAddedTrimmedChangedAndTheirBoxesToggled) {
    TAccount home = Account("home");
    home.TlsRequired = true;
    home.TrustedCertificate = std::string(64, 'a');
    Accounts[0] = home;
    Open();
    auto* list = Child<QListWidget>("clAccount");
    const auto edit = [&](TOptionForm::AccountFields fields, const char* button, bool ok = true) {
        form->RunAccountForm = [=](TOptionForm::AccountFields& f) { return f = fields, ok; };
        Click(button);
    };
    edit({"  会社\t", " pop.example.jp ", "\ttaro ", " p w "}, "btAdd");
    ASSERT_EQ(list->count(), 2);
    EXPECT_EQ(form->EditAccounts[1],
              (TAccount{true, cp932::FromUtf8("会社"), "pop.example.jp", "taro", " p w "}));
    list->setCurrentRow(0);
    QTest::keyClick(list, Qt::Key_Space);
    edit({"cancelled", "h", "u", "p"}, "btAdd", false);
    EXPECT_EQ(list->count(), 2);
    for (const auto& [host, kept] :
         {std::pair{" pop.home.example ", true}, std::pair{"pop3s://pop.home.example", false}}) {
        edit({" 自宅 ", host, "other-id", ""}, "btSetting");
        EXPECT_EQ(list->item(0)->text(), QStringLiteral("自宅"));
        EXPECT_EQ(form->EditAccounts[0].TrustedCertificate.empty(), !kept) << host;
        EXPECT_FALSE(form->EditAccounts[0].Enabled);
    }
    EXPECT_TRUE(form->AccountsChanged && Enabled("btUpdate"));
    EXPECT_EQ(Accounts[0], home);
}

TEST_F(OptionFormTest, DeleteAsksUpDownStopAtTheEndsAndAddStopsAtTwenty) {
    for (int i = 0; i < kMaxAccounts; ++i)
        Accounts[size_t(i)] = Account("a" + std::to_string(i), i != 1);
    Open();
    auto* list = Child<QListWidget>("clAccount");
    EXPECT_FALSE(Enabled("btAdd"));
    list->setCurrentRow(0);
    EXPECT_FALSE(Enabled("btAccountUp"));
    Click("btAccountDown");
    EXPECT_EQ(list->currentRow(), 1);
    EXPECT_EQ(list->item(0)->checkState(), Qt::Unchecked);
    EXPECT_EQ(form->EditAccounts[1], Accounts[0]);
    EXPECT_FALSE(form->AccountsChanged) << "the order alone is no account change";
    list->setCurrentRow(19);
    EXPECT_TRUE(Enabled("btAccountUp") && !Enabled("btAccountDown"));
    answer = IDNO;
    list->setCurrentRow(1);
    Click("btDelete");
    EXPECT_EQ(boxes, Texts{"アカウント「a0」を削除してもよろしいですか？"});
    EXPECT_EQ(flags[0], mb::YesNo | mb::IconQuestion);
    EXPECT_EQ(list->count(), 20);
    answer = IDYES;
    Click("btDelete");
    ASSERT_EQ(list->count(), 19);
    EXPECT_EQ(form->EditAccounts[1], Accounts[2]);
    EXPECT_EQ(form->EditAccounts[19], TAccount{});
    for (const char* b : {"btAccountUp", "btAccountDown", "btSetting", "btDelete"})
        EXPECT_FALSE(Enabled(b)) << b;
    EXPECT_TRUE(form->AccountsChanged && Enabled("btAdd"));
    form->RunAccountForm = [](TOptionForm::AccountFields& f) { return f.Name = "new", true; };
    Click("btAdd");
    EXPECT_EQ(form->EditAccounts[19].Name, "new");
    EXPECT_FALSE(Enabled("btAdd"));
}

} // namespace
} // namespace pim
