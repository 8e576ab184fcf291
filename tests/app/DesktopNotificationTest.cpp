// The desktop notification at the end of a run, against python3-dbusmock's
// notification daemon on a private session bus.
#include "MainFormFixture.h"
#include "support/EventLoop.h"
#include "support/PrivateBus.h"

#include <QDBusArgument>
#include <QDBusVariant>
#include <ostream>

// Failures show texts as text.
QT_BEGIN_NAMESPACE
inline void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}
QT_END_NAMESPACE

namespace pim {
namespace {

using std::chrono::seconds;

const QString kService = QStringLiteral("org.freedesktop.Notifications");
const QString kPath = QStringLiteral("/org/freedesktop/Notifications");

// The notification daemon as dbusmock plays it: it records every call.
class NotificationDaemon {
public:
    // An empty `capabilities` starts the bus without a daemon.
    bool Start(const std::string& capabilities) {
        if (!bus.Start())
            return false;
        return capabilities.empty() ||
               bus.StartMock({"--template", "notification_daemon", "-p",
                              "{\"capabilities\": \"" + capabilities + "\"}"},
                             false, kService);
    }
    // The arguments of each call of `method`, oldest first.
    std::vector<QVariantList> Calls(const QString& method) {
        return bus.MockCalls(kService, kPath, method);
    }
    void Emit(const QString& name, const QString& signature, const QVariantList& arguments) {
        bus.Call(kService, kPath, QStringLiteral("org.freedesktop.DBus.Mock"),
                 QStringLiteral("EmitSignal"), {kService, name, signature, arguments});
    }

    test::PrivateBus bus;
};

// What a Notify call carried.
struct Sent {
    QString appName;
    uint replacesId = 0;
    QString icon;
    QString summary;
    QString body;
    QStringList actions;
    QVariantMap hints;
    int timeout = 0;
};

Sent Parse(const QVariantList& a) {
    return {a.value(0).toString(),
            a.value(1).toUInt(),
            a.value(2).toString(),
            a.value(3).toString(),
            a.value(4).toString(),
            qdbus_cast<QStringList>(a.value(5)),
            qdbus_cast<QVariantMap>(a.value(6)),
            a.value(7).toInt()};
}

class DesktopNotificationTest : public MainFormTest {
protected:
    std::unique_ptr<NotificationDaemon> daemon; // outlives every form on it
    test::MailboxServer server;
    test::Mailbox box;

