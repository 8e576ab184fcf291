// The main window over a temporary Pim.INI, with message boxes answered by the
// test; the desktop notification at the end of a run, against python3-dbusmock's
// notification daemon on a private session bus.
#include "app/MainForm.h"

#include "app/check/StatusTexts.h"
#include "app/window/TrayPresence.h"
#include "common/Cp932.h"
#include "common/HexKey.h"
#include "platform/Help.h"
#include "platform/MessageBox.h"
#include "settings/IniFile.h"
#include "support/EventLoop.h"
#include "support/KeyringDaemon.h"
#include "support/MailboxServer.h"
#include "support/PrivateBus.h"
#include "support/ScopedEnv.h"
#include "support/TempDir.h"

#include <QAccessible>
#include <QApplication>
#include <QCheckBox>
#include <QDBusArgument>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QFile>
#include <QMenu>
#include <QPushButton>
#include <QSystemTrayIcon>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <algorithm>
#include <filesystem>
#include <gtest/gtest.h>
#include <memory>

namespace pim {
namespace {

using std::chrono::seconds;
using test::Box;

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
        TrayPresence::SystemTrayAvailable = [] { return true; };
        MainController::SessionBus = [] { return NoBus(); };
        test::WriteFile(mailer, "#!/bin/sh\necho started >> '" + dir.file("starts") + "'\n");
        QFile::setPermissions(QString::fromStdString(mailer), QFile::ReadOwner | QFile::ExeOwner);
        SetMessageBoxHandler([this](std::string_view text, unsigned flags) {
            boxes.emplace_back(cp932::ToUtf8(text), flags);
            return answer;
        });
    }
    void TearDown() override {
        SetMessageBoxHandler({});
        TrayPresence::SystemTrayAvailable = [] { return false; };
        MainController::SessionBus = [] { return NoBus(); }; // lets a test's own bus go
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

// Each row: a profile's [Setting] lines, whether a tray host is there at the
// start, and steps "action:what shows then", by default the window's state:
// hidden, minimised or shown, " tool" without a taskbar button, " icon" with a
// tray icon. A step without an action only looks, waiting for it to show.
TEST_F(MainFormTest, TheWindowGoesWhereTheTrayAndTheSettingsSay) {
    bool host = true;
    TrayPresence::SystemTrayAvailable = [&host] { return host; };
    const std::string inTray = "SettingTask=1\r\nSettingTaskbar=1\r\n";
    const std::string hidden = inTray + "SettingRunHide=1\r\n",
                      unfolded = "[MainWindow]\r\nType=1\r\n";
    const std::tuple<std::string, bool, QString> rows[] = {
        // a hidden start waits in the tray, still checks (with no system bus, the
        // dial-up set in the file is off), a second start brings it back, and
        // minimising hides it again
        {hidden + "ScheduleRun=1\r\nSettingAutoShow=0\r\n[Customize]\r\nCustomizeDial=2\r\n", true,
         "start:hidden tool icon|count:1|state:hidden tool icon|ask:shown tool "
         "icon|minimise:hidden tool icon"},
        // new mail shows it
        {hidden + "ScheduleRun=1\r\n", true,
         "start:hidden tool icon|count:1|state:shown tool icon"},
        // without a tray, it waits minimised in the taskbar
        {hidden, false, "start:minimised|ask:shown|minimise:minimised"},
        // a window manager's minimise goes to the tray and the checks paused
        // while the information shows resume
        {inTray + "ScheduleTime=1\r\nScheduleTimeInfo=1\r\n" + unfolded, true,
         "show:shown tool icon|status:自動チェック停止中|wm minimise:hidden tool "
         "icon|status:自動チェック待機中"},
        // a mailer that starts clears the display when asked; one that cannot leaves it
        {"ScheduleRun=1\r\nMailerAutoRun=1\r\nSettingMailerHide=1\r\nMailerPath=" + mailer + "\r\n",
         true, "show:shown|mailer:1|status:自動チェック停止中|count:0"},
        {"ScheduleRun=1\r\nMailerAutoRun=1\r\nSettingMailerHide=1\r\nMailerMinimized=1\r\n"
         "MailerPath=/nonexistent/mailer\r\n",
         true, "show:shown|status:<着信メール 1通> 自動チェック停止中|state:shown"},
        // the place saved at the end is where the next start opens
        {unfolded + "Left=40\r\nTop=50\r\n", true, "show:shown|pos:40,50|again:hidden|pos:61,72"},
    };
    for (const auto& [settings, tray, steps] : rows) {
        SCOPED_TRACE(steps.toStdString());
        host = tray;
        WriteAccountProfile("SettingEndCheck=0\r\n" + settings, Box({"x"}));
        auto form = Create();
        const auto observe = [&](const QString& look) -> QString {
            const std::map<QString, QString> seen{
                {"count", QString::number(form->Run().ShownResults()[0].Count)},
                {"mailer", QString::number(MailerStarts())},
                {"status", QString::fromStdString(cp932::ToUtf8(form->StatusText()))},
                {"pos", QStringLiteral("%1,%2").arg(form->x()).arg(form->y())}};
            if (seen.count(look))
                return seen.at(look);
            return QString(form->isHidden()      ? "hidden"
                           : form->isMinimized() ? "minimised"
                                                 : "shown") +
                   (form->windowType() == Qt::Tool ? " tool" : "") +
                   (form->findChild<QSystemTrayIcon*>() ? " icon" : "");
        };
        for (const QString& step : steps.split(u'|')) {
            const QString action = step.section(u':', 0, 0), expected = step.section(u':', 1);
            if (action == "show")
                form->show();
            else if (action == "start")
                form->StartUp();
            else if (action == "ask")
                form->ShowRequested({});
            else if (action == "minimise")
                form->sbMinimumClick();
            else if (action == "wm minimise")
                form->setWindowState(Qt::WindowMinimized);
            else if (action == "again") {
                form->move(61, 72);
                form.reset(); // saves
                form = Create();
            }
            test::RunUntil([&] { return observe(action) == expected; }, seconds(10));
            EXPECT_EQ(observe(action).toStdString(), expected.toStdString()) << step.toStdString();
        }
    }
}

// (Left as it is: SettingsFileTest.)
TEST_F(MainFormTest, AnUnusableProfileIsToldOnce) {
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
}

// NetworkManager's absence, known only once the bus has answered, turns the
// dial-up settings off as if it had been known at the load, and the watch with them.
TEST_F(MainFormTest, TheStartsCheckWaitsForTheBusAndDialUpGoesOffWithoutNetworkManager) {
    if (const QString reason = test::PrivateBus::SkipReason(); !reason.isEmpty())
        GTEST_SKIP() << reason.toStdString();
    test::PrivateBus bus;
    ASSERT_TRUE(bus.Start()) << bus.error().toStdString();
    TVeltaRAS ras(bus.Bus());
    MainController::SessionBus = [&] { return bus.Bus(); }; // with no notification daemon
    WriteAccountProfile("ScheduleRun=1\r\nScheduleDialup=1\r\n[Customize]\r\nCustomizeDial=2\r\n",
                        Box({"one"}));
    TMainForm form(dir.path() + "/", ras);
    form.show();
    EXPECT_FALSE(form.Run().Running()) << "the start's check waits for the bus's answer";
    ASSERT_TRUE(test::RunUntil([&] { return ras.Ready(); }, seconds(5)));
    EXPECT_FALSE(Settings.ScheduleDialup || Settings.CustomizeDial || ras.FWatching);
    EXPECT_TRUE(
        test::RunUntil([&] { return form.Run().ShownResults()[0].Count == 1; }, seconds(10)))
        << "then it checks, without dialling";
    // Without a notification daemon for the new mail, the runs go on.
    server.Set("demo", Box({"one", "two"}));
    ASSERT_TRUE(CheckOnce(form));
    EXPECT_EQ(form.Run().ShownResults()[0].Count, 2);
}

// The session ends while a check's connection is being made: that connection
// does not stay up behind the program.
TEST_F(MainFormTest, TheSessionsEndTakesDownAConnectionBeingMadeForACheck) {
    if (const QString reason = test::PrivateBus::SkipReason(); !reason.isEmpty())
        GTEST_SKIP() << reason.toStdString();
    test::PrivateBus bus;
    const QString nm = QStringLiteral("org.freedesktop.NetworkManager");
    ASSERT_TRUE(bus.Start() && bus.StartMock({"--system", "--template", PIM_NM_TEMPLATE}, true, nm))
        << bus.error().toStdString();
    for (const auto& [method, arguments] : {std::pair{"AddProfile", QVariantList{"社内VPN", "vpn"}},
                                            {"SetBehaviour", QVariantList{"activation", "hang"}}})
        bus.Call(nm, "/org/freedesktop", "org.freedesktop.DBus.Mock", method, arguments);
    const auto active = [&] {
        const QDBusMessage reply =
            bus.Call(nm, "/org/freedesktop/NetworkManager", "org.freedesktop.DBus.Properties",
                     "Get", {nm, QStringLiteral("ActiveConnections")});
        return qdbus_cast<QList<QDBusObjectPath>>(
                   qvariant_cast<QDBusVariant>(reply.arguments().value(0)).variant())
            .size();
    };
    TVeltaRAS ras(bus.Bus());
    ASSERT_TRUE(test::RunUntil([&] { return ras.Ready(); }, seconds(5)));
    WriteAccountProfile("[Customize]\r\nCustomizeDial=2\r\n", Box({"one"}));
    TMainForm form(dir.path() + "/", ras);
    QTimer end; // runs in the dial's wait
    end.callOnTimeout([&] {
        if (form.Run().CheckIndex() == CheckRun::kDialling && active() == 1)
            end.stop(), form.Terminate();
    });
    end.start(20);
    form.pbCheckClick();
    EXPECT_FALSE(end.isActive()) << "it was dialling";
    EXPECT_TRUE(test::RunUntil([&] { return active() == 0; }, seconds(5)));
}

// Closing asks as the setting says, during a check always and with No as the
// default (termination never asks: ProcessTest).
TEST_F(MainFormTest, ClosingAsksAsTheSettingSaysOrDuringACheck) {
    const test::Mailbox hanging = Box({}, [](test::Mailbox& b) { b.silentAfterPass = true; });
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
            ASSERT_TRUE(test::RunUntil([&] { return form->Run().CheckIndex() == 0; }, seconds(5)));
        }
        answer = IDNO;
        EXPECT_TRUE(!form->close() && form->isVisible() && !form->DialogOpen);
        answer = IDYES;
        EXPECT_TRUE(form->close() && form->DialogOpen); // set while the program ends
        EXPECT_EQ(
            std::tuple(boxes.size(), boxes.at(0).first.rfind(question, 0), boxes.at(0).second),
            std::tuple(2u, 0u, flags));
    }
}

