#include "pop3/TVeltaPOP3.h"

#include "common/Cp932.h"
#include "mail/MailEndpoint.h"

namespace pim {

namespace {
// A server that adds a line after refusing a login sends it at once.
constexpr int kRejectedLineWait = 2000;
} // namespace

TVeltaPOP3::TVeltaPOP3(QObject* parent) : MailChecker(parent) {
    session_.UseCache(&SummaryCache::Shared());
    timer_.setSingleShot(true);
    connect(&timer_, &QTimer::timeout, this, [this] { session_.TimerExpired(); });
    sessionTimer_.setSingleShot(true);
    connect(&sessionTimer_, &QTimer::timeout, this, [this] { session_.SessionTimerExpired(); });
}

TVeltaPOP3::~TVeltaPOP3() {
    // Going away ends the session without reporting it.
    CloseConnection();
}

bool TVeltaPOP3::Connect(const std::string& hostName, const std::string& userID,
                         const std::string& password) {
    if (session_.Open())
        return false;
    const auto endpoint = ParseMailEndpoint(hostName);
    if (!endpoint || endpoint->protocol != MailProtocol::Pop3)
        return false;
    reason_.clear();
    SetTokenRefused(false);
    const auto tls = endpoint->tls       ? Pop3Session::Tls::Implicit
                     : Security.Required ? Pop3Session::Tls::Required
                                         : Pop3Session::Tls::Offered;
    if (SignInWithToken)
        session_.BeginWithToken(userID, password, hostName, tls, endpoint->host, endpoint->port);
    else
        session_.Begin(userID, password, hostName, tls);
    connection_.Open(cp932::ToUnicode(endpoint->host), endpoint->host, endpoint->port,
                     endpoint->tls, Security.TrustedFingerprint);
    return true;
}

bool TVeltaPOP3::Retr(int mailNo) {
    return session_.Retr(mailNo);
}

bool TVeltaPOP3::Quit() {
    return session_.Quit();
}

bool TVeltaPOP3::SendLine(const std::string& line) {
    return connection_.Send(line + "\r\n");
}

void TVeltaPOP3::StartTimer(Wait wait) {
    // A time-out of 0 or less would never fire; it ends the wait at once instead.
    const int limit = std::max(1, TimeOutCount);
    timer_.start(wait == Wait::RejectedLine ? std::min(limit, kRejectedLineWait) : limit);
}

void TVeltaPOP3::StopTimer() {
    timer_.stop();
}

void TVeltaPOP3::StartSessionTimer() {
    sessionTimer_.start(Pop3Session::SessionLimit(TimeOutCount));
}

void TVeltaPOP3::StopSessionTimer() {
    sessionTimer_.stop();
}

} // namespace pim
