// The dialogs over a temporary Pim.INI: a host that records what Apply asks of
// the program, a phonebook and message boxes answered by the test.
#include "settings/OptionForm.h"

#include "FakePhonebook.h"
#include "common/Cp932.h"
#include "common/UiText.h"
#include "mail/ServerDiscovery.h"
#include "oauth/AuthServer.h"
#include "platform/MessageBox.h"
#include "settings/AccountForm.h"
#include "settings/IconForm.h"
#include "settings/PageButton.h"
#include "settings/SettingsFile.h"
#include "settings/SignInWindow.h"
#include "settings/VersionForm.h"
#include "support/EventLoop.h"
#include "support/ScopedEnv.h"
#include "support/Spawn.h"
#include "support/TempDir.h"

#include <QAccessible>
#include <QCheckBox>
#include <QComboBox>
#include <QDate>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QLocale>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <QUrl>
#include <QUrlQuery>
#include <filesystem>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <set>

namespace pim {
namespace {

using Texts = std::vector<std::string>;

struct FakeOptionHost : OptionHost {
    Texts calls;
    bool loggedIn = false, openWorks = true, loginWorks = true, keyring = true;
    int checkIndex = -1;
    bool Call(const std::string& what) { return calls.push_back(what), true; }
    void SetPop3TimeOut(int ms) override { Call("TimeOut " + std::to_string(ms)); }
    void ShowMailerButton() override { Call("MailerButton"); }
    void ShowTrayIcon(bool on) override { Call(on ? "Tray 1" : "Tray 0"); }
    void ApplyTaskbarMode(QWidget*) override { Call("TaskbarMode"); }
    void UpdateStatusLine() override { Call("StatusLine"); }
    void SetDialupWatching(bool on) override { Call(on ? "Watch 1" : "Watch 0"); }
    bool FpnLoggedIn() override { return loggedIn; }
    bool FpnOpen() override { return Call("Open") && openWorks; }
    bool FpnLogin() override { return Call("Login") && loginWorks; }
    void FpnLogoutAndClose() override { Call("Logout"); }
    int CheckIndex() override { return checkIndex; }
    bool KeyringAvailable() override { return keyring; }
    void KeepPasswords(bool on) override { Call(on ? "Keyring 1" : "Keyring 0"); }
};

using test::FakePhonebook;

// Message boxes answered by the test, their texts (in UTF-8) and flags kept.
class DialogTest : public ::testing::Test {
protected:
    Texts boxes;
    std::vector<unsigned> flags;
    int answer = IDYES;

    void SetUp() override {
        // A domain looked up by an editor is asked of loopback, never of the world.
        ServerDiscovery::Nameserver = QHostAddress(QStringLiteral("127.0.0.2"));
        ServerDiscovery::AutoconfigBase = QStringLiteral("https://127.0.0.1:1");
        SetMessageBoxHandler([this](std::string_view text, unsigned f) {
            return boxes.push_back(cp932::ToUtf8(text)), flags.push_back(f), answer;
        });
    }
    void TearDown() override { SetMessageBoxHandler({}); }
    // Runs `dialog` doing `act` once it is up; one left open ends with 99.
    static int Exec(QDialog& dialog, const std::function<void()>& act) {
        QTimer::singleShot(0, &dialog, act);
        QTimer guard;
        guard.callOnTimeout(&dialog, [&dialog] { dialog.done(99); });
        guard.start(2000);
        return dialog.exec();
    }
};

class OptionFormTest : public DialogTest {
protected:
    test::TempDir dir;
    std::string profile = dir.file("Pim.INI");
    test::ScopedEnv config{"XDG_CONFIG_HOME", dir.file("config")}; // the autostart entry's
    FakeOptionHost host;
    FakePhonebook phonebook;
    std::unique_ptr<TOptionForm> form;

