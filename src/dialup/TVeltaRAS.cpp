#include "dialup/TVeltaRAS.h"

#include "common/Cp932.h"

#include <QCursor>
#include <QDBusServiceWatcher>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QGuiApplication>
#include <utility>

namespace pim {

namespace {

constexpr int kMaxEntries = 100;
constexpr int kHangUpPoll = 100;

// The busy cursor shows while NetworkManager is asked to start the connection.
class BusyCursor {
public:
    BusyCursor() : shown_(qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
        if (shown_)
            QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    }
    ~BusyCursor() {
        if (shown_)
            QGuiApplication::restoreOverrideCursor();
    }
    BusyCursor(const BusyCursor&) = delete;
    BusyCursor& operator=(const BusyCursor&) = delete;

private:
    bool shown_;
};

} // namespace

TVeltaRAS::TVeltaRAS(QDBusConnection bus, QObject* parent) : QObject(parent), nm_(std::move(bus)) {
    if (nm_.Bus().isConnected()) {
        nm_.AskAvailable(this, [this](bool there) { ServiceAnswered(there); });
        // A NetworkManager that starts late, or again, numbers its profiles anew.
        auto* names = new QDBusServiceWatcher(NetworkManager::kService, nm_.Bus(),
                                              QDBusServiceWatcher::WatchForRegistration, this);
        connect(names, &QDBusServiceWatcher::serviceRegistered, this, [this] {
            if (!ready_)
                return; // the first answer is still to come
            FServiceError = false;
            if (!std::exchange(there_, true))
                Listen();
            ProfilesChanged();
        });
    } else {
        FServiceError = ready_ = true;
    }
    connect(&watchTimer_, &QTimer::timeout, this, &TVeltaRAS::WatchTick);
    connect(&dialPoll_, &QTimer::timeout, this, &TVeltaRAS::DialTick);
    dialLimit_.setSingleShot(true);
    // Neither up nor failed after all this time: it has failed.
    connect(&dialLimit_, &QTimer::timeout, this, [this] { DialFinished(false); });
}

TVeltaRAS::~TVeltaRAS() {
    // A dial under way is left to NetworkManager.
    SetWatching(false);
}

void TVeltaRAS::ServiceAnswered(bool there) {
    if (!there) {
        FServiceError = true;
        watchTimer_.stop();
        FWatching = false;
        ready_ = true;
        if (OnReady)
            OnReady(this);
        return;
    }
    there_ = true;
    Listen();
    ReadPhonebook();
}

void TVeltaRAS::Listen() {
    // Heard before the first read, so that no change slips between.
    QDBusConnection bus = nm_.Bus();
    for (const char* signal : {"NewConnection", "ConnectionRemoved"})
        bus.connect(NetworkManager::kService, NetworkManager::kSettingsPath,
                    NetworkManager::kSettings, QLatin1String(signal), this,
                    SLOT(ProfilesChanged()));
    // A profile renamed: any profile's path.
    bus.connect(NetworkManager::kService, QString(), NetworkManager::kConnection,
                QStringLiteral("Updated"), this, SLOT(ProfilesChanged()));
}

void TVeltaRAS::ProfilesChanged() {
    if (reading_)
        readAgain_ = true;
    else
        ReadPhonebook();
}

void TVeltaRAS::ReadPhonebook() {
    reading_ = true;
    nm_.ReadOnDemandProfiles(this, [this, number = ++readNumber_](auto profiles) {
        if (number == readNumber_)
            PhonebookRead(std::move(profiles));
    });
}

void TVeltaRAS::PhonebookRead(std::optional<std::vector<NetworkManager::Profile>> profiles) {
    reading_ = false;
    // A read that failed leaves the last one that did not.
    if (profiles)
        phonebook_ = std::move(profiles);
    if (std::exchange(readAgain_, false))
        ReadPhonebook();
    // A first read that failed makes it ready all the same: what waits for it
    // (the start's check) must not wait for ever.
    if (!ready_) {
        ready_ = true;
        if (OnReady)
            OnReady(this);
    }
}

void TVeltaRAS::AwaitPhonebook() {
    if (FServiceError || phonebook_)
        return;
    ++readNumber_; // one under way is dropped: this one is newer
    reading_ = readAgain_ = false;
    PhonebookRead(nm_.OnDemandProfiles());
}

int TVeltaRAS::EntryCount() {
    if (FServiceError)
        return -1;
    if (!phonebook_) {
        if (there_ && !reading_)
            ReadPhonebook(); // asked again, not waited for
        return -1;
    }
    return std::min(static_cast<int>(phonebook_->size()), kMaxEntries);
}

std::string TVeltaRAS::GetEntryName(int index) {
    if (FServiceError || index < 0 || index >= kMaxEntries || !phonebook_ ||
        index >= static_cast<int>(phonebook_->size()))
        return {};
    return cp932::FromUnicode((*phonebook_)[static_cast<size_t>(index)].id);
}

int TVeltaRAS::ActiveEntryCount() {
    if (FServiceError)
        return -1;
    const auto active = nm_.OnDemandActive();
    if (!active)
        return -1;
    return static_cast<int>(std::count_if(active->begin(), active->end(), [](const auto& a) {
        return a.state == NetworkManager::Activated;
    }));
}

bool TVeltaRAS::HangUp() {
    if (FServiceError)
        return false;
    const auto active = nm_.OnDemandActive();
    if (!active)
        return false;
    bool allGone = true;
    for (const auto& connection : *active) {
        if (!nm_.Deactivate(connection.path)) {
            allGone = false;
            break;
        }
        // Wait until it is gone, keeping the program responsive, but not for ever.
        const QDeadlineTimer deadline(HangUpLimit);
        const auto gone = [&] {
            const auto state = nm_.ActiveConnection(connection.path);
            return !state || state->state == NetworkManager::Deactivated;
        };
        while (!gone()) {
            if (deadline.hasExpired()) {
                allGone = false;
                break;
            }
            QEventLoop wait;
            QTimer::singleShot(kHangUpPoll, &wait, &QEventLoop::quit);
            wait.exec();
        }
        if (!allGone)
            break;
    }
    return allGone;
}

bool TVeltaRAS::Dial(int index) {
    if (FServiceError || index < 0 || index >= kMaxEntries || !FRasConn.isEmpty())
        return false;
    AwaitPhonebook();
    if (!phonebook_ || index >= static_cast<int>(phonebook_->size()))
        return false;
    const NetworkManager::Profile& profile = (*phonebook_)[static_cast<size_t>(index)];
    std::optional<QString> active;
    {
        BusyCursor busy;
        active = nm_.Activate(profile.path);
    }
    if (!active || active->isEmpty() || *active == QLatin1String("/"))
        return false;
    FRasConn = *active;
    FDialName = cp932::FromUnicode(profile.id);
    authenticating_ = false;
    // The outcome is looked at from the event loop, never from inside Dial.
    dialPoll_.start(DialPollInterval);
    dialLimit_.start(DialLimit);
    return true;
}

void TVeltaRAS::DialTick() {
    const auto active = nm_.ActiveConnection(FRasConn);
    if (!active || active->state == NetworkManager::Deactivated) {
        DialFinished(false);
        return;
    }
    if (active->state == NetworkManager::Activated) {
        DialFinished(true);
        return;
    }
    if (active->needsAuthentication && !authenticating_) {
        authenticating_ = true;
        if (OnConnectAuthenticate)
            OnConnectAuthenticate(this, FDialName);
    } else if (!active->needsAuthentication) {
        authenticating_ = false;
    }
}

void TVeltaRAS::DialFinished(bool connected) {
    dialPoll_.stop();
    dialLimit_.stop();
    if (!connected && !FRasConn.isEmpty())
        nm_.Deactivate(FRasConn); // a failed connection is not left half made
    FRasConn.clear();
    const std::string name = std::exchange(FDialName, std::string());
    const auto& event = connected ? OnConnect : OnConnectError;
    if (event)
        event(this, name);
}

void TVeltaRAS::SetWatching(bool value) {
    if (FServiceError)
        return;
    if (value) {
        if (!watchTimer_.isActive())
            watchTimer_.start(WatchInterval);
    } else {
        watchTimer_.stop();
    }
    FWatching = value;
}

void TVeltaRAS::WatchTick() {
    // Until the bus has said NetworkManager is there, a failed count would read
    // as a connection. Asked without waiting, one read at a time: a NetworkManager
    // that hangs must not stop the program at every tick, and a read it does not
    // answer is no news.
    if (!FWatching || !there_ || watchAsked_)
        return;
    watchAsked_ = true;
    nm_.ReadOnDemandActivated(this, [this](std::optional<int> count) {
        watchAsked_ = false;
        if (!count || !FWatching || FServiceError)
            return;
        if (*count != 0 && !FConnected) {
            FConnected = true;
            if (OnFirstConnect)
                OnFirstConnect(this);
        } else if (*count == 0 && FConnected) {
            FConnected = false;
            if (OnAllDeconnect)
                OnAllDeconnect(this);
        }
    });
}

} // namespace pim
