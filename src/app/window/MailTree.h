// What the account tree and the mail tree show of a run's results, as lines
// with their image numbers; the window only draws them. A message's lines
// (Letter with its Sender and Date) hold its summary as the check found it,
// which the window shows through ShownSummary.
#pragma once

#include "app/check/AccountResult.h"

#include <string>
#include <vector>

namespace pim {

struct TreeLine {
    enum Image : int { Mailbox = 0, MailboxError, Letter, FadedLetter, Error, Sender, Date };

    std::string text; // CP932
    int image = Mailbox;
    std::vector<TreeLine> children;
    // The newest of the new messages, which the list brings into view.
    bool newest = false;

    bool operator==(const TreeLine&) const = default;
};

// "すべてのアカウント", then one node per named account.
std::vector<TreeLine> AccountTree(const Results& shown);

// What the account tree says while no account is set: that, and how to add one.
std::vector<TreeLine> NoAccountTree();

// The mail tree for account node `selected` of the account tree (0: all
// accounts, each under a heading; n: slot n - 1 alone, without a heading); with
// `newestFirst` each account's messages newest first. Of the last account with
// new mail, its newest new message is marked `newest`.
std::vector<TreeLine> MailTree(const Results& shown, int selected, bool oldMailNotShow,
                               bool newestFirst = false);

} // namespace pim