    void SetUp() override { DialogTest::SetUp(), Settings = {}, Accounts = {}; }
    void TearDown() override { form.reset(), DialogTest::TearDown(); }
    static TAccount Account(const std::string& name, bool enabled = true) {
        return {enabled, name, "pop." + name + ".example", name + "-id", name + "-pw"};
    }
    // Shown and active, so that focus and Enter behave as for the user.
    void Open() {
        form = std::make_unique<TOptionForm>(host, phonebook, profile);
        form->show();
        QApplication::setActiveWindow(form.get());
        ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    }
    template <class W = QWidget>
    W* Child(const std::string& name) {
        W* w = form->findChild<W*>(QString::fromStdString(name));
        EXPECT_NE(w, nullptr) << name;
        return w;
    }
    bool Enabled(const std::string& name) { return Child(name)->isEnabled(); }
    // Brings up the control's page and panel first, as the user would.
    void Click(const std::string& name) {
        QWidget* control = Child(name);
        for (QWidget* w = control; w != form.get(); w = w->parentWidget()) {
            if (w->objectName().startsWith(u"pn"))
                QTest::mouseClick(Child("sb" + w->objectName().mid(2).toStdString()),
                                  Qt::LeftButton);
            if (w->objectName().startsWith(u"ts"))
                form->tcOption->setCurrentWidget(w);
        }
        QTest::mouseClick(control, Qt::LeftButton, {}, QPoint(6, control->height() / 2));
    }
    void Apply() { QTest::mouseClick(Child("btUpdate"), Qt::LeftButton); }
    // What the program is told when `control` is clicked and applied.
    Texts ApplyAfter(const char* control) {
        host.calls.clear();
        Click(control);
        Apply();
        return host.calls;
    }
    std::string Saved(const char* section, const char* key) const {
        return IniFile::Load(profile).ReadString(section, key);
    }
    // Opens the dialog over a file holding `account` alone, chosen in the list.
    void OpenOn(const TAccount& account) {
        Accounts[0] = account;
        ASSERT_TRUE(SaveSettings(profile, Settings, Accounts));
        Open();
        Child<QListWidget>("clAccount")->setCurrentRow(0);
    }
    // The chosen account's editor, its fields changed by `change`, closed by OK.
    void Edit(const std::function<void(TOptionForm::AccountFields&)>& change) {
        form->RunAccountForm = [change](TOptionForm::AccountFields& f) { return change(f), true; };
        Click("btSetting");
    }
    void Add() {
        form->RunAccountForm = [](TOptionForm::AccountFields& f) {
            return f = {"new", "pop.new.example", "id", "pw"}, true;
        };
        Click("btAdd");
    }
};

using Names = std::vector<std::string>;
namespace fs = std::filesystem;

// Count only asks first and locks the new-mail options. Then one rule of each
// kind: a box, a pair of radio buttons (off by the second), a chain, and a box
// that needs two.
TEST_F(OptionFormTest, CountOnlyAsksFirstAndEachRuleEnablesItsDependentsAndDisablesThemAgain) {
    Settings.SettingAutoShow = Settings.SettingAutoShowCheck = Settings.MailerAutoRun = true;
    Settings.Login = true;
    Settings.Kind = 1;
    Settings.SettingNotification = false;
    Open();
    const auto expect = [&](bool on) {
        for (const char* n : {"cbSettingAutoShowChange", "cbSettingOldMailNotShow",
                              "cbMailerAutoRunSameCheck", "cbSoundSameCheck"})
            EXPECT_EQ(Enabled(n), on) << n;
    };
    answer = IDNO;
    Click("cbSettingCountOnly");
    EXPECT_EQ(flags, std::vector<unsigned>{mb::YesNo | mb::IconQuestion});
    EXPECT_FALSE(Child<QCheckBox>("cbSettingCountOnly")->isChecked());
    expect(true);
    answer = IDYES;
    Click("cbSettingCountOnly");
    expect(false);
    Click("cbSettingCountOnly");
    EXPECT_EQ(boxes.size(), 2u) << "clearing asks nothing";
    expect(true);
    Click("rbSoundNone");
    EXPECT_FALSE(Enabled("cbSoundSameCheck")) << "no sound, nothing to hold back";
    Click("cbSettingNotification");
    EXPECT_TRUE(Enabled("cbSoundSameCheck")) << "it holds back the desktop notification too";
    const std::vector<std::pair<Names, Names>> rules{
        {{"cbScheduleTime"}, {"edScheduleTimeCount", "laScheduleTime2", "cbScheduleTimeInfo"}},
        {{"rbSoundWave", "rbSoundBeep"}, {"laSoundWave", "edSoundRecv", "sbSoundSearchRecv"}},
        {{"cbFPNPassword", "rbFPNNone"}, {"edFPNPassword"}},
        {{"rbFPNLogin", "rbFPNNone"}, {"cbFPNPassword"}},
        {{"rbCuDialAuto", "rbCuDialNonMail"}, {"cbCuDialSelect"}}};
    for (const auto& [controls, dependents] : rules) {
        for (const bool on : {true, false}) {
            Click(on ? controls.front() : controls.back());
            for (const std::string& d : dependents)
                EXPECT_EQ(Enabled(d), on) << controls.front() << " -> " << d;
        }
    }
    Click("cbSettingAutoShowCheck");
    EXPECT_FALSE(Enabled("cbSettingAutoShowChange")) << "needs both boxes";
}

// Edited texts are trimmed; what was learnt of the server goes to the editor and
// stays with its name, even a trimmed one, unless forgotten there, and goes with
// another; only Apply changes the program's, and the file.
TEST_F(OptionFormTest, AnEditedAccountIsTrimmedAndKeepsWhatWasLearntOfItsServer) {
    const std::string pin(64, 'a');
    TAccount home = Account("home");
    home.TrustedCertificate = pin;
    OpenOn(home);
    TAccount& edited = form->EditAccounts[0];
    for (const auto& [host, forget, kept] : {std::tuple{" pop.home.example ", false, true},
                                             {"pop3s://x", false, false},
                                             {"pop.home.example", true, false}}) {
        edited.HostName = "pop.home.example";
        edited.TrustedCertificate = pin;
        Edit([&](TOptionForm::AccountFields& f) {
            EXPECT_EQ(f.Learnt.TrustedCertificate, pin);
            f = {" 自宅 ", host, "\tid ", " p ", {}, forget};
        });
        EXPECT_EQ(edited.Name + edited.UserID + edited.Password, cp932::FromUtf8("自宅id p "));
        EXPECT_EQ(edited.TrustedCertificate.empty(), !kept) << host << forget;
    }
    EXPECT_TRUE(form->AccountsChanged && Enabled("btUpdate") && Accounts[0].Name == "home");
    Apply();
    EXPECT_EQ(Accounts[0].TrustedCertificate + Saved("Account0", "TrustedCertificate"), "");
}

// A grant is the provider's for one client, server and user: changing any
// of them, or the way of signing in, leaves the account to sign in again.
TEST_F(OptionFormTest, AnEditedSignInKeepsItsGrantOnlyWhileItsClientServerAndUserStay) {
    TAccount home = Account("home");
    home.Auth = AccountAuth::OAuth2;
    home.OAuthClientId = "app";
    OpenOn(home);
    TAccount& edited = form->EditAccounts[0];
    for (const auto& [auth, id, kept] : {std::tuple{AccountAuth::OAuth2, "app", true},
                                         {AccountAuth::OAuth2, "other", false},
                                         {AccountAuth::Password, "app", false}}) {
        edited.OAuthRefreshToken = "grant";
        Edit([&](TOptionForm::AccountFields& f) {
            EXPECT_EQ(f.ClientId, "app");
            f.Auth = auth, f.ClientId = id;
        });
        EXPECT_EQ(edited.OAuthRefreshToken == "grant", kept) << id;
        edited.Auth = AccountAuth::OAuth2, edited.OAuthClientId = "app";
    }
    // Apply keeps the token the program holds now (a provider may have rotated
    // it meanwhile), unless the editor signed in anew.
    Apply();
    for (const std::string grant : {"", "signed-in"}) {
        Accounts[0].OAuthRefreshToken = "rotated";
        Edit([&](TOptionForm::AccountFields& f) { f.Name = "renamed", f.Grant = grant; });
        Apply();
        EXPECT_EQ(Accounts[0].OAuthRefreshToken, grant.empty() ? "rotated" : grant);
    }
    // The keyring's grant is one user's: renamed the entry follows, another user reads none.
    for (const char* user : {"home-id", "someone"}) {
        Accounts[0].Keyring = TAccount::KeyringEntry{"renamed", Accounts[0].HostName, "home-id"};
        Edit([&](TOptionForm::AccountFields& f) { f.Name = "home", f.UserID = user; });
        Apply();
        EXPECT_EQ(Accounts[0].Keyring.has_value(), user == std::string("home-id")) << user;
    }
}

// A desktop's account: the editor shows its server and user and takes no change
// of them, nor a password (the desktop keeps its secrets); its name is Pim's.
TEST_F(OptionFormTest, ADesktopAccountsServerUserAndSecretStayTheDesktops) {
    TAccount desk = Account("desk");
    desk.Password.clear();
    desk.OnlineAccount = "d";
    OpenOn(desk);
    QTimer::singleShot(0, [] {
        auto* editor = qobject_cast<TAccountForm*>(QApplication::activeModalWidget());
        ASSERT_TRUE(editor);
        for (QLineEdit* ed :
             {editor->edName, editor->edHostName, editor->edUserID, editor->edPassword}) {
            ed->setFocus();
            ed->selectAll();
            QTest::keyClicks(ed, "x");
        }
        editor->btOk->click();
    });
    Click("btSetting");
    Apply();
    EXPECT_EQ(Accounts[0].Name + " " + Accounts[0].HostName + " " + Accounts[0].UserID + " " +
                  Accounts[0].Password,
              "x pop.desk.example desk-id ");
    EXPECT_EQ(Accounts[0].Auth, AccountAuth::Password);
}

// Each row offers the moves it allows; moving is no account change; deleting
// asks first, No the default; twenty is the most; an added account is chosen,
// with the focus on the list.
TEST_F(OptionFormTest, EachRowOffersItsMovesDeleteAsksAndAddStopsAtTwenty) {
    for (int i = 0; i < kMaxAccounts; ++i)
        Accounts[size_t(i)] = Account("a" + std::to_string(i), i != 1);
    Open();
    auto* list = Child<QListWidget>("clAccount");
    for (const auto& [row, enabled] :
         {std::pair{-1, "00000"}, {0, "01101"}, {1, "01111"}, {19, "01110"}}) {
        list->setCurrentRow(row);
        std::string got;
        for (const char* b : {"btAdd", "btSetting", "btDelete", "btAccountUp", "btAccountDown"})
            got += Enabled(b) ? '1' : '0';
        EXPECT_EQ(got, enabled) << "row " << row;
    }
    list->setCurrentRow(0);
    Click("btAccountDown");
    EXPECT_EQ(form->EditAccounts[1], Accounts[0]);
    EXPECT_FALSE(form->AccountsChanged) << "the order alone is no account change";
    // Applied twice, each password stays with its account.
    for (int i = 0; i < 2; ++i)
        Click("cbSettingEndCheck"), Apply();
    EXPECT_EQ(Accounts[0].Password + Accounts[1].Password, "a1-pwa0-pw");
    answer = IDNO;
    list->setCurrentRow(0);
    Click("btDelete");
    EXPECT_EQ(boxes, Texts{"アカウント「a1」を削除してもよろしいですか？"});
    EXPECT_EQ(flags, std::vector<unsigned>{mb::YesNo | mb::IconQuestion | mb::DefButton2});
    EXPECT_EQ(list->count(), 20);
    answer = IDYES;
    Click("btDelete");
    ASSERT_EQ(list->count(), 19);
    EXPECT_TRUE(form->EditAccounts[0] == Accounts[1] && form->EditAccounts[1] == Accounts[2]);
    EXPECT_EQ(form->EditAccounts[19], TAccount{});
    EXPECT_TRUE(form->AccountsChanged && Enabled("btAdd"));
    Add();
    EXPECT_EQ(list->currentRow(), 19);
    EXPECT_TRUE(list->item(19)->isSelected() && list->hasFocus());
}

// Only the first account added offers to start Pim at login; the answer ticks the box.
TEST_F(OptionFormTest, TheFirstAccountAddedOffersToStartAtLogin) {
    Open();
    auto* login = Child<QCheckBox>("cbStartAtLogin");
    for (const auto& [reply, asked] : {std::pair{IDNO, true}, {IDYES, true}, {IDYES, false}}) {
        boxes.clear();
        answer = reply;
        Add();
        EXPECT_EQ(boxes.size(), size_t(asked));
        EXPECT_EQ(login->isChecked(), reply == IDYES);
        if (reply == IDNO)
            answer = IDYES, Child<QListWidget>("clAccount")->setCurrentRow(0), Click("btDelete");
    }
}

// An only account from the keyboard: the focus selects it, Enter opens it and
// the dialog stays. A reader hears a row and a tab as focused only while they
// have the focus.
TEST_F(OptionFormTest, TheKeyboardOpensAnOnlyAccount) {
    Accounts[0] = Account("home");
    Open();
    int opened = 0;
    form->RunAccountForm = [&](TOptionForm::AccountFields&) { return ++opened, false; };
    QTabBar* tabs = form->tcOption->tabBar();
    tabs->setFocus(Qt::TabFocusReason);
    QTest::keyClick(tabs, Qt::Key_Tab);
    auto* list = Child<QListWidget>("clAccount");
    ASSERT_EQ(QApplication::focusWidget(), list);
    EXPECT_TRUE(Enabled("btSetting") && Enabled("btDelete"));
    QTest::keyClick(list, Qt::Key_Return);
    EXPECT_TRUE(opened == 1 && form->isVisible());
    QAccessibleInterface* row = QAccessible::queryAccessibleInterface(list)->child(0);
    QAccessibleInterface* tab = QAccessible::queryAccessibleInterface(tabs)->child(0);
    EXPECT_TRUE(row->state().focused);
    Child("btSetting")->setFocus(Qt::TabFocusReason);
    EXPECT_FALSE(row->state().focused || tab->state().focused);
}

// Every page, panel and dialog in both languages (Japanese last, for the tests
// after): each control reachable by Tab (a page button through its row's stop)
// and read by a name with a letter; each text whole within its control, measured
// in its font, and each control within its parent; in English no Japanese left.
// Without NetworkManager the dial-up panel says so; the server's forms show.
TEST_F(OptionFormTest, EveryControlOfEveryDialogIsReachableNamedAndFitsInBothLanguages) {
    phonebook.serviceError = true;
    host.keyring = false; // its line shows
    const QRegularExpression control(QStringLiteral("^(bt|cb|rb|ed|cl|lv|sb)[A-Z]")),
        letter(QStringLiteral("\\p{L}")),
        japanese(QStringLiteral("[\\x{3000}-\\x{9FFF}\\x{FF00}-\\x{FFEF}]"));
    const auto tab = [](const QWidget* w) { return bool(w->focusPolicy() & Qt::TabFocus); };
    for (const bool english : {true, false}) {
        EXPECT_TRUE(SetUiLanguage(english ? UiLanguage::English : UiLanguage::Japanese));
        std::set<QString> controls;
        const auto walk = [&](QWidget* dialog) {
            for (QWidget* w : dialog->findChildren<QWidget*>()) {
                if (!w->isVisible())
                    continue;
                const auto* button = qobject_cast<QAbstractButton*>(w);
                const auto* label = qobject_cast<QLabel*>(w);
                const auto* tabs = qobject_cast<QTabBar*>(w);
                const QString text = button ? button->text() : label ? label->text() : "";
                const QString read =
                    QAccessible::queryAccessibleInterface(w)->text(QAccessible::Name);
                const std::string what = w->objectName().toStdString() + " " + read.toStdString();
                // A row of page or radio buttons is one Tab stop.
                const bool inRow = qobject_cast<PageButton*>(w) || qobject_cast<QRadioButton*>(w);
                const auto rowStop = [&](const QWidget* b) {
                    return tab(b) && b->metaObject() == w->metaObject();
                };
                if (control.match(w->objectName()).hasMatch()) {
                    controls.insert(w->objectName());
                    const auto row = w->parentWidget()->findChildren<QAbstractButton*>();
                    EXPECT_TRUE(tab(w) || (inRow && std::ranges::any_of(row, rowStop))) << what;
                    EXPECT_TRUE(read.contains(letter)) << what;
                }
                QStringList shown{dialog->windowTitle(), text, read, w->toolTip(),
                                  w->accessibleDescription()};
                for (int i = 0; tabs && i < tabs->count(); ++i)
                    shown << tabs->tabText(i);
                EXPECT_FALSE(english && shown.join(u' ').contains(japanese)) << what;
                if (!button && !label && !tabs)
                    continue;
                for (const QWidget* p = w; p != dialog; p = p->parentWidget())
                    EXPECT_TRUE(p->parentWidget()->rect().contains(p->geometry())) << what;
                // A push button's frame takes 8 pixels; the others say what they need.
                const bool push = button && !inRow && !qobject_cast<QCheckBox*>(w);
                EXPECT_LE(push ? w->fontMetrics().horizontalAdvance(QString(text).remove(u'&')) + 8
                               : w->sizeHint().width(),
                          w->width())
                    << what;
            }
        };
        Open();
        for (int page = 0; page < form->tcOption->count(); ++page) {
            form->tcOption->setCurrentIndex(page);
            walk(form.get());
            for (PageButton* panel : form->tcOption->widget(page)->findChildren<PageButton*>())
                QTest::mouseClick(panel, Qt::LeftButton), walk(form.get());
        }
        EXPECT_FALSE(Child("laCuDialService")->isHidden());
        TAccountForm account;
        EXPECT_TRUE(account.edHostName->accessibleDescription().contains("pop3s://"));
        TAccount learnt;
        learnt.TlsRequired = true;
        learnt.TlsRequiredDate = learnt.TrustedCertificateDate = "2025-12-28";
        learnt.TrustedCertificate = std::string(64, 'd');
        account.ShowLearnt(learnt);
        account.ShowSignIn(AccountAuth::OAuth2, {});
        TIconForm icon;
        TVersionForm about;
        for (QDialog* dialog : std::initializer_list<QDialog*>{&account, &icon, &about})
            dialog->show(), walk(dialog);
        EXPECT_GT(controls.size(), 60u);
    }
}

// Only characters up to U+0020 count as blank; the texts come back as typed and
// an empty password passes. A line end or NUL in the user ID or the password
// (a second command on the wire) and a password character CP932 cannot hold are
// refused. Enter in an edit acts as OK, once per key press; the close box and
// Escape leave Result at one.
TEST_F(DialogTest, TheAccountEditorAsksForEachMissingFieldInOrderAndEveryWayOutSetsTheResult) {
    using Leave = std::function<void(TAccountForm&)>;
    const Leave ok = [](TAccountForm& f) { QTest::mouseClick(f.btOk, Qt::LeftButton); };
    const Leave enter = [](TAccountForm& f) { QTest::keyClick(f.edPassword, Qt::Key_Return); };
    const Leave escape = [](TAccountForm& f) { QTest::keyClick(f.edName, Qt::Key_Escape); };
    const std::string breaks = "に改行文字やNUL文字は使えません。";
    const std::tuple<QString, QString, QString, QString, Leave, int, std::string, std::string>
        cases[] = {
            {" \t\r\n ", "pop.example.jp", "taro", "", ok, 1, "表示名を入力してください。",
             "edName"},
            {"仕事", " ", "", "", ok, 1, "ホスト名を入力してください。", "edHostName"},
            {"仕事", "h", " \x01\x1f ", "", enter, 1, "ユーザIDを入力してください。", "edUserID"},
            {"n", "h", "taro\r\nDELE 1", "p", ok, 1, "ユーザID" + breaks, "edUserID"},
            {"n", "h", "u", "pw\nDELE 1", enter, 1, "パスワード" + breaks, "edPassword"},
            {"n", "h", "u", QString::fromUtf16(u"pw\0x", 4), ok, 1, "パスワード" + breaks,
             "edPassword"},
            {"n", "h", "u", "Grüße", ok, 1,
             "パスワードの3文字目はShift_JISにない文字のため、保存できません。", "edPassword"},
            {"  仕事  ", " pop.example.jp ", "taro\t", "pａ ss〓", ok, 0, "", ""},
            {"　", "h", "u", "", enter, 0, "", ""},
            {"n", "h", "u", "", escape, 1, "", ""}};
    for (const auto& [n, h, u, p, leave, result, told, edit] : cases) {
        SCOPED_TRACE(n.toStdString() + " " + told);
        boxes.clear();
        TAccountForm form;
        std::string focus;
        const int shown = Exec(form, [&] {
            form.edName->setText(n);
            form.edHostName->setText(h);
            form.edUserID->setText(u);
            form.edPassword->setText(p);
            leave(form);
            if (form.isVisible() && !told.empty()) {
                QTest::keyClick(form.edUserID, Qt::Key_Enter, Qt::KeypadModifier);
                focus = form.focusWidget()->objectName().toStdString();
                form.reject();
            }
        });
        EXPECT_EQ(shown, result ? QDialog::Rejected : QDialog::Accepted);
        EXPECT_EQ(form.Result, result);
        EXPECT_EQ(boxes, told.empty() ? Texts{} : Texts(2, told));
        EXPECT_TRUE(boxes.empty() || flags.back() == mb::IconExclamation);
        EXPECT_EQ(focus, edit);
        EXPECT_EQ(form.edName->text() + form.edPassword->text(), n + p);
    }
}

// What was learnt shows, dated where the date is known; forgetting it asks, and
// only Yes forgets.
TEST_F(DialogTest, TheAccountEditorShowsWhatWasLearntAndForgetsItOnlyAfterYes) {
    TAccount learnt;
    learnt.TlsRequired = true;
    learnt.TlsRequiredDate = "2025-03-14";
    learnt.TrustedCertificate = "0123456789abcdef" + std::string(48, '0');
    TAccountForm form;
    form.edHostName->setText(" pop.example.jp");
    form.ShowLearnt(learnt);
    const QString shown = form.laLearnt->text();
    EXPECT_EQ(shown.section(u'\n', 0, 2),
              "TLS が必要（" + QLocale().toString(QDate(2025, 3, 14), QLocale::ShortFormat) +
                  " から）\n信頼した証明書：\n01:23:45:67:89:AB:CD:EF");
    for (const int given : {IDNO, IDYES}) {
        answer = given;
        form.btForget->click();
        EXPECT_EQ(form.Forgotten, given == IDYES);
        EXPECT_EQ(form.laLearnt->text() == shown, given == IDNO);
    }
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_TRUE(boxes[0].starts_with("サーバ pop.example.jp について"));
    EXPECT_EQ(flags[0], mb::YesNo | mb::IconQuestion);
    TAccountForm plain;
    plain.ShowLearnt(TAccount{});
    EXPECT_TRUE(plain.laLearnt->isHidden() && plain.btForget->isHidden());
}

// A provider's preset fills the server where none is typed and the endpoints
// (POP3's scope for a POP3 server); the password is not asked; OK without a
// client id or with an endpoint outside https says what is missing.
TEST_F(DialogTest, TheAccountEditorTakesAPresetOrTypedEndpointsAndRefusesWhatCannotSignIn) {
    const std::string noId =
        "クライアントIDを入力してください（プロバイダにアプリを登録すると得られます）。";
    // Each: the server typed, the provider chosen, the client id, the token URL, the scope's
    // start, what OK says.
    const std::tuple<QString, int, QString, QString, QString, std::string> rows[] = {
        {"", 1, "", "", "https://outlook.office.com/IMAP", noId},
        {"pop3s://outlook.office365.com", 1, "id", "", "https://outlook.office.com/POP", ""},
        {"", 2, "id", "", "https://mail.google.com/", ""},
        {"imaps://h", 3, "id", "http://h/token", "",
         "認可URLとトークンURLは https:// で始めてください。"},
    };
    for (const auto& [host, choice, id, tokenUrl, scopeStart, told] : rows) {
        SCOPED_TRACE(choice);
        boxes.clear();
        TAccountForm form;
        Exec(form, [&] {
            form.edName->setText("n");
            form.edUserID->setText("taro@example.jp");
            form.edHostName->setText(host);
            form.cbAuth->setCurrentIndex(choice);
            emit form.cbAuth->activated(choice);
            if (!tokenUrl.isEmpty())
                form.edAuthorizeUrl->setText("https://h/auth"), form.edTokenUrl->setText(tokenUrl);
            form.edClientId->setText(id);
            EXPECT_FALSE(form.edPassword->isEnabled() || form.edScope->isHidden());
            form.btOk->click();
            if (form.isVisible())
                form.reject();
        });
        EXPECT_EQ(boxes, told.empty() ? Texts{} : Texts{told});
        EXPECT_EQ(form.Result, told.empty() ? 0 : 1);
        EXPECT_FALSE(form.edHostName->text().isEmpty());
        EXPECT_TRUE(form.SignInClient().scope.startsWith(scopeStart));
        EXPECT_EQ(form.Auth(), AccountAuth::OAuth2);
    }
    // The editor's own sign-in: its grant stands while the client, server and user do.
    TAccountForm signing;
    signing.edName->setText("n"), signing.edHostName->setText("imaps://h");
    signing.edUserID->setText("taro@example.jp");
    signing.ShowSignIn(AccountAuth::OAuth2, {"https://h/auth", "https://h/token", "id", "", ""});
    QUrl opened;
    signing.OpenUrl = [&](const QUrl& url) { return opened = url, true; };
    signing.btSignIn->click();
    EXPECT_EQ(QUrlQuery(opened).queryItemValue("login_hint", QUrl::FullyDecoded),
              "taro@example.jp");
    auto* window = signing.findChild<SignInWindow*>();
    ASSERT_NE(window, nullptr);
    TokenReply tokens;
    tokens.refreshToken = "rt";
    emit window->signedIn(tokens);
    EXPECT_EQ(signing.Grant(), "rt");
    signing.edClientId->setText("other");
    EXPECT_EQ(signing.Grant(), "");
    // The address first: a known provider's server and sign-in, never over a server typed.
    for (const auto& [address, typed, server, choice] :
         {std::tuple{"Taro@GMail.com ", "", "imaps://imap.gmail.com", 2},
          {"taro@hotmail.co.jp", "", "imaps://outlook.office365.com", 1},
          {"taro@icloud.com", "", "imaps://imap.mail.me.com", 0},
          {"taro@yahoo.com", "", "imaps://imap.mail.yahoo.com", 0},
          {"taro@gmail.com", "imap.example.jp", "imap.example.jp", 0},
          {"taro@example.jp", "", "", 0}}) {
        TAccountForm typing;
        typing.edHostName->setText(typed);
        typing.edUserID->setText(address);
        emit typing.edUserID->editingFinished();
        EXPECT_EQ(typing.edHostName->text(), server) << address;
        EXPECT_EQ(typing.cbAuth->currentIndex(), choice) << address;
    }
}

// Elsewhere the domain's SRV records name the server: the lowest priority, then
// TLS before STARTTLS and IMAP before POP3; "." offers nothing; a server without
// TLS only where the user says Yes; else a customary name the DNS knows. A DNS
// server of the test's on 127.0.0.2.
TEST_F(DialogTest, TheAccountEditorFindsTheServerInTheDomainsSrvRecords) {
    using namespace std::chrono_literals;
    test::TempDir dir;
    test::WriteFile(dir.file("records"), "_imaps._tcp.tls.example 10 0 993 imap.tls.example.\n"
                                         "_pop3s._tcp.tls.example 0 0 995 pop.tls.example.\n"
                                         "_imaps._tcp.same.example 5 0 993 imap.same.example.\n"
                                         "_pop3._tcp.same.example 5 0 110 pop.same.example.\n"
                                         "_imaps._tcp.plain.example 0 0 0 .\n"
                                         "_imap._tcp.plain.example 1 0 1143 mail.plain.example.\n"
                                         "pop.guess.example A 127.0.0.1\n"
                                         "imap.both.example A 127.0.0.1\n"
                                         "pop.both.example A 127.0.0.1\n"
                                         "_imaps._tcp.away.example 0 0 993 imap.elsewhere.test.\n");
    const pid_t server = test::Spawn({"/usr/bin/python3", PIM_TESTS_DIR "/support/srv_server.py",
                                      "127.0.0.2", "53", dir.file("records")},
                                     {}, dir.file("log"));
    if (!test::RunUntil([&] { return test::ReadFile(dir.file("log")).starts_with("ready"); }, 5s)) {
        ::kill(server, SIGKILL), test::WaitExit(server, 5s);
        GTEST_SKIP() << "no DNS server on 127.0.0.2:53 (needs root)";
    }
    // A server without TLS or outside the domain only after Yes; none for an address edited
    // meanwhile.
    // Each: the domain, the answer given, the server proposed, whether asked, whether edited.
    const std::tuple<const char*, int, const char*, bool, bool> rows[] = {
        {"tls.example", IDYES, "pop3s://pop.tls.example", false, false},
        {"tls.example", IDYES, "", false, true},
        {"same.example", IDYES, "imaps://imap.same.example", false, false},
        {"plain.example", IDNO, "", true, false},
        {"plain.example", IDYES, "imap://mail.plain.example:1143", true, false},
        {"away.example", IDNO, "", true, false},
        {"guess.example", IDYES, "pop3s://pop.guess.example", false, false},
        {"both.example", IDYES, "imaps://imap.both.example", false, false},
        {"none.example", IDYES, "", false, false}};
    for (const auto& [domain, given, proposed, asked, edited] : rows) {
        SCOPED_TRACE(domain);
        boxes.clear();
        answer = given;
        TAccountForm form;
        form.edUserID->setText(QStringLiteral("taro@") + domain);
        emit form.edUserID->editingFinished();
        if (edited)
            emit form.edUserID->textEdited(QStringLiteral("taro@none.exampl"));
        EXPECT_TRUE(test::RunUntil([&] { return !form.findChild<ServerDiscovery*>(); }, 8s));
        test::RunFor(edited ? 500ms : 50ms);
        EXPECT_EQ(form.edHostName->text(), proposed);
        EXPECT_EQ(boxes.size(), size_t(asked));
    }
    ::kill(server, SIGTERM), test::WaitExit(server, 5s);
}

// Where the DNS names none, the provider's autoconfig document: the one asked
// with the address, else the well-known one; TLS before STARTTLS, and the user
// ID the document names. Served over HTTPS by the tests' own server.
TEST_F(DialogTest, TheAccountEditorReadsTheProvidersAutoconfigDocument) {
    using namespace std::chrono_literals;
    test::AuthServer provider;
    ASSERT_TRUE(provider.Running());
    const auto document = [](const std::string& servers) {
        return "<?xml version=\"1.0\"?><clientConfig version=\"1.1\"><emailProvider "
               "id=\"x\">" +
               servers + "</emailProvider></clientConfig>";
    };
    // Laid out a field a line, as providers write them.
    const auto server = [](const char* type, const char* host, int port, const char* socket,
                           const char* user) {
        return std::string("<incomingServer type=\"") + type + "\">\n <hostname>" + host +
               "</hostname>\n <port>" + std::to_string(port) + "</port>\n <socketType>" + socket +
               "</socketType>\n <authentication>password-cleartext</authentication>\n <username>" +
               user + "</username>\n</incomingServer>\n";
    };
    provider.Publish(
        "/mail/config-v1.1.xml?emailaddress=taro@auto.example",
        document(server("imap", "mail.auto.example", 143, "STARTTLS", "%EMAILADDRESS%") +
                 server("pop3", "pop.auto.example", 995, "SSL", "%EMAILLOCALPART%")));
    provider.Publish("/.well-known/autoconfig/mail/config-v1.1.xml",
                     document(server("smtp", "smtp.wk.example", 465, "SSL", "x") +
                              server("imap", "imap.wk.example", 1993, "SSL", "%EMAILADDRESS%")));
    // One as large as is read at all is read whole.
    const std::string full = document(server("imap", "imap.full.example", 993, "SSL", "pim"));
    provider.Publish("/mail/config-v1.1.xml?emailaddress=taro@full.example",
                     full + std::string(ServerDiscovery::kMaxDocumentBytes - full.size(), ' '));
    ServerDiscovery::AutoconfigBase = provider.Url("");
    // One whose document trickles in is cut after its time: the well-known one follows.
    for (const auto& [address, host, user] :
         {std::tuple{"taro@auto.example", "pop3s://pop.auto.example", "taro"},
          {"taro@full.example", "imaps://imap.full.example", "pim"},
          {"taro@other.example", "imaps://imap.wk.example:1993", "taro@other.example"},
          {"taro@trickle.example", "imaps://imap.wk.example:1993", "taro@trickle.example"}}) {
        TAccountForm form;
        form.edUserID->setText(address);
        emit form.edUserID->editingFinished();
        EXPECT_TRUE(test::RunUntil([&] { return !form.findChild<ServerDiscovery*>(); }, 20s));
        test::RunFor(50ms);
        EXPECT_EQ(form.edHostName->text(), host);
        EXPECT_EQ(form.edUserID->text(), user);
    }
    // The user of the entry chosen, where one host serves both; the domain put in its name.
    EXPECT_EQ(ReadAutoconfig(document(server("pop3", "mail.%EMAILDOMAIN%", 110, "STARTTLS",
                                             "%EMAILLOCALPART%") +
                                      server("imap", "mail.%EMAILDOMAIN%", 993, "SSL", "pim"))
                                 .c_str(),
                             "taro@b.example"),
              (ServerProposal{"imaps://mail.b.example", true, "pim"}));
    EXPECT_EQ(ReadAutoconfig(QByteArray(ServerDiscovery::kMaxDocumentBytes + 1, ' ') +
                                 document(server("imap", "h", 993, "SSL", "u")).c_str(),
                             "a@b"),
              std::nullopt)
        << "too large";
}

// The mail program "pimmail" with desktop entries in a private data folder, each
// with its own picture (their order: PlatformTest). A path that names no file has
// no icons, though an entry starts that name: OK asks for a choice.
TEST_F(DialogTest, TheIconPickerPicksByDoubleClickAndNoneByCancel) {
    test::TempDir dir;
    test::ScopedEnv dataHome{"XDG_DATA_HOME", dir.path()}, dataDirs{"XDG_DATA_DIRS", ""};
    test::WriteFile(dir.file("pimmail"), "#!/bin/sh\n");
    for (const std::string i : {"0", "1", "2"}) {
        QImage(16, 16, QImage::Format_ARGB32).save(QString::fromStdString(dir.file(i + ".png")));
        test::WriteFile(dir.file("applications/" + i + ".desktop"),
                        "[Desktop Entry]\nExec=pimmail %U\nIcon=" + dir.file(i + ".png") + "\n");
    }
    TIconForm form;
    form.Fill(QString::fromStdString(dir.file("pimmail")));
    form.Fill(QString::fromStdString(dir.file("no-such/pimmail")));
    EXPECT_EQ(form.lvIcon->count(), 0) << "filling again starts over";
    EXPECT_EQ(Exec(form, [&] { form.btOk->click(), form.btCancel->click(); }), QDialog::Rejected);
    EXPECT_EQ(form.Result, -1);
    EXPECT_EQ(flags, std::vector<unsigned>{mb::IconExclamation}) << "OK without a choice warns";
    form.Fill(QString::fromStdString(dir.file("pimmail")));
    ASSERT_EQ(form.lvIcon->count(), 3);
    // A person's double-click: a click, then the double-click and its release.
    QWidget* view = form.lvIcon->viewport();
    const QPoint at = form.lvIcon->visualItemRect(form.lvIcon->item(2)).center();
    EXPECT_EQ(Exec(form,
                   [&] {
                       QTest::mouseClick(view, Qt::LeftButton, {}, at);
                       QTest::mouseDClick(view, Qt::LeftButton, {}, at);
                       QTest::mouseRelease(view, Qt::LeftButton, {}, at);
                   }),
              QDialog::Accepted);
    EXPECT_EQ(form.Result, 2);
}

using ApplySettingsTest = OptionFormTest;

// A count out of its range is refused, with its panel shown and the focus on
// it, while its check is on; off, what the edit holds is saved, at least one.
TEST_F(ApplySettingsTest, ACountOutOfRangeIsRefusedOnlyWhileItsCheckIsOn) {
    const std::tuple<bool, std::string, const char*, std::string> cases[] = {
        // check on, edit, text, what is saved and the program's first call ("": refused)
        {true, "edScheduleTimeCount", "0", ""},
        {true, "edScheduleTimeCount", "x", ""},
        {false, "edScheduleTimeCount", "0", "1 TimeOut 60000"},
        {true, "edScheduleTimeoutCount", "19", ""},
        {true, "edScheduleTimeoutCount", "20", "20 TimeOut 20000"},
        {false, "edScheduleTimeoutCount", "x", "1 TimeOut 60000"}};
    for (const auto& [on, edit, text, saved] : cases) {
        SCOPED_TRACE(edit + " \"" + text + "\"");
        const bool interval = edit == "edScheduleTimeCount";
        Settings.ScheduleTime = interval && on;
        Settings.ScheduleTimeout = !interval && on;
        Settings.ScheduleTimeCount = 15;
        boxes.clear(), host.calls.clear(), fs::remove(profile);
        Open();
        Click(edit);
        Child<QLineEdit>(edit)->setText(text);
        form->tcOption->setCurrentWidget(interval ? form->tsCustomize : form->tsSchedule);
        QTest::mouseClick(Child("btOk"), Qt::LeftButton);
        if (!saved.empty()) {
            EXPECT_EQ(Saved("Setting", edit.c_str() + 2) + " " + host.calls.at(0), saved);
            continue;
        }
        EXPECT_TRUE(boxes.size() == 1 && flags.back() == mb::IconExclamation && form->ApplyFailed &&
                    form->isVisible());
        EXPECT_TRUE(Child(interval ? "pnScheduleAutoCheck" : "pnCustomizeAction")->isVisible());
        EXPECT_EQ(form->focusWidget(), Child(edit));
        EXPECT_FALSE(fs::exists(profile) || Settings.ScheduleTimeCount != 15 || host.calls.size());
    }
}

// Ok without a change leaves the file alone; Cancel keeps an earlier Apply, the
// only account's deletion too.
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
    OpenOn(Account("home"));
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
    EXPECT_EQ(Saved("Account0", "HostName"), "");
    // Accounts changed during a check: said once, not again at the next Apply.
    host.checkIndex = 0;
    OpenOn(Account("home"));
    Click("btDelete");
    boxes.clear();
    Apply();
    Click("cbSettingRunHide");
    Apply();
    EXPECT_EQ(boxes, Texts{"アカウントの設定は次回チェック開始時より有効になります。"});
}

// The tray only when its settings changed; logging in opens and logs in once,
// a failure told, and logging off logs out.
TEST_F(ApplySettingsTest, TheProgramIsToldInOrderAndTheTrayOnlyWhenItsSettingsChanged) {
    Settings.SettingTask = Settings.SettingTaskbar = Settings.ScheduleDialup = true;
    Open();
    EXPECT_EQ(ApplyAfter("cbSettingTask"),
              (Texts{"TimeOut 60000", "MailerButton", "Tray 0", "TaskbarMode", "StatusLine",
                     "Watch 1", "Logout"}));
    EXPECT_TRUE(Settings.SettingTaskbar) << "kept, though it does nothing without the tray";
    EXPECT_EQ(ApplyAfter("cbSettingEndCheck"),
              (Texts{"TimeOut 60000", "MailerButton", "StatusLine", "Watch 1", "Logout"}));
    EXPECT_FALSE(Enabled("btUpdate")) << "nothing left to apply";
    EXPECT_EQ(ApplyAfter("rbFPNLogin").back(), "Login");
    EXPECT_EQ(host.calls.end()[-2], "Open");
    host.loggedIn = true;
    EXPECT_EQ(ApplyAfter("cbSettingEndCheck").back(), "Watch 1")
        << "logged in already: nothing more";
    host.loggedIn = host.loginWorks = false;
    EXPECT_EQ(ApplyAfter("cbSettingEndCheck").back(), "Login");
    host.openWorks = false;
    EXPECT_EQ(ApplyAfter("cbSettingEndCheck").back(), "Open");
    EXPECT_EQ(boxes, (Texts{"FernpostNetworkにログインすることができませんでした。",
                            "FernpostNetworkサービスを開始することができませんでした。"}));
    EXPECT_EQ(Saved("FPN", "Login"), "1") << "saved all the same";
    EXPECT_EQ(ApplyAfter("rbFPNNone").back(), "Logout");
}

// A file that never had the keyring on gains no key. On, the file says so
// before the passwords move; off, it says so only once they are back, which
// the program does. Without a keyring the option cannot change and says why.
TEST_F(ApplySettingsTest, TheKeyringOptionIsSavedOnAtOnceAndOffOnlyOnceThePasswordsAreBack) {
    Open();
    using testing::Contains, testing::Not;
    ApplyAfter("cbSettingEndCheck");
    EXPECT_FALSE(IniFile::Load(profile).Value("Setting", "SettingKeyring"));
    EXPECT_THAT(ApplyAfter("cbSettingKeyring"), Contains("Keyring 1"));
    EXPECT_EQ(Saved("Setting", "SettingKeyring"), "1");
    EXPECT_THAT(ApplyAfter("cbSettingKeyring"), Contains("Keyring 0"));
    EXPECT_EQ(Saved("Setting", "SettingKeyring"), "1");
    EXPECT_FALSE(Child("laKeyringService")->isVisible());

    form.reset();
    host.keyring = false;
    Open();
    EXPECT_FALSE(Enabled("cbSettingKeyring"));
    EXPECT_TRUE(Child("laKeyringService")->isVisible());
    EXPECT_THAT(ApplyAfter("cbSettingEndCheck"), Not(Contains("Keyring 0")))
        << "nothing to move without a keyring";
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
    EXPECT_TRUE(host.calls.empty() && form->isVisible() && Enabled("btUpdate"))
        << "nothing saved: the dialog stays";
}

// Bytes that do not come back the same from Unicode (the NEC duplicate 0x8790,
// the IBM duplicate 0xED40, a lone 0x80, 0xFD) stay as they were in fields the
// user did not change; a password typed anew is taken as typed. The phonebook
// still unread (NetworkManager busy), the chosen connection stays too.
TEST_F(ApplySettingsTest, UntouchedFieldsKeepWhatTheDialogCannotShow) {
    const std::string odd = "\x87\x90"
                            "a\x80\xFD";
    Settings.Password = odd;
    Settings.CustomizeDialName = cp932::FromUtf8("社内VPN");
    phonebook.unknown = true;
    TAccount home = Account("home");
    home.Password = "\xED\x40pw";
    OpenOn(home);
    Edit([](TOptionForm::AccountFields& f) { f.Name = "n"; });
    Click("cbSettingEndCheck");
    Apply();
    EXPECT_EQ(Settings.Password, odd);
    EXPECT_EQ(Accounts[0].Password + Accounts[0].Name, "\xED\x40pwn");
    EXPECT_EQ(Saved("Customize", "CustomizeDialName"), cp932::FromUtf8("社内VPN"));
    EXPECT_EQ(Settings.CustomizeDialName, cp932::FromUtf8("社内VPN"));
    Child<QLineEdit>("edFPNPassword")->setText(QStringLiteral("新しい"));
    Apply();
    EXPECT_EQ(cp932::ToUtf8(Settings.Password), "新しい");
}

} // namespace
} // namespace pim
