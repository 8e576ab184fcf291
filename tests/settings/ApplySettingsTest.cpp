#include "OptionFormFixture.h"
#include "settings/SettingsFile.h"

#include <QListWidget>
#include <filesystem>

namespace pim {
namespace {

namespace fs = std::filesystem;
using ApplySettingsTest = OptionFormTest;

// A count out of its range is refused, with its panel shown and the focus on
// it, while its check is on; off, what the edit holds is saved, at least one.
TEST_F(ApplySettingsTest, ACountOutOfRangeIsRefusedOnlyWhileItsCheckIsOn) {
    const struct {
        bool on;
        const char* edit;
        const char* text;
        const char* saved; // none: refused
        const char* told;  // the program's first call
    } cases[] = {
        {true, "edScheduleTimeCount", "0", nullptr, nullptr},
        {true, "edScheduleTimeCount", "abc", nullptr, nullptr},
        {false, "edScheduleTimeCount", "0", "1", "TimeOut 60000"},
        {true, "edScheduleTimeoutCount", "19", nullptr, nullptr},
        {true, "edScheduleTimeoutCount", "20", "20", "TimeOut 20000"},
        {false, "edScheduleTimeoutCount", "x", "1", "TimeOut 60000"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.edit) + " \"" + c.text + "\"");
        const bool interval = std::string(c.edit) == "edScheduleTimeCount";
        Settings.ScheduleTime = interval && c.on;
        Settings.ScheduleTimeout = !interval && c.on;
        Settings.ScheduleTimeCount = 15;
        boxes.clear();
        host.calls.clear();
        fs::remove(profile);
        Open();
        Type(c.edit, c.text);
        form->tcOption->setCurrentWidget(interval ? form->tsCustomize : form->tsSchedule);
        QTest::mouseClick(Child("btOk"), Qt::LeftButton);
        if (c.saved) {
            EXPECT_EQ(Saved("Setting", c.edit + 2), c.saved);
            EXPECT_EQ(host.calls.at(0), c.told);
            continue;
        }
        EXPECT_EQ(boxes, Texts{interval ? "自動メールチェックの間隔は「1」～「999」の範囲で設定して"
                                          "ください。"
                                        : "タイムアウトの指定は「20」～「999」の範囲で設定して"
                                          "ください。"});
        EXPECT_EQ(flags.back(), mb::IconExclamation);
        EXPECT_TRUE(form->ApplyFailed && form->isVisible());
        EXPECT_TRUE(Child(interval ? "pnScheduleAutoCheck" : "pnCustomizeAction")->isVisible());
        EXPECT_EQ(form->focusWidget(), Child(c.edit));
        EXPECT_FALSE(fs::exists(profile) || Settings.ScheduleTimeCount != 15);
        EXPECT_TRUE(host.calls.empty());
    }
}

// Ok without a change leaves the file alone; Cancel keeps an earlier Apply. The
// only account deleted, Account0 becomes the end marker; a dial-up name that no
// phonebook entry has shows no selection and is saved empty.
TEST_F(ApplySettingsTest, OkWithoutAChangeWritesNothingAndCancelKeepsAnEarlierApply) {
    const std::string before = "[Setting]\r\nSettingEndCheck=1\r\n; mine\r\n";
    test::WriteFile(profile, before);
    fs::last_write_time(profile, fs::file_time_type{});
    Open();
    QTest::mouseClick(Child("btOk"), Qt::LeftButton);
    EXPECT_EQ(form->result(), QDialog::Accepted);
    EXPECT_EQ(test::ReadFile(profile), before);
    EXPECT_EQ(fs::last_write_time(profile), fs::file_time_type{});
    EXPECT_TRUE(host.calls.empty());
    Accounts[0] = Account("home");
    phonebook.entries = {"vpn-a", "vpn-b"};
    Settings.CustomizeDial = 2;
    Settings.CustomizeDialName = "vpn-gone";
    Open();
    Child<QListWidget>("clAccount")->setCurrentRow(0);
    Click("btDelete");
    Click("cbSettingEndCheck");
    Apply();
    Click("cbSettingRunHide");
    QTest::mouseClick(Child("btCancel"), Qt::LeftButton);
    EXPECT_EQ(form->result(), QDialog::Rejected);
    EXPECT_FALSE(Settings.SettingEndCheck || Settings.SettingRunHide);
    EXPECT_EQ(Saved("Setting", "SettingEndCheck") + Saved("Setting", "SettingRunHide"), "00");
    EXPECT_NE(test::ReadFile(profile).find("; mine"), std::string::npos);
    EXPECT_EQ(Accounts[0], TAccount{});
    EXPECT_EQ(Saved("Account0", "Enabled") + Saved("Account0", "HostName"), "0");
    EXPECT_EQ(Saved("Account0", "Password").size(), 2u);
    EXPECT_EQ(Settings.CustomizeDialName, "");
    EXPECT_EQ(IniFile::Load(profile).Value("Customize", "CustomizeDialName"), "");
}

// The tray only when its settings changed; logging in opens and logs in once,
// a failure told, and logging off logs out.
TEST_F(ApplySettingsTest, TheProgramIsToldInOrderAndTheTrayOnlyWhenItsSettingsChanged) {
    Settings.SettingTask = Settings.SettingTaskbar = Settings.ScheduleDialup = true;
    Open();
    const auto apply = [&](const char* control) {
        host.calls.clear();
        Click(control);
        Apply();
        return host.calls;
    };
    EXPECT_EQ(apply("cbSettingTask"), (Texts{"TimeOut 60000", "MailerButton", "Tray 0",
                                             "TaskbarMode", "StatusLine", "Watch 1", "Logout"}));
    EXPECT_TRUE(Settings.SettingTaskbar) << "kept, though it does nothing without the tray";
    EXPECT_EQ(apply("cbSettingEndCheck"),
              (Texts{"TimeOut 60000", "MailerButton", "StatusLine", "Watch 1", "Logout"}));
    EXPECT_EQ(apply("rbFPNLogin").back(), "Login");
    EXPECT_EQ(host.calls.end()[-2], "Open");
    host.loggedIn = true;
    EXPECT_EQ(apply("cbSettingEndCheck").back(), "Watch 1") << "logged in already: nothing more";
    host.loggedIn = host.loginWorks = false;
    EXPECT_EQ(apply("cbSettingEndCheck").back(), "Login");
    host.openWorks = false;
    EXPECT_EQ(apply("cbSettingEndCheck").back(), "Open");
    EXPECT_EQ(boxes, (Texts{"FernpostNetworkにログインすることができませんでした。",
                            "FernpostNetworkサービスを開始することができませんでした。"}));
    EXPECT_EQ(Saved("FPN", "Login"), "1") << "saved all the same";
    EXPECT_EQ(apply("rbFPNNone").back(), "Logout");
}

TEST_F(ApplySettingsTest, TheAccountNoticeComesOnlyDuringARunAfterAnAccountChange) {
    Accounts = {Account("a"), Account("b")};
    Open();
    auto* list = Child<QListWidget>("clAccount");
    const auto apply = [&](int checkIndex, const std::function<void()>& change) {
        host.checkIndex = checkIndex;
        change();
        Apply();
        return boxes.size();
    };
    EXPECT_EQ(apply(0, [&] { list->setCurrentRow(1), Click("btAccountUp"); }), 0u) << "a new order";
    EXPECT_EQ(Accounts[0].Name, "b");
    // Dialling is no run yet.
    EXPECT_EQ(apply(-2, [&] { list->setCurrentRow(0), QTest::keyClick(list, Qt::Key_Space); }), 0u);
    EXPECT_FALSE(Accounts[0].Enabled);
    EXPECT_EQ(apply(1, [&] { QTest::keyClick(list, Qt::Key_Space); }), 1u);
    EXPECT_EQ(boxes, Texts{"アカウントの設定は次回チェック開始時より有効になります。"});
    EXPECT_EQ(flags[0], mb::IconInformation);
    EXPECT_EQ(apply(1, [&] { Click("cbSettingEndCheck"); }), 1u);
}

TEST_F(ApplySettingsTest, AWriteErrorKeepsTheNewSettingsShowsTheErrorAndSkipsTheRest) {
    test::WriteFile(dir.file("plain-file"), "");
    profile = dir.file("plain-file") + "/Pim.INI"; // a folder that cannot be made
    Open();
    Click("cbSettingEndCheck");
    QTest::mouseClick(Child("btOk"), Qt::LeftButton);
    EXPECT_FALSE(Settings.SettingEndCheck);
    EXPECT_EQ(boxes, Texts{cp932::ToUtf8(CannotWriteText(profile))});
    EXPECT_EQ(flags[0], mb::IconExclamation);
    EXPECT_TRUE(host.calls.empty());
    EXPECT_TRUE(form->isVisible() && Enabled("btUpdate")) << "nothing saved: the dialog stays";
}

// Bytes that do not come back the same from Unicode (the NEC duplicate 0x8790,
// the IBM duplicate 0xED40, a lone 0x80, 0xFD) stay as they were in fields the
// user did not change; a password typed anew is taken as typed.
TEST_F(ApplySettingsTest, UntouchedPasswordsKeepBytesThatUnicodeCannotCarry) {
    Settings.Password = "\x87\x90"
                        "a\x80\xFD";
    Accounts[0] = Account("home");
    Accounts[0].Password = "\xED\x40pw";
    Open();
    form->RunAccountForm = [](TOptionForm::AccountFields& f) { return f.Name = "n", true; };
    Child<QListWidget>("clAccount")->setCurrentRow(0);
    Click("btSetting");
    Click("cbSettingEndCheck");
    Apply();
    EXPECT_EQ(Settings.Password, "\x87\x90"
                                 "a\x80\xFD");
    EXPECT_EQ(Accounts[0].Password, "\xED\x40pw");
    EXPECT_EQ(Accounts[0].Name, "n");
    Child<QLineEdit>("edFPNPassword")->setText(QStringLiteral("新しい"));
    Apply();
    EXPECT_EQ(cp932::ToUtf8(Settings.Password), "新しい");
}

} // namespace
} // namespace pim
