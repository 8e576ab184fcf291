#include "mail/SummaryCache.h"

#include <algorithm>
#include <set>

namespace pim {

SummaryCache& SummaryCache::Shared() {
    static SummaryCache cache;
    return cache;
}

std::string SummaryCache::AccountKey(const std::string& server, const std::string& user) {
    // NUL appears in neither a host name nor a user name taken from the settings.
    return server + std::string(1, '\0') + user;
}

SummaryCache::Account* SummaryCache::Lookup(const std::string& account) {
    const auto found = std::find_if(accounts_.begin(), accounts_.end(),
                                    [&](const Account& a) { return a.key == account; });
    return found == accounts_.end() ? nullptr : &*found;
}

const SummaryCache::Account* SummaryCache::Lookup(const std::string& account) const {
    const auto found = std::find_if(accounts_.begin(), accounts_.end(),
                                    [&](const Account& a) { return a.key == account; });
    return found == accounts_.end() ? nullptr : &*found;
}

void SummaryCache::Keep(const std::string& account, const std::vector<ListedMessage>& messages) {
    const auto found = std::find_if(accounts_.begin(), accounts_.end(),
                                    [&](const Account& a) { return a.key == account; });
    if (found != accounts_.end()) {
        accounts_.splice(accounts_.begin(), accounts_, found);
    } else {
        accounts_.push_front(Account{account, {}});
        if (accounts_.size() > kMaxAccounts)
            accounts_.pop_back();
    }
    const size_t listed = std::min(messages.size(), kMaxPerAccount);
    const std::set<ListedMessage> kept(messages.begin(),
                                       messages.begin() + static_cast<ptrdiff_t>(listed));
    auto& summaries = accounts_.front().summaries;
    std::erase_if(summaries, [&](const auto& entry) { return kept.count(entry.first) == 0; });
}

const MailSummary* SummaryCache::Find(const std::string& account,
                                      const ListedMessage& message) const {
    const Account* a = Lookup(account);
    if (!a)
        return nullptr;
    const auto found = a->summaries.find(message);
    return found == a->summaries.end() ? nullptr : &found->second;
}

void SummaryCache::Store(const std::string& account, const ListedMessage& message,
                         const MailSummary& summary) {
    Account* a = Lookup(account);
    if (!a || (a->summaries.size() >= kMaxPerAccount && !a->summaries.count(message)))
        return;
    if (summary.MailTitle.size() + summary.SendUser.size() + summary.RecvTime.size() >
        kMaxSummaryBytes)
        return;
    a->summaries[message] = summary;
}

size_t SummaryCache::Size(const std::string& account) const {
    const Account* a = Lookup(account);
    return a ? a->summaries.size() : 0;
}

} // namespace pim