// Without an account, a first run says how to begin, and a check the user asks
// for offers to add one instead of pretending to have looked.
TEST_F(MainFormTest, WithoutAnAccountACheckOffersOneAndSizingByKeysLetsTheKeyboardGo) {
    auto form = Create();
    EXPECT_EQ(form->StatusText(), texts::NoAccount()) << "no Pim.INI";
    answer = IDNO;
    form->sysMenu->actions()[2]->trigger();
    EXPECT_EQ(boxes.size() == 1 ? boxes[0].second : 0u, unsigned(mb::YesNo | mb::IconQuestion));
    // Sizing by keys holds the keyboard only until the window is left.
    Settings.Type = 1;
    form->showNormal();
    emit form->sysMenu->aboutToShow();
    form->sysMenu->actions()[8]->trigger();
    EXPECT_EQ(QWidget::keyboardGrabber(), form.get());
    form->hide();
    EXPECT_EQ(QWidget::keyboardGrabber(), nullptr);
}

// Checks pause while the mailbox information is open, and it opens at start
// unless the window starts hidden.
// A status wider than the strip scrolls only while the window shows: not when
// set while hidden, nor while hidden or minimised later.
TEST_F(MainFormTest, TheMarqueeRunsOnlyWhileTheWindowShows) {
    test::Mailbox silent; // the check's status stays
    silent.silentAfterPass = true;
    WriteAccountProfile("SettingEndCheck=0\r\n", silent);
    auto form = Create();
    Accounts[0].Name = std::string(60, 'W');
    form->pbCheckClick();
    ASSERT_TRUE(test::RunUntil([&] { return form->Run().CheckIndex() == 0; }, seconds(5)));
    const auto* strip = form->findChild<StatusStrip*>();
    EXPECT_FALSE(strip->Scrolling());
    for (const auto& [step, scrolls] : {std::pair(&QWidget::show, true),
                                        {&QWidget::hide, false},
                                        {&QWidget::show, true},
                                        {&QWidget::showMinimized, false},
                                        {&QWidget::showNormal, true}}) {
        (form.get()->*step)();
        EXPECT_EQ(strip->Scrolling(), scrolls);
    }
}

