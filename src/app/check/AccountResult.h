// What a check run found for each account.
#pragma once

#include <algorithm>
#include <array>
#include <bitset>
#include <cstdint>
#include <string>

namespace pim {

inline constexpr int kMaxMails = 255;

// Where no list of mail was read, Count says why, in the numbers the window
// and the LAN's remote menu know.
inline constexpr int32_t kCountOnly = -1; // the count alone, in Subjects[0]
enum class CheckFailure : int32_t {
    NoAnswer = -2,
    TimedOut = -3,
    LoginRefused = -4, // the user ID or the password
    Unreadable = -5,   // the mail information, or no password to send
    TlsFailed = -6,    // failed or refused
};

// Count: n >= 0 mails wait, kCountOnly, or a CheckFailure.
struct AccountResult {
    std::string Name; // empty: a free slot
    // The first OldCount messages were there at the run before.
    int32_t OldCount = 0;
    int32_t Count = 0;
    std::array<std::string, kMaxMails> Subjects;
    std::array<std::string, kMaxMails> Senders;
    std::array<std::string, kMaxMails> Dates;
    // The server's lasting id of each message; empty where it gives none.
    std::array<std::string, kMaxMails> Ids;
    // Messages beyond the first OldCount that were there before as well, where
    // the ids tell (one read elsewhere left the middle of the list, say).
    std::bitset<kMaxMails> OldAfter;
    // Of more than 255, the newest were read (IMAP), not the first.
    bool NewestSummarised = false;
    // Messages older than those read that were there before.
    int32_t OldBefore = 0;
    // Why the account failed (CP932, one line: TLS, the connection, the
    // keyring), shown under the error.
    std::string Reason;
    // What the server said must reach the user ([ALERT], CP932, one line),
    // shown above the account's lines after the check that heard it.
    std::string Alert;

    bool operator==(const AccountResult&) const = default;

    void Fail(CheckFailure failure) { Count = static_cast<int32_t>(failure); }
    bool Failed() const { return Count < kCountOnly; }
    bool Is(CheckFailure failure) const { return Count == static_cast<int32_t>(failure); }

    // How many of the messages were there at the run before.
    int Old() const {
        return std::min(std::max(Count, 0), std::clamp(OldCount, 0, std::max(Count, 0)) +
                                                static_cast<int>(OldAfter.count()) + OldBefore);
    }
    bool IsNew(int mail) const {
        return mail >= OldCount && !(mail < kMaxMails && OldAfter[static_cast<size_t>(mail)]);
    }
};

using Results = std::array<AccountResult, 20>;

inline void ClearResults(Results& results) {
    results.fill(AccountResult{});
}

} // namespace pim
