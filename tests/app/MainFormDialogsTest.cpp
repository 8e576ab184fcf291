#include "MainFormFixture.h"
#include "resources/Skin.h"
#include "settings/VersionForm.h"
#include "support/EventLoop.h"

#include <QApplication>
#include <QDialog>
#include <QFile>
#include <QMenu>
#include <QSystemTrayIcon>
#include <QTemporaryDir>
#include <QTimer>

namespace pim {
namespace {

// While a dialog of the window is open, the window and the tray are out of reach.
TEST_F(MainFormTest, TheOptionsDialogAndTheAboutBoxDisableTheWindowWhileOpen) {
    WriteProfile("[Setting]\r\nSettingEndCheck=0\r\n");
    auto form = Create();
    form->show();
    for (QAction* item : {form->pmTask->actions()[0], form->pmTask->actions()[8]}) {
        bool seen = false;
        QTimer::singleShot(0, [&] {
            QWidget* dialog = QApplication::activeModalWidget();
            ASSERT_NE(dialog, nullptr);
            seen = true;
            EXPECT_TRUE(form->DialogOpen);
            EXPECT_FALSE(form->isEnabled());
            form->TrayActivated(QSystemTrayIcon::DoubleClick); // ignored meanwhile
            form->imOptionClick();                             // no second dialog
            EXPECT_EQ(QApplication::activeModalWidget(), dialog);
            dialog->close();
        });
        item->trigger();
        EXPECT_TRUE(seen) << item->text().toStdString();
        EXPECT_FALSE(form->DialogOpen);
        EXPECT_TRUE(form->isEnabled());
    }
}

TEST_F(MainFormTest, LeavingTheTrayGivesAHiddenWindowATaskbarButtonMinimised) {
    WriteProfile("[Setting]\r\nSettingTask=1\r\nSettingTaskbar=1\r\nSettingEndCheck=0\r\n");
    auto form = Create();
    EXPECT_EQ(form->windowType(), Qt::Tool);
    Settings.SettingTask = false;
    form->ShowTrayIcon(false);
    form->ApplyTaskbarMode(nullptr);
    EXPECT_TRUE(form->isVisible());
    EXPECT_TRUE(form->isMinimized());
    EXPECT_EQ(form->windowType(), Qt::Window);

    // Back to the tray: a minimised window is restored and hidden there.
    Settings.SettingTask = true;
    form->ShowTrayIcon(true);
    form->ApplyTaskbarMode(nullptr);
    EXPECT_FALSE(form->isVisible());
    EXPECT_FALSE(form->isMinimized());
    EXPECT_EQ(form->windowType(), Qt::Tool);
    EXPECT_TRUE(Settings.SettingAnimation) << "the animation setting comes back";
}

TEST_F(MainFormTest, TheWindowFollowsATrayHostThatComesAndGoes) {
    bool host = false; // the panel starts after Pim
    TMainForm::SystemTrayAvailable = [&host] { return host; };
    WriteProfile("[Setting]\r\nSettingTask=1\r\nSettingTaskbar=1\r\nSettingRunHide=1\r\n"
                 "ScheduleTime=1\r\nSettingEndCheck=0\r\n");
    auto form = Create();
    form->StartUp();
    ASSERT_TRUE(form->isMinimized());
    EXPECT_EQ(form->findChild<QSystemTrayIcon*>(), nullptr);
    const auto changed = [&](bool present) {
        host = present;
        form->TrayHostChanged();
    };

    changed(true);
    const auto* icon = form->findChild<QSystemTrayIcon*>();
    ASSERT_NE(icon, nullptr);
    EXPECT_EQ(icon->toolTip(), QStringLiteral("Pim - 自動チェック待機中"));
    EXPECT_FALSE(form->isVisible()) << "hidden in the tray, as if it had been there at start";
    EXPECT_EQ(form->windowType(), Qt::Tool);

    changed(false);
    EXPECT_EQ(form->findChild<QSystemTrayIcon*>(), nullptr);
    EXPECT_TRUE(form->isVisible() && !form->isMinimized()) << "out, so Pim stays reachable";
    EXPECT_EQ(form->windowType(), Qt::Window);

    changed(true);
    EXPECT_FALSE(form->isVisible()) << "back in the tray";

    // Asked for meanwhile, it stays out when the tray returns.
    changed(false);
    form->ShowRequested();
    changed(true);
    EXPECT_TRUE(form->isVisible());
    EXPECT_EQ(form->windowType(), Qt::Tool);

    // Taken out of its minimised state by the user, it stays out too.
    form.reset();
    host = false;
    form = Create();
    form->StartUp();
    ASSERT_TRUE(form->isMinimized());
    form->showNormal(); // from the taskbar
    changed(true);
    EXPECT_TRUE(form->isVisible());
}

// Started hidden, the window waits in the tray, or without one minimised in the
// taskbar; a second start brings it back, and only a tray hides it on minimising.
TEST_F(MainFormTest, AHiddenStartWaitsInTheTrayOrTheTaskbarAndASecondStartBringsItBack) {
    for (const bool tray : {true, false}) {
        SCOPED_TRACE(tray);
        TMainForm::SystemTrayAvailable = [tray] { return tray; };
        WriteProfile("[Setting]\r\nSettingTask=1\r\nSettingTaskbar=1\r\nSettingRunHide=1\r\n"
                     "SettingEndCheck=0\r\n");
        auto form = Create();
        EXPECT_EQ(form->windowType(), tray ? Qt::Tool : Qt::Window);
        form->StartUp();
        EXPECT_EQ(form->isVisible(), !tray);
        EXPECT_EQ(form->isMinimized(), !tray);
        form->ShowRequested();
        EXPECT_TRUE(form->isVisible());
        EXPECT_FALSE(form->isMinimized());
        form->sbMinimumClick();
        EXPECT_EQ(form->isVisible(), !tray);
    }
}

TEST_F(MainFormTest, AMinimiseByTheWindowManagerGoesToTheTrayAndRefreshesTheStatus) {
    WriteProfile("[MainWindow]\r\nType=1\r\n[Setting]\r\nSettingTask=1\r\nSettingTaskbar=1\r\n"
                 "ScheduleTime=1\r\nScheduleTimeInfo=1\r\nSettingEndCheck=0\r\n");
    auto form = Create();
    form->show();
    EXPECT_EQ(cp932::ToUtf8(form->StatusText()), "自動チェック停止中") << "paused while shown";
    form->setWindowState(Qt::WindowMinimized);
    EXPECT_EQ(cp932::ToUtf8(form->StatusText()), "自動チェック待機中");
    ASSERT_TRUE(test::RunUntil([&] { return !form->isVisible(); }, std::chrono::seconds(2)));
}

TEST_F(MainFormTest, AShowCuttingAFoldShortGivesTheInformationButtonBack) {
    WriteProfile("[MainWindow]\r\nType=1\r\n[Setting]\r\nSettingEndCheck=0\r\n");
    auto form = Create();
    form->show();
    ASSERT_TRUE(test::RunUntil([&] { return !form->ShapePending(); }, std::chrono::seconds(2)));
    form->imInformationClick();
    QWidget* button = form->findChild<QWidget*>(QStringLiteral("imInformation"));
    EXPECT_FALSE(button->isEnabled());
    form->hide();
    form->show(); // a new opening cuts the fold short
    EXPECT_TRUE(button->isEnabled());
}

// Pim's icon, also on a dialog or message box without the window behind it.
TEST_F(MainFormTest, DialogsAndMessageBoxesShowPimsIcon) {
    auto form = Create();
    const QImage pim = SkinMailIcon(0).pixmap(16, 16).toImage();
    EXPECT_EQ(TVersionForm().windowIcon().pixmap(16, 16).toImage(), pim);
    SetMessageBoxHandler({}); // the real box
    QImage shown;
    QTimer::singleShot(0, [&] {
        QWidget* box = QApplication::activeModalWidget();
        ASSERT_NE(box, nullptr);
        shown = box->windowIcon().pixmap(16, 16).toImage();
        box->close();
    });
    MessageBox(nullptr, "Pim", mb::IconInformation);
    EXPECT_EQ(shown, pim);
}

TEST_F(MainFormTest, HelpThatCannotBeOpenedIsToldInABoxOfTheWindow) {
    auto form = Create();
    bool dialogOpen = false;
    SetMessageBoxHandler([&](std::string_view text, unsigned flags) {
        boxes.emplace_back(cp932::ToUtf8(text), flags);
        dialogOpen = form->DialogOpen;
        return IDOK;
    });
    // xdg-open that finds nothing to show the page with.
    QTemporaryDir bin;
    QFile opener(bin.filePath(QStringLiteral("xdg-open")));
    ASSERT_TRUE(opener.open(QIODevice::WriteOnly));
    opener.write("#!/bin/sh\nexit 3\n");
    opener.setPermissions(QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    opener.close();
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", bin.path().toUtf8());
    form->pmTask->actions()[7]->trigger(); // "ヘルプ(&H)"
    test::RunUntil([&] { return !boxes.empty(); }, std::chrono::seconds(5));
    qputenv("PATH", path);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].first.rfind("ヘルプのページを開くことができませんでした。", 0), 0u);
    EXPECT_TRUE(dialogOpen);
    EXPECT_FALSE(form->DialogOpen);
}

} // namespace
} // namespace pim