// With mail waiting, the swing's timer runs only while the window shows or a
// tray shows the icon (offscreen, a tray icon has no window: as a
// StatusNotifierItem, its host shows it), and each gets frames only then. The
// taskbar's icon is the mail's.
TEST_F(MainFormTest, TheMailSwingRunsAndDrawsOnlyWhereItCanBeSeen) {
    bool host = false;
    TrayPresence::SystemTrayAvailable = [&host] { return host; };
    WriteAccountProfile("SettingEndCheck=0\r\nSettingAutoShow=0\r\nSettingTask=1\r\n", Box({"x"}));
    auto form = Create();
    auto* tray = form->findChild<TrayPresence*>();
    std::vector<int> frames; // the window's
    QObject::connect(tray, &TrayPresence::frameShown, [&](int frame) { frames.push_back(frame); });
    ASSERT_TRUE(CheckOnce(*form));
    ASSERT_TRUE(tray->SwingingMailWaiting());
    const auto icon = [&] {
        const auto* trayIcon = form->findChild<QSystemTrayIcon*>();
        return trayIcon ? trayIcon->icon().cacheKey() : 0;
    };
    // Each step, then whether the timer runs, the window and the tray icon swing.
    const std::tuple<const char*, std::function<void()>, bool, bool, bool> steps[] = {
        {"hidden, no tray", [] {}, false, false, false},
        {"shown", [&] { form->show(); }, true, true, false},
        {"minimised", [&] { form->showMinimized(); }, false, false, false},
        {"restored", [&] { form->showNormal(); }, true, true, false},
        {"hidden, a tray came", [&] { host = true, form->TrayHostChanged(), form->hide(); }, true,
         false, true},
        {"the tray went", [&] { host = false, form->TrayHostChanged(); }, false, false, false},
    };
    for (const auto& [what, step, runs, windowSwings, iconSwings] : steps) {
        step();
        const size_t shown = frames.size();
        const qint64 shownIcon = icon();
        test::RunFor(std::chrono::milliseconds(500));
        EXPECT_EQ(tray->Animating(), runs) << what;
        EXPECT_EQ(frames.size() > shown, windowSwings) << what;
        EXPECT_EQ(icon() != shownIcon, iconSwings) << what;
    }
    EXPECT_EQ(form->windowIcon().cacheKey(), tray->Frame(8).cacheKey()) << "a taskbar's icon";
}

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

