// Where the accounts' passwords live: in Pim.INI, or with SettingKeyring in the
// desktop's keyring, one entry per host and user. A password leaves one place
// only after the other holds it: the keyring must confirm the write and read it
// back equal before the file forgets it, and the file must hold it again before
// the keyring's entry goes.
#pragma once

#include "app/check/PasswordStore.h"
#include "platform/SecretService.h"
#include "settings/Settings.h"

#include <QObject>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace pim {

class PasswordKeeper : public QObject, public PasswordStore {
    Q_OBJECT
public:
    // Works on the program's Settings and Accounts and on the Pim.INI at
    // `profilePath`, which must outlive it.
    PasswordKeeper(std::function<QDBusConnection()> bus, const std::string& profilePath,
                   QObject* parent = nullptr);

    // Whether a keyring is there: asked at start and whenever a service appears
    // on the bus; unknown (false) until the first answer.
    void Probe(std::function<void(bool present)> answered = nullptr);
    bool Available() const { return available_; }

    enum class Outcome {
        Done,
        Unavailable, // no keyring: every password stays where it was
        Incomplete,  // some passwords stay where they were (locked, refused, unwritable)
    };
    // Moves the passwords where `keyring` says: into the keyring (every password
    // Pim holds, entries of renamed or moved accounts made anew, entries no
    // account uses deleted) or, only when every one could be read, back into
    // Pim.INI with SettingKeyring off. Settings.SettingKeyring says where they
    // are at each moment. A locked keyring is unlocked only with `mayPrompt`,
    // and asked once. One move at a time: a later call waits for the one going on.
    void Follow(bool keyring, bool mayPrompt, std::function<void(Outcome)> done = nullptr);

    // PasswordStore
    bool Keeps(const TAccount& account) const override;
    void Read(const TAccount& account, bool mayPrompt,
              std::function<void(std::optional<std::string>)> done) override;
    Unreadable LastFailure() const override { return lastFailure_; }

    // A new secret for an account whose entry the keyring holds (a rotated
    // refresh token): `done` says whether the keyring confirmed the write.
    void Replace(const TAccount& account, const std::string& secret,
                 std::function<void(bool stored)> done);

    // The entry's name as a person sees it in the keyring's manager.
    static QString Label(const TAccount::KeyringEntry& entry);

private:
    struct Move;
    void MoveIn(std::shared_ptr<Move> move, int slot);
    void Prune(std::shared_ptr<Move> move);
    void Delete(std::shared_ptr<Move> move, std::vector<std::pair<std::string, std::string>> keys);
    void MoveOut(std::shared_ptr<Move> move, int slot);
    void Finish(std::shared_ptr<Move> move, Outcome outcome);

    SecretService keyring_;
    const std::string& profilePath_;
    bool available_ = false;
    bool busy_ = false;
    Unreadable lastFailure_ = Unreadable::Refused;
    std::vector<std::function<void()>> waiting_;
    // Host and user of every entry this program made or found in use.
    std::set<std::pair<std::string, std::string>> entries_;
};

} // namespace pim
