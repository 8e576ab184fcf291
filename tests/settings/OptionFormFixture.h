// An options dialog over a temporary Pim.INI: a host that records what Apply asks
// of the program, a phonebook and message boxes answered by the test.
#pragma once

#include "common/Cp932.h"
#include "platform/MessageBox.h"
#include "settings/IniFile.h"
#include "settings/OptionForm.h"
#include "support/ScopedEnv.h"
#include "support/TempDir.h"

#include <QAbstractButton>
#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <functional>
#include <gtest/gtest.h>
#include <memory>

namespace pim {

using Texts = std::vector<std::string>;

class FakeOptionHost : public OptionHost {
public:
    Texts calls;
    bool loggedIn = false, openWorks = true, loginWorks = true;
    int checkIndex = -1;
    void Call(const std::string& what) { calls.push_back(what); }
    void SetPop3TimeOut(int ms) override { Call("TimeOut " + std::to_string(ms)); }
    void ShowMailerButton() override { Call("MailerButton"); }
    void ShowTrayIcon(bool on) override { Call(on ? "Tray 1" : "Tray 0"); }
    void ApplyTaskbarMode(QWidget*) override { Call("TaskbarMode"); }
    void UpdateStatusLine() override { Call("StatusLine"); }
    void SetDialupWatching(bool on) override { Call(on ? "Watch 1" : "Watch 0"); }
    bool FpnLoggedIn() override { return loggedIn; }
    bool FpnOpen() override { return Call("Open"), openWorks; }
    bool FpnLogin() override { return Call("Login"), loginWorks; }
    void FpnLogoutAndClose() override { Call("Logout"); }
    int CheckIndex() override { return checkIndex; }
};

class FakePhonebook : public DialupPhonebook {
public:
    Texts entries;
    bool serviceError = false;
    int EntryCount() override { return static_cast<int>(entries.size()); }
    std::string GetEntryName(int i) override { return entries.at(size_t(i)); }
    bool ServiceError() override { return serviceError; }
};

// Message boxes answered by the test, their texts (in UTF-8) and flags kept.
class DialogTest : public ::testing::Test {
protected:
    Texts boxes;
    std::vector<unsigned> flags;
    int answer = IDYES;

    void SetUp() override {
        SetMessageBoxHandler([this](std::string_view text, unsigned f) {
            boxes.push_back(cp932::ToUtf8(text));
            flags.push_back(f);
            return answer;
        });
    }
    void TearDown() override { SetMessageBoxHandler({}); }
    // Runs `dialog` as the options dialog does, doing `act` once it is up; one
    // that stays open ends after a while with 99 so that the test goes on.
    static int Exec(QDialog& dialog, const std::function<void()>& act) {
        QTimer::singleShot(0, &dialog, act);
        QTimer guard;
        QObject::connect(&guard, &QTimer::timeout, &dialog, [&dialog] { dialog.done(99); });
        guard.start(2000);
        return dialog.exec();
    }
};

class OptionFormTest : public DialogTest {
protected:
    test::TempDir dir;
    std::string profile = dir.file("Pim.INI");
    // The autostart entry's folder, not the user's.
    test::ScopedEnv config{"XDG_CONFIG_HOME", dir.file("config")};
    FakeOptionHost host;
    FakePhonebook phonebook;
    std::unique_ptr<TOptionForm> form;

    void SetUp() override {
        DialogTest::SetUp();
        Settings = {};
        Accounts = {};
    }
    void TearDown() override {
        form.reset();
        DialogTest::TearDown();
    }

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
    bool Checked(const std::string& name) { return Child<QAbstractButton>(name)->isChecked(); }
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
    void Type(const std::string& edit, const char* text) {
        Click(edit);
        Child<QLineEdit>(edit)->setText(QString::fromUtf8(text));
    }
    std::string Saved(const char* section, const char* key) const {
        return IniFile::Load(profile).ReadString(section, key);
    }
};

} // namespace pim
