#include "MainFormFixture.h"
#include "app/PictureButton.h"
#include "app/StatusStrip.h"
#include "support/EventLoop.h"

#include <QAccessible>
#include <QApplication>
#include <QLabel>
#include <QMenu>
#include <QSystemTrayIcon>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <algorithm>

namespace pim {
namespace {

using std::chrono::seconds;

class MainWindowDisplayTest : public MainFormTest {
protected:
    template <class T>
    T* Child(const TMainForm& form, const char* name) {
        T* child = form.findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(child, nullptr) << name;
        return child;
    }
    // Shown, active and done opening, so that keys go where the user's would.
    std::unique_ptr<TMainForm> Shown() {
        auto form = Create();
        form->show();
        Activate(*form);
        EXPECT_TRUE(test::RunUntil([&] { return !form->ShapePending(); }, seconds(2)));
        return form;
    }
    static void Activate(TMainForm& form) {
        form.showNormal();
        QApplication::setActiveWindow(&form);
        EXPECT_TRUE(QTest::qWaitForWindowActive(&form));
    }
    static std::string Focused() {
        const QWidget* focus = QApplication::focusWidget();
        return focus ? focus->objectName().toStdString() : std::string();
    }
};

TEST_F(MainWindowDisplayTest, TheMailerButtonShowsOnlyForAProgramThatExists) {
    WriteProfile("[Setting]\r\nMailerPath=" + dir.file("nothing-here") + "\r\n");
    EXPECT_TRUE(Child<PictureButton>(*Create(), "imMailer")->isHidden());
    WriteProfile("[Setting]\r\nMailerPath=" + WriteMailer() + "\r\n");
    EXPECT_FALSE(Child<PictureButton>(*Create(), "imMailer")->isHidden());
}

// Pressed by the left button alone, a button without pictures moves a pixel.
TEST(PictureButton, ALeftPressShiftsOrShowsThePressedPictureAndAReleaseElsewhereDoesNotClick) {
    QWidget window;
    PictureButton check(&window, {18, 39, 96, 32}, QStringLiteral("メールチェック"));
    QTest::mousePress(&check, Qt::RightButton);
    EXPECT_EQ(check.pos(), QPoint(18, 39));
    QTest::mouseRelease(&check, Qt::RightButton);
    QTest::mousePress(&check, Qt::LeftButton);
    EXPECT_EQ(check.pos(), QPoint(19, 40));
    QTest::mouseRelease(&check, Qt::LeftButton);
    EXPECT_EQ(check.pos(), QPoint(18, 39));

    QPixmap up(32, 32), down(32, 32);
    up.fill(Qt::white);
    down.fill(Qt::black);
    auto* option = new PictureButton(&window, {57, 52, 32, 32}, QStringLiteral("オプション"));
    option->SetPictures(up, down);
    int clicks = 0;
    QObject::connect(option, &PictureButton::clicked, [&] { ++clicks; });
    QTest::mousePress(option, Qt::LeftButton);
    EXPECT_TRUE(option->Pressed());
    EXPECT_EQ(option->pos(), QPoint(57, 52));
    EXPECT_EQ(option->grab().toImage().pixel(16, 16), QColor(Qt::black).rgb());
    QTest::mouseRelease(option, Qt::LeftButton, {}, QPoint(40, 40)); // let go elsewhere
    EXPECT_FALSE(option->Pressed());
    EXPECT_EQ(clicks, 0);
    QTest::mouseClick(option, Qt::LeftButton);
    // A double-click: press, release, then the double-click press and its release.
    QTest::mouseDClick(option, Qt::LeftButton);
    QTest::mouseRelease(option, Qt::LeftButton);
    EXPECT_EQ(clicks, 2);
}

TEST_F(MainWindowDisplayTest, TheSameMailTwiceIsAnnouncedOnceAndAnErrorCountsAsAChange) {
    test::MailboxServer server;
    test::Mailbox box;
    box.messages = {test::SimpleMessage("one"), test::SimpleMessage("two")};
    server.Set("demo", box);
    test::Mailbox other;
    server.Set("other", other);
    WriteAccountProfile(
        server, "MailerAutoRun=1\r\nMailerAutoRunSameCheck=1\r\nMailerPath=" + WriteMailer() +
                    "\r\nSettingAutoShow=1\r\nSettingAutoShowCheck=1\r\n"
                    "SettingAutoShowChange=1\r\nSettingEndCheck=0\r\n"
                    "[Sound]\r\nSameCheck=1\r\n[Account1]\r\nEnabled=1\r\n"
                    "Name=Other\r\nHostName=" +
                    server.Host() + "\r\nUserID=other\r\nPassword=" + EncodePassword("pw") +
                    "\r\n");
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

TEST_F(MainWindowDisplayTest, CountingOnlyAnnouncesEveryRunWithMail) {
    test::MailboxServer server;
    test::Mailbox box;
    box.messages = {test::SimpleMessage("one")};
    server.Set("demo", box);
    WriteAccountProfile(server, "SettingCountOnly=1\r\nMailerAutoRun=1\r\nMailerAutoRunSameCheck=1"
                                "\r\nMailerPath=" +
                                    WriteMailer() + "\r\nSettingEndCheck=0\r\n");
    auto form = Create();
    ASSERT_TRUE(CheckOnce(*form));
    ASSERT_TRUE(CheckOnce(*form));
    EXPECT_TRUE(test::RunUntil([&] { return MailerStarts() == 2; }, seconds(5)));
    EXPECT_EQ(form->Run().ShownResults[0].Count, -1);

    // Twenty full mailboxes count four digits; they fit the count's box too.
    box.claimedCount = 5100;
    server.Set("demo", box);
    ASSERT_TRUE(CheckOnce(*form));
    const auto* count = Child<QLabel>(*form, "laMailCount");
    EXPECT_EQ(count->text(), QStringLiteral("5100"));
    EXPECT_LE(QFontMetrics(count->font()).horizontalAdvance(count->text()), count->width());
}

TEST_F(MainWindowDisplayTest, StartingTheMailerClearsTheDisplayWhenAsked) {
    test::MailboxServer server;
    test::Mailbox box;
    box.messages = {test::SimpleMessage("one")};
    server.Set("demo", box);
    WriteAccountProfile(server, "MailerAutoRun=1\r\nSettingMailerHide=1\r\nMailerPath=" +
                                    WriteMailer() + "\r\nSettingEndCheck=0\r\n");
    auto form = Create();
    ASSERT_TRUE(CheckOnce(*form));
    EXPECT_EQ(Child<QLabel>(*form, "laMailCount")->text(), QStringLiteral("---"));
    EXPECT_EQ(Child<QLabel>(*form, "laMailDate")->text(), QStringLiteral("--/-- --:--:--"));
    EXPECT_EQ(Child<QTreeWidget>(*form, "tvAccount")->topLevelItemCount(), 0);
    EXPECT_EQ(Child<QTreeWidget>(*form, "tvMail")->topLevelItemCount(), 0);
    EXPECT_EQ(cp932::ToUtf8(form->StatusText()), "自動チェック停止中");
}

// The tray tip holds 63 bytes; a cut there must not leave half a character.
TEST_F(MainWindowDisplayTest, ALongStatusGivesATrayTipOfWholeCharactersWithin63Bytes) {
    test::MailboxServer server;
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
    auto* tray = form->findChild<QSystemTrayIcon*>();
    ASSERT_NE(tray, nullptr);
    form->Run().pbCheckClick(CheckRun::Sender::Other);
    ASSERT_TRUE(test::RunUntil([&] { return form->Run().CheckIndex == 0; }, seconds(5)));
    const std::string caption = "Pim - " + form->StatusText();
    ASSERT_GT(caption.size(), 63u);
    const std::string tip = cp932::FromUnicode(tray->toolTip());
    EXPECT_EQ(tip.size(), 62u) << "the 63rd byte would start a character";
    EXPECT_EQ(tip, caption.substr(0, tip.size()));
    EXPECT_EQ(form->windowTitle(), cp932::ToUnicode(caption)) << "the caption is whole";
    form->Run().Abandon();
}

// Tab goes round the buttons, the trees (while the window shows them) and the
// caption's buttons, and each shows that it has the focus.
TEST_F(MainWindowDisplayTest, TabGoesRoundEveryControlAndTheFocusShows) {
    WriteProfile("[MainWindow]\r\nType=1\r\n[Setting]\r\nSettingEndCheck=0\r\nMailerPath=" +
                 WriteMailer() + "\r\n");
    auto form = Shown();
    using Names = std::vector<std::string>;
    // The focus frame: black and white by turns from the top left corner.
    const auto framed = [](const QImage& image) {
        const auto gray = [&](int x, int y) { return qGray(image.pixel(x, y)); };
        return gray(0, 0) + gray(1, 0) == 255 && gray(0, 0) + gray(0, 1) == 255 &&
               gray(0, 0) % 255 == 0;
    };
    Child<QWidget>(*form, "spClose")->setFocus();
    const auto round = [&] {
        Names seen;
        do {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            seen.push_back(Focused());
            EXPECT_TRUE(framed(QApplication::focusWidget()->grab().toImage()))
                << seen.back() << " shows no focus";
        } while (seen.back() != "spClose" && seen.size() < 20);
        return seen;
    };
    EXPECT_EQ(round(), (Names{"pbCheck", "imOption", "imInformation", "imMailer", "tvAccount",
                              "tvMail", "sbMinimum", "spClose"}));

    // Folded by the keyboard: the focus comes back to the button once the fold
    // is over, and Tab passes the trees by.
    Child<QWidget>(*form, "imInformation")->setFocus();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space);
    ASSERT_TRUE(test::RunUntil([&] { return form->height() == 90; }, seconds(2)));
    EXPECT_EQ(Focused(), "imInformation");
    Child<QWidget>(*form, "spClose")->setFocus();
    EXPECT_EQ(round(),
              (Names{"pbCheck", "imOption", "imInformation", "imMailer", "sbMinimum", "spClose"}));
}

// A click, Space, Enter and a screen reader's press do the same, once each.
TEST_F(MainWindowDisplayTest, EveryButtonActsOnAClickSpaceEnterAndAReadersPress) {
    WriteProfile("[Setting]\r\nSettingAnimation=0\r\nMailerPath=" + WriteMailer() + "\r\n");
    auto form = Shown();
    form->miOfflineClick(); // the check button asks to go online, and No stays offline
    answer = IDNO;
    // The options dialog runs its own loop: it is closed from there.
    int dialogs = 0;
    QTimer closer;
    QObject::connect(&closer, &QTimer::timeout, [&] {
        if (QWidget* dialog = QApplication::activeModalWidget()) {
            ++dialogs;
            dialog->close();
        }
    });
    closer.start(5);
    const auto asked = [this](const char* question) {
        return int(std::count_if(boxes.begin(), boxes.end(),
                                 [&](const auto& box) { return box.first == question; }));
    };
    const std::vector<std::pair<const char*, std::function<int()>>> buttons{
        {"pbCheck",
         [&] { return asked("現在、オフライン作業中です。オンラインに切り替えますか？"); }},
        {"imOption", [&] { return dialogs; }},
        {"imInformation", [&] { return Settings.Type == 1 ? 1 : 0; }},
        {"imMailer", [&] { return MailerStarts(); }},
        {"sbMinimum", [&] { return form->isMinimized() ? 1 : 0; }},
        {"spClose", [&] { return asked("終了してもよろしいですか？"); }}};
    const std::vector<std::pair<const char*, std::function<void(QWidget*)>>> ways{
        {"click", [](QWidget* w) { QTest::mouseClick(w, Qt::LeftButton); }},
        {"Space", [](QWidget* w) { QTest::keyClick(w, Qt::Key_Space); }},
        {"Enter", [](QWidget* w) { QTest::keyClick(w, Qt::Key_Return); }},
        {"press", [](QWidget* w) {
             QAccessibleInterface* button = QAccessible::queryAccessibleInterface(w);
             ASSERT_NE(button, nullptr);
             ASSERT_TRUE(button->actionInterface()->actionNames().contains(
                 QAccessibleActionInterface::pressAction()));
             button->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
         }}};
    for (const auto& [name, effect] : buttons) {
        QWidget* button = Child<QWidget>(*form, name);
        for (const auto& [way, trigger] : ways) {
            Activate(*form);
            button->setFocus(Qt::TabFocusReason);
            const int before = effect();
            trigger(button);
            const bool acted = test::RunUntil(
                [&] {
                    return effect() ==
                           (name == std::string("imInformation") ? 1 - before : before + 1);
                },
                seconds(5));
            EXPECT_TRUE(acted) << name << " by " << way;
            if (name == std::string("sbMinimum"))
                form->showNormal();
            test::RunFor(std::chrono::milliseconds(20));
        }
    }
    EXPECT_EQ(MailerStarts(), 4);
    EXPECT_EQ(dialogs, 4);
}

TEST_F(MainWindowDisplayTest, TheMenuKeyAndShiftF10OpenTheSystemMenuAtTheFocus) {
    WriteProfile("[Setting]\r\nSettingEndCheck=0\r\n");
    auto form = Shown();
    QWidget* option = Child<QWidget>(*form, "imOption");
    const QPoint belowOption = option->mapToGlobal(QPoint(0, option->height()));
    const std::vector<std::tuple<const char*, QKeyCombination, QPoint>> keys{
        {"Menu", Qt::Key_Menu, belowOption},
        {"Shift+F10", Qt::SHIFT | Qt::Key_F10, belowOption},
        {"Alt+Space", Qt::ALT | Qt::Key_Space, form->mapToGlobal(QPoint(4, 23))}};
    for (const auto& [name, key, at] : keys) {
        Activate(*form);
        option->setFocus(Qt::TabFocusReason);
        QTest::keyClick(option, key.key(), key.keyboardModifiers());
        EXPECT_TRUE(form->sysMenu->isVisible()) << name;
        EXPECT_EQ(form->sysMenu->pos(), at) << name;
        form->sysMenu->close();
    }
}

// What a screen reader reads: each control's role and name, the displays'
// text, and the trees row by row.
TEST_F(MainWindowDisplayTest, AScreenReaderReadsEveryControlByItsNameAndTheTreesByRow) {
    test::MailboxServer server;
    test::Mailbox box;
    box.messages = {test::SimpleMessage("Hello"), test::SimpleMessage("World")};
    server.Set("demo", box);
    WriteAccountProfile(
        server, "SettingEndCheck=0\r\nSettingInfoOpen=0\r\nMailerPath=" + WriteMailer() + "\r\n");
    auto form = Create();
    ASSERT_TRUE(CheckOnce(*form));
    const auto reader = [&](const char* name) {
        QAccessibleInterface* control = QAccessible::queryAccessibleInterface(
            form->findChild<QObject*>(QString::fromLatin1(name)));
        EXPECT_NE(control, nullptr) << name;
        return control;
    };
    const auto said = [](QAccessibleInterface* control,
                         QAccessible::Text text = QAccessible::Name) {
        return control->text(text).toStdString();
    };
    using Role = QAccessible::Role;
    const std::vector<std::tuple<const char*, Role, std::string>> controls{
        {"pbCheck", QAccessible::Button, "メールチェック"},
        {"imOption", QAccessible::Button, "環境設定"},
        {"imInformation", QAccessible::Button, "メールボックス情報の表示／非表示"},
        {"imMailer", QAccessible::Button, "メーラを起動"},
        {"sbMinimum", QAccessible::Button, "最小化"},
        {"spClose", QAccessible::Button, "閉じる"},
        {"laMailCount", QAccessible::StaticText, "着信メール数：2"},
        {"laMailDate", QAccessible::StaticText,
         "最終チェック日時：" + Child<QLabel>(*form, "laMailDate")->text().toStdString()},
        {"tvAccount", QAccessible::Tree, "アカウントリスト"},
        {"tvMail", QAccessible::Tree, "メールリスト"}};
    for (const auto& [name, role, text] : controls) {
        QAccessibleInterface* control = reader(name);
        EXPECT_EQ(control->role(), role) << name;
        EXPECT_EQ(said(control), text) << name;
    }
    EXPECT_EQ(said(reader("laMailCount"), QAccessible::Value), "2");
    QAccessibleInterface* window = QAccessible::queryAccessibleInterface(form.get());
    EXPECT_EQ(window->role(), QAccessible::Window);
    EXPECT_EQ(said(window), "Pim - " + cp932::ToUtf8(form->StatusText()));
    auto* strip = form->findChild<StatusStrip*>();
    QAccessibleInterface* status = QAccessible::queryAccessibleInterface(strip);
    EXPECT_EQ(status->role(), QAccessible::StatusBar);
    EXPECT_EQ(said(status), "状態：" + strip->Text().toStdString());

    // Row by row, the hidden header naming the column.
    const std::vector<std::pair<const char*, std::vector<std::string>>> trees{
        {"tvAccount", {"アカウントリスト", "すべてのアカウント", "Demo"}},
        {"tvMail", {"メールリスト", "Demo", "Hello", "World"}}};
    for (const auto& [name, lines] : trees) {
        std::vector<std::string> rows;
        QAccessibleInterface* tree = reader(name);
        for (int i = 0; i < tree->childCount(); ++i)
            rows.push_back(said(tree->child(i)));
        EXPECT_EQ(rows, lines) << name;
    }

    // The arrow keys choose an account as a click does.
    auto* accounts = Child<QTreeWidget>(*form, "tvAccount");
    accounts->setFocus();
    QTest::keyClick(accounts, Qt::Key_Down);
    EXPECT_EQ(Child<QTreeWidget>(*form, "tvMail")->topLevelItem(0)->text(0), "Hello");
}

} // namespace
} // namespace pim
