// The console's dialogue logic without a terminal or a network: prompts from a
// station in, the lines shown and the answers to send out.
#include "Dialogue.h"
#include "common/Cp932.h"

#include <deque>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace pim::console {
namespace {

using ::testing::ElementsAre;
using Kind = Prompt::Kind;
using Outcome = Dialogue::Outcome;

std::string Sjis(std::string_view utf8) {
    return cp932::FromUtf8(utf8);
}

// Pim's main menu, as its station sends it.
Prompt MainMenu() {
    return {Kind::Select,
            Sjis("メニュー\r\n選んでください"),
            {},
            Sjis("メールチェック開始&:着信メール確認"),
            "MailCheck&:Mail",
            "Main"};
}

Prompt PasswordLine() {
    return {Kind::Line, Sjis("パスワードを入力してください。"), Sjis("パスワード"), {}, {}, "Pass"};
}

class FakeTerminal : public Terminal {
public:
    std::deque<std::optional<std::string>> typed;
    std::vector<std::pair<std::string, bool>> asked; // prompt, hidden

    std::optional<std::string> ReadLine(const std::string& prompt, bool hidden) override {
        asked.emplace_back(prompt, hidden);
        if (typed.empty())
            return std::nullopt;
        auto line = typed.front();
        typed.pop_front();
        return line;
    }
};

struct Session {
    std::vector<std::string> shown;
    Dialogue dialogue;

    explicit Session(std::vector<std::string> answers, Terminal* terminal = nullptr)
        : dialogue(std::move(answers), terminal,
                   [this](const std::string& line) { shown.push_back(line); }) {}
};

TEST(ConsoleDialogueTest, ChoiceByNumberLabelOrValue) {
    Session run({"2", "メールチェック開始", "Mail", " 1 ", "MailCheck"});
    for (const char* expected : {"Mail", "MailCheck", "Mail", "MailCheck", "MailCheck"}) {
        ASSERT_EQ(run.dialogue.Handle(MainMenu()), Outcome::Answer);
        EXPECT_EQ(run.dialogue.Answer(), expected);
    }

    // A number wins over a label that looks like another number.
    Session numbers({"1"});
    ASSERT_EQ(numbers.dialogue.Handle({Kind::Select, {}, {}, "2&:1", "two&:one", "T"}),
              Outcome::Answer);
    EXPECT_EQ(numbers.dialogue.Answer(), "two");

    // A label without a value of its own goes back as itself.
    Session short_values({"2"});
    ASSERT_EQ(short_values.dialogue.Handle({Kind::Select, {}, {}, "A&:B", "a", "T"}),
              Outcome::Answer);
    EXPECT_EQ(short_values.dialogue.Answer(), "B");
}

TEST(ConsoleDialogueTest, ScriptedAnswerThatNamesNoChoiceFails) {
    for (const char* wrong : {"0", "3", "-1", "", "mail", "99999999999999999999"}) {
        Session run({wrong});
        EXPECT_EQ(run.dialogue.Handle(MainMenu()), Outcome::BadAnswer) << wrong;
        EXPECT_NE(run.dialogue.Error().find("1 to 2"), std::string::npos) << run.dialogue.Error();
    }
    // A value beyond the last label names nothing.
    Session extra({"c"});
    EXPECT_EQ(extra.dialogue.Handle({Kind::Select, {}, {}, "A&:B", "a&:b&:c", "T"}),
              Outcome::BadAnswer);

    Session empty({"1"});
    EXPECT_EQ(empty.dialogue.Handle({Kind::Select, Sjis("なし"), {}, {}, {}, "T"}),
              Outcome::EmptyChoice);
}

TEST(ConsoleDialogueTest, PasswordLineIsHidden) {
    // Scripted: the answer goes out in CP932 and is never shown.
    Session scripted({"ひみつ"});
    ASSERT_EQ(scripted.dialogue.Handle(PasswordLine()), Outcome::Answer);
    EXPECT_EQ(scripted.dialogue.Answer(), Sjis("ひみつ"));
    EXPECT_THAT(scripted.shown, ElementsAre("パスワードを入力してください。", "パスワード:"));

    // Typed: the terminal is told to hide it; other captions and text prompts are not.
    FakeTerminal terminal;
    terminal.typed = {"secret\r\n", "taro\n", "note\n"};
    Session typed({}, &terminal);
    ASSERT_EQ(typed.dialogue.Handle(PasswordLine()), Outcome::Answer);
    EXPECT_EQ(typed.dialogue.Answer(), "secret");
    ASSERT_EQ(typed.dialogue.Handle({Kind::Line, {}, Sjis("ユーザー名"), {}, {}, "User"}),
              Outcome::Answer);
    EXPECT_EQ(typed.dialogue.Answer(), "taro");
    ASSERT_EQ(typed.dialogue.Handle({Kind::Text, Sjis("メモ"), {}, {}, {}, "Memo"}),
              Outcome::Answer);
    EXPECT_THAT(terminal.asked, ElementsAre(std::pair<std::string, bool>{"パスワード: ", true},
                                            std::pair<std::string, bool>{"ユーザー名: ", false},
                                            std::pair<std::string, bool>{"> ", false}));
}

TEST(ConsoleDialogueTest, MessageLinesEndTheDialogue) {
    Session run({});
    EXPECT_EQ(run.dialogue.Handle(
                  {Kind::Message, Sjis("了解しました。\r\n二行目\r三行目\n\r\n"), {}, {}, {}, {}}),
              Outcome::Finished);
    EXPECT_THAT(run.shown, ElementsAre("了解しました。", "二行目", "三行目", ""));

    Session nothing({});
    EXPECT_EQ(nothing.dialogue.Handle({Kind::Nothing, {}, {}, {}, {}, {}}), Outcome::Finished);
    EXPECT_THAT(nothing.shown, ElementsAre("このステーションにはメニューがありません。"));
}

TEST(ConsoleDialogueTest, AnswersRunningOut) {
    // Without a terminal the dialogue stops at the first prompt left unanswered.
    Session run({"1"});
    EXPECT_EQ(run.dialogue.Handle(MainMenu()), Outcome::Answer);
    EXPECT_EQ(run.dialogue.Handle(PasswordLine()), Outcome::OutOfAnswers);
    EXPECT_NE(run.dialogue.Error().find("--answer"), std::string::npos);

    // With one, the terminal takes over, asking again until a choice fits,
    // until its input ends.
    FakeTerminal terminal;
    terminal.typed = {"pw\n", "9", "x", "着信メール確認\n"};
    Session mixed({"2"}, &terminal);
    EXPECT_EQ(mixed.dialogue.Handle(MainMenu()), Outcome::Answer);
    EXPECT_EQ(mixed.dialogue.Handle(PasswordLine()), Outcome::Answer);
    EXPECT_EQ(mixed.dialogue.Answer(), "pw");
    EXPECT_EQ(mixed.dialogue.Handle(MainMenu()), Outcome::Answer);
    EXPECT_EQ(mixed.dialogue.Answer(), "Mail");
    EXPECT_EQ(std::count(mixed.shown.begin(), mixed.shown.end(),
                         "1 から 2 までの番号を入力してください。"),
              2);
    EXPECT_EQ(mixed.dialogue.Handle(MainMenu()), Outcome::EndOfInput);
    EXPECT_EQ(terminal.asked.size(), 5u);
}

} // namespace
} // namespace pim::console
