#include "MainFormFixture.h"
#include "app/PictureButton.h"
#include "app/StatusStrip.h"

#include <QAccessible>
#include <QApplication>
#include <QLabel>
#include <QMenu>
#include <QSystemTrayIcon>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

namespace pim {
namespace {

class MainWindowDisplayTest : public MainFormTest {
protected:
    template <class T = QWidget>
    static T* Child(const TMainForm& form, const char* name) {
        return form.findChild<T*>(QString::fromLatin1(name));
    }
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

// Pressed by the left button, a button without pictures moves a pixel; let
// go elsewhere, it does not click; a double-click is one click.
TEST(PictureButton, ALeftPressShiftsTheButtonAndOnlyAReleaseOnItClicksOnce) {
    QWidget window;
    PictureButton check(&window, {18, 39, 96, 32}, QStringLiteral("メールチェック"));
    int clicks = 0;
    QObject::connect(&check, &PictureButton::clicked, [&] { ++clicks; });
    QTest::mousePress(&check, Qt::RightButton);
    EXPECT_EQ(check.pos(), QPoint(18, 39));
    QTest::mouseRelease(&check, Qt::RightButton);
    QTest::mousePress(&check, Qt::LeftButton);
    EXPECT_EQ(check.pos(), QPoint(19, 40));
    QTest::mouseRelease(&check, Qt::LeftButton, {}, QPoint(140, 40));
    EXPECT_EQ(check.pos(), QPoint(18, 39));
    EXPECT_EQ(clicks, 0);
    // A double-click: press, release, then the double-click press and its release.
    QTest::mouseDClick(&check, Qt::LeftButton);
    QTest::mouseRelease(&check, Qt::LeftButton);
    EXPECT_EQ(clicks, 1);
}

TEST_F(MainWindowDisplayTest, TheSameMailTwiceIsAnnouncedOnceAndAnErrorCountsAsAChange) {
    test::Mailbox other;
    server.Set("other", other);
    WriteAccountProfile("MailerAutoRun=1\r\nMailerAutoRunSameCheck=1\r\nMailerPath=" + mailer +
                            "\r\nSettingAutoShow=1\r\nSettingAutoShowCheck=1\r\n"
                            "SettingAutoShowChange=1\r\nSettingEndCheck=0\r\n"
                            "[Sound]\r\nSameCheck=1\r\n[Account1]\r\nEnabled=1\r\nName=Other\r\n"
                            "HostName=" +
                            server.Host() + "\r\nUserID=other\r\nPassword=" + EncodePassword("pw") +
                            "\r\n",
                        Box({"one", "two"}));
    auto form = Create();
    ASSERT_TRUE(CheckOnce(*form));
    EXPECT_TRUE(form->isVisible()) << "new mail shows the window";
    ASSERT_TRUE(test::RunUntil([&] { return MailerStarts() == 1; }, seconds(5)));

    form->hide();
    ASSERT_TRUE(CheckOnce(*form));
    test::RunFor(std::chrono::milliseconds(300));
    EXPECT_FALSE(form->isVisible()) << "nothing new, nothing shown";
    EXPECT_EQ(MailerStarts(), 1);

    other.password = "changed"; // the second account now fails
    server.Set("other", other);
    ASSERT_TRUE(CheckOnce(*form));
    EXPECT_EQ(form->Run().ShownResults[1].Count, -4);
    EXPECT_TRUE(form->isVisible()) << "an error is a change";
    EXPECT_TRUE(test::RunUntil([&] { return MailerStarts() == 2; }, seconds(5)));
}

// Counting only announces every run with mail, four digits fitting the count's
// box; starting the mail program clears the display when asked; the mail
// program's button shows only for a program that exists.
TEST_F(MainWindowDisplayTest, CountingOnlyAnnouncesEveryRunAndTheMailerClearsTheDisplayWhenAsked) {
    WriteAccountProfile("SettingCountOnly=1\r\nMailerAutoRun=1\r\nMailerAutoRunSameCheck=1\r\n"
                        "MailerPath=" +
                            mailer + "\r\nSettingEndCheck=0\r\n",
                        Box({"one"}));
    auto form = Create();
    ASSERT_TRUE(CheckOnce(*form));
    ASSERT_TRUE(CheckOnce(*form));
    EXPECT_TRUE(test::RunUntil([&] { return MailerStarts() == 2; }, seconds(5)));
    EXPECT_FALSE(Child(*form, "imMailer")->isHidden());
    test::Mailbox full = Box({"one"});
    full.claimedCount = 5100; // twenty full mailboxes
    server.Set("demo", full);
    ASSERT_TRUE(CheckOnce(*form));
    const auto* count = Child<QLabel>(*form, "laMailCount");
    EXPECT_EQ(count->text(), QStringLiteral("5100"));
    EXPECT_LE(QFontMetrics(count->font()).horizontalAdvance(count->text()), count->width());

    WriteAccountProfile("MailerAutoRun=1\r\nSettingMailerHide=1\r\nMailerPath=" + mailer +
                            "\r\nSettingEndCheck=0\r\n",
                        Box({"one"}));
    form = Create();
    ASSERT_TRUE(CheckOnce(*form));
    count = Child<QLabel>(*form, "laMailCount");
    EXPECT_EQ(count->text() + Child<QLabel>(*form, "laMailDate")->text(), "-----/-- --:--:--");
    EXPECT_EQ(Child<QTreeWidget>(*form, "tvAccount")->topLevelItemCount() +
                  Child<QTreeWidget>(*form, "tvMail")->topLevelItemCount(),
              0);
    EXPECT_EQ(cp932::ToUtf8(form->StatusText()), "自動チェック停止中");

    WriteProfile("[Setting]\r\nMailerPath=" + dir.file("nothing-here") + "\r\n");
    EXPECT_TRUE(Child(*Create(), "imMailer")->isHidden());
}

// The tray tip holds 63 bytes; a cut there must not leave half a character.
TEST_F(MainWindowDisplayTest, ALongStatusGivesATrayTipOfWholeCharactersWithin63Bytes) {
    test::Mailbox box;
    box.silentAfterPass = true; // the check stays on this account
    server.Set("demo", box);
    std::string name;
    for (int i = 0; i < 30; ++i)
        name += cp932::FromUtf8("あ");
    WriteProfile("[Account0]\r\nEnabled=1\r\nName=" + name + "\r\nHostName=" + server.Host() +
                 "\r\nUserID=demo\r\nPassword=" + EncodePassword("pw") +
                 "\r\n[Setting]\r\nSettingTask=1\r\nSettingEndCheck=0\r\n");
    auto form = Create();
    form->Run().pbCheckClick(CheckRun::Sender::Other);
    ASSERT_TRUE(test::RunUntil([&] { return form->Run().CheckIndex == 0; }, seconds(5)));
    const std::string caption = "Pim - " + form->StatusText();
    ASSERT_GT(caption.size(), 63u);
    const std::string tip = cp932::FromUnicode(form->findChild<QSystemTrayIcon*>()->toolTip());
    EXPECT_EQ(tip, caption.substr(0, 62)) << "the 63rd byte would start a character";
    EXPECT_EQ(form->windowTitle(), cp932::ToUnicode(caption)) << "the caption is whole";
    form->Run().Abandon();
}

// Tab goes round the buttons, the trees while the window shows them, and the
// caption's buttons, each showing that it has the focus; the menu keys open
// the system menu at the focus.
TEST_F(MainWindowDisplayTest, TabGoesRoundEveryControlAndTheMenuKeysOpenTheSystemMenu) {
    WriteProfile("[MainWindow]\r\nType=1\r\n[Setting]\r\nSettingEndCheck=0\r\nMailerPath=" +
                 mailer + "\r\n");
    auto form = Shown();
    // The focus frame: black and white by turns from the top left corner.
    const auto framed = [](const QImage& image) {
        const auto gray = [&](int x, int y) { return qGray(image.pixel(x, y)); };
        return gray(0, 0) + gray(1, 0) == 255 && gray(0, 0) + gray(0, 1) == 255 &&
               gray(0, 0) % 255 == 0;
    };
    const auto round = [&] {
        Child(*form, "spClose")->setFocus();
        QStringList seen;
        do {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            seen << QApplication::focusWidget()->objectName();
            EXPECT_TRUE(framed(QApplication::focusWidget()->grab().toImage()))
                << seen.back().toStdString();
        } while (seen.back() != "spClose" && seen.size() < 20);
        return seen.join(u' ');
    };
    EXPECT_EQ(round(),
              "pbCheck imOption imInformation imMailer tvAccount tvMail sbMinimum spClose");
    // Folded by the keyboard: the focus stays on the button, and Tab passes the trees by.
    QWidget* information = Child(*form, "imInformation");
    information->setFocus();
    QTest::keyClick(information, Qt::Key_Space);
    ASSERT_TRUE(test::RunUntil([&] { return form->height() == 90; }, seconds(2)));
    EXPECT_EQ(QApplication::focusWidget(), information);
    EXPECT_EQ(round(), "pbCheck imOption imInformation imMailer sbMinimum spClose");

    QWidget* option = Child(*form, "imOption");
    const QPoint belowOption = option->mapToGlobal(QPoint(0, option->height()));
    for (const auto& [key, at] : {std::pair(QKeyCombination(Qt::Key_Menu), belowOption),
                                  {Qt::SHIFT | Qt::Key_F10, belowOption},
                                  {Qt::ALT | Qt::Key_Space, form->mapToGlobal(QPoint(4, 23))}}) {
        Activate(*form);
        option->setFocus(Qt::TabFocusReason);
        QTest::keyClick(option, key.key(), key.keyboardModifiers());
        EXPECT_TRUE(form->sysMenu->isVisible()) << key.key();
        EXPECT_EQ(form->sysMenu->pos(), at) << key.key();
        form->sysMenu->close();
    }
}

// A click, Space, Enter and a screen reader's press do the same, once each.
TEST_F(MainWindowDisplayTest, EveryButtonActsOnAClickSpaceEnterAndAReadersPress) {
    WriteProfile("[Setting]\r\nSettingAnimation=0\r\nMailerPath=" + mailer + "\r\n");
    auto form = Shown();
    form->miOfflineClick(); // the check button asks to go online, and No stays offline
    answer = IDNO;
    int dialogs = 0; // the options dialog runs its own loop: closed from there
    QTimer closer;
    QObject::connect(&closer, &QTimer::timeout, [&] {
        if (QWidget* dialog = QApplication::activeModalWidget())
            dialogs += dialog->close();
    });
    closer.start(5);
    const auto asked = [this](const std::string& question) {
        return int(std::count_if(boxes.begin(), boxes.end(),
                                 [&](auto& b) { return b.first == question; }));
    };
    const std::pair<const char*, std::function<int()>> buttons[]{
        {"pbCheck",
         [&] { return asked("現在、オフライン作業中です。オンラインに切り替えますか？"); }},
        {"imOption", [&] { return dialogs; }},
        {"imInformation", [&] { return Settings.Type == 1 ? 1 : 0; }},
        {"imMailer", [&] { return MailerStarts(); }},
        {"sbMinimum", [&] { return form->isMinimized() ? 1 : 0; }},
        {"spClose", [&] { return asked("終了してもよろしいですか？"); }}};
    const std::function<void(QWidget*)> ways[]{
        [](QWidget* w) { QTest::mouseClick(w, Qt::LeftButton); },
        [](QWidget* w) { QTest::keyClick(w, Qt::Key_Space); },
        [](QWidget* w) { QTest::keyClick(w, Qt::Key_Return); },
        [](QWidget* w) {
            auto* action = QAccessible::queryAccessibleInterface(w)->actionInterface();
            ASSERT_TRUE(action->actionNames().contains(QAccessibleActionInterface::pressAction()));
            action->doAction(QAccessibleActionInterface::pressAction());
        }};
    for (const auto& [name, effect] : buttons) {
        for (size_t way = 0; way < std::size(ways); ++way) {
            Activate(*form);
            Child(*form, name)->setFocus(Qt::TabFocusReason);
            const int before = effect();
            ways[way](Child(*form, name));
            const int after = std::string(name) == "imInformation" ? 1 - before : before + 1;
            EXPECT_TRUE(test::RunUntil([&] { return effect() == after; }, seconds(5)))
                << name << " by way " << way;
            test::RunFor(std::chrono::milliseconds(20));
        }
    }
    EXPECT_EQ(MailerStarts() + dialogs, 8);
}

// What a screen reader reads: each control's role and name, the displays'
// text, and the trees row by row; the arrow keys choose an account.
TEST_F(MainWindowDisplayTest, AScreenReaderReadsEveryControlByItsNameAndTheTreesByRow) {
    WriteAccountProfile("SettingEndCheck=0\r\nSettingInfoOpen=0\r\nMailerPath=" + mailer + "\r\n",
                        Box({"Hello", "World"}));
    auto form = Create();
    ASSERT_TRUE(CheckOnce(*form));
    const auto said = [](QObject* object, QAccessible::Text text = QAccessible::Name) {
        QAccessibleInterface* control = QAccessible::queryAccessibleInterface(object);
        return std::to_string(control->role()) + " " + control->text(text).toStdString();
    };
    const auto B = QAccessible::Button;
    const std::tuple<QObject*, QAccessible::Role, std::string> controls[] = {
        {Child(*form, "pbCheck"), B, "メールチェック"},
        {Child(*form, "imOption"), B, "環境設定"},
        {Child(*form, "imInformation"), B, "メールボックス情報の表示／非表示"},
        {Child(*form, "imMailer"), B, "メーラを起動"},
        {Child(*form, "sbMinimum"), B, "最小化"},
        {Child(*form, "spClose"), B, "閉じる"},
        {Child(*form, "laMailCount"), QAccessible::StaticText, "着信メール数：2"},
        {Child(*form, "laMailDate"), QAccessible::StaticText,
         "最終チェック日時：" + Child<QLabel>(*form, "laMailDate")->text().toStdString()},
        {Child(*form, "tvAccount"), QAccessible::Tree, "アカウントリスト"},
        {Child(*form, "tvMail"), QAccessible::Tree, "メールリスト"},
        {form.get(), QAccessible::Window, "Pim - " + cp932::ToUtf8(form->StatusText())},
        {form->findChild<StatusStrip*>(), QAccessible::StatusBar,
         "状態：" + form->findChild<StatusStrip*>()->Text().toStdString()}};
    for (const auto& [control, role, text] : controls)
        EXPECT_EQ(said(control), std::to_string(role) + " " + text);
    EXPECT_EQ(said(Child(*form, "laMailCount"), QAccessible::Value),
              std::to_string(QAccessible::StaticText) + " 2");
    // Row by row, the hidden header naming the column.
    for (const auto& [name, lines] :
         {std::pair("tvAccount", "アカウントリスト すべてのアカウント Demo"),
          {"tvMail", "メールリスト Demo Hello World"}}) {
        QStringList rows;
        QAccessibleInterface* tree = QAccessible::queryAccessibleInterface(Child(*form, name));
        for (int i = 0; i < tree->childCount(); ++i)
            rows << tree->child(i)->text(QAccessible::Name);
        EXPECT_EQ(rows.join(u' ').toStdString(), lines) << name;
    }
    auto* accounts = Child<QTreeWidget>(*form, "tvAccount");
    accounts->setFocus();
    QTest::keyClick(accounts, Qt::Key_Down);
    EXPECT_EQ(Child<QTreeWidget>(*form, "tvMail")->topLevelItem(0)->text(0), "Hello");
}

} // namespace
} // namespace pim
