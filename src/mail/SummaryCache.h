// The summaries a check has already read, per account (server and user) and by
// the unique id and size the server gives each message: a message seen before
// costs no request. Holds what the last check of each account saw, nothing more.
#pragma once

#include "mail/HeaderExtraction.h"

#include <compare>
#include <cstdint>
#include <list>
#include <map>
#include <string>
#include <vector>

namespace pim {

// A message as UIDL and LIST name it. RFC 1939 forbids a server to give a new
// message an id it gave another, yet servers that make ids of message numbers
// do: the size tells most such messages from the one seen before.
struct ListedMessage {
    std::string UniqueId;
    uint64_t Size = 0;

    auto operator<=>(const ListedMessage&) const = default;
};

class SummaryCache {
public:
    // A check reads at most this many messages of a mailbox.
    static constexpr size_t kMaxPerAccount = 255;
    // Settings hold 20 accounts; a few more cover accounts edited meanwhile.
    static constexpr size_t kMaxAccounts = 32;
    // A summary this large is read again rather than kept.
    static constexpr size_t kMaxSummaryBytes = 4096;

    // The one cache of the running program.
    static SummaryCache& Shared();

    static std::string AccountKey(const std::string& server, const std::string& user);

    // The server now lists `messages`: whatever else was kept for the account goes.
    void Keep(const std::string& account, const std::vector<ListedMessage>& messages);
    const MailSummary* Find(const std::string& account, const ListedMessage& message) const;
    void Store(const std::string& account, const ListedMessage& message,
               const MailSummary& summary);
    void Clear() { accounts_.clear(); }
    size_t Size(const std::string& account) const;

private:
    struct Account {
        std::string key;
        std::map<ListedMessage, MailSummary> summaries;
    };
    Account* Lookup(const std::string& account);
    const Account* Lookup(const std::string& account) const;

    std::list<Account> accounts_; // most recently used first
};

} // namespace pim
