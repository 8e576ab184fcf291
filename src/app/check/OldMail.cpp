#include "app/check/OldMail.h"

#include <algorithm>
#include <set>
#include <span>

namespace pim {

void MarkOldMail(AccountResult& now, const AccountResult& before) {
    const int compared = std::min(now.Count, kMaxMails);
    const auto summarised = std::span(now.Ids).first(static_cast<size_t>(std::max(compared, 0)));
    const bool beforeWithoutIds =
        before.Ids[0].empty() && (before.Count > 0 || !before.Subjects[0].empty());
    if (compared > 0 && !beforeWithoutIds &&
        std::ranges::none_of(summarised, &std::string::empty)) {
        std::set<std::string> seen(before.Ids.begin(), before.Ids.end());
        seen.erase(std::string());
        const auto old = [&](int j) { return seen.count(now.Ids[static_cast<size_t>(j)]) > 0; };
        int first = 0;
        // Of more than 255 the newest were read: those ahead of the first known
        // one came up from below the list before, where they were counted.
        if (now.NewestSummarised && before.Count > kMaxMails) {
            while (first < compared && !old(first))
                ++first;
            if (first == compared)
                first = 0;
        }
        now.OldCount = first;
        while (now.OldCount < compared && old(now.OldCount))
            ++now.OldCount;
        for (int j = now.OldCount + 1; j < compared; ++j)
            now.OldAfter[static_cast<size_t>(j)] = old(j);
        if (now.NewestSummarised && now.Count > kMaxMails && !seen.empty())
            now.OldBefore = now.Count - kMaxMails;
    } else {
        for (int j = 0; j < compared; ++j) {
            const auto k = static_cast<size_t>(j);
            if (now.Subjects[k] != before.Subjects[k] || now.Senders[k] != before.Senders[k] ||
                now.Dates[k] != before.Dates[k])
                break;
            ++now.OldCount;
        }
    }
    // Of more than 255 with the first ones read, only the count can be compared:
    // with those unchanged, only what a larger count adds is new mail (it arrives
    // at the end).
    if (!now.NewestSummarised && now.Count > kMaxMails && now.OldCount == kMaxMails)
        now.OldCount = std::min(now.Count, before.Count);
}

} // namespace pim
