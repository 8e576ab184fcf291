#include "app/check/PasswordKeeper.h"

#include "common/Cp932.h"
#include "common/UiText.h"
#include "settings/SettingsFile.h"

#include <algorithm>

namespace pim {

namespace {

using Status = SecretService::Status;
using Entry = TAccount::KeyringEntry;

const QString kApplication = QStringLiteral("Pim");

SecretService::Attributes AttributesOf(const std::string& hostName, const std::string& userID) {
    return {{QStringLiteral("application"), kApplication},
            {QStringLiteral("server"), cp932::ToUnicode(hostName)},
            {QStringLiteral("user"), cp932::ToUnicode(userID)}};
}

// The keyring holds text: the password as UTF-8, when that comes back to the
// very bytes Pim logs in with.
std::optional<QByteArray> Utf8Of(const std::string& password) {
    const QString text = cp932::ToUnicode(password);
    if (cp932::FromUnicode(text) != password)
        return std::nullopt;
    return text.toUtf8();
}

std::string PasswordOf(const QByteArray& secret) {
    return cp932::FromUnicode(QString::fromUtf8(secret));
}

std::pair<std::string, std::string> KeyOf(const Entry& entry) {
    return {entry.HostName, entry.UserID};
}

Entry EntryOf(const TAccount& account) {
    return {account.Name, account.HostName, account.UserID};
}

} // namespace

struct PasswordKeeper::Move {
    bool mayPrompt;
    std::function<void(Outcome)> done;
    bool incomplete = false;
    // Moving out, with the entry each was read from: the options may move an
    // account to another slot meanwhile.
    std::vector<std::pair<Entry, std::string>> read = {};

