#include "app/check/PushWatch.h"

#include <algorithm>

namespace pim {

PushWatch::PushWatch(QObject* parent) : QObject(parent) {}

PushWatch::~PushWatch() {
    LeaveAll();
}

PushWatch::Kept* PushWatch::Find(const std::string& host, const std::string& user) {
    const auto found = std::find_if(kept_.begin(), kept_.end(), [&](const auto& k) {
        return k->host == host && k->user == user;
    });
    return found == kept_.end() ? nullptr : found->get();
}

TVeltaIMAP& PushWatch::Client(const TAccount& account) {
    if (Kept* kept = Find(account.HostName, account.UserID)) {
        kept->client.TimeOutCount = TimeOutCount;
        kept->client.KeepOpen(holding_);
        return kept->client;
    }
    auto kept = std::make_unique<Kept>();
    Kept& k = *kept;
    k.host = account.HostName;
    k.user = account.UserID;
    k.client.TimeOutCount = TimeOutCount;
    k.client.KeepOpen(holding_);
    k.retry.setSingleShot(true);
    connect(&k.retry, &QTimer::timeout, this, [this, &k] { Check(k); });
    k.client.OnPush = [this, &k](TVeltaIMAP*) { Check(k); };
    k.client.OnIdling = [this, &k](TVeltaIMAP*) {
        k.backoff.Working(Now());
        k.lost.invalidate();
        PushingChanged();
    };
    k.client.OnDropped = [this, &k](TVeltaIMAP*, uint8_t) {
        if (!k.lost.isValid())
            k.lost.start();
        if (holding_)
            k.retry.start(k.backoff.Failed(Now()));
        PushingChanged();
    };
    kept_.push_back(std::move(kept));
    return k.client;
}

void PushWatch::Check(Kept& kept) {
    // However many changes come meanwhile, one check when the pace allows it.
    if (const auto wait = kept.pace.Wait(Now()); wait > wait.zero()) {
        if (!kept.retry.isActive() || kept.retry.remainingTime() > wait.count())
            kept.retry.start(wait);
        return;
    }
    kept.retry.stop();
    if (OnCheck)
        OnCheck(kept.host, kept.user, kept.lost.isValid() && kept.lost.elapsed() < TimeOutCount);
}

void PushWatch::Keep(const TAccounts& accounts) {
    std::erase_if(kept_, [&](const auto& k) {
        const bool kept = std::any_of(accounts.begin(), accounts.end(), [&](const TAccount& a) {
            return a.Enabled && a.HostName == k->host && a.UserID == k->user;
        });
        if (!kept)
            k->client.Leave();
        return !kept;
    });
}

void PushWatch::SetHolding(bool holding) {
    const bool again = !std::exchange(holding_, holding) && holding;
    for (const auto& k : kept_) {
        k->client.KeepOpen(holding);
        if (again) {
            Check(*k);
        } else if (!holding) {
            k->retry.stop();
            if (k->client.IsIdling())
                k->client.Leave();
        }
    }
}

void PushWatch::Wake() {
    if (!holding_)
        return;
    for (const auto& k : kept_) {
        k->backoff.Woke();
        // Idling or waiting to try again: reconnected by a check now.
        if (k->client.IsIdling() || k->retry.isActive()) {
            k->client.Drop();
            Check(*k);
        }
    }
}

void PushWatch::Retry(const TAccount& account) {
    Kept* kept = Find(account.HostName, account.UserID);
    if (holding_ && kept && !kept->client.SessionOpen() && !kept->retry.isActive())
        kept->retry.start(kept->backoff.Failed(Now()));
}

bool PushWatch::Pushing() const {
    return std::any_of(kept_.begin(), kept_.end(),
                       [](const auto& k) { return k->client.IsIdling(); });
}

void PushWatch::PushingChanged() {
    if (OnPushingChanged)
        OnPushingChanged();
}

void PushWatch::LeaveAll() {
    for (const auto& k : kept_) {
        k->retry.stop();
        k->client.Leave();
    }
}

} // namespace pim
