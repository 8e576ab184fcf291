#include "MainFormFixture.h"
#include "app/StatusTexts.h"
#include "resources/Skin.h"
#include "settings/IniFile.h"
#include "settings/VersionForm.h"

#include <QApplication>
#include <QMenu>
#include <QScreen>
#include <QSystemTrayIcon>
#include <QTimer>
#include <filesystem>

namespace pim {
namespace {

// Each row: a profile's [Setting] lines, whether a tray host is there at the
// start, and steps "action:what shows then", by default the window's state:
// hidden, minimised or shown, " tool" without a taskbar button, " icon" with a
// tray icon. A step without an action only looks, waiting for it to show.
TEST_F(MainFormTest, TheWindowGoesWhereTheTrayAndTheSettingsSay) {
    bool host = true;
    TMainForm::SystemTrayAvailable = [&host] { return host; };
    const std::string inTray = "SettingTask=1\r\nSettingTaskbar=1\r\n";
    const std::string hidden = inTray + "SettingRunHide=1\r\n",
                      unfolded = "[MainWindow]\r\nType=1\r\n";
    const std::tuple<std::string, bool, QString> rows[] = {
        // with a taskbar button, minimising minimises
        {"SettingTask=1\r\n", true, "show:shown icon|minimise:minimised icon"},
        // in the tray, minimising hides
        {inTray, true, "show:shown tool icon|minimise:hidden tool icon"},
        // a hidden start waits in the tray, still checks, and a second start brings it back
        {hidden + "ScheduleRun=1\r\nSettingAutoShow=0\r\n", true,
         "start:hidden tool icon|count:1|state:hidden tool icon|ask:shown tool "
         "icon|minimise:hidden tool icon"},
        // without a tray, it waits minimised in the taskbar
        {hidden, false, "start:minimised|ask:shown|minimise:minimised"},
        // without a tray icon, a hidden start minimises
        {"SettingRunHide=1\r\n", true, "start:minimised"},
        // a window manager's minimise goes to the tray and the checks paused
        // while the information shows resume
        {inTray + "ScheduleTime=1\r\nScheduleTimeInfo=1\r\n" + unfolded, true,
         "show:shown tool icon|status:自動チェック停止中|wm minimise:hidden tool "
         "icon|status:自動チェック待機中"},
        // leaving the tray gives a taskbar button, minimised; back in it, hidden
        {inTray, true, "leave tray:minimised|enter tray:hidden tool icon|animation:1"},
        // the window follows a tray host that comes and goes, unless asked for meanwhile
        {hidden + "ScheduleTime=1\r\n", false,
         "start:minimised|host+:hidden tool icon|tip:Pim - "
         "自動チェック待機中|host-:shown|host+:hidden tool icon|"
         "host-:shown|ask:shown|host+:shown tool icon"},
        // a mailer that cannot start leaves the list as it is
        {"ScheduleRun=1\r\nMailerAutoRun=1\r\nSettingMailerHide=1\r\nMailerMinimized=1\r\n"
         "MailerPath=/nonexistent/mailer\r\n",
         true, "show:shown|status:<着信メール 1通> 自動チェック停止中|state:shown"},
        // the information button folds once per animation
        {unfolded, true, "show:shown|height:300|fold:shown|fold:shown|height:90|type:0"},
        // a show cutting a fold short gives the information button back
        {unfolded, true, "show:shown|settled:1|fold:shown|button:0|show again:shown|button:1"},
    };
    for (const auto& [settings, tray, steps] : rows) {
        SCOPED_TRACE(steps.toStdString());
        host = tray;
        WriteAccountProfile("SettingEndCheck=0\r\n" + settings, Box({"x"}));
        auto form = Create();
        const auto* info = form->findChild<QWidget*>(QStringLiteral("imInformation"));
        const auto observe = [&](const QString& look) -> QString {
            const auto* icon = form->findChild<QSystemTrayIcon*>();
            const std::map<QString, QString> seen{
                {"count", QString::number(form->Run().ShownResults[0].Count)},
                {"status", QString::fromStdString(cp932::ToUtf8(form->StatusText()))},
                {"tip", icon ? icon->toolTip() : QString()},
                {"height", QString::number(form->height())},
                {"settled", QString::number(!form->ShapePending())},
                {"button", QString::number(info->isEnabled())},
                {"type", QString::number(Settings.Type)},
                {"animation", QString::number(Settings.SettingAnimation)}};
            if (seen.count(look))
                return seen.at(look);
            return QString(form->isHidden()      ? "hidden"
                           : form->isMinimized() ? "minimised"
                                                 : "shown") +
                   (form->windowType() == Qt::Tool ? " tool" : "") + (icon ? " icon" : "");
        };
        for (const QString& step : steps.split(u'|')) {
            const QString action = step.section(u':', 0, 0), expected = step.section(u':', 1);
            if (action == "show again")
                form->hide();
            if (action == "show" || action == "show again")
                form->show();
            else if (action == "start")
                form->StartUp();
            else if (action == "ask")
                form->ShowRequested();
            else if (action == "restore")
                form->showNormal();
            else if (action == "minimise")
                form->sbMinimumClick();
            else if (action == "wm minimise")
                form->setWindowState(Qt::WindowMinimized);
            else if (action == "fold")
                form->imInformationClick(); // a second one meanwhile is ignored
            else if (action.startsWith("host")) {
                host = action == "host+";
                form->TrayHostChanged();
            } else if (action.endsWith("tray")) {
                Settings.SettingTask = action == "enter tray";
                form->ShowTrayIcon(Settings.SettingTask);
                form->ApplyTaskbarMode(nullptr);
            }
            const QString look = step.section(u':', 0, 0);
            test::RunUntil([&] { return observe(look) == expected; }, seconds(10));
            EXPECT_EQ(observe(look).toStdString(), expected.toStdString()) << step.toStdString();
        }
    }
}

TEST_F(MainFormTest, AFirstStartCentresTheWindowAndThePlaceWrittenAtTheEndIsReadNext) {
    const QSize screen = QGuiApplication::primaryScreen()->size();
    EXPECT_EQ(Create()->geometry(),
              QRect((screen.width() - 350) / 2, (screen.height() - 300) / 2, 350, 300));
    WriteProfile("[MainWindow]\r\nType=1\r\nLeft=40\r\nTop=50\r\n[Other]\r\nkeep=1\r\n");
    auto form = Create();
    EXPECT_EQ(form->pos(), QPoint(40, 50));
    form->move(61, 72);
    form.reset();
    const IniFile ini = IniFile::Load(dir.file("Pim.INI"));
    for (const auto& [section, key, value] : {std::tuple("MainWindow", "Type", "1"),
                                              {"MainWindow", "Left", "61"},
                                              {"MainWindow", "Top", "72"},
                                              {"Other", "keep", "1"}})
        EXPECT_EQ(ini.Value(section, key), value) << key;
    EXPECT_EQ(Create()->pos(), QPoint(61, 72));
}

TEST_F(MainFormTest, AnUnusableProfileIsToldOnceAndLeftAsItIs) {
    const std::string profile = dir.file("Pim.INI");
    std::filesystem::create_directory(profile);
    auto form = Create();
    form->show();
    test::RunUntil([&] { return !boxes.empty(); }, seconds(5));
    form.reset();
    EXPECT_EQ(boxes,
              (decltype(boxes){
                  {profile + " を読み込むことができませんでした。\rファイルではなくフォルダです。"
                             "\r\r初期設定で起動しますが、設定は保存されません。",
                   unsigned(mb::IconExclamation)}}));
    EXPECT_TRUE(std::filesystem::is_empty(profile));
}

// Closing asks as the setting says, during a check always and with No as the
// default; termination never asks.
TEST_F(MainFormTest, ClosingAsksAsTheSettingSaysOrDuringACheckAndTerminationNeverAsks) {
    test::Mailbox hanging;
    hanging.silentAfterPass = true;
    for (const auto& [settings, question, flags] :
         {std::tuple("", "終了してもよろしいですか？", 36u),
          std::tuple("SettingEndCheck=0\r\n", "メールチェック中です。強制終了いたしますか？",
                     292u)}) {
        boxes.clear();
        WriteAccountProfile(settings, hanging);
        auto form = Create();
        form->show();
        if (flags == 292u) {
            form->pbCheckClick();
            ASSERT_TRUE(test::RunUntil([&] { return form->Run().CheckIndex == 0; }, seconds(5)));
        }
        answer = IDNO;
        EXPECT_FALSE(form->close());
        EXPECT_TRUE(form->isVisible() && !form->DialogOpen);
        answer = IDYES;
        EXPECT_TRUE(form->close());
        EXPECT_TRUE(form->DialogOpen); // stays set while the program ends
        ASSERT_EQ(boxes.size(), 2u);
        EXPECT_EQ(boxes[0].first.rfind(question, 0), 0u);
        EXPECT_EQ(boxes[0].second, flags);
    }
    auto form = Create();
    form->show();
    form->Terminate();
    EXPECT_FALSE(form->isVisible());
    EXPECT_EQ(boxes.size(), 2u);
}

// In Japanese and in English, each menu with keys of its own; offline mode
// checks both and says so.
TEST_F(MainFormTest, TheTrayAndSystemMenusListTheirItemsAndFollowOfflineMode) {
    const auto items = [](const QMenu* menu) {
        QStringList texts;
        for (const QAction* action : menu->actions())
            texts << (action->isSeparator() ? QStringLiteral("-") : action->text());
        return texts.join(u'|');
    };
    auto form = Create();
    EXPECT_EQ(items(form->pmTask), "環境設定(&O)|メインウィンドウを表示(&M)|-|メールチェック(&C)|-|"
                                   "オフライン作業(&W)|-|ヘルプ(&H)|バージョン情報(&V)|終了(&E)");
    EXPECT_EQ(items(form->sysMenu), "環境設定(&O)|-|メールチェック(&C)|-|オフライン作業(&O)|-|"
                                    "元のサイズに戻す(&R)|移動(&M)|最小化(&N)|-|ヘルプ(&H)|"
                                    "バージョン情報(&V)|終了(&E)");
    form->pmTask->actions()[5]->trigger();
    EXPECT_TRUE(form->sysMenu->actions()[4]->isChecked());
    EXPECT_EQ(cp932::ToUtf8(form->StatusText()), "オフライン作業中");
    form->pmTask->actions()[5]->trigger();
    EXPECT_EQ(cp932::ToUtf8(form->StatusText()), "自動チェック停止中");

    ASSERT_TRUE(SetUiLanguage(UiLanguage::English));
    form = Create();
    EXPECT_EQ(items(form->pmTask), "&Options|Show &main window|-|&Check mail|-|&Work offline|-|"
                                   "&Help|&About Pim|&Quit");
    EXPECT_EQ(items(form->sysMenu), "&Options|-|&Check mail|-|&Work offline|-|&Restore|&Move|"
                                    "Mi&nimize|-|&Help|&About Pim|&Quit");
    form->pmTask->actions()[5]->trigger();
    EXPECT_EQ(form->windowTitle(), QStringLiteral("Pim - Working offline"));
}

// Checks pause while the mailbox information is open, and it opens at start
// unless the window starts hidden.
TEST(InitialStatusText, WaitsOnlyWhenAnAutomaticCheckCanFallDue) {
    // ScheduleTime, ScheduleTimeInfo, Type, SettingRunHide, then 1 if it waits
    for (const char* row : {"00000", "10001", "11100", "11111", "11001"}) {
        TSettings s;
        std::tie(s.ScheduleTime, s.ScheduleTimeInfo, s.SettingRunHide) =
            std::tuple(row[0] == '1', row[1] == '1', row[3] == '1');
        s.Type = row[2] - '0';
        EXPECT_EQ(InitialStatusText(s),
                  row[4] == '1' ? texts::AutoCheckWaiting() : texts::AutoCheckStopped())
            << row;
    }
}

// While a dialog of the window is open, the window and the tray are out of
// reach; the dialogs and boxes show Pim's icon even without the window.
TEST_F(MainFormTest, DialogsDisableTheWindowWhileOpenAndShowPimsIcon) {
    WriteProfile("[Setting]\r\nSettingEndCheck=0\r\n");
    auto form = Create();
    form->show();
    for (QAction* item : {form->pmTask->actions()[0], form->pmTask->actions()[8]}) {
        bool seen = false;
        QTimer::singleShot(0, [&] {
            QWidget* dialog = QApplication::activeModalWidget();
            ASSERT_NE(dialog, nullptr);
            seen = form->DialogOpen && !form->isEnabled();
            form->TrayActivated(QSystemTrayIcon::DoubleClick); // ignored meanwhile
            form->imOptionClick();                             // no second dialog
            EXPECT_EQ(QApplication::activeModalWidget(), dialog);
            dialog->close();
        });
        item->trigger();
        EXPECT_TRUE(seen) << item->text().toStdString();
        EXPECT_TRUE(!form->DialogOpen && form->isEnabled());
    }
    const QImage pim = SkinMailIcon(0).pixmap(16, 16).toImage();
    EXPECT_EQ(TVersionForm().windowIcon().pixmap(16, 16).toImage(), pim);
    SetMessageBoxHandler({}); // the real box
    QImage shown;
    QTimer::singleShot(0, [&] {
        shown = QApplication::activeModalWidget()->windowIcon().pixmap(16, 16).toImage();
        QApplication::activeModalWidget()->close();
    });
    MessageBox(nullptr, "Pim", mb::IconInformation);
    EXPECT_EQ(shown, pim);
}

} // namespace
} // namespace pim
