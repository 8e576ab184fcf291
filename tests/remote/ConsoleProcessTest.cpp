// fpn-console as a child process against a station in the test process, over
// the loopback broadcast address on a free port.
#include "RunProcess.h"
#include "common/Cp932.h"
#include "remote/LocalStation.h"
#include "remote/TFernpostNetwork.h"

#include <QUdpSocket>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace pim {
namespace {

using namespace std::chrono_literals;
using ::testing::HasSubstr;
using ::testing::Not;

std::string Sjis(std::string_view utf8) {
    return cp932::FromUtf8(utf8);
}

uint16_t FreeUdpPort() {
    QUdpSocket probe;
    probe.bind(QHostAddress::AnyIPv4, 0);
    return probe.localPort();
}

using test::Result;

class ConsoleProcessTest : public ::testing::Test {
protected:
    const uint16_t port = FreeUdpPort();
    TFernpostNetwork station;
    std::vector<std::pair<std::string, std::string>> returns; // tag, value
    std::vector<std::string> gone;                            // handle names that logged out

    void SetUp() override {
        ASSERT_NE(port, 0);
        station.Discrimination = "Pim";
        station.HandleName = Sjis("Pim <テスト>");
        station.Menu = true;
        station.PortNo = port;
        station.BroadcastAddress = "127.255.255.255";
        // Pim's shape of dialogue: a choice, a password, then a message.
        station.OnMenuRequest = [](TFernpostNetwork* s, const std::string&, const std::string& m,
                                   const std::string& d) {
            s->InputSelect(Sjis("メニュー\r\n選んでください"),
                           Sjis("メールチェック開始&:着信メール確認"), "MailCheck&:Mail", "Main", m,
                           d);
        };
        station.OnInputReturn = [this](TFernpostNetwork* s, const std::string& tag,
                                       const std::string& value, const std::string&,
                                       const std::string& m, const std::string& d) {
            returns.emplace_back(tag, value);
            if (tag == "Main")
                s->InputLine(Sjis("パスワードを入力してください。"), Sjis("パスワード"), "Pass", m,
                             d);
            else
                s->InputMessage(Sjis("了解しました。\r\nメールチェックを開始します。"), m, d);
        };
        station.OnLogout = [this](TFernpostNetwork*, const std::string& handle, const std::string&,
                                  const std::string&,
                                  const std::string&) { gone.push_back(handle); };
    }

    void Start() {
        ASSERT_TRUE(station.Open());
        ASSERT_TRUE(station.Login());
    }

    // Runs the console to its end while the station answers on this thread.
    Result Console(QStringList args) {
        args += {"--broadcast", "127.255.255.255", "--port", QString::number(port)};
        return test::RunProcess(FPN_CONSOLE, args);
    }

    QStringList Menu() const {
        return {"menu", QString::fromStdString(LocalMachineName()), "--kind", "Pim"};
    }

    bool ConsoleLoggedOut() {
        return test::RunUntil([&] { return !gone.empty(); }, 3s) &&
               gone.front().starts_with("fpn-console <");
    }
};

TEST_F(ConsoleProcessTest, ChoicePasswordAndMessage) {
    Start();
    const Result run =
        Console(Menu() + QStringList{"--answer", "着信メール確認", "--answer", "himitsu"});
    EXPECT_EQ(run.exit, 0) << run.err;
    EXPECT_EQ(run.out, "メニュー\n選んでください\n"
                       "  1) メールチェック開始\n  2) 着信メール確認\n番号: 着信メール確認\n"
                       "パスワードを入力してください。\nパスワード:\n"
                       "了解しました。\nメールチェックを開始します。\n");
    EXPECT_EQ(returns, (std::vector<std::pair<std::string, std::string>>{{"Main", "Mail"},
                                                                         {"Pass", "himitsu"}}));
    EXPECT_TRUE(ConsoleLoggedOut());
}

TEST_F(ConsoleProcessTest, FailuresEndWithTheirOwnStatus) {
    Start();
    const QString here = QString::fromStdString(LocalMachineName());
    const struct {
        QStringList args;
        int exit;
        const char* error;
    } cases[] = {
        {{"menu", "NO-SUCH-PC", "--timeout", "0.3"}, 2, "NO-SUCH-PC"},
        {{"menu", here, "--kind", "Other", "--timeout", "0.3"}, 2, ""},
        {Menu() + QStringList{"--answer", "3"}, 1, "\"3\""},
        {{"menu"}, 1, ""},
        // The answers run out, and there is no terminal to ask.
        {Menu() + QStringList{"--answer", "1"}, 4, "not a terminal"},
    };
    for (const auto& c : cases) {
        const Result run = Console(c.args);
        EXPECT_EQ(run.exit, c.exit) << c.args.join(' ').toStdString() << run.err;
        EXPECT_THAT(run.err, HasSubstr(c.error));
    }
    EXPECT_EQ(returns.size(), 1u) << "only the last got as far as an answer";
    EXPECT_TRUE(ConsoleLoggedOut());

    // A station that hears the request and never answers it.
    station.OnMenuRequest = [](TFernpostNetwork*, const std::string&, const std::string&,
                               const std::string&) {};
    const Result silent = Console(Menu() + QStringList{"--timeout", "0.5"});
    EXPECT_EQ(silent.exit, 2);
    EXPECT_THAT(silent.err, HasSubstr("no answer"));
}

TEST_F(ConsoleProcessTest, PortHeldWithoutSharing) {
    QUdpSocket holder;
    ASSERT_TRUE(holder.bind(QHostAddress::AnyIPv4, port, QUdpSocket::DontShareAddress));
    const Result run = Console({"list", "--timeout", "0.2"});
    EXPECT_EQ(run.exit, 3);
    EXPECT_THAT(run.err, HasSubstr("port"));
}

TEST_F(ConsoleProcessTest, ListShowsWhoAnswered) {
    const Result alone = Console({"list", "--timeout", "0.3"});
    EXPECT_EQ(alone.exit, 0) << alone.err;
    EXPECT_EQ(alone.out, "");
    EXPECT_THAT(alone.err, HasSubstr("no station answered"));

    Start();
    const Result run = Console({"list", "--timeout", "0.5"});
    EXPECT_EQ(run.exit, 0) << run.err;
    // The handle name arrives in UTF-8, and the console does not list itself.
    EXPECT_EQ(run.out,
              "Pim <テスト>\t" + LocalMachineName() + "\t" + station.IPAddress() + "\tPim\tyes\n");
    EXPECT_THAT(run.out, Not(HasSubstr("fpn-console")));
    EXPECT_TRUE(ConsoleLoggedOut());
}

} // namespace
} // namespace pim
