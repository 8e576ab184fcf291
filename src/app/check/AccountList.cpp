#include "app/check/AccountList.h"

#include "app/check/SeenMail.h"
#include "common/Cp932.h"
#include "imap/TVeltaIMAP.h"
#include "mail/MailEndpoint.h"
#include "platform/OnlineAccounts.h"
#include "pop3/TVeltaPOP3.h"

#include <algorithm>
#include <ctime>

namespace pim {

namespace {
// The host names the protocol; a host that names none goes to POP3, which refuses it.
std::unique_ptr<MailChecker> ClientFor(const TAccount& account) {
    const auto endpoint = ParseMailEndpoint(account.HostName);
    if (endpoint && endpoint->protocol == MailProtocol::Imap)
        return std::make_unique<TVeltaIMAP>();
    return std::make_unique<TVeltaPOP3>();
}
} // namespace

AccountList::AccountList(const TAccounts& configured, QObject* parent)
    : QObject(parent), MakeClient(ClientFor), Now([] {
          // Counting the time the machine slept: a token issued before a night's
          // sleep has expired, and a back-off is long over.
          timespec now{};
          ::clock_gettime(CLOCK_BOOTTIME, &now);
          return std::chrono::duration_cast<std::chrono::milliseconds>(
              std::chrono::seconds(now.tv_sec) + std::chrono::nanoseconds(now.tv_nsec));
      }),
      configured_(configured) {}

AccountList::~AccountList() {
    blockSignals(true); // nobody to tell any more
    LeaveAll();
}

void AccountList::Sync() {
    // The desktop's accounts are read anew for each run; what changed there
    // comes with the next sync.
    if (Online && std::ranges::any_of(configured_,
                                      [](const TAccount& a) { return !a.OnlineAccount.empty(); }))
        Online->Refresh();
    std::vector<std::unique_ptr<Account>> old = std::move(accounts_);
    accounts_.clear();
    for (size_t slot = 0; slot < configured_.size(); ++slot) {
        TAccount settings = configured_[slot];
        if (settings.Name.empty() && settings.HostName.empty())
            continue; // a free slot
        // Bound to the desktop: its server and user as the desktop says now.
        if (const OnlineMailAccount* online =
                Online && !settings.OnlineAccount.empty()
                    ? Online->Find(QString::fromStdString(settings.OnlineAccount))
                    : nullptr;
            online && !online->server.isEmpty()) {
            settings.HostName = online->server.toStdString();
            settings.UserID = cp932::FromUnicode(online->user);
            // STARTTLS the desktop asks for is required: one stripped on the way
            // must not get the password in clear.
            settings.TlsRequired = settings.TlsRequired || online->tlsRequired;
            if (settings.HostName != configured_[slot].HostName ||
                settings.UserID != configured_[slot].UserID)
                emit followed(int(slot), settings.HostName, settings.UserID);
        }
        const auto same = std::ranges::find_if(old, [&](const std::unique_ptr<Account>& a) {
            const TAccount& had = a ? a->Settings() : settings;
            return a && had.HostName == settings.HostName && had.UserID == settings.UserID &&
                   Account::Checked(had) == Account::Checked(settings);
        });
        if (same != old.end()) {
            (*same)->Update(settings);
            accounts_.push_back(std::move(*same));
            continue;
        }
        auto account = std::unique_ptr<Account>(new Account(++lastId_, settings, *this));
        connect(account.get(), &Account::checkWanted, this, &AccountList::checkWanted);
        connect(account.get(), &Account::pushingChanged, this, &AccountList::pushingChanged);
        connect(account.get(), &Account::refreshTokenChanged, this,
                &AccountList::refreshTokenChanged);
        accounts_.push_back(std::move(account));
    }
    for (std::unique_ptr<Account>& gone : old) {
        if (!gone)
            continue;
        emit removing(gone->id());
        gone->Leave();
        gone.reset();
    }
}

Account* AccountList::Find(Account::Id id) const {
    const auto found = std::ranges::find_if(
        accounts_, [id](const std::unique_ptr<Account>& a) { return a->id() == id; });
    return found == accounts_.end() ? nullptr : found->get();
}

void AccountList::SetHolding(bool holding) {
    holding_ = holding;
    for (const auto& account : accounts_)
        account->SetHolding(holding);
}

void AccountList::Wake() {
    for (const auto& account : accounts_)
        account->Wake();
}

void AccountList::LeaveAll() {
    for (const auto& account : accounts_)
        account->Leave();
}

bool AccountList::Pushing() const {
    return std::ranges::any_of(accounts_, [](const std::unique_ptr<Account>& a) {
        return a->state() == Account::State::Idling;
    });
}

void AccountList::SaveSeen() {
    if (Seen)
        Seen->Save(configured_);
}

void AccountList::SetTimeOut(int milliseconds) {
    timeOut_ = milliseconds;
    for (const auto& account : accounts_)
        account->SetTimeOut(milliseconds);
}

} // namespace pim
