// fpn-console: its dialogue logic without a terminal or a network (prompts from a
// station in, the lines shown and the answers to send out), and the program as
// a child process against a station in the test process, over the loopback
// broadcast on a free port and over the real limited broadcast between two
// network namespaces.
#include "Dialogue.h"
#include "WireTap.h"
#include "common/Cp932.h"
#include "remote/LocalStation.h"

#include <QProcess>
#include <fcntl.h>
#include <gmock/gmock.h>
#include <sched.h>

namespace pim::console {
namespace {

using namespace std::chrono_literals;
using ::testing::_;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using Kind = Prompt::Kind;
using Outcome = Dialogue::Outcome;

const auto Sjis = cp932::FromUtf8;

// Pim's main menu and password line, as its station sends them.
const Prompt kMenu{Kind::Select, "", "", Sjis("開始&:確認"), "MailCheck&:Mail", "Main"};
const Prompt kPassword{Kind::Line, "", Sjis("パスワード"), "", "", "Pass"};

struct FakeTerminal : Terminal {
    std::vector<std::string> typed;
    size_t next = 0;
    std::vector<std::pair<std::string, bool>> asked; // prompt, hidden

    std::optional<std::string> ReadLine(const std::string& prompt, bool hidden) override {
        asked.emplace_back(prompt, hidden);
        return next < typed.size() ? std::optional(typed[next++]) : std::nullopt;
    }
};

struct Session {
    std::vector<std::string> shown;
    Dialogue dialogue;

    explicit Session(std::vector<std::string> answers, Terminal* terminal = nullptr)
        : dialogue(std::move(answers), terminal,
                   [this](const std::string& line) { shown.push_back(line); }) {}
};

TEST(ConsoleDialogueTest, AScriptedAnswerNamesAChoiceByNumberLabelOrValue) {
    const struct {
        Prompt prompt;
        std::vector<std::string> answers; // each on its own
        Outcome outcome;
        std::string result; // the answer sent, or a part of the error
    } cases[] = {
        {kMenu, {"2", "Mail"}, Outcome::Answer, "Mail"},
        {kMenu, {"開始", " 1 ", "MailCheck"}, Outcome::Answer, "MailCheck"},
        {kMenu,
         {"0", "3", "-1", "", "mail", "99999999999999999999"},
         Outcome::BadAnswer,
         "1 から 2"},
        // A number wins over a label that looks like another number.
        {{Kind::Select, {}, {}, "2&:1", "two&:one", "T"}, {"1"}, Outcome::Answer, "two"},
        {{Kind::Select, Sjis("なし"), {}, {}, {}, "T"}, {"1"}, Outcome::EmptyChoice, ""},
        {kPassword, {"ひみつ"}, Outcome::Answer, Sjis("ひみつ")},
    };
    for (const auto& c : cases) {
        for (const std::string& answer : c.answers) {
            Session run({answer});
            ASSERT_EQ(run.dialogue.Handle(c.prompt), c.outcome) << answer;
            EXPECT_EQ(c.outcome == Outcome::Answer ? run.dialogue.Answer() : c.result, c.result);
            EXPECT_THAT(run.dialogue.Error(),
                        HasSubstr(c.outcome == Outcome::Answer ? "" : c.result));
        }
    }
}

TEST(ConsoleDialogueTest, ATerminalIsAskedWhenAnswersRunOutAndAMessageEndsTheDialogue) {
    FakeTerminal terminal;
    terminal.typed = {"pw\r\n", "9", "2\n"};
    Session typed({"1"}, &terminal);
    const std::pair<Prompt, std::string> steps[] = {
        {kMenu, "MailCheck"}, {kPassword, "pw"}, {kMenu, "Mail"}};
    for (const auto& [prompt, answer] : steps) {
        ASSERT_EQ(typed.dialogue.Handle(prompt), Outcome::Answer) << answer;
        EXPECT_EQ(typed.dialogue.Answer(), answer);
    }
    EXPECT_EQ(typed.dialogue.Handle(kMenu), Outcome::EndOfInput);
    // Only the password goes unechoed.
    using Asked = std::pair<std::string, bool>;
    EXPECT_THAT(terminal.asked,
                ElementsAre(Asked{"パスワード: ", true}, Asked{"番号: ", false}, _, _));

    // A message, or the refusal, ends the dialogue; an escape sequence in it is
    // shown, not obeyed by the terminal.
    Session run({});
    EXPECT_EQ(run.dialogue.Handle(
                  {Kind::Message, Sjis("了解\x1b]0;x\x07\r\n二\r三\n\r\n"), "", "", "", ""}),
              Outcome::Finished);
    EXPECT_EQ(run.dialogue.Handle({Kind::Nothing, "", "", "", "", ""}), Outcome::Finished);
    EXPECT_THAT(run.shown, ElementsAre("了解?]0;x?", "二", "三", "",
                                       "このステーションにはメニューがありません。"));
}

struct Result {
    int exit; // -2: crashed, or killed after 30 s
    std::string out, err;
};

// Runs a shell script to its end while the event loop turns: the station answers it.
Result Shell(const QString& script) {
    QProcess process;
    process.start("sh", {"-c", script});
    process.closeWriteChannel();
    if (!test::RunUntil([&] { return process.state() == QProcess::NotRunning; }, 30s))
        process.kill();
    process.waitForFinished();
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -2,
            process.readAllStandardOutput().toStdString(),
            process.readAllStandardError().toStdString()};
}

class ConsoleProcessTest : public ::testing::Test {
protected:
    const uint16_t port = test::FreshPort();
    const QString here = QString::fromStdString(LocalMachineName());
    TFernpostNetwork station;
    std::vector<std::string> returns; // tag=value
    std::vector<std::string> gone;    // handle names that logged out

