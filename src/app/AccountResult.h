// What a check run found for each account.
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace pim {

inline constexpr int kMaxMails = 255;

// Count: n >= 0 mails wait; -1 count only (the count in Subjects[0]); -2 no
// answer; -3 time-out; -4 user ID or password refused; -5 mail information
// could not be read.
struct AccountResult {
    std::string Name; // empty: a free slot
    int32_t OldCount = 0;
    int32_t Count = 0;
    std::array<std::string, kMaxMails> Subjects;
    std::array<std::string, kMaxMails> Senders;
    std::array<std::string, kMaxMails> Dates;
    // Why TLS failed or was refused (CP932, one line), shown under the error.
    std::string Reason;

    bool operator==(const AccountResult&) const = default;
};

using Results = std::array<AccountResult, 20>;

inline void ClearResults(Results& results) {
    results.fill(AccountResult{});
}

} // namespace pim
