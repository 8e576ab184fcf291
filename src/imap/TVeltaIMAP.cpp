#include "imap/TVeltaIMAP.h"

#include "common/Cp932.h"
#include "mail/MailEndpoint.h"

namespace pim {

TVeltaIMAP::TVeltaIMAP(QObject* parent) : MailChecker(parent) {
    session_.UseCache(&SummaryCache::Shared());
    timer_.setSingleShot(true);
    connect(&timer_, &QTimer::timeout, this, [this] { session_.TimerExpired(); });
    sessionTimer_.setSingleShot(true);
    connect(&sessionTimer_, &QTimer::timeout, this, [this] { session_.SessionTimerExpired(); });
}

TVeltaIMAP::~TVeltaIMAP() {
    // Going away ends the session without reporting it.
    CloseConnection();
}

bool TVeltaIMAP::Connect(const std::string& hostName, const std::string& userID,
                         const std::string& password) {
    if (session_.Open())
        return false;
    const auto endpoint = ParseMailEndpoint(hostName);
    if (!endpoint || endpoint->protocol != MailProtocol::Imap)
        return false;
    session_.Begin(userID, password, hostName,
                   endpoint->tls       ? ImapSession::Tls::Implicit
                   : Security.Required ? ImapSession::Tls::Required
                                       : ImapSession::Tls::Offered);
    connection_.Open(cp932::ToUnicode(endpoint->host), endpoint->host, endpoint->port,
                     endpoint->tls, Security.TrustedFingerprint);
    return true;
}

} // namespace pim
