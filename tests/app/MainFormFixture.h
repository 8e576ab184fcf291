// A main window over a temporary Pim.INI, with message boxes answered by the test.
#pragma once

#include "app/MainForm.h"
#include "common/Cp932.h"
#include "common/HexKey.h"
#include "common/UiText.h"
#include "platform/MessageBox.h"
#include "support/EventLoop.h"
#include "support/MailboxServer.h"
#include "support/TempDir.h"

#include <QFile>
#include <algorithm>
#include <gtest/gtest.h>
#include <memory>

namespace pim {

using std::chrono::seconds;

class MainFormTest : public ::testing::Test {
protected:
    test::TempDir dir;
    TVeltaRAS dialup{NoBus()}; // no NetworkManager
    test::MailboxServer server;
    std::vector<std::pair<std::string, unsigned>> boxes;
    int answer = IDYES;
    const std::string mailer = dir.file("mailer.sh"); // notes each start in a file

    void SetUp() override {
        // The offscreen platform has no tray host; the window acts as with one.
        TMainForm::SystemTrayAvailable = [] { return true; };
        TMainForm::NotificationBus = [] { return NoBus(); };
        test::WriteFile(mailer, "#!/bin/sh\necho started >> '" + dir.file("starts") + "'\n");
        QFile::setPermissions(QString::fromStdString(mailer), QFile::ReadOwner | QFile::ExeOwner);
        SetMessageBoxHandler([this](std::string_view text, unsigned flags) {
            boxes.emplace_back(cp932::ToUtf8(text), flags);
            return answer;
        });
    }
    void TearDown() override {
        SetUiLanguage(UiLanguage::Japanese);
        SetMessageBoxHandler({});
        TMainForm::SystemTrayAvailable = [] { return false; };
        TMainForm::NotificationBus = [] { return NoBus(); }; // lets a test's own bus go
    }
    static QDBusConnection NoBus() {
        return QDBusConnection::connectToBus(QStringLiteral("unix:path=/nonexistent/bus"),
                                             QStringLiteral("pim-test-no-bus"));
    }
    void WriteProfile(const std::string& text) { test::WriteFile(dir.file("Pim.INI"), text); }
    // One account "Demo" (user demo) holding `box`, then [Setting] lines.
    void WriteAccountProfile(const std::string& settings, const test::Mailbox& box = {}) {
        server.Set("demo", box);
        WriteProfile("[Account0]\r\nEnabled=1\r\nName=Demo\r\nHostName=" + server.Host() +
                     "\r\nUserID=demo\r\nPassword=" + EncodePassword("pw") + "\r\n[Setting]\r\n" +
                     settings);
    }
    static test::Mailbox Box(const std::vector<std::string>& subjects) {
        test::Mailbox box;
        for (const std::string& subject : subjects)
            box.messages.push_back(test::SimpleMessage(subject));
        return box;
    }
    std::unique_ptr<TMainForm> Create() {
        return std::make_unique<TMainForm>(dir.path() + "/", dialup);
    }
    int MailerStarts() { return int(std::ranges::count(test::ReadFile(dir.file("starts")), '\n')); }
    // One check, as the tray menu starts it, waited for to its end.
    static bool CheckOnce(TMainForm& form) {
        form.Run().pbCheckClick(CheckRun::Sender::Other);
        return test::RunUntil([&] { return !form.Run().Running(); }, seconds(10));
    }
};

} // namespace pim