    void SetUp() override {
        if (const QString reason = test::PrivateBus::SkipReason(); !reason.isEmpty())
            GTEST_SKIP() << reason.toStdString();
        MainFormTest::SetUp();
    }
    // The daemon (or, with no capabilities, only the bus) and the window on it.
    std::unique_ptr<TMainForm> Start(const std::string& capabilities, const std::string& settings) {
        daemon = std::make_unique<NotificationDaemon>();
        EXPECT_TRUE(daemon->Start(capabilities)) << daemon->bus.error().toStdString();
        QDBusConnection bus = daemon->bus.Bus();
        TMainForm::NotificationBus = [bus] { return bus; };
        server.Set("demo", box);
        WriteAccountProfile(server, "SettingAutoShow=0\r\nSettingEndCheck=0\r\n" + settings);
        return Create();
    }
    bool NotifiedTimes(size_t n) {
        return test::RunUntil([&] { return daemon->Calls(QStringLiteral("Notify")).size() == n; },
                              seconds(5));
    }
};

TEST_F(DesktopNotificationTest, NewMailIsNotifiedWithItsSubjectsSendersAndActions) {
    struct Row {
        const char* name;
        std::string capabilities;
        bool mailer;
        std::vector<std::string> messages;
        QString summary;
        QString body;
        QStringList actions;
    };
    const QStringList show{QStringLiteral("default"), QStringLiteral("メインウィンドウを表示")};
    const QStringList mailer{QStringLiteral("mailer"), QStringLiteral("メーラを起動")};
    std::vector<std::string> seven;
    for (int i = 1; i <= 7; ++i)
        seven.push_back(test::SimpleMessage("m" + std::to_string(i)));
    const std::vector<Row> rows{
        {"with a mail program",
         "body actions",
         true,
         {test::SimpleMessage("one"), test::SimpleMessage("two", "b@example.jp")},
         QStringLiteral("新着メールが 2 通あります"),
         QStringLiteral("one（a@example.jp）\ntwo（b@example.jp）"),
         show + mailer},
        {"more than are named, without a mail program", "body actions", false, seven,
         QStringLiteral("新着メールが 7 通あります"),
         QStringLiteral("m1（a@example.jp）\nm2（a@example.jp）\nm3（a@example.jp）\n"
                        "m4（a@example.jp）\nm5（a@example.jp）\nほか 2 通"),
         show},
        {"a server that reads markup and offers no actions",
         "body body-markup",
         true,
         {test::SimpleMessage("R&D <urgent>", "Taro <taro@example.jp>")},
         QStringLiteral("新着メールが 1 通あります"),
         QStringLiteral("R&amp;D &lt;urgent&gt;（Taro &lt;taro@example.jp&gt;）"),
         {}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        box.messages = row.messages;
        auto form =
            Start(row.capabilities, row.mailer ? "MailerPath=" + WriteMailer() + "\r\n" : "");
        ASSERT_TRUE(CheckOnce(*form));
        ASSERT_TRUE(NotifiedTimes(1));
        const Sent sent = Parse(daemon->Calls(QStringLiteral("Notify")).front());
        EXPECT_EQ(sent.appName, QStringLiteral("Pim"));
        EXPECT_EQ(sent.replacesId, 0u);
        EXPECT_TRUE(sent.icon.endsWith(QStringLiteral("pim.svg")) || sent.icon == "pim");
        EXPECT_EQ(sent.summary, row.summary);
        EXPECT_EQ(sent.body, row.body);
        EXPECT_EQ(sent.actions, row.actions);
        EXPECT_EQ(sent.hints.value(QStringLiteral("desktop-entry")), QStringLiteral("pim"));
        EXPECT_EQ(sent.hints.value(QStringLiteral("category")), QStringLiteral("email.arrived"));
        EXPECT_EQ(sent.timeout, -1);
    }
}

TEST_F(DesktopNotificationTest, ANewRunReplacesTheNotificationAndItsActionsShowAndStartTheMailer) {
    box.messages = {test::SimpleMessage("one")};
    auto form = Start("body actions", "MailerPath=" + WriteMailer() + "\r\n");
    ASSERT_TRUE(CheckOnce(*form));
    ASSERT_TRUE(NotifiedTimes(1));
    box.messages.push_back(test::SimpleMessage("two"));
    server.Set("demo", box);
    ASSERT_TRUE(CheckOnce(*form));
    ASSERT_TRUE(NotifiedTimes(2));
    const Sent second = Parse(daemon->Calls(QStringLiteral("Notify"))[1]);
    EXPECT_EQ(second.replacesId, 1u) << "replaced, not stacked";
    EXPECT_EQ(second.summary, QStringLiteral("新着メールが 1 通あります"));
    EXPECT_EQ(second.body, QStringLiteral("two（a@example.jp）"));

    ASSERT_FALSE(form->isVisible());
    daemon->Emit(QStringLiteral("ActionInvoked"), QStringLiteral("us"),
                 {1u, QStringLiteral("default")});
    EXPECT_TRUE(test::RunUntil([&] { return form->isVisible(); }, seconds(5)));
    daemon->Emit(QStringLiteral("ActionInvoked"), QStringLiteral("us"),
                 {1u, QStringLiteral("mailer")});
    EXPECT_TRUE(test::RunUntil([&] { return MailerStarts() == 1; }, seconds(5)));
    EXPECT_TRUE(test::RunUntil(
        [&] {
            const auto closed = daemon->Calls(QStringLiteral("CloseNotification"));
            return closed.size() == 1 && closed[0].value(0).toUInt() == 1;
        },
        seconds(5)))
        << "the user reads the mail";
    // Once closed, it is no longer Pim's to act on.
    daemon->Emit(QStringLiteral("ActionInvoked"), QStringLiteral("us"),
                 {1u, QStringLiteral("mailer")});
    test::RunFor(std::chrono::milliseconds(300));
    EXPECT_EQ(MailerStarts(), 1);
}

TEST_F(DesktopNotificationTest, NothingIsSentWithTheOptionOffOrTheMailerStartedNorWithoutADaemon) {
    box.messages = {test::SimpleMessage("one")};
    {
        auto form = Start("body actions", "SettingNotification=0\r\n");
        ASSERT_TRUE(CheckOnce(*form));
        test::RunFor(std::chrono::milliseconds(300));
        EXPECT_TRUE(daemon->Calls(QStringLiteral("GetCapabilities")).empty());
        EXPECT_TRUE(daemon->Calls(QStringLiteral("Notify")).empty());
    }
    {
        // The mail program started at the end of the run is the notice itself.
        auto form =
            Start("body actions", "MailerAutoRun=1\r\nMailerPath=" + WriteMailer() + "\r\n");
        ASSERT_TRUE(CheckOnce(*form));
        EXPECT_TRUE(test::RunUntil([&] { return MailerStarts() == 1; }, seconds(5)));
        test::RunFor(std::chrono::milliseconds(300));
        EXPECT_TRUE(daemon->Calls(QStringLiteral("Notify")).empty());
    }
    auto form = Start("", "");
    testing::internal::CaptureStderr();
    ASSERT_TRUE(CheckOnce(*form));
    box.messages.push_back(test::SimpleMessage("two"));
    server.Set("demo", box);
    ASSERT_TRUE(CheckOnce(*form));
    test::RunFor(std::chrono::milliseconds(300));
    const QString said = QString::fromStdString(testing::internal::GetCapturedStderr());
    EXPECT_EQ(said.count(QStringLiteral("デスクトップ通知")), 1) << "once, not at every check";
    EXPECT_EQ(form->Run().ShownResults[0].Count, 2);
}

} // namespace
} // namespace pim
