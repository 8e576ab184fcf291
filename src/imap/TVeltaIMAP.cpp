#include "imap/TVeltaIMAP.h"

#include "common/Cp932.h"
#include "common/UiText.h"
#include "mail/Credentials.h"
#include "mail/MailEndpoint.h"

namespace pim {

namespace {

std::string ReasonText(ImapReason reason) {
    switch (reason) {
    case ImapReason::None:
        break;
    case ImapReason::LoginDisabled:
        return UiText("TVeltaIMAP", "サーバが暗号化（STARTTLS）なしのログインを受け付けないため、"
                                    "パスワードを送りませんでした。");
    case ImapReason::NoMechanism:
        return UiText("TVeltaIMAP",
                      "サーバに対応するログイン方式がないため、パスワードを送りませんでした。");
    case ImapReason::Unsendable:
        return CredentialFaultText(CredentialFault::ControlCharacter);
    case ImapReason::TooLong:
        return CredentialFaultText(CredentialFault::TooLong);
    case ImapReason::Unavailable:
        return UiText("TVeltaIMAP", "サーバが一時的にログインを受け付けていません。");
    case ImapReason::TokenNeedsTls:
        return UiText("TVeltaIMAP", "サーバが暗号化（TLS）に対応していないため、"
                                    "サインインのトークンを送りませんでした。");
    case ImapReason::TokenNotOffered:
        return TokenNotOfferedText();
    case ImapReason::TokenRefused:
        return TokenRefusedText({});
    }
    return {};
}

} // namespace

TVeltaIMAP::TVeltaIMAP(QObject* parent) : MailChecker(parent) {
    session_.UseCache(&SummaryCache::Shared());
    timer_.setSingleShot(true);
    connect(&timer_, &QTimer::timeout, this, [this] { session_.TimerExpired(); });
    sessionTimer_.setSingleShot(true);
    connect(&sessionTimer_, &QTimer::timeout, this, [this] { session_.SessionTimerExpired(); });
    renewTimer_.setSingleShot(true);
    connect(&renewTimer_, &QTimer::timeout, this, [this] {
        if (idling_)
            idling_ = false, session_.Renew();
    });
    refusal_.setSingleShot(true);
    refusal_.setInterval(0);
    connect(&refusal_, &QTimer::timeout, this, [this] {
        if (std::exchange(checking_, false))
            TellError(ImapSession::ieLogin, std::exchange(reason_, {}));
    });
}

const TlsOutcome& TVeltaIMAP::SecurityOutcome() const {
    static const TlsOutcome none;
    return unconnected_ ? none : connection_.Outcome();
}

TVeltaIMAP::~TVeltaIMAP() {
    // Going away ends the session without reporting it.
    CloseConnection();
}

bool TVeltaIMAP::Connect(const std::string& hostName, const std::string& userID,
                         const std::string& password) {
    refusal_.stop();
    reason_.clear();
    const std::string account = hostName + '\n' + userID + '\n' + password;
    // The same account, logged in and idling (or about to): only the search again.
    if (session_.Watching() && account == account_ && !checking_)
        return SearchAgain();
    if (session_.Watching()) // another account now: this one is left
        Leave();
    // A LOGOUT on its way waits for nobody: the new session takes the client.
    if (std::exchange(leaving_, false))
        session_.Reset();
    if (session_.Open())
        return false;
    const auto endpoint = ParseMailEndpoint(hostName);
    if (!endpoint || endpoint->protocol != MailProtocol::Imap)
        return false;
    // Not even a connection: the server would learn part of the secret, or all
    // of a huge one at every reconnection.
    unconnected_ = false;
    if (const ImapReason problem = ImapSession::CredentialsProblem(userID, password);
        problem != ImapReason::None) {
        unconnected_ = checking_ = true;
        account_.clear();
        reason_ = ReasonText(problem);
        refusal_.start();
        return true;
    }
    SetTokenRefused(false);
    const auto tls = endpoint->tls       ? ImapSession::Tls::Implicit
                     : Security.Required ? ImapSession::Tls::Required
                                         : ImapSession::Tls::Offered;
    if (SignInWithToken)
        session_.BeginWithToken(userID, password, hostName, tls, endpoint->host, endpoint->port);
    else
        session_.Begin(userID, password, hostName, tls);
    connection_.Open(cp932::ToUnicode(endpoint->host), endpoint->host, endpoint->port,
                     endpoint->tls, Security.TrustedFingerprint);
    account_ = account;
    checking_ = true;
    return true;
}

bool TVeltaIMAP::CheckOpen(const std::string& hostName, const std::string& userID) {
    if (!session_.Watching() || checking_ || !account_.starts_with(hostName + '\n' + userID + '\n'))
        return false;
    return SearchAgain();
}

bool TVeltaIMAP::SearchAgain() {
    idling_ = false;
    renewTimer_.stop();
    checking_ = session_.CheckAgain();
    return checking_;
}

bool TVeltaIMAP::Quit() {
    const bool quitting = session_.Quit();
    // IDLE went out: the check is over; what the server answers concerns only
    // the connection kept, and waiting for its "+" would cost a round trip.
    if (checking_ && session_.Watching()) {
        checking_ = false;
        TellDisconnect();
    }
    return quitting;
}

void TVeltaIMAP::Idling() {
    idling_ = true;
    renewTimer_.start(std::max(1, RenewInterval));
    // The check this connection served is over.
    if (std::exchange(checking_, false))
        TellDisconnect();
    if (idling_ && OnIdling)
        OnIdling(this);
}

void TVeltaIMAP::Drop() {
    refusal_.stop();
    idling_ = leaving_ = checking_ = false;
    renewTimer_.stop();
    session_.Reset();
}

void TVeltaIMAP::Disconnected() {
    leaving_ = idling_ = false;
    renewTimer_.stop();
    if (std::exchange(checking_, false))
        TellDisconnect();
}

void TVeltaIMAP::TokenRefused(const std::string& status) {
    tokenStatus_ = status;
    SetTokenRefused(true);
}

void TVeltaIMAP::Reason(ImapReason reason) {
    reason_ = reason == ImapReason::TokenRefused ? TokenRefusedText(std::exchange(tokenStatus_, {}))
                                                 : ReasonText(reason);
}

void TVeltaIMAP::Failed(uint8_t errorNo) {
    const bool open = session_.Open();
    std::string reason = std::exchange(reason_, {});
    // A check hears its errors; error 6 leaves the session open for its Quit.
    if (checking_) {
        checking_ = errorNo == 6 && open;
        idling_ = false;
        TellError(errorNo, std::move(reason));
        // A connection that could not be made or was lost, or a login the server
        // could not take for now, is tried again; a refused login is not (it
        // would only be refused again).
        if (errorNo != 6 && errorNo != 4 && OnDropped)
            OnDropped(this, errorNo);
        return;
    }
    idling_ = false;
    renewTimer_.stop();
    if (!std::exchange(leaving_, false) && OnDropped)
        OnDropped(this, errorNo);
}

void TVeltaIMAP::Leave() {
    refusal_.stop();
    idling_ = false;
    renewTimer_.stop();
    checking_ = false;
    // Its end (the answer, the close or the reply time-out) is nobody's news.
    leaving_ = session_.Leave();
    connection_.Flush();
}

} // namespace pim