class MainWindowDisplayTest : public MainFormTest {
protected:
    static QWidget* Child(const TMainForm& f, const char* n) { return f.findChild<QWidget*>(n); }
    // Shown, active and done opening, so that keys go where the user's would.
    std::unique_ptr<TMainForm> Shown() {
        auto form = Create();
        Activate(*form);
        EXPECT_TRUE(test::RunUntil([&] { return !form->ShapePending(); }, seconds(2)));
        return form;
    }
    static void Activate(TMainForm& form) {
        form.showNormal();
        QApplication::setActiveWindow(&form);
        EXPECT_TRUE(QTest::qWaitForWindowActive(&form));
    }
};

// Tab goes round the buttons, the trees while the window shows them, and the
// caption's buttons, each named for a screen reader; the menu keys open the
// system menu at the focus, Space a dialog that gives the focus back, and F1 the help page.
TEST_F(MainWindowDisplayTest, TabGoesRoundEveryControlAndTheMenuKeysOpenTheSystemMenu) {
    WriteProfile("[MainWindow]\r\nType=1\r\n[Setting]\r\nSettingEndCheck=0\r\nMailerPath=" +
                 mailer + "\r\n");
    auto form = Shown();
    const auto round = [&] {
        Child(*form, "spClose")->setFocus();
        QStringList seen;
        do {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            seen << QAccessible::queryAccessibleInterface(QApplication::focusWidget())
                        ->text(QAccessible::Name);
        } while (QApplication::focusWidget()->objectName() != "spClose" && seen.size() < 20);
        return seen.join(u' ');
    };
    const QString buttons =
        "メールチェック 環境設定 メールボックス情報の表示／非表示 メーラを起動 ";
    EXPECT_EQ(round(), buttons + "アカウントリスト メールリスト 最小化 閉じる");
    // Folded by the keyboard: the focus stays on the button, and Tab passes the trees by.
    QWidget* information = Child(*form, "imInformation");
    information->setFocus();
    QTest::keyClick(information, Qt::Key_Space);
    ASSERT_TRUE(test::RunUntil([&] { return form->height() == 90; }, seconds(2)));
    EXPECT_EQ(QApplication::focusWidget(), information);
    EXPECT_EQ(round(), buttons + "最小化 閉じる");

    QWidget* option = Child(*form, "imOption");
    const QPoint belowOption = option->mapToGlobal(QPoint(0, option->height()));
    for (const auto& [key, at] : {std::pair(QKeyCombination(Qt::Key_Menu), belowOption),
                                  {Qt::ALT | Qt::Key_Space, form->mapToGlobal(QPoint(4, 23))}}) {
        Activate(*form);
        option->setFocus(Qt::TabFocusReason);
        QTest::keyClick(option, key.key(), key.keyboardModifiers());
        EXPECT_TRUE(form->sysMenu->isVisible()) << key.key();
        EXPECT_EQ(form->sysMenu->pos(), at) << key.key();
        form->sysMenu->close();
    }
    // A dialog opened from the keyboard and closed gives the focus back.
    QTimer escape; // the dialog's own loop runs meanwhile
    QObject::connect(&escape, &QTimer::timeout, [] {
        if (QWidget* dialog = QApplication::activeModalWidget())
            QTest::keyClick(dialog, Qt::Key_Escape);
    });
    escape.start(50);
    Activate(*form);
    option->setFocus(Qt::TabFocusReason);
    QTest::keyClick(option, Qt::Key_Space);
    Activate(*form);
    EXPECT_EQ(QApplication::focusWidget(), option);
    escape.stop();
    // F1 opens the help page as in the dialogs; with nothing to open it, that is told.
    const test::ScopedEnv noOpener("PATH", dir.path());
    QTest::keyClick(option, Qt::Key_F1);
    EXPECT_TRUE(test::RunUntil([&] { return !boxes.empty(); }, seconds(5)));
    EXPECT_EQ(boxes, (decltype(boxes){{cp932::ToUtf8(HelpNotOpenedText()), mb::IconExclamation}}));
}

