// One configured account and all that is its own: the client that checks it
// (a POP3 one made for each check; an IMAP one kept open between checks and
// idling for push), the waits of its reconnects and pushed checks, and the
// state it is in. Only the account list makes and frees one; others name it by
// its id.
#pragma once

#include "app/check/AccountResult.h"
#include "app/check/PasswordStore.h"
#include "imap/Backoff.h"
#include "mail/MailChecker.h"
#include "settings/Settings.h"

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>
#include <chrono>
#include <functional>
#include <memory>

namespace pim {

class AccountList;
class TokenSource;
struct TokenReply;
class TVeltaIMAP;

class Account : public QObject {
    Q_OBJECT
public:
    using Id = quint64;
    enum class State {
        Off,                // not enabled or without a name: no run checks it
        Idle,               // nothing under way; the next run checks it
        Checking,           // its turn in a run
        Idling,             // its connection stays open and tells of changes
        WaitingToReconnect, // its connection dropped; it tries again after a wait
        NeedsSignIn,        // no password could go out, or the server refused it
    };
    // Makes the client for an account (by the protocol its host names).
    using ClientMaker = std::function<std::unique_ptr<MailChecker>(const TAccount&)>;
    using Clock = std::function<std::chrono::milliseconds()>;

    // Whether a run checks such an account at all.
    static bool Checked(const TAccount& settings) {
        return settings.Enabled && !settings.Name.empty();
    }

    ~Account() override;

    Id id() const { return id_; }
    const TAccount& Settings() const { return settings_; }
    State state() const { return state_; }
    // The client of its last check, for what that session did; none before one.
    const MailChecker* Client() const { return client_.get(); }

    // Its password is read from the store that keeps it, not from Pim.INI.
    bool PasswordInStore() const;
    // The password to send where no store keeps it: the keyring given up since
    // this copy was made has put it back in the program's settings.
    std::string PasswordInSettings() const;
    // `done` gets the password, or nothing (then PasswordFailure says why). A
    // locked store asks the user to unlock it only with `mayPrompt`.
    void ReadPassword(bool mayPrompt, std::function<void(std::optional<std::string>)> done);
    PasswordStore::Unreadable PasswordFailure() const;

    // It signs in with an OAuth 2.0 token instead of a password.
    bool SignsInWithToken() const;
    // Its credentials are the desktop's online account's, asked for at each
    // login: `done` gets them, or nothing (then LastTokenFailure says why).
    bool FromDesktop() const { return !settings_.OnlineAccount.empty(); }
    void ReadDesktopSecret(std::function<void(std::optional<std::string>)> done);
    // `done` gets a token fit for a login now (refreshed first when stale), or
    // nothing: then TokenFailure says why.
    void ReadToken(std::function<void(std::optional<std::string>)> done);
    // Its refresh token, read from the store that keeps it.
    void UseRefreshToken(const std::string& token);
    // A sign-in in the browser gave these tokens: the refresh token is told to
    // be kept, and the account is checked with the access token at once.
    void SignedIn(const TokenReply& tokens);
    struct TokenFailure {
        bool signInNeeded = false; // else the provider could not be asked
        std::string reason;        // CP932, one line
    };
    const TokenFailure& LastTokenFailure() const { return tokenFailure_; }
    // The server refused the token: true when a new session with a fresh one
    // is worth it (once, and not for a token just issued).
    bool TokenRefused();
    void TokenAccepted();
    // What the last check before this start of the program found.
    std::optional<AccountResult> SeenBefore() const;
    // What a check found, kept for the next start.
    void Saw(const AccountResult& result);

    // An IMAP account that would keep its connection but was never checked.
    bool Unwatched() const { return imap_ && holding_ && state_ == State::Idle && !checked_; }
    // The client of the check under way.
    MailChecker* Checker() { return client_.get(); }
    // Its turn in a run begins: the client to check with.
    MailChecker& BeginCheck();
    // Its turn is over: the run's handlers leave the client.
    void EndCheck();
    // No password went out: unreadable, refused here or by the server. With
    // `tryAgain` (the store may give it later) a push connection tries again
    // after its back-off, as after a drop.
    void SignInFailed(bool tryAgain);

signals:
    // Check this account now: a change was told, or a dropped connection's wait
    // is over. `quietErrors`: it was lost less than a reply time-out ago, and
    // an error need not show yet.
    void checkWanted(pim::Account::Id id, bool quietErrors);
    // It began or stopped idling.
    void pushingChanged();
    // Its refresh token changed (rotated, or empty when the grant ended): to be
    // kept where it is kept.
    void refreshTokenChanged(pim::Account::Id id, const std::string& token);

private:
    friend class AccountList;
    Account(Id id, const TAccount& settings, const AccountList& list);
    void Enter(State state);
    // Settings of the same mailbox: its connection stays.
    void Update(const TAccount& settings);
    void SetTimeOut(int milliseconds);
    void SetHolding(bool holding);
    void Wake();
    void Leave();
    void MakeClient();
    void FollowSignIn(bool tokenChanged);
    void TokenRead(std::optional<std::string> token);
    TVeltaIMAP* ImapClient() const;
    // A check wanted now, at the pace pushed checks allow.
    void Wanted();

    const Id id_;
    TAccount settings_;
    State state_ = State::Idle;
    const AccountList& list_; // its makers, clock and stores
    const bool imap_;
    bool holding_;
    bool checked_ = false; // its turn in a run came at least once
    int timeOut_;
    std::unique_ptr<MailChecker> client_;
    Backoff backoff_;
    PushPace pace_;
    QTimer retry_;                        // the next check, after a drop or held back by the pace
    QElapsedTimer lost_;                  // since the connection was lost, while it is
    std::unique_ptr<TokenSource> tokens_; // of an account signing in with OAuth
    bool renew_ = false;                  // the desktop is to make sure of its credentials first
    bool renewed_ = false;                // and did, since the last accepted token
    bool desktopToken_ = false;           // the desktop's last secret was a token
    std::function<void(std::optional<std::string>)> tokenWanted_;
    TokenFailure tokenFailure_;
};

} // namespace pim
