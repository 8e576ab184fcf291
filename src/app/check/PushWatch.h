// One place for push: each IMAP account's client, kept open and idling between
// checks. A change it tells becomes a check of that account, at its pace; a
// connection that drops tries again after its back-off, at once after a
// wake-up; offline mode and the exit leave them all.
#pragma once

#include "imap/Backoff.h"
#include "imap/TVeltaIMAP.h"
#include "settings/Settings.h"

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace pim {

class PushWatch : public QObject {
    Q_OBJECT
public:
    explicit PushWatch(QObject* parent = nullptr);
    ~PushWatch() override;

    // The client that checks `account` (made on first use, then kept).
    TVeltaIMAP& Client(const TAccount& account);
    // Only these accounts keep their clients; the others leave and are freed.
    void Keep(const TAccounts& accounts);
    // Held open between checks: not while offline, nor where the connection
    // the checks need is hung up after each.
    // Holding again, each account is checked, which reconnects it.
    void SetHolding(bool holding);
    bool Holding() const { return holding_; }
    // The machine woke or the network came back: idling connections may be
    // dead; each account is checked again at once, which reconnects it.
    void Wake();
    // The program ends: every connection is left without waiting for an answer.
    void LeaveAll();
    // A check of this account could not log in (its password could not be
    // read): it is tried again after the back-off, as a dropped connection is.
    void Retry(const TAccount& account);
    // Some account's connection idles: its changes are told as they come.
    bool Pushing() const;

    // Check this account now (a change told, or a dropped connection's wait
    // over). `quietErrors`: the connection was lost less than a reply time-out
    // ago, and an error need not show yet.
    std::function<void(const std::string& hostName, const std::string& userID, bool quietErrors)>
        OnCheck;
    // Pushing() may have changed: a connection began to idle or dropped.
    std::function<void()> OnPushingChanged;
    int TimeOutCount = 60000;
    // What the pace and the back-off count time by; tests drive it.
    std::function<std::chrono::milliseconds()> Now = [] {
        return std::chrono::duration_cast<std::chrono::milliseconds>(
            std::chrono::steady_clock::now().time_since_epoch());
    };

private:
    struct Kept {
        std::string host, user;
        TVeltaIMAP client;
        Backoff backoff;
        PushPace pace;
        QTimer retry;       // the next check, after a drop or held back by the pace
        QElapsedTimer lost; // since the connection was lost, while it is
    };
    Kept* Find(const std::string& host, const std::string& user);
    void Check(Kept& kept);
    void PushingChanged();

    std::vector<std::unique_ptr<Kept>> kept_;
    bool holding_ = true;
};

} // namespace pim