// An account that cannot connect says why on a line of its own under the
// error, POP3 and IMAP alike.
TEST_F(MainFormTest, AFailedAccountSaysWhyOnALineOfItsOwn) {
    const std::string closed = std::to_string(test::ScriptedServer::ClosedPort());
    std::string profile;
    int slot = 0;
    for (const std::string& host :
         {"127.0.0.1:" + closed, "imap://127.0.0.1:" + closed, std::string("nohost..invalid")})
        profile += "[Account" + std::to_string(slot++) + "]\r\nEnabled=1\r\nName=" + host +
                   "\r\nHostName=" + host + "\r\nUserID=u\r\n";
    WriteProfile(profile + "[MainWindow]\r\nType=1\r\n[Setting]\r\nSettingEndCheck=0\r\n");
    auto form = Create();
    form->show(); // the trees fill once the opening is done
    ASSERT_TRUE(test::RunUntil([&] { return !form->ShapePending(); }, seconds(2)));
    ASSERT_TRUE(CheckOnce(*form));
    auto* tree = form->findChild<QTreeWidget*>(QStringLiteral("tvMail"));
    const QString refused = "接続を拒否されました（ポート番号の誤りか、サーバが停止しています）。";
    const QString reasons[] = {
        refused, refused,
        "サーバ名「nohost..invalid」が見つかりません（名前の誤りか、DNSの不調です）。"};
    ASSERT_EQ(tree->topLevelItemCount(), 3);
    for (int i = 0; i < 3; ++i) {
        const QTreeWidgetItem* heading = tree->topLevelItem(i);
        ASSERT_EQ(heading->childCount(), 2) << i;
        EXPECT_EQ(heading->child(0)->text(0) + heading->child(1)->text(0),
                  "サーバが応答しませんでした。" + reasons[i]);
    }
}

