// The console side of a remote menu without a terminal or a socket: a prompt
// from the station goes in, lines to show and the answer to send come out, so
// tests can drive it with scripted answers and a fake terminal.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pim::console {

// One text of a station's menu dialogue; its strings are CP932 as they arrived.
struct Prompt {
    enum class Kind { Select, Line, Text, Message, Nothing };
    Kind kind = Kind::Message;
    std::string message;
    std::string caption; // Line: the caption of the input line
    std::string labels;  // Select: the labels, joined by "&:"
    std::string values;  // Select: the value of each label, joined by "&:"
    std::string tag;     // goes back unchanged with the answer
};

// Where answers come from once the scripted ones are used up.
class Terminal {
public:
    virtual ~Terminal() = default;
    // Shows `prompt` (UTF-8), reads one line; nothing echoed when `hidden`.
    // Empty at the end of the input.
    virtual std::optional<std::string> ReadLine(const std::string& prompt, bool hidden) = 0;
};

class Dialogue {
public:
    enum class Outcome {
        Answer,       // send Answer() with the prompt's tag
        Finished,     // a message or the refusal ended the dialogue
        OutOfAnswers, // no scripted answer left and no terminal to ask
        EndOfInput,   // the terminal's input ended
        BadAnswer,    // a scripted answer that names no choice
        EmptyChoice,  // a choice list without choices
    };

    // `answers` (UTF-8) answer the prompts in order; then `terminal` is asked,
    // when there is one. `print` receives each line to show, in UTF-8.
    Dialogue(std::vector<std::string> answers, Terminal* terminal,
             std::function<void(const std::string&)> print);

    Outcome Handle(const Prompt& prompt);
    // After Outcome::Answer: the CP932 text to return.
    const std::string& Answer() const { return answer_; }
    // After a failure: what went wrong, in UTF-8.
    const std::string& Error() const { return error_; }

private:
    Outcome Select(const Prompt& prompt);
    Outcome Line(const Prompt& prompt, bool hidden);
    std::optional<std::string> Next(const std::string& prompt, bool hidden, bool& scripted);
    void PrintText(std::string_view cp932);

    std::vector<std::string> answers_;
    size_t used_ = 0;
    Terminal* terminal_;
    std::function<void(const std::string&)> print_;
    std::string answer_;
    std::string error_;
    Outcome failure_ = Outcome::OutOfAnswers;
};

// Text from the LAN (CP932) as the terminal may show it: in UTF-8, with every
// control character (escape sequences included) shown as "?" rather than obeyed.
std::string Printable(std::string_view cp932);

// A station's text as lines: CR LF, a lone CR and a lone LF each end one.
std::vector<std::string> SplitLines(std::string_view text);

// The index of the choice that `answer` (UTF-8) names: its number from 1, its
// label or its value, tried in that order.
std::optional<size_t> ChoiceIndex(std::string_view answer, const std::vector<std::string>& labels,
                                  const std::vector<std::string>& values);

} // namespace pim::console
