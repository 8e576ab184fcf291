#include "app/check/Account.h"

#include "app/check/AccountList.h"
#include "app/check/SeenMail.h"
#include "common/Cp932.h"
#include "common/UiText.h"
#include "imap/TVeltaIMAP.h"
#include "mail/MailEndpoint.h"
#include "oauth/TokenSource.h"
#include "platform/OnlineAccounts.h"

#include <QPointer>

namespace pim {

namespace {
bool SpeaksImap(const TAccount& settings) {
    const auto endpoint = ParseMailEndpoint(settings.HostName);
    return endpoint && endpoint->protocol == MailProtocol::Imap;
}
} // namespace

Account::Account(Id id, const TAccount& settings, const AccountList& list)
    : id_(id), settings_(settings), list_(list), imap_(SpeaksImap(settings)),
      holding_(list.Holding()), timeOut_(list.TimeOut()) {
    retry_.setSingleShot(true);
    connect(&retry_, &QTimer::timeout, this, &Account::Wanted);
    // The IMAP client is there from the start: it is the account's connection.
    if (imap_ && Checked(settings_))
        MakeClient();
    FollowSignIn(true);
    Enter(Checked(settings_) ? State::Idle : State::Off);
}

Account::~Account() = default;

void Account::FollowSignIn(bool tokenChanged) {
    if (settings_.Auth != AccountAuth::OAuth2) {
        tokens_.reset();
        return;
    }
    const bool made = !tokens_;
    if (made) {
        tokens_ = std::make_unique<TokenSource>();
        tokens_->Now = [this] { return qint64(list_.Now().count()); };
        connect(tokens_.get(), &TokenSource::ready, this,
                [this](const QByteArray& token) { TokenRead(token.toStdString()); });
        const auto failed = [this](bool signIn, const QString& reason) {
            tokenFailure_ = {signIn, cp932::FromUnicode(reason)};
            TokenRead(std::nullopt);
        };
        connect(tokens_.get(), &TokenSource::signInNeeded, this,
                [failed](const QString& reason) { failed(true, reason); });
        connect(tokens_.get(), &TokenSource::unavailable, this,
                [failed](const QString& reason) { failed(false, reason); });
        connect(tokens_.get(), &TokenSource::refreshTokenChanged, this,
                [this](const QByteArray& token) {
                    emit refreshTokenChanged(id_, token.toStdString());
                });
    }
    const auto text = [](const std::string& value) { return QString::fromStdString(value); };
    tokens_->SetClient({text(settings_.OAuthAuthorizeUrl), text(settings_.OAuthTokenUrl),
                        text(settings_.OAuthClientId), text(settings_.OAuthClientSecret),
                        text(settings_.OAuthScope)});
    // Only a token the configuration brings replaces the one the account holds:
    // one it just got (signed in, rotated) may not be kept there yet, or is
    // kept in the keyring.
    if (made || tokenChanged)
        tokens_->SetRefreshToken(QByteArray::fromStdString(settings_.OAuthRefreshToken));
}

void Account::ReadToken(std::function<void(std::optional<std::string>)> done) {
    if (!tokens_)
        return done(std::nullopt);
    tokenWanted_ = std::move(done);
    tokens_->Want();
}

void Account::TokenRead(std::optional<std::string> token) {
    if (auto done = std::exchange(tokenWanted_, nullptr))
        done(std::move(token));
}

void Account::UseRefreshToken(const std::string& token) {
    if (tokens_)
        tokens_->SetRefreshToken(QByteArray::fromStdString(token));
}

void Account::SignedIn(const TokenReply& tokens) {
    if (!tokens_)
        return;
    tokens_->SignedIn(tokens);
    if (state_ == State::NeedsSignIn)
        Enter(State::Idle);
    retry_.stop();
    emit checkWanted(id_, false);
}

bool Account::TokenRefused() {
    // The desktop hands out its cached token while it thinks it good: ask it
    // once to make sure.
    if (FromDesktop()) {
        if (std::exchange(renewed_, true))
            return false;
        renew_ = true;
        return true;
    }
    return tokens_ && tokens_->Refused();
}

void Account::TokenAccepted() {
    renewed_ = false;
    if (tokens_)
        tokens_->Accepted();
}

bool Account::SignsInWithToken() const {
    return FromDesktop() ? desktopToken_ : tokens_ != nullptr;
}

void Account::ReadDesktopSecret(std::function<void(std::optional<std::string>)> done) {
    if (!list_.Online) {
        tokenFailure_ = {true, cp932::FromUnicode(UiString(
                                   "Account", "オンラインアカウントで再度サインインしてください"))};
        return done(std::nullopt);
    }
    const QPointer<Account> self(this);
    list_.Online->Credentials(
        QString::fromStdString(settings_.OnlineAccount), std::exchange(renew_, false),
        [self, done = std::move(done)](const OnlineAccounts::Secret& secret) {
            if (!self)
                return;
            self->desktopToken_ = secret.token;
            // Never to a server the desktop no longer names: the next run follows it.
            const bool moved =
                secret.value && (secret.server.toStdString() != self->settings_.HostName ||
                                 cp932::FromUnicode(secret.user) != self->settings_.UserID);
            if (moved)
                self->tokenFailure_ = {
                    false, cp932::FromUnicode(
                               UiString("Account", "オンラインアカウントでサーバが変わりました"))};
            else if (!secret.value)
                self->tokenFailure_ = {secret.signInNeeded, cp932::FromUnicode(secret.reason)};
            done(secret.value && !moved ? std::optional(secret.value->toStdString())
                                        : std::nullopt);
        });
}

void Account::Enter(State state) {
    const bool wasIdling = state_ == State::Idling;
    state_ = state;
    if (wasIdling != (state == State::Idling))
        emit pushingChanged();
}

void Account::MakeClient() {
    client_ = list_.MakeClient(settings_);
    client_->TimeOutCount = timeOut_;
    TVeltaIMAP* imap = ImapClient();
    if (!imap)
        return;
    imap->KeepOpen(holding_);
    imap->OnPush = [this](TVeltaIMAP*) { Wanted(); };
    imap->OnIdling = [this](TVeltaIMAP*) {
        backoff_.Working(list_.Now());
        lost_.invalidate();
        Enter(State::Idling);
    };
    imap->OnDropped = [this](TVeltaIMAP*, uint8_t) {
        if (!lost_.isValid())
            lost_.start();
        if (!holding_)
            return Enter(State::Idle);
        retry_.start(backoff_.Failed(list_.Now()));
        Enter(State::WaitingToReconnect);
    };
}

TVeltaIMAP* Account::ImapClient() const {
    return qobject_cast<TVeltaIMAP*>(client_.get());
}

MailChecker& Account::BeginCheck() {
    // A POP3 session is made for its check; the IMAP one is kept.
    if (!imap_ || !client_)
        MakeClient();
    client_->TimeOutCount = timeOut_;
    if (TVeltaIMAP* imap = ImapClient())
        imap->KeepOpen(holding_);
    retry_.stop(); // this check is the one a try again would ask for
    Enter(State::Checking);
    checked_ = true;
    return *client_;
}

void Account::EndCheck() {
    if (client_) {
        client_->OnConnect = nullptr;
        client_->OnGetMailInformation = nullptr;
        client_->OnDisconnect = nullptr;
        client_->OnError = nullptr;
        client_->OnAlert = nullptr;
        client_->OnQuitRefused = nullptr;
    }
    // What the client told meanwhile (it idles, or it dropped) stands.
    if (state_ == State::Checking)
        Enter(State::Idle);
}

void Account::SignInFailed(bool tryAgain) {
    Enter(State::NeedsSignIn);
    const TVeltaIMAP* imap = ImapClient();
    if (tryAgain && holding_ && imap && !imap->SessionOpen() && !retry_.isActive())
        retry_.start(backoff_.Failed(list_.Now()));
}

void Account::Wanted() {
    // However many changes come meanwhile, one check when the pace allows it.
    if (const auto wait = pace_.Wait(list_.Now()); wait > wait.zero()) {
        if (!retry_.isActive() || retry_.remainingTime() > wait.count())
            retry_.start(wait);
        return;
    }
    retry_.stop();
    emit checkWanted(id_, lost_.isValid() && lost_.elapsed() < timeOut_);
}

void Account::Update(const TAccount& settings) {
    const bool tokenChanged = settings.OAuthRefreshToken != settings_.OAuthRefreshToken;
    settings_ = settings;
    FollowSignIn(tokenChanged);
}

void Account::SetTimeOut(int milliseconds) {
    timeOut_ = milliseconds;
}

void Account::SetHolding(bool holding) {
    const bool again = !std::exchange(holding_, holding) && holding;
    TVeltaIMAP* imap = ImapClient();
    if (!imap)
        return;
    imap->KeepOpen(holding);
    if (again)
        return Wanted(); // which reconnects it
    if (holding)
        return;
    retry_.stop();
    if (state_ == State::Idling)
        imap->Leave();
    if (state_ == State::Idling || state_ == State::WaitingToReconnect)
        Enter(State::Idle);
}

void Account::Wake() {
    TVeltaIMAP* imap = ImapClient();
    // A check under way has time-outs of its own; its run waits for its end.
    if (!holding_ || !imap || state_ == State::Checking)
        return;
    backoff_.Woke();
    // Idling or waiting to try again: reconnected by a check now.
    if (state_ == State::Idling || retry_.isActive()) {
        imap->Drop();
        if (state_ == State::Idling || state_ == State::WaitingToReconnect)
            Enter(State::Idle);
        Wanted();
    }
}

void Account::Leave() {
    retry_.stop();
    if (TVeltaIMAP* imap = ImapClient())
        imap->Leave();
    if (state_ != State::Off)
        Enter(State::Idle);
}

bool Account::PasswordInStore() const {
    return list_.Passwords && list_.Passwords->Keeps(settings_);
}

std::string Account::PasswordInSettings() const {
    if (settings_.Password.empty() && settings_.Keyring)
        for (const TAccount& now : list_.Configured())
            if (now.HostName == settings_.HostName && now.UserID == settings_.UserID)
                return now.Password;
    return settings_.Password;
}

void Account::ReadPassword(bool mayPrompt, std::function<void(std::optional<std::string>)> done) {
    if (!PasswordInStore())
        return done(PasswordInSettings());
    list_.Passwords->Read(settings_, mayPrompt, std::move(done));
}

PasswordStore::Unreadable Account::PasswordFailure() const {
    return list_.Passwords ? list_.Passwords->LastFailure() : PasswordStore::Unreadable::Refused;
}

std::optional<AccountResult> Account::SeenBefore() const {
    if (!list_.Seen || settings_.HostName.empty())
        return std::nullopt;
    return list_.Seen->Before(settings_.HostName, settings_.UserID);
}

void Account::Saw(const AccountResult& result) {
    if (list_.Seen && !settings_.HostName.empty())
        list_.Seen->Keep(settings_.HostName, settings_.UserID, result);
}

} // namespace pim