// The keyring turned off and applied, then another change applied: the password
// the keyring gave back stays in Pim.INI, although the dialog was opened while
// the keyring held it.
TEST_F(MainFormTest, ASecondApplyAfterTheKeyringWentOffKeepsThePassword) {
    if (const QString reason = test::KeyringDaemon::SkipReason(); !reason.isEmpty())
        GTEST_SKIP() << reason.toStdString();
    test::KeyringDaemon keyring;
    ASSERT_TRUE(keyring.Start()) << keyring.Bus().error().toStdString();
    MainController::SessionBus = [&] { return keyring.Bus().Bus(); };
    WriteAccountProfile("SettingKeyring=1\r\nSettingRunHide=1\r\n");
    const auto password = [&] {
        return DecodePassword(
            IniFile::Load(dir.file("Pim.INI")).ReadString("Account0", "Password"));
    };
    auto form = Create();
    form->StartUp();
    ASSERT_TRUE(test::RunUntil([&] { return password().empty(); }, seconds(20))) << "moved in";
    QTimer::singleShot(0, [&] {
        QWidget* options = QApplication::activeModalWidget();
        options->findChild<QCheckBox*>("cbSettingKeyring")->click();
        options->findChild<QPushButton*>("btUpdate")->click();
        EXPECT_TRUE(test::RunUntil([&] { return password() == "pw"; }, seconds(20)));
        options->findChild<QCheckBox*>("cbSettingEndCheck")->click();
        options->findChild<QPushButton*>("btOk")->click();
    });
    form->imOptionClick();
    EXPECT_EQ(std::pair(Settings.SettingKeyring, password()), std::pair(false, std::string("pw")));
}