    // A keyring that stayed locked is not asked again in the same move.
    bool Failed(Status status) {
        if (status == Status::Locked)
            mayPrompt = false;
        incomplete = incomplete || status != Status::Ok;
        return status != Status::Ok;
    }
};

PasswordKeeper::PasswordKeeper(std::function<QDBusConnection()> bus, const std::string& profilePath,
                               QObject* parent)
    : QObject(parent), keyring_(std::move(bus)), profilePath_(profilePath) {
    keyring_.ServiceChanged = [this] { Probe(); };
}

QString PasswordKeeper::Label(const Entry& entry) {
    return UiString("PasswordKeeper", "Pim のメールアカウント「%1」（%2 @ %3）")
        .arg(cp932::ToUnicode(entry.Name), cp932::ToUnicode(entry.UserID),
             cp932::ToUnicode(entry.HostName));
}

void PasswordKeeper::Probe(std::function<void(bool)> answered) {
    keyring_.Probe([this, answered = std::move(answered)](bool present) {
        available_ = present;
        if (answered)
            answered(present);
    });
}

bool PasswordKeeper::Keeps(const TAccount& account) const {
    return Settings.SettingKeyring && account.Keyring && SecretOf(account).empty();
}

void PasswordKeeper::Read(const TAccount& account, bool mayPrompt,
                          std::function<void(std::optional<std::string>)> done) {
    if (!account.Keyring) {
        lastFailure_ = Unreadable::Missing;
        return done(std::nullopt);
    }
    keyring_.Read(AttributesOf(account.Keyring->HostName, account.Keyring->UserID), mayPrompt,
                  [this, done = std::move(done)](Status status, const QByteArray& secret) {
                      if (status == Status::Ok)
                          return done(PasswordOf(secret));
                      lastFailure_ = status == Status::Locked       ? Unreadable::Locked
                                     : status == Status::NotRunning ? Unreadable::NotRunning
                                     : status == Status::NotFound   ? Unreadable::Missing
                                                                    : Unreadable::Refused;
                      done(std::nullopt);
                  });
}

void PasswordKeeper::Replace(const TAccount& account, const std::string& secret,
                             std::function<void(bool)> done) {
    const auto text = Utf8Of(secret);
    if (!account.Keyring || !text)
        return done(false);
    keyring_.Write(AttributesOf(account.Keyring->HostName, account.Keyring->UserID),
                   Label(*account.Keyring), *text, false,
                   [done = std::move(done)](Status status) { done(status == Status::Ok); });
}

void PasswordKeeper::Follow(bool keyring, bool mayPrompt, std::function<void(Outcome)> done) {
    auto start = [this, keyring, mayPrompt, done = std::move(done)] {
        busy_ = true;
        auto move = std::make_shared<Move>(Move{mayPrompt, done});
        // What the accounts use now may be unused after the next options change.
        for (const TAccount& account : Accounts)
            if (account.Keyring)
                entries_.insert(KeyOf(*account.Keyring));
        Probe([this, move, keyring](bool present) {
            if (!present)
                return Finish(move, Outcome::Unavailable);
            keyring ? MoveIn(move, 0) : MoveOut(move, 0);
        });
    };
    if (busy_)
        waiting_.push_back(std::move(start));
    else
        start();
}

void PasswordKeeper::MoveIn(std::shared_ptr<Move> move, int slot) {
    for (; slot < kMaxAccounts; ++slot) {
        const TAccount& account = Accounts[size_t(slot)];
        // The desktop keeps the secrets of its own accounts.
        if (!account.HostName.empty() && account.OnlineAccount.empty() &&
            !(account.Keyring && SecretOf(account).empty() && *account.Keyring == EntryOf(account)))
            break;
    }
    if (slot == kMaxAccounts)
        return Prune(move);
    const TAccount before = Accounts[size_t(slot)];
    const Entry wanted = EntryOf(before);
    // What the options changed meanwhile is the next move's business.
    const auto unchanged = [before, slot] {
        const TAccount& now = Accounts[size_t(slot)];
        return EntryOf(now) == EntryOf(before) && SecretOf(now) == SecretOf(before) &&
               now.Keyring == before.Keyring;
    };
    const auto stored = [this, move, slot, wanted, unchanged](Status status,
                                                              const std::string* password) {
        if (!move->Failed(status)) {
            entries_.insert(KeyOf(wanted));
            if (unchanged()) {
                TAccount& account = Accounts[size_t(slot)];
                account.Keyring = wanted;
                SecretOf(account).clear();
                if (password && !ClearSavedSecret(profilePath_, slot, account, *password))
                    move->incomplete = true;
            }
        }
        MoveIn(move, slot + 1);
    };

    if (!before.Keyring || !SecretOf(before).empty()) {
        // The password Pim holds goes in; the file forgets it only then.
        const auto secret = Utf8Of(SecretOf(before));
        if (!secret) {
            move->incomplete = true;
            return MoveIn(move, slot + 1);
        }
        keyring_.Write(
            AttributesOf(wanted.HostName, wanted.UserID), Label(wanted), *secret, move->mayPrompt,
            [stored, password = SecretOf(before)](Status status) { stored(status, &password); });
        return;
    }
    // Renamed, or moved to another host or user: the entry is made anew; the
    // old one goes when no account uses it any more.
    keyring_.Read(AttributesOf(before.Keyring->HostName, before.Keyring->UserID), move->mayPrompt,
                  [this, move, slot, wanted, stored](Status status, const QByteArray& secret) {
                      if (move->Failed(status))
                          return MoveIn(move, slot + 1);
                      keyring_.Write(AttributesOf(wanted.HostName, wanted.UserID), Label(wanted),
                                     secret, move->mayPrompt,
                                     [stored](Status written) { stored(written, nullptr); });
                  });
}

void PasswordKeeper::Prune(std::shared_ptr<Move> move) {
    std::set<std::pair<std::string, std::string>> used;
    for (const TAccount& account : Accounts)
        if (account.Keyring)
            used.insert(KeyOf(*account.Keyring));
    std::vector<std::pair<std::string, std::string>> unused;
    for (const auto& key : entries_)
        if (!used.contains(key))
            unused.push_back(key);
    Delete(move, std::move(unused));
}

// An entry that cannot go now stays known, for a later move.
void PasswordKeeper::Delete(std::shared_ptr<Move> move,
                            std::vector<std::pair<std::string, std::string>> keys) {
    if (keys.empty())
        return Finish(move, move->incomplete ? Outcome::Incomplete : Outcome::Done);
    const auto key = keys.back();
    keys.pop_back();
    keyring_.Remove(AttributesOf(key.first, key.second), move->mayPrompt,
                    [this, move, key, keys = std::move(keys)](Status status) mutable {
                        // Every password is where it should be; a locked keyring
                        // is not asked again in this move.
                        if (status == Status::Ok)
                            entries_.erase(key);
                        else if (status == Status::Locked)
                            move->mayPrompt = false;
                        Delete(move, std::move(keys));
                    });
}

void PasswordKeeper::MoveOut(std::shared_ptr<Move> move, int slot) {
    while (slot < kMaxAccounts && !Keeps(Accounts[size_t(slot)]))
        ++slot;
    if (slot < kMaxAccounts) {
        const Entry entry = *Accounts[size_t(slot)].Keyring;
        keyring_.Read(AttributesOf(entry.HostName, entry.UserID), move->mayPrompt,
                      [this, move, slot, entry](Status status, const QByteArray& secret) {
                          // All or nothing: the option stays on, each password where it is.
                          if (move->Failed(status))
                              return Finish(move, Outcome::Incomplete);
                          move->read.emplace_back(entry, PasswordOf(secret));
                          MoveOut(move, slot + 1);
                      });
        return;
    }
    TSettings settings = Settings;
    TAccounts accounts = Accounts;
    settings.SettingKeyring = false;
    for (TAccount& account : accounts) {
        if (Keeps(account)) {
            const auto read =
                std::find_if(move->read.begin(), move->read.end(),
                             [&](const auto& r) { return r.first == *account.Keyring; });
            if (read == move->read.end())
                return Finish(move, Outcome::Incomplete); // changed while it was read
            SecretOf(account) = read->second;
        }
        account.Keyring.reset();
    }
    if (!SaveSettings(profilePath_, settings, accounts))
        return Finish(move, Outcome::Incomplete);
    Settings.SettingKeyring = false;
    Accounts = accounts;
    Prune(move); // no account uses an entry now
}

void PasswordKeeper::Finish(std::shared_ptr<Move> move, Outcome outcome) {
    busy_ = false;
    if (move->done)
        move->done(outcome);
    if (!busy_ && !waiting_.empty()) {
        auto next = std::move(waiting_.front());
        waiting_.erase(waiting_.begin());
        next();
    }
}

} // namespace pim
