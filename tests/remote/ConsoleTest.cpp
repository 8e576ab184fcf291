// The console's dialogue logic without a terminal or a network: prompts from a
// station in, the lines shown and the answers to send out.
#include "Dialogue.h"
#include "common/Cp932.h"

#include <gmock/gmock.h>

namespace pim::console {
namespace {

using ::testing::_;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using Kind = Prompt::Kind;
using Outcome = Dialogue::Outcome;

std::string Sjis(std::string_view utf8) {
    return cp932::FromUtf8(utf8);
}

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
        {kMenu, {"0", "3", "-1", "", "mail", "99999999999999999999"}, Outcome::BadAnswer, "1 to 2"},
        // A number wins over a label that looks like another number.
        {{Kind::Select, {}, {}, "2&:1", "two&:one", "T"}, {"1"}, Outcome::Answer, "two"},
        // A label without a value goes back as itself; a value beyond the last label names nothing.
        {{Kind::Select, {}, {}, "A&:B", "a", "T"}, {"2"}, Outcome::Answer, "B"},
        {{Kind::Select, {}, {}, "A&:B", "a&:b&:c", "T"}, {"c"}, Outcome::BadAnswer, ""},
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
    Session scripted({});
    EXPECT_EQ(scripted.dialogue.Handle(kMenu), Outcome::OutOfAnswers);
    EXPECT_THAT(scripted.dialogue.Error(), HasSubstr("--answer"));

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

    // A message, or the refusal, ends the dialogue.
    Session run({});
    EXPECT_EQ(run.dialogue.Handle({Kind::Message, Sjis("了解\r\n二\r三\n\r\n"), "", "", "", ""}),
              Outcome::Finished);
    EXPECT_EQ(run.dialogue.Handle({Kind::Nothing, "", "", "", "", ""}), Outcome::Finished);
    EXPECT_THAT(run.shown,
                ElementsAre("了解", "二", "三", "", "このステーションにはメニューがありません。"));
}

} // namespace
} // namespace pim::console