// A server that reads markup gets the texts escaped; a new run replaces the
// notice, whose actions act.
TEST_F(MainFormTest, NewMailIsNotifiedUnlessTheOptionIsOffOrTheMailerStarts) {
    if (const QString reason = test::PrivateBus::SkipReason(); !reason.isEmpty())
        GTEST_SKIP() << reason.toStdString();
    using Lines = std::vector<std::string>;
    const QString service = QStringLiteral("org.freedesktop.Notifications"),
                  path = QStringLiteral("/org/freedesktop/Notifications");
    test::PrivateBus bus; // outlives the form on it
    ASSERT_TRUE(bus.Start() && bus.StartMock({"--template", "notification_daemon", "-p",
                                              R"({"capabilities": "body body-markup actions"})"},
                                             false, service))
        << bus.error().toStdString();
    MainController::SessionBus = [&] { return bus.Bus(); };
    test::Mailbox box;
    WriteAccountProfile("SettingAutoShow=0\r\nSettingEndCheck=0\r\nMailerPath=" + mailer, box);
    auto form = Create();
    const auto checkWithNew = [&](const std::string& subject,
                                  const std::string& from = "a@example.jp") {
        box.messages.push_back(test::SimpleMessage(subject, from));
        server.Set("demo", box);
        return CheckOnce(*form);
    };
    // What the daemon was asked, once it has seen all that Pim sent before. The
    // wait is long: a loaded machine gives the daemon, a script, little time.
    const auto logged = [&](const std::string& method, size_t count) {
        test::RunUntil([&] { return bus.Logged(service, method).size() >= count; }, seconds(20));
        bus.Call(service, path, service, QStringLiteral("GetServerInformation"));
        return bus.Logged(service, method);
    };
    const auto send = [&](const char* action) { // on the first notice
        bus.Call(service, path, QStringLiteral("org.freedesktop.DBus.Mock"),
                 QStringLiteral("EmitSignal"),
                 {service, QStringLiteral("ActionInvoked"), QStringLiteral("us"),
                  QVariantList{1u, action}});
    };
    // A notice of one new mail, as the daemon logs it.
    const auto notice = [](int replaces, const std::string& text) {
        return "Notify \"Pim\" " + std::to_string(replaces) + " \"" +
               DesktopNotifications::ProgramIcon().toStdString() +
               "\" \"新着メールが 1 通あります\" \"" + text +
               R"(" ["default", "メインウィンドウを表示", "mailer", "メーラを起動"] )"
               R"({"category": "email.arrived", "desktop-entry": "jp.fernpost.Pim"} -1)";
    };
    Settings.SettingNotification = false;
    ASSERT_TRUE(checkWithNew("one"));
    Settings.SettingNotification = Settings.MailerAutoRun = true;
    ASSERT_TRUE(checkWithNew("two"));
    EXPECT_TRUE(test::RunUntil([&] { return MailerStarts() == 1; }, seconds(5)));
    // A run asks before it ends: nothing asked by now is nothing at all.
    EXPECT_EQ(logged("GetCapabilities", 0), Lines{});

    Settings.MailerAutoRun = false;
    ASSERT_TRUE(checkWithNew("R&D <urgent>", "Taro <taro@example.jp>"));
    EXPECT_EQ(logged("Notify", 1),
              Lines{notice(0, "R&amp;D &lt;urgent&gt;（Taro &lt;taro@example.jp&gt;）")});
    ASSERT_TRUE(checkWithNew("four"));
    EXPECT_EQ(logged("Notify", 2).at(1), notice(1, "four（a@example.jp）"))
        << "replaced, not stacked";
    send("default");
    EXPECT_TRUE(test::RunUntil([&] { return form->isVisible(); }, seconds(5)));
    send("mailer");
    EXPECT_TRUE(test::RunUntil([&] { return MailerStarts() == 2; }, seconds(5)));
    EXPECT_EQ(logged("CloseNotification", 1), Lines{"CloseNotification 1"})
        << "the user reads the mail";
}

} // namespace
} // namespace pim
