// Which messages each account held at its last check, kept across restarts in
// a small file of its own, so that a restart does not announce the unread mail
// again: only what came meanwhile is news. Pim.INI stays the user's settings.
#pragma once

#include "app/check/AccountResult.h"
#include "settings/Settings.h"

#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace pim {

class SeenMail {
public:
    // One file for each Pim.INI (copied folders keep apart), in `folder`; by
    // default $XDG_STATE_HOME/Pim (~/.local/state/Pim).
    explicit SeenMail(const std::string& profilePath, std::string folder = {});

    // What the last check of this account found before this run of the
    // program: the ids and the count, ready to be compared with. Nothing where
    // the server gave no ids.
    std::optional<AccountResult> Before(const std::string& hostName, const std::string& userID);
    // A check of the account ended with this list; an error changes nothing.
    void Keep(const std::string& hostName, const std::string& userID, const AccountResult& result);
    // Writes what changed, only for these accounts: one removed is forgotten.
    void Save(const TAccounts& accounts);

    const std::string& FilePath() const { return path_; }

    // Bounds on what a hand-edited or damaged file can make Pim read.
    static constexpr size_t kMaxFileBytes = 4u << 20;
    static constexpr size_t kMaxIdBytes = 512;

private:
    struct Seen {
        int32_t count = 0;
        std::vector<std::string> ids;
        bool operator==(const Seen&) const = default;
    };
    using Key = std::pair<std::string, std::string>; // host, user
    void Load();

    std::string profile_;
    std::string path_;
    bool loaded_ = false;
    bool dirty_ = false;
    std::map<Key, Seen> seen_;
};

} // namespace pim
