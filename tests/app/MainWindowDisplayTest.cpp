#include "MainFormFixture.h"
#include "app/PictureButton.h"
#include "support/EventLoop.h"

#include <QDir>
#include <QLabel>
#include <QMenu>
#include <QSystemTrayIcon>
#include <QTest>
#include <QTreeWidget>

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
};

TEST_F(MainWindowDisplayTest, BeforeTheFirstRunTheLabelsShowDashesAndTheTreesAreEmpty) {
    auto form = Create();
    EXPECT_EQ(Child<QLabel>(*form, "laMailCount")->text(), QStringLiteral("---"));
    EXPECT_EQ(Child<QLabel>(*form, "laMailDate")->text(), QStringLiteral("--/-- --:--:--"));
    EXPECT_EQ(Child<QTreeWidget>(*form, "tvAccount")->topLevelItemCount(), 0);
    EXPECT_EQ(Child<QTreeWidget>(*form, "tvMail")->topLevelItemCount(), 0);
    // No mail program: no button for it.
    EXPECT_TRUE(Child<PictureButton>(*form, "imMailer")->isHidden());
}

TEST_F(MainWindowDisplayTest, TheMailerButtonShowsOnlyForAProgramThatExists) {
    WriteProfile("[Setting]\r\nMailerPath=" + dir.file("nothing-here") + "\r\n");
    EXPECT_TRUE(Child<PictureButton>(*Create(), "imMailer")->isHidden());
    WriteProfile("[Setting]\r\nMailerPath=" + WriteMailer() + "\r\n");
    EXPECT_FALSE(Child<PictureButton>(*Create(), "imMailer")->isHidden());
}

TEST_F(MainWindowDisplayTest, TheLeftButtonShiftsTheCheckButtonOnePixelWhilePressed) {
    WriteProfile("[Setting]\r\nSettingEndCheck=0\r\n");
    auto form = Create();
    form->show();
    auto* check = Child<PictureButton>(*form, "pbCheck");
    QTest::mousePress(check, Qt::RightButton);
    EXPECT_EQ(check->pos(), QPoint(18, 39));
    QTest::mouseRelease(check, Qt::RightButton);
    QTest::mousePress(check, Qt::LeftButton);
    EXPECT_EQ(check->pos(), QPoint(19, 40));
    QTest::mouseRelease(check, Qt::LeftButton);
    EXPECT_EQ(check->pos(), QPoint(18, 39));
}

TEST(PictureButton, APressedPictureReplacesTheShiftAndAReleaseElsewhereDoesNotClick) {
    QWidget window;
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

// Pictures for a person to look at (in the test's build folder), checked here
// only for the outline: inside the window painted, outside transparent.
TEST_F(MainWindowDisplayTest, ScreenshotsOfTheCompactWindowTheFullWindowAndTheTrayMenu) {
    QDir().mkpath(QStringLiteral("screenshots"));
    test::MailboxServer server;
    test::Mailbox box;
    box.messages = {
        test::SimpleMessage("=?ISO-2022-JP?B?GyRCPTU8ITJxNUQkTiQqQ04kaSQ7GyhC?=",
                            "=?ISO-2022-JP?B?GyRCOzNFRBsoQiAbJEJCQE86GyhC?= <yamada@example.jp>"),
        test::SimpleMessage("=?ISO-2022-JP?B?UmU6IBskQjgrQFE9cSRON28bKEI=?=", "sales@example.com",
                            "Mon, 3 Dec 2026 17:05:09 +0900")};
    server.Set("demo", box);
    WriteAccountProfile(server, "SettingEndCheck=0\r\nSettingAutoShow=1\r\n");
    auto form = Create();
    form->show();
    ASSERT_TRUE(test::RunUntil([&] { return !form->ShapePending(); }, seconds(2)));
    const QImage compact = form->Screenshot();
    ASSERT_TRUE(compact.save(QStringLiteral("screenshots/main-compact.png")));
    EXPECT_EQ(compact.height(), 90);
    EXPECT_EQ(qAlpha(compact.pixel(300, 80)), 0) << "below the caption row, right: outside";
    EXPECT_EQ(qAlpha(compact.pixel(34, 55)), 255);

    ASSERT_TRUE(CheckOnce(*form));
    ASSERT_TRUE(test::RunUntil([&] { return !form->ShapePending(); }, seconds(2)));
    const QImage full = form->Screenshot();
    ASSERT_TRUE(full.save(QStringLiteral("screenshots/main-full.png")));
    EXPECT_EQ(full.height(), 300);
    EXPECT_EQ(qAlpha(full.pixel(0, 0)), 0) << "the round corner";
    EXPECT_EQ(qAlpha(full.pixel(200, 200)), 255);
    EXPECT_EQ(form->Run().ShownResults[0].Subjects[0],
              cp932::FromUnicode(QStringLiteral("週次会議のお知らせ")));

    form->pmTask->popup(form->mapToGlobal(QPoint(4, 23)));
    ASSERT_TRUE(form->pmTask->grab().save(QStringLiteral("screenshots/tray-menu.png")));
    form->pmTask->close();
}

} // namespace
} // namespace pim