    void SetUp() override {
        station.Discrimination = "Pim";
        station.HandleName = cp932::FromUtf8("Pim <テスト>");
        station.Menu = true;
        station.PortNo = port;
        station.BroadcastAddress = test::kLoopbackBroadcast;
        // Pim's shape of dialogue: a choice, a password, then a message.
        station.OnMenuRequest = [](TFernpostNetwork* s, auto&, auto& m, auto& d) {
            s->InputSelect("Menu", cp932::FromUtf8("開始&:確認"), "MailCheck&:Mail", "Main", m, d);
        };
        station.OnInputReturn = [this](TFernpostNetwork* s, auto& tag, auto& value, auto&, auto& m,
                                       auto& d) {
            returns.push_back(tag + "=" + value);
            if (tag == "Main")
                s->InputLine("Enter", cp932::FromUtf8("パスワード"), "Pass", m, d);
            else
                s->InputMessage("OK\r\nStarted", m, d);
        };
        station.OnLogout = [this](auto*, auto& handle, auto&, auto&, auto&) {
            gone.push_back(handle);
        };
    }

    // How fpn-console is run: CMD stands for the program and its arguments. Its
    // own texts are English outside a Japanese locale; the station's stay as sent.
    QString wrap = "CMD --broadcast 127.255.255.255", locale = "LANGUAGE= LC_ALL=C.UTF-8";
    Result Console(const QString& args) {
        const QString command =
            QString("env %1 %2 %3 --port %4").arg(locale, FPN_CONSOLE, args).arg(port);
        return Shell(QString(wrap).replace("CMD", command));
    }
};

TEST_F(ConsoleProcessTest, ListMenuAndEveryFailureWithItsOwnStatus) {
    ASSERT_TRUE(station.Open() && station.Login());
    const QString menu = "menu " + here + " --answer ";
    const struct {
        QString args;
        int exit;
        std::string out; // when the run succeeds
        const char* error;
    } cases[] = {
        // The handle name arrives in UTF-8, and the console does not list itself.
        {"list --timeout 0.5", 0,
         "Pim <テスト>\t" + here.toStdString() + "\t" + station.IPAddress() + "\tPim\tyes\n", ""},
        // The password is never shown.
        {menu + "確認 --answer himitsu", 0,
         "Menu\n  1) 開始\n  2) 確認\nNumber: 確認\nEnter\nパスワード:\nOK\nStarted\n", ""},
        {"menu NO-SUCH-PC --timeout 0.3", 2, "", "NO-SUCH-PC"},
        // The answers run out, and there is no terminal to ask.
        {menu + "1", 4, "", "not a terminal"},
    };
    for (const auto& c : cases) {
        const Result run = Console(c.args);
        EXPECT_EQ(run.exit, c.exit) << c.args.toStdString() << run.err;
        EXPECT_EQ(c.exit == 0 ? run.out : "", c.out);
        EXPECT_THAT(run.err, HasSubstr(c.error));
    }
    EXPECT_EQ(returns, (std::vector<std::string>{"Main=Mail", "Pass=himitsu", "Main=MailCheck"}));
    // A desktop's LANGUAGE list that names Japanese first is answered in Japanese.
    locale = "LANGUAGE=ja:en LC_ALL=ja_JP.UTF-8";
    EXPECT_THAT(Console("menu NO-SUCH-PC --timeout 0.3").err,
                HasSubstr("以内に応答しませんでした"));
    ASSERT_TRUE(test::RunUntil([&] { return !gone.empty(); }, 3s));
    EXPECT_TRUE(gone.front().starts_with("fpn-console <")) << gone.front();
}

class NamespaceTest : public ConsoleProcessTest {
protected:
    const QString id = QString::number(::getpid());
    void TearDown() override {
        Shell(QString("ip netns del pimst%1; ip netns del pimco%1").arg(id));
    }
};

// The station's socket is made in a network namespace of its own, the console
// runs in another under a host name of its own; a veth pair joins them. The
// namespaces and their private addresses exist only for the test.
TEST_F(NamespaceTest, ListAndMenuOverTheLimitedBroadcast) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to create network namespaces";
    TearDown(); // what a run that was killed left over
    if (Shell(QString("ip netns add pimst%1").arg(id)).exit != 0)
        GTEST_SKIP() << "cannot create network namespaces";
    // The limited broadcast needs a route to leave by.
    const Result lan = Shell(QString(R"(set -e; ip netns add pimco%1
        ip -n pimst%1 link add vs%1 type veth peer name vc%1 netns pimco%1
        ip -n pimst%1 addr add 10.254.0.1/24 dev vs%1; ip -n pimst%1 link set vs%1 up
        ip -n pimco%1 addr add 10.254.0.2/24 dev vc%1; ip -n pimco%1 link set vc%1 up
        ip -n pimst%1 link set lo up; ip -n pimco%1 link set lo up
        ip -n pimst%1 route add 255.255.255.255/32 dev vs%1
        ip -n pimco%1 route add 255.255.255.255/32 dev vc%1)")
                                 .arg(id));
    ASSERT_EQ(lan.exit, 0) << lan.err;

    // This thread makes the station's socket in the station's namespace, and goes home.
    const int home = ::open("/proc/thread-self/ns/net", O_RDONLY);
    const int there = ::open(("/run/netns/pimst" + id).toLocal8Bit().constData(), O_RDONLY);
    ASSERT_EQ(::setns(there, CLONE_NEWNET), 0);
    station.BroadcastAddress = "255.255.255.255";
    const bool opened = station.Open() && station.Login();
    EXPECT_EQ(::setns(home, CLONE_NEWNET), 0);
    ::close(home), ::close(there);
    ASSERT_TRUE(opened);
    EXPECT_EQ(station.IPAddress(), "10.254.0.1") << "not the link's IPv6 address";

    wrap =
        QString("ip netns exec pimco%1 unshare --uts sh -c 'hostname pimco%1 && exec CMD'").arg(id);
    const Result menu = Console("menu " + here + " --answer 2 --answer pw");
    EXPECT_EQ(menu.exit, 0) << menu.err;
    EXPECT_EQ(returns, (std::vector<std::string>{"Main=Mail", "Pass=pw"}));
}

} // namespace
} // namespace pim::console
