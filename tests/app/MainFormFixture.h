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
#include <gtest/gtest.h>
#include <memory>

namespace pim {

class MainFormTest : public ::testing::Test {
protected:
    test::TempDir dir;
    // No NetworkManager: a bus that is not there.
    TVeltaRAS dialup{NoBus()};
    std::vector<std::pair<std::string, unsigned>> boxes;
    int answer = IDYES;

    void SetUp() override {
        // The offscreen platform has no tray host; the window acts as with one.
        TMainForm::SystemTrayAvailable = [] { return true; };
        // Never the desktop's own notification service.
        TMainForm::NotificationBus = [] { return NoBus(); };
        SetMessageBoxHandler([this](std::string_view text, unsigned flags) {
            boxes.emplace_back(cp932::ToUtf8(text), flags);
            return answer;
        });
    }
    void TearDown() override {
        SetUiLanguage(UiLanguage::Japanese); // a test in English leaves none behind
        SetMessageBoxHandler({});
        TMainForm::SystemTrayAvailable = [] { return false; };
        TMainForm::NotificationBus = [] { return NoBus(); };
    }
    static QDBusConnection NoBus() {
        return QDBusConnection::connectToBus(QStringLiteral("unix:path=/nonexistent/bus"),
                                             QStringLiteral("pim-test-no-bus"));
    }

    void WriteProfile(const std::string& text) { test::WriteFile(dir.file("Pim.INI"), text); }
    // One account "Demo" (user demo, password pw) on `server`, then [Setting] lines.
    void WriteAccountProfile(const test::MailboxServer& server, const std::string& settings) {
        WriteProfile("[Account0]\r\nEnabled=1\r\nName=Demo\r\nHostName=" + server.Host() +
                     "\r\nUserID=demo\r\nPassword=" + EncodePassword("pw") + "\r\n[Setting]\r\n" +
                     settings);
    }
    std::unique_ptr<TMainForm> Create() {
        return std::make_unique<TMainForm>(dir.path() + "/", dialup);
    }
    // A mail program that notes each start in a file.
    std::string WriteMailer() {
        const std::string path = dir.file("mailer.sh");
        test::WriteFile(path, "#!/bin/sh\necho started >> '" + dir.file("starts") + "'\n");
        QFile::setPermissions(QString::fromStdString(path),
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        return path;
    }
    int MailerStarts() {
        QFile file(QString::fromStdString(dir.file("starts")));
        return file.open(QIODevice::ReadOnly) ? int(file.readAll().count('\n')) : 0;
    }
    // One check, as the tray menu starts it, waited for to its end.
    static bool CheckOnce(TMainForm& form) {
        form.Run().pbCheckClick(CheckRun::Sender::Other);
        return test::RunUntil([&] { return !form.Run().Running(); }, std::chrono::seconds(10));
    }
};

} // namespace pim
