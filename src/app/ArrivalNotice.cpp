#include "app/ArrivalNotice.h"

#include "app/window/ShownSummary.h"
#include "common/Cp932.h"
#include "common/UiText.h"

#include <algorithm>
#include <vector>

namespace pim {

namespace {

// A subject or sender is shown on one line and not at any length.
constexpr qsizetype kLineChars = 100;

QString OneLine(SummaryField field, const std::string& cp932Text) {
    QString text = ShownSummary(field, cp932Text).trimmed();
    if (text.size() > kLineChars)
        text = text.left(kLineChars - 1) + QStringLiteral("…");
    return text;
}

} // namespace

DesktopNotifications::Content ArrivalNotice(const Results& shown, int totalMail, bool mailerSet,
                                            int pushed) {
    // A push looked at one account: the others' mail was told before.
    const auto checked = [&](const AccountResult& r) {
        return pushed < 0 || &r - shown.data() == pushed;
    };
    // New: what the accounts did not have at the previous run.
    long long newMail = 0;
    for (const AccountResult& r : shown) {
        if (r.Count > 0 && checked(r))
            newMail += r.Count - r.Old();
    }
    // With several accounts, which one the mail came to.
    const bool several =
        std::ranges::count_if(shown, [](const AccountResult& r) { return !r.Name.empty(); }) > 1;
    constexpr auto kLines = static_cast<size_t>(kNoticeMessages);
    // Each account's messages to tell, newest first.
    struct Told {
        const AccountResult* r;
        long long count = 0;
        std::vector<int> mails = {};
        size_t named = 0;
    };
    std::vector<Told> told;
    for (const AccountResult& r : shown) {
        if (!checked(r))
            continue;
        if (r.Count == kCountOnly) { // no subjects to name
            told.push_back({&r});
            continue;
        }
        const long long count = r.Count <= 0 ? 0 : newMail > 0 ? r.Count - r.Old() : r.Count;
        if (count <= 0)
            continue;
        Told t{&r, count};
        for (int j = std::min(r.Count, kMaxMails) - 1; j >= 0 && t.mails.size() < kLines; --j) {
            if (newMail == 0 || r.IsNew(j))
                t.mails.push_back(j);
        }
        told.push_back(std::move(t));
    }
    // The named lines go round the accounts: each one named has its newest.
    for (size_t named = 0, before = 1; named < kLines && named != before;) {
        before = named;
        for (Told& t : told) {
            if (named < kLines && t.named < t.mails.size())
                ++t.named, ++named;
        }
    }
    QStringList lines;
    long long named = 0;
    long long counted = 0;
    for (const Told& t : told) {
        const AccountResult& r = *t.r;
        if (r.Count == kCountOnly) {
            lines << UiString("ArrivalNotice", "%1: %2 通")
                         .arg(cp932::ToUnicode(r.Name), cp932::ToUnicode(r.Subjects[0]));
            continue;
        }
        counted += t.count;
        if (several)
            lines << (newMail > 0 ? UiString("ArrivalNotice", "%1: %2 通の新着メール")
                                  : UiString("ArrivalNotice", "%1: %2 通"))
                         .arg(cp932::ToUnicode(r.Name))
                         .arg(t.count);
        for (size_t i = 0; i < t.named; ++i) {
            const auto k = static_cast<size_t>(t.mails[i]);
            lines << UiString("ArrivalNotice", "%1（%2）")
                         .arg(OneLine(SummaryField::Title, r.Subjects[k]),
                              OneLine(SummaryField::Sender, r.Senders[k]));
            ++named;
        }
    }
    if (counted > named)
        lines << UiString("ArrivalNotice", "ほか %1 通").arg(counted - named);

    DesktopNotifications::Content content;
    content.summary = newMail > 0
                          ? UiString("ArrivalNotice", "新着メールが %1 通あります").arg(newMail)
                          : UiString("ArrivalNotice", "メールが %1 通届いています").arg(totalMail);
    content.body = lines.join(QLatin1Char('\n'));
    content.actions.push_back(
        {QStringLiteral("default"), UiString("ArrivalNotice", "メインウィンドウを表示")});
    if (mailerSet)
        content.actions.push_back(
            {QStringLiteral("mailer"), UiString("ArrivalNotice", "メーラを起動")});
    content.hints = {{QStringLiteral("desktop-entry"), QStringLiteral("jp.fernpost.Pim")},
                     {QStringLiteral("category"), QStringLiteral("email.arrived")}};
    return content;
}

} // namespace pim
