#include "app/window/MailTree.h"

#include "common/Cp932.h"
#include "common/UiText.h"

namespace pim {

namespace {

// A text with a number in it, in CP932.
std::string WithCount(const QString& text, const std::string& count) {
    return cp932::FromUnicode(text.arg(cp932::ToUnicode(count)));
}

int MailboxImage(const AccountResult& r) {
    return r.Failed() ? TreeLine::MailboxError : TreeLine::Mailbox;
}

const std::string* ErrorText(int32_t count) {
    switch (count) {
    case -6:
        return &UiText("MailTree", "安全な接続ができませんでした。");
    case -5:
        return &UiText("MailTree", "メール情報の取得に失敗しました。");
    case -4:
        return &UiText("MailTree", "ユーザID、またはパスワードが違います。");
    case -3:
        return &UiText("MailTree", "サーバへの接続がタイムアウトしました。");
    case -2:
        return &UiText("MailTree", "サーバが応答しませんでした。");
    default:
        return nullptr;
    }
}

std::vector<TreeLine> StatusLines(const AccountResult& r, bool oldMailNotShow, bool newestFirst,
                                  bool markNewest) {
    if (const std::string* error = ErrorText(r.Count)) {
        std::vector<TreeLine> lines = {{*error, TreeLine::Error, {}}};
        // A sibling, not a child: it shows also with the lines folded.
        if (!r.Reason.empty())
            lines.push_back({r.Reason, TreeLine::Error, {}});
        return lines;
    }
    switch (r.Count) {
    case -1:
        return {{WithCount(UiString("MailTree", "メールが %1通、届いています。"), r.Subjects[0]),
                 TreeLine::Letter,
                 {}}};
    case 0:
        return {{UiText("MailTree", "メールは届いていません。"), TreeLine::FadedLetter, {}}};
    default:
        break;
    }
    std::vector<TreeLine> lines;
    if (r.Count < 0)
        return lines;
    const bool oldHidden = oldMailNotShow && r.Old() > 0;
    if (oldHidden)
        lines.push_back(
            {WithCount(UiString("MailTree", "以前から届いているメールが %1通あります。"),
                       std::to_string(r.Old())),
             TreeLine::Letter,
             {}});
    const int read = std::min(r.Count, kMaxMails);
    int newest = -1;
    for (int j = read - 1; markNewest && j >= 0 && newest < 0; --j)
        newest = r.IsNew(j) ? j : -1;
    for (int i = 0; i < read; ++i) {
        const int j = newestFirst ? read - 1 - i : i;
        if (oldHidden && !r.IsNew(j))
            continue;
        const auto k = static_cast<size_t>(j);
        lines.push_back({r.Subjects[k],
                         TreeLine::Letter,
                         {{r.Senders[k], TreeLine::Sender, {}}, {r.Dates[k], TreeLine::Date, {}}},
                         j == newest});
    }
    return lines;
}

std::vector<TreeLine> Lines(const AccountResult& r, bool oldMailNotShow, bool newestFirst,
                            bool markNewest) {
    std::vector<TreeLine> lines = StatusLines(r, oldMailNotShow, newestFirst, markNewest);
    if (!r.Alert.empty())
        lines.insert(
            lines.begin(),
            {cp932::FromUnicode(
                 UiString("MailTree", "サーバからの警告：%1").arg(cp932::ToUnicode(r.Alert))),
             TreeLine::Error,
             {}});
    return lines;
}

} // namespace

std::vector<TreeLine> AccountTree(const Results& shown) {
    std::vector<TreeLine> nodes = {
        {UiText("MailTree", "すべてのアカウント"), TreeLine::Mailbox, {}}};
    for (const AccountResult& r : shown) {
        if (!r.Name.empty())
            nodes.push_back({r.Name, MailboxImage(r), {}});
    }
    return nodes;
}

std::vector<TreeLine> NoAccountTree() {
    return {
        {UiText("MailTree", "アカウントが設定されていません。"), TreeLine::MailboxError, {}},
        {UiText("MailTree", "環境設定の「アカウント」で追加してください。"), TreeLine::Letter, {}}};
}

std::vector<TreeLine> MailTree(const Results& shown, int selected, bool oldMailNotShow,
                               bool newestFirst) {
    const int accounts = static_cast<int>(AccountTree(shown).size()) - 1;
    if (selected < 0 || selected > accounts)
        return {};
    const auto hasNew = [&](int slot) {
        const AccountResult& r = shown[static_cast<size_t>(slot)];
        return r.Count > 0 && r.Old() < r.Count;
    };
    if (selected > 0)
        return Lines(shown[static_cast<size_t>(selected - 1)], oldMailNotShow, newestFirst, true);
    int last = accounts - 1;
    while (last >= 0 && !hasNew(last))
        --last;
    std::vector<TreeLine> headings;
    for (int slot = 0; slot < accounts; ++slot) {
        const AccountResult& r = shown[static_cast<size_t>(slot)];
        headings.push_back(
            {r.Name, MailboxImage(r), Lines(r, oldMailNotShow, newestFirst, slot == last)});
    }
    return headings;
}

} // namespace pim
