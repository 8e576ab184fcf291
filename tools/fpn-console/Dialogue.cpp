#include "Dialogue.h"

#include "common/Bytes.h"
#include "common/Cp932.h"
#include "common/UiText.h"

#include <algorithm>

namespace pim::console {

namespace {

constexpr std::string_view kChoiceSeparator = "&:";

std::vector<std::string> SplitChoices(std::string_view text) {
    std::vector<std::string> parts;
    if (text.empty())
        return parts;
    for (size_t start = 0;;) {
        const size_t end = text.find(kChoiceSeparator, start);
        parts.emplace_back(text.substr(start, end == std::string_view::npos ? end : end - start));
        if (end == std::string_view::npos)
            return parts;
        start = end + kChoiceSeparator.size();
    }
}

std::optional<size_t> Number(std::string_view text) {
    if (text.empty() || text.size() > 6 ||
        !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return std::nullopt;
    return static_cast<size_t>(std::stoul(std::string(text)));
}

} // namespace

std::string Printable(std::string_view cp932) {
    QString text = cp932::ToUnicode(cp932);
    for (QChar& c : text)
        if (c.category() == QChar::Other_Control)
            c = u'?';
    return text.toStdString();
}

std::vector<std::string> SplitLines(std::string_view text) {
    std::vector<std::string> lines;
    std::string line;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\r' && text[i] != '\n') {
            line.push_back(text[i]);
            continue;
        }
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
            ++i;
        lines.push_back(std::move(line));
        line.clear();
    }
    // A text that ends with a line break has no empty line after it.
    if (!line.empty() || lines.empty())
        lines.push_back(std::move(line));
    return lines;
}

std::optional<size_t> ChoiceIndex(std::string_view answer, const std::vector<std::string>& labels,
                                  const std::vector<std::string>& values) {
    const std::string_view trimmed = TrimBlanks(answer);
    if (const auto number = Number(trimmed); number && *number >= 1 && *number <= labels.size())
        return *number - 1;
    const std::string wanted = cp932::FromUtf8(trimmed);
    for (const auto* list : {&labels, &values}) {
        const auto it = std::find(list->begin(), list->end(), wanted);
        if (it != list->end() && static_cast<size_t>(it - list->begin()) < labels.size())
            return static_cast<size_t>(it - list->begin());
    }
    return std::nullopt;
}

Dialogue::Dialogue(std::vector<std::string> answers, Terminal* terminal,
                   std::function<void(const std::string&)> print)
    : answers_(std::move(answers)), terminal_(terminal), print_(std::move(print)) {}

Dialogue::Outcome Dialogue::Handle(const Prompt& prompt) {
    answer_.clear();
    error_.clear();
    switch (prompt.kind) {
    case Prompt::Kind::Select:
        return Select(prompt);
    case Prompt::Kind::Line:
        return Line(prompt, prompt.caption == cp932::FromUtf8("パスワード"));
    case Prompt::Kind::Text:
        return Line(prompt, false);
    case Prompt::Kind::Message:
        PrintText(prompt.message);
        return Outcome::Finished;
    case Prompt::Kind::Nothing:
        print_(UiString("fpn-console", "このステーションにはメニューがありません。").toStdString());
        return Outcome::Finished;
    }
    return Outcome::Finished;
}

Dialogue::Outcome Dialogue::Select(const Prompt& prompt) {
    const std::vector<std::string> labels = SplitChoices(prompt.labels);
    const std::vector<std::string> values = SplitChoices(prompt.values);
    PrintText(prompt.message);
    if (labels.empty()) {
        error_ = UiString("fpn-console", "ステーションが選択肢のない選択リストを送ってきました")
                     .toStdString();
        return Outcome::EmptyChoice;
    }
    for (size_t i = 0; i < labels.size(); ++i)
        print_("  " + std::to_string(i + 1) + ") " + Printable(labels[i]));
    for (;;) {
        bool scripted = false;
        const auto text = Next(UiString("fpn-console", "番号: ").toStdString(), false, scripted);
        if (!text)
            return failure_;
        if (const auto index = ChoiceIndex(*text, labels, values)) {
            // A station that gave no value for a label gets the label itself.
            answer_ = *index < values.size() ? values[*index] : labels[*index];
            return Outcome::Answer;
        }
        if (scripted) {
            error_ =
                UiString("fpn-console",
                         "答え \"%1\" は 1 から %2 までの番号でも、選択肢の名前や値でもありません")
                    .arg(QString::fromStdString(*text))
                    .arg(labels.size())
                    .toStdString();
            return Outcome::BadAnswer;
        }
        print_(UiString("fpn-console", "1 から %1 までの番号を入力してください。")
                   .arg(labels.size())
                   .toStdString());
    }
}

Dialogue::Outcome Dialogue::Line(const Prompt& prompt, bool hidden) {
    PrintText(prompt.message);
    const std::string caption = Printable(prompt.caption);
    bool scripted = false;
    const auto text = Next(caption.empty() ? "> " : caption + ": ", hidden, scripted);
    if (!text)
        return failure_;
    answer_ = cp932::FromUtf8(*text);
    return Outcome::Answer;
}

std::optional<std::string> Dialogue::Next(const std::string& prompt, bool hidden, bool& scripted) {
    if (used_ < answers_.size()) {
        scripted = true;
        const std::string& answer = answers_[used_++];
        // The transcript shows what was chosen, never a hidden answer.
        std::string shown = prompt + (hidden ? "" : answer);
        while (!shown.empty() && shown.back() == ' ')
            shown.pop_back();
        print_(shown);
        return answer;
    }
    if (!terminal_) {
        failure_ = Outcome::OutOfAnswers;
        error_ = UiString("fpn-console",
                          "--answer の答え %1 個を使い切りました。標準入力は端末ではありません")
                     .arg(answers_.size())
                     .toStdString();
        return std::nullopt;
    }
    auto line = terminal_->ReadLine(prompt, hidden);
    if (!line) {
        failure_ = Outcome::EndOfInput;
        error_ = UiString("fpn-console", "対話が終わる前に入力が終わりました").toStdString();
        return std::nullopt;
    }
    while (!line->empty() && (line->back() == '\n' || line->back() == '\r'))
        line->pop_back();
    return line;
}

void Dialogue::PrintText(std::string_view cp932) {
    if (cp932.empty())
        return;
    for (const std::string& line : SplitLines(cp932))
        print_(Printable(line));
}

} // namespace pim::console
