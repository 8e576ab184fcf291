// The desktop notification at the end of a run, against python3-dbusmock's
// notification daemon on a private session bus.
#include "MainFormFixture.h"
#include "support/PrivateBus.h"

#include <QCoreApplication>

namespace pim {
namespace {

using Lines = std::vector<std::string>;

const QString kService = QStringLiteral("org.freedesktop.Notifications");
const QString kPath = QStringLiteral("/org/freedesktop/Notifications");

class DesktopNotificationTest : public MainFormTest {
protected:
    std::unique_ptr<test::PrivateBus> bus; // outlives every form on it
    test::Mailbox box;

    void SetUp() override {
        if (const QString reason = test::PrivateBus::SkipReason(); !reason.isEmpty())
            GTEST_SKIP() << reason.toStdString();
        MainFormTest::SetUp();
    }
    // The daemon (with no capabilities, only the bus) and the window on it.
    std::unique_ptr<TMainForm> Start(const std::string& capabilities) {
        bus = std::make_unique<test::PrivateBus>();
        EXPECT_TRUE(bus->Start() &&
                    (capabilities.empty() ||
                     bus->StartMock({"--template", "notification_daemon", "-p",
                                     "{\"capabilities\": \"" + capabilities + "\"}"},
                                    false, kService)))
            << bus->error().toStdString();
        TMainForm::NotificationBus = [b = bus->Bus()] { return b; };
        WriteAccountProfile("SettingAutoShow=0\r\nSettingEndCheck=0\r\nMailerPath=" + mailer, box);
        return Create();
    }
    bool CheckWithNew(TMainForm& form, const std::string& subject,
                      const std::string& from = "a@example.jp") {
        box.messages.push_back(test::SimpleMessage(subject, from));
        server.Set("demo", box);
        return CheckOnce(form);
    }
    // What the daemon was asked, once it has seen all that Pim sent before.
    Lines Logged(const std::string& method, size_t count) {
        test::RunUntil([&] { return bus->Logged(kService, method).size() >= count; }, seconds(5));
        bus->Call(kService, kPath, kService, QStringLiteral("GetServerInformation"));
        return bus->Logged(kService, method);
    }
    void Emit(uint id, const char* action, const char* signal = "ActionInvoked") {
        bus->Call(kService, kPath, QStringLiteral("org.freedesktop.DBus.Mock"),
                  QStringLiteral("EmitSignal"),
                  {kService, QString::fromLatin1(signal), QStringLiteral("us"),
                   QVariantList{id, action}});
    }
    // A notice of one new mail, as the daemon logs it.
    static std::string Notify(int replaces, const std::string& text, bool actions) {
        return "Notify \"Pim\" " + std::to_string(replaces) + " \"" +
               DesktopNotifications::ProgramIcon().toStdString() +
               "\" \"新着メールが 1 通あります\" \"" + text + "\" [" +
               (actions ? R"("default", "メインウィンドウを表示", "mailer", "メーラを起動")" : "") +
               "] {\"category\": \"email.arrived\", \"desktop-entry\": \"pim\"} -1";
    }
};

TEST_F(DesktopNotificationTest, NewMailIsNotifiedUnlessTheOptionIsOffOrTheMailerStarts) {
    auto form = Start("body body-markup");
    Settings.SettingNotification = false;
    ASSERT_TRUE(CheckWithNew(*form, "one"));
    Settings.SettingNotification = Settings.MailerAutoRun = true;
    ASSERT_TRUE(CheckWithNew(*form, "two"));
    EXPECT_TRUE(test::RunUntil([&] { return MailerStarts() == 1; }, seconds(5)));
    // A run asks before it ends: nothing asked by now is nothing at all.
    EXPECT_EQ(Logged("GetCapabilities", 0), Lines{});

    Settings.MailerAutoRun = false;
    ASSERT_TRUE(CheckWithNew(*form, "R&D <urgent>", "Taro <taro@example.jp>"));
    // A server that reads markup gets the texts escaped, and no actions it cannot show.
    EXPECT_EQ(Logged("Notify", 1),
              Lines{Notify(0, "R&amp;D &lt;urgent&gt;（Taro &lt;taro@example.jp&gt;）", false)});
}

TEST_F(DesktopNotificationTest, ANewRunReplacesTheNoticeWhoseActionsActOnlyWhileItStands) {
    auto form = Start("body actions");
    ASSERT_TRUE(CheckWithNew(*form, "one"));
    ASSERT_EQ(Logged("Notify", 1).size(), 1u);
    ASSERT_TRUE(CheckWithNew(*form, "two"));
    EXPECT_EQ(Logged("Notify", 2).at(1), Notify(1, "two（a@example.jp）", true))
        << "replaced, not stacked";

    Emit(1, "default");
    EXPECT_TRUE(test::RunUntil([&] { return form->isVisible(); }, seconds(5)));
    Emit(1, "mailer");
    EXPECT_TRUE(test::RunUntil([&] { return MailerStarts() == 1; }, seconds(5)));
    EXPECT_EQ(Logged("CloseNotification", 1), Lines{"CloseNotification 1"})
        << "the user reads the mail";

    // Once closed, it is no longer Pim's to act on, nor to replace. The mailer
    // action on the next notice closes that only after the stale action was seen.
    form->hide();
    Emit(1, "default");
    ASSERT_TRUE(CheckWithNew(*form, "three"));
    EXPECT_EQ(Logged("Notify", 3).at(2), Notify(0, "three（a@example.jp）", true));
    Emit(2, "mailer");
    EXPECT_EQ(Logged("CloseNotification", 2).at(1), "CloseNotification 2");
    EXPECT_FALSE(form->isVisible());
}

// The token the server sends before an action goes with that action only, so
// that the desktop lets the window it shows come to the front.
TEST_F(DesktopNotificationTest, AnActionCarriesTheActivationTokenSentForIt) {
    auto form = Start("body actions");
    DesktopNotifications notifications(QStringLiteral("Pim"), QString(),
                                       [b = bus->Bus()] { return b; });
    std::vector<std::pair<QString, QByteArray>> invoked;
    QObject::connect(
        &notifications, &DesktopNotifications::actionInvoked,
        [&](const QString& key, const QByteArray& token) { invoked.emplace_back(key, token); });
    notifications.Notify({QStringLiteral("s"), QStringLiteral("b"), {}, {}});
    ASSERT_EQ(Logged("Notify", 1).size(), 1u);
    Emit(1, "token-1", "ActivationToken");
    Emit(1, "default");
    Emit(1, "mailer");
    Emit(2, "token-2", "ActivationToken"); // another program's
    Emit(1, "default");
    EXPECT_TRUE(test::RunUntil([&] { return invoked.size() == 3; }, seconds(5)));
    EXPECT_EQ(invoked, (std::vector<std::pair<QString, QByteArray>>{
                           {"default", "token-1"}, {"mailer", ""}, {"default", ""}}));
}

TEST_F(DesktopNotificationTest, WithoutADaemonTheRunsGoOnAndItIsSaidOnce) {
    auto form = Start("");
    testing::internal::CaptureStderr();
    for (const char* subject : {"one", "two"}) {
        ASSERT_TRUE(CheckWithNew(*form, subject));
        // The bus answers in order: after its answer to this, its refusal of Pim is in too.
        bus->Call(QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
                  QStringLiteral("org.freedesktop.DBus"), QStringLiteral("GetId"));
        QCoreApplication::processEvents();
    }
    EXPECT_EQ(QString::fromStdString(testing::internal::GetCapturedStderr())
                  .count(QStringLiteral("デスクトップ通知")),
              1)
        << "once, not at every check";
    EXPECT_EQ(form->Run().ShownResults[0].Count, 2);
}

} // namespace
} // namespace pim
