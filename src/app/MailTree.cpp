#include "app/MailTree.h"

#include "common/Cp932.h"

namespace pim {

namespace {

PIM_CP932_TEXT(AllAccounts, "すべてのアカウント")
PIM_CP932_TEXT(ReadFailed, "メール情報の取得に失敗しました。")
PIM_CP932_TEXT(LoginRefused, "ユーザID、またはパスワードが違います。")
PIM_CP932_TEXT(TimedOut, "サーバへの接続がタイムアウトしました。")
PIM_CP932_TEXT(NoAnswer, "サーバが応答しませんでした。")
PIM_CP932_TEXT(CountOpen, "メールが ")
PIM_CP932_TEXT(CountClose, "通、届いています。")
PIM_CP932_TEXT(NoMail, "メールは届いていません。")
PIM_CP932_TEXT(OlderOpen, "以前から届いているメールが ")
PIM_CP932_TEXT(OlderClose, "通あります。")

int MailboxImage(const AccountResult& r) {
    return r.Count < -1 ? TreeLine::MailboxError : TreeLine::Mailbox;
}

const std::string* ErrorText(int32_t count) {
    switch (count) {
    case -5:
        return &ReadFailed();
    case -4:
        return &LoginRefused();
    case -3:
        return &TimedOut();
    case -2:
        return &NoAnswer();
    default:
        return nullptr;
    }
}

std::vector<TreeLine> Lines(const AccountResult& r, bool oldMailNotShow) {
    if (const std::string* error = ErrorText(r.Count)) {
        std::vector<TreeLine> lines = {{*error, TreeLine::Error, {}}};
        // A sibling, not a child: it shows also with the lines folded.
        if (!r.Reason.empty())
            lines.push_back({r.Reason, TreeLine::Error, {}});
        return lines;
    }
    switch (r.Count) {
    case -1:
        return {{CountOpen() + r.Subjects[0] + CountClose(), TreeLine::Letter, {}}};
    case 0:
        return {{NoMail(), TreeLine::FadedLetter, {}}};
    default:
        break;
    }
    std::vector<TreeLine> lines;
    if (r.Count < 0)
        return lines;
    int first = 0;
    if (oldMailNotShow && r.OldCount > 0) {
        lines.push_back(
            {OlderOpen() + std::to_string(r.OldCount) + OlderClose(), TreeLine::Letter, {}});
        first = r.OldCount;
    }
    for (int j = first; j < std::min(r.Count, kMaxMails); ++j) {
        const auto k = static_cast<size_t>(j);
        lines.push_back({r.Subjects[k],
                         TreeLine::Letter,
                         {{r.Senders[k], TreeLine::Sender, {}}, {r.Dates[k], TreeLine::Date, {}}}});
    }
    return lines;
}

} // namespace

std::vector<TreeLine> AccountTree(const Results& shown) {
    std::vector<TreeLine> nodes = {{AllAccounts(), TreeLine::Mailbox, {}}};
    for (const AccountResult& r : shown) {
        if (!r.Name.empty())
            nodes.push_back({r.Name, MailboxImage(r), {}});
    }
    return nodes;
}

std::vector<TreeLine> MailTree(const Results& shown, int selected, bool oldMailNotShow) {
    const int accounts = static_cast<int>(AccountTree(shown).size()) - 1;
    if (selected < 0 || selected > accounts)
        return {};
    if (selected > 0)
        return Lines(shown[static_cast<size_t>(selected - 1)], oldMailNotShow);
    std::vector<TreeLine> headings;
    for (int slot = 0; slot < accounts; ++slot) {
        const AccountResult& r = shown[static_cast<size_t>(slot)];
        headings.push_back({r.Name, MailboxImage(r), Lines(r, oldMailNotShow)});
    }
    return headings;
}

} // namespace pim
