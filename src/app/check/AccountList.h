// The profile's accounts, one object each, in the configured order. Made and
// freed here only, as the configured accounts change; what holds one apart
// from it names it by its id, and hears before it goes.
#pragma once

#include "app/check/Account.h"

#include <QObject>
#include <memory>
#include <vector>

namespace pim {

class OnlineAccounts;
class SeenMail;

class AccountList : public QObject {
    Q_OBJECT
public:
    // `configured` is what Sync follows; it must outlive the list.
    explicit AccountList(const TAccounts& configured, QObject* parent = nullptr);
    ~AccountList() override;

    // Follows the configured accounts. One that is still the same mailbox
    // (host and user, checked or not) keeps its object and its open connection
    // and takes the new settings; the others are freed and made anew.
    void Sync();

    const TAccounts& Configured() const { return configured_; }
    // None where it was freed.
    Account* Find(Account::Id id) const;
    const std::vector<std::unique_ptr<Account>>& All() const { return accounts_; }

    // Connections held open between checks: not while offline, nor where the
    // connection the checks need is hung up after each. Holding again, each
    // IMAP account is checked, which reconnects it.
    void SetHolding(bool holding);
    bool Holding() const { return holding_; }
    // The machine woke or the network came back: idling connections may be
    // dead; each is checked again at once, which reconnects it.
    void Wake();
    // The program ends: every connection is left without waiting for an answer.
    void LeaveAll();
    // Some account's connection idles: its changes are told as they come.
    bool Pushing() const;
    // The reply time-out of every client, from its next check on.
    void SetTimeOut(int milliseconds);
    int TimeOut() const { return timeOut_; }

    // Tests give their own clients and clock.
    Account::ClientMaker MakeClient;
    Account::Clock Now;
    // The passwords Pim.INI does not hold; none: every password is there.
    PasswordStore* Passwords = nullptr;
    // The desktop's online accounts, for the accounts bound to one.
    OnlineAccounts* Online = nullptr;
    // What the checks before this start found; none: every first check is news.
    SeenMail* Seen = nullptr;
    // What the accounts saw, kept for the next start.
    void SaveSeen();

signals:
    // Account::checkWanted of any account.
    void checkWanted(pim::Account::Id id, bool quietErrors);
    // Pushing() may have changed.
    void pushingChanged();
    // The account is freed when this returns: its client tells nothing more.
    void removing(pim::Account::Id id);
    // Account::refreshTokenChanged of any account.
    void refreshTokenChanged(pim::Account::Id id, const std::string& token);
    // The desktop moved slot `slot`'s account to this server or user: the
    // settings are to follow, so that what is kept of it is found again.
    void followed(int slot, const std::string& hostName, const std::string& userID);

private:
    const TAccounts& configured_;
    std::vector<std::unique_ptr<Account>> accounts_;
    Account::Id lastId_ = 0;
    bool holding_ = true;
    int timeOut_ = 60000;
};

} // namespace pim
